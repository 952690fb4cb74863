#include "core/sandbox.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <pthread.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "test_support.hpp"

extern char** environ;

namespace corvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

enum class Outcome { Refused, Worked, NotConfined };

// Runs `attempt` in a child that has confined itself first.
Outcome InConfinedChild(const std::function<bool()>& attempt, bool threads = false) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!sandbox::Enter({sandbox::AddressSpaceInUse() + (uint64_t{1} << 30), 10, threads})) _exit(2);
        _exit(attempt() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) return Outcome::NotConfined;
    return WIFEXITED(status) && WEXITSTATUS(status) == 1 ? Outcome::Worked : Outcome::Refused;
}

TEST(Sandbox, ForbidsFilesSocketsProcessesAndSignals) {
    TempFolder dir;
    WriteBytes(dir / "secret", "key");
    const std::string secret = dir / "secret", fresh = dir / "fresh";
    const pid_t parent = getpid();
    const struct {
        const char* what;
        std::function<bool()> attempt;
    } cases[] = {
        {"open", [&] { return open(secret.c_str(), O_RDONLY) >= 0; }},
        {"create", [&] { return open(fresh.c_str(), O_WRONLY | O_CREAT, 0600) >= 0; }},
        {"socket", [] { return socket(AF_INET, SOCK_STREAM, 0) >= 0; }},
        {"unix socket", [] { return socket(AF_UNIX, SOCK_STREAM, 0) >= 0; }},
        {"execve", [] {
             char* argv[] = {const_cast<char*>("/bin/false"), nullptr};
             execve("/bin/false", argv, environ);  // false would exit 1: "worked"
             return false;
         }},
        {"fork", [] {
             const pid_t p = fork();
             if (p == 0) _exit(0);
             return p > 0;
         }},
        {"unlink", [&] { return unlink(secret.c_str()) == 0; }},
        {"rename", [&] { return rename(secret.c_str(), fresh.c_str()) == 0; }},
        {"kill", [&] { return kill(parent, 0) == 0; }},
        {"ptrace", [&] { return ptrace(PTRACE_ATTACH, parent, nullptr, nullptr) == 0; }},
    };
    for (const auto& c : cases) EXPECT_EQ(InConfinedChild(c.attempt), Outcome::Refused) << c.what;
    EXPECT_EQ(ReadBytes(secret), "key");
    EXPECT_NE(access(fresh.c_str(), F_OK), 0);
}

TEST(Sandbox, AllowsThreadsOnlyWhenAskedAndNeverAProcess) {
    auto thread = [] {
        pthread_t t;
        if (pthread_create(&t, nullptr, [](void*) -> void* { return nullptr; }, nullptr) != 0) return false;
        return pthread_join(t, nullptr) == 0;
    };
    auto process = [] {
        const pid_t p = fork();
        if (p == 0) _exit(0);
        return p > 0;
    };
    EXPECT_EQ(InConfinedChild(thread, true), Outcome::Worked);
    EXPECT_EQ(InConfinedChild(process, true), Outcome::Refused);
    EXPECT_EQ(InConfinedChild(thread, false), Outcome::Refused);
}

TEST(Sandbox, LimitsAreHardAndOnlyGoDown) {
    auto attempt = [] {
        rlimit as{}, cpu{};
        getrlimit(RLIMIT_AS, &as);
        getrlimit(RLIMIT_CPU, &cpu);
        if (as.rlim_cur != as.rlim_max || cpu.rlim_cur != cpu.rlim_max || cpu.rlim_max != 10) return true;
        if (!sandbox::Lower({as.rlim_max - (uint64_t{1} << 20), 5})) return true;
        getrlimit(RLIMIT_CPU, &cpu);
        if (cpu.rlim_max != 5) return true;
        const rlimit up = {RLIM_INFINITY, RLIM_INFINITY};
        return setrlimit(RLIMIT_CPU, &up) == 0 || setrlimit(RLIMIT_AS, &up) == 0;
    };
    EXPECT_EQ(InConfinedChild(attempt), Outcome::Refused);
}

// A loopback listener that counts the connections it was offered.
class Listener {
public:
    Listener() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof at;
        bind(fd_, reinterpret_cast<sockaddr*>(&at), len);
        listen(fd_, 4);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &len);
        port_ = ntohs(at.sin_port);
    }
    ~Listener() { close(fd_); }
    int port() const { return port_; }
    bool Offered() {
        pollfd p = {fd_, POLLIN, 0};
        return poll(&p, 1, 100) > 0;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

TEST(Sandbox, AHostileDecoderReadsSendsChangesAndStartsNothing) {
    TempFolder dir;
    const std::string keys = dir / "Corvane/Keys";
    ASSERT_EQ(system(("mkdir -p '" + keys + "'").c_str()), 0);
    WriteBytes(keys + "/key.png", "the key's pixels");
    WriteBytes(dir / "victim", "kept");
    WriteBytes(dir / "image.png", "any bytes");
    Listener listener;
    setenv("CORVANE_HOSTILE_KEYS", keys.c_str(), 1);
    setenv("CORVANE_HOSTILE_VICTIM", (dir / "victim").c_str(), 1);
    setenv("CORVANE_HOSTILE_PORT", std::to_string(listener.port()).c_str(), 1);
    setenv("CORVANE_HOSTILE_PROGRAM", "/bin/true", 1);
    SetDecoderProgram(CORVANE_HOSTILE_DECODER);
    ImageReader reader;
    const bool opened = reader.Open(dir / "image.png", LoadRuleForPath("image.png"));
    SetDecoderProgram("");
    ASSERT_TRUE(opened) << reader.error();
    // One more than the attempts that worked, bit by bit: read a key, list
    // the keys, send over TCP, unlink, rename, truncate, fork, exec.
    EXPECT_EQ(reader.width(), 1);
    EXPECT_FALSE(listener.Offered());
    EXPECT_EQ(ReadBytes(dir / "victim"), "kept");
    EXPECT_EQ(ReadBytes(keys + "/key.png"), "the key's pixels");
}

}  // namespace
}  // namespace corvane
