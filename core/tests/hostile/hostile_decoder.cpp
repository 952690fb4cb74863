// A stand-in for a decoder taken over by a hostile image: started by the
// program exactly as corvane-decode is, it confines itself as corvane-decode
// does, then tries what an attacker would. Its header reply carries, as the
// width, one more than the set of attempts that worked (1: none did).
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/decoder_protocol.hpp"
#include "core/sandbox.hpp"

extern char** environ;

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool ReadKey(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    char c = 0;
    const bool ok = fd >= 0 && read(fd, &c, 1) == 1;
    if (fd >= 0) close(fd);
    return ok;
}

bool ListFolder(const std::string& path) {
    DIR* d = opendir(path.c_str());
    if (d) closedir(d);
    return d != nullptr;
}

bool SendOut(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 && write(s, "key", 3) == 3;
    close(s);
    return ok;
}

bool Run(const std::string& program) {
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    execve(program.c_str(), argv, environ);
    return false;  // still here: it did not run
}

}  // namespace

int main() {
    close_range(3, ~0u, 0);
    if (!corvane::sandbox::Enter({corvane::sandbox::AddressSpaceInUse() + (uint64_t{1} << 30), 10, false})) return 3;
    const std::string keys = Env("CORVANE_HOSTILE_KEYS"), victim = Env("CORVANE_HOSTILE_VICTIM");
    uint32_t worked = 0;
    if (ReadKey(keys + "/key.png")) worked |= 1u << 0;
    if (ListFolder(keys)) worked |= 1u << 1;
    if (SendOut(std::atoi(Env("CORVANE_HOSTILE_PORT").c_str()))) worked |= 1u << 2;
    if (unlink(victim.c_str()) == 0) worked |= 1u << 3;
    if (rename(victim.c_str(), (victim + ".moved").c_str()) == 0) worked |= 1u << 4;
    if (truncate(victim.c_str(), 0) == 0) worked |= 1u << 5;
    const pid_t child = fork();
    if (child == 0) _exit(0);
    if (child > 0) worked |= 1u << 6;
    if (Run(Env("CORVANE_HOSTILE_PROGRAM"))) worked |= 1u << 7;
    const corvane::decoder::Reply reply{corvane::decoder::Stage::Header, corvane::decoder::Status::Ok, worked + 1, 1};
    return send(corvane::decoder::kChannelFd, &reply, sizeof reply, MSG_NOSIGNAL) == sizeof reply ? 0 : 1;
}
