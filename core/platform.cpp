#include "core/platform.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <vector>

namespace corvane {

int32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

double TimerSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    const time_t secs = ts.tv_sec;
    localtime_r(&secs, &tm);
    return tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + ts.tv_nsec / 1e9;
}

int32_t ProcessId() { return static_cast<int32_t>(getpid()); }

std::string ApplicationFolder() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return ".";
    std::string p(buf.data(), static_cast<size_t>(n));
    const size_t slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

namespace {

// The password database's home folder of the real user, or empty.
std::string PasswordHome() {
    std::vector<char> buf(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buf.data(), buf.size(), &found) != 0 || !found || !found->pw_dir) return {};
    return found->pw_dir;
}

}  // namespace

std::string FallbackRoot() {
    // $HOME is what the user's session says the home folder is (sudo -H,
    // a test home, a home moved to another disk); a relative or empty value
    // would put the files wherever the program happened to start.
    std::string home;
    if (const char* h = std::getenv("HOME"); h && h[0] == '/') home = h;
    if (home.empty()) home = PasswordHome();
    if (home.empty() || home[0] != '/') home = "/tmp";
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (home == "/") home.clear();
    return home + "/Corvane/";
}

bool RunsFromBuildTree(const std::string& applicationFolder) {
    struct stat st{};
    return lstat(JoinPath(applicationFolder, kBuildTreeMarker).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string JoinPath(const std::string& root, const std::string& name) {
    if (root.empty()) return name;
    if (root.back() == '/') return root + name;
    return root + "/" + name;
}

bool CreateFolders(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        const size_t next = path.find('/', pos);
        partial = path.substr(0, next == std::string::npos ? path.size() : next);
        if (!partial.empty() && mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) {
            struct stat st{};
            if (stat(partial.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
        }
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsWritableFolder(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(path.c_str(), W_OK | X_OK) == 0;
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

std::string WorkingRoot(const std::string& applicationFolder) {
    if (RunsFromBuildTree(applicationFolder) && IsWritableFolder(applicationFolder)) return applicationFolder;
    std::string root = FallbackRoot();
    if (!root.empty() && root.back() == '/') root.pop_back();
    return root;
}

std::string PrepareWorkingRoot(const std::string& applicationFolder, std::initializer_list<const char*> folders) {
    const std::string root = WorkingRoot(applicationFolder);
    for (const char* f : folders) CreateFolders(JoinPath(root, f));
    return root;
}

}  // namespace corvane
