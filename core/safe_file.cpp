#include "core/safe_file.hpp"
#include "core/testing_hooks.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

namespace corvane {
namespace {

// ---- temporary names removed on SIGINT, SIGTERM and SIGHUP ----------------
//
// Only folders that cannot hold unnamed files need a named temporary file;
// should the program be stopped by one of these signals while it exists, the
// handler removes it (kill -9 cannot be caught: that leaves the hidden name).

struct CleanupSlot {
    std::atomic<bool> claimed{false};
    std::atomic<int> folder{-1};  // >= 0 once `name` is complete
    char name[64] = {};
};
CleanupSlot g_slots[16];
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];
std::mutex g_handlerMutex;
std::atomic<bool> g_handlersInstalled{false};

void RemoveTemporariesAndRaise(int sig) {
    for (CleanupSlot& slot : g_slots) {
        const int folder = slot.folder.load();
        if (folder >= 0) unlinkat(folder, slot.name, 0);
    }
    for (int i = 0; i < 3; ++i)
        if (kCleanupSignals[i] == sig) sigaction(sig, &g_previous[i], nullptr);
    g_handlersInstalled.store(false);
    raise(sig);
}

void InstallCleanupHandlers() {
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    if (g_handlersInstalled.load()) return;
    for (int i = 0; i < 3; ++i) {
        struct sigaction current {};
        sigaction(kCleanupSignals[i], nullptr, &current);
        g_previous[i] = current;
        // A signal the program ignores (nohup) stays ignored.
        if (current.sa_handler == SIG_IGN) continue;
        struct sigaction ours {};
        ours.sa_handler = RemoveTemporariesAndRaise;
        sigemptyset(&ours.sa_mask);
        for (int s : kCleanupSignals) sigaddset(&ours.sa_mask, s);
        sigaction(kCleanupSignals[i], &ours, nullptr);
    }
    g_handlersInstalled.store(true);
}

int ClaimSlot(int folder, const std::string& name) {
    if (name.size() >= sizeof(CleanupSlot::name)) return -1;
    InstallCleanupHandlers();
    for (int i = 0; i < static_cast<int>(std::size(g_slots)); ++i) {
        bool expected = false;
        if (!g_slots[i].claimed.compare_exchange_strong(expected, true)) continue;
        std::memcpy(g_slots[i].name, name.c_str(), name.size() + 1);
        g_slots[i].folder.store(folder);
        return i;
    }
    return -1;
}

void ReleaseSlot(int& slot) {
    if (slot < 0) return;
    g_slots[slot].folder.store(-1);
    g_slots[slot].claimed.store(false);
    slot = -1;
}

// ---- helpers ---------------------------------------------------------------

// A write past the file-size limit must fail with EFBIG, as a full disk fails
// with ENOSPC, rather than end the program.
void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) signal(SIGXFSZ, SIG_IGN);
    });
}

// Naming an unnamed file goes through /proc/self/fd.
bool ProcFdAvailable() {
    static const bool available = access("/proc/self/fd", X_OK) == 0;
    return available;
}

std::string RandomTempName() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[10];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static std::atomic<unsigned> counter{0};
        const unsigned n = counter.fetch_add(1) ^ static_cast<unsigned>(getpid()) * 2654435761u;
        for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(n >> (i % 4 * 8)) + i;
    }
    std::string name = ".corvane-save-";
    for (unsigned char b : bytes) name.push_back(kLetters[b % (sizeof kLetters - 1)]);
    return name;
}

std::atomic<bool> g_namedTemporaries{false};

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

SafeFile::~SafeFile() { Discard(); }

void UseNamedTemporariesForTesting(bool named) { g_namedTemporaries.store(named); }

bool SafeFile::Fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    return false;
}

std::string SafeFile::error() const { return error_ == 0 ? std::string() : std::generic_category().message(error_); }

bool SafeFile::Create(const std::string& path, FileAccess access) {
    Discard();
    path_ = path;
    name_.clear();
    position_ = 0;
    error_ = 0;
    committed_ = false;
    const size_t slash = path.rfind('/');
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    if (name_.empty() || name_ == "." || name_ == "..") return Fail(EISDIR);
    if (name_.size() > NAME_MAX) return Fail(ENAMETOOLONG);

    folder_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) return Fail(errno);
    IgnoreFileSizeSignal();
    const mode_t mode = access == FileAccess::Private ? 0600 : 0666;
    if (ProcFdAvailable() && !g_namedTemporaries.load()) {
        fd_ = openat(folder_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        // Only a file system without unnamed files gets a named one; any other
        // refusal (permissions, a full disk, a read-only folder) is final.
        if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            const int e = errno;
            Discard();
            return Fail(e);
        }
    }
    if (fd_ < 0) {
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            const std::string temp = RandomTempName();
            fd_ = openat(folder_, temp.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, mode);
            if (fd_ >= 0) {
                tempName_ = temp;
                slot_ = ClaimSlot(folder_, temp);
            } else if (errno != EEXIST) {
                break;
            }
        }
        if (fd_ < 0) {
            const int e = errno;
            Discard();
            return Fail(e);
        }
    }
    // The umask may not widen a private file, and a default ACL may not either.
    if (access == FileAccess::Private && fchmod(fd_, 0600) != 0) {
        const int e = errno;
        Discard();
        return Fail(e);
    }
    return true;
}

bool SafeFile::Write(const void* data, size_t size) {
    if (fd_ < 0) return Fail(EBADF);
    if (error_ != 0) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = pwrite(fd_, p, size, static_cast<off_t>(position_));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Fail(errno);
        if (n == 0) return Fail(EIO);
        p += n;
        size -= static_cast<size_t>(n);
        position_ += static_cast<uint64_t>(n);
    }
    return true;
}

bool SafeFile::Seek(uint64_t position) {
    if (position > static_cast<uint64_t>(INT64_MAX)) return false;
    position_ = position;
    return true;
}

uint64_t SafeFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

size_t SafeFile::Read(void* data, size_t size) {
    if (fd_ < 0) return 0;
    char* p = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd_, p + done, size - done, static_cast<off_t>(position_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        position_ += static_cast<uint64_t>(n);
    }
    return done;
}

int SafeFile::OpenForReading() const {
    if (fd_ < 0) return -1;
    if (tempName_.empty()) {
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
        return open(proc, O_RDONLY | O_CLOEXEC);
    }
    const int fd = openat(folder_, tempName_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat a {}, b {};
    if (fd >= 0 && (fstat(fd, &a) != 0 || fstat(fd_, &b) != 0 || !SameFile(a, b))) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reasons of the naming steps: 0 when named, kNameTaken when the name exists
// and may not be replaced, else the system's error number.
constexpr int kNameTaken = -1;

SaveStatus SafeFile::Commit(bool replaceExisting) {
    int e = fd_ < 0 ? EBADF : error_;
    if (e == 0 && fsync(fd_) != 0) e = errno;
    if (e == 0 && replaceExisting) e = CheckReplaceable();
    if (e == 0) e = tempName_.empty() ? NameUnnamedFile(replaceExisting) : NameTemporaryFile(replaceExisting);
    // The name itself must reach the disk before the file counts as saved.
    if (e == 0 && fsync(folder_) != 0 && errno != EINVAL) {
        e = errno;
        if (!replaceExisting) unlinkat(folder_, name_.c_str(), 0);
    }
    if (e == 0) committed_ = true;
    else if (e != kNameTaken) Fail(e);
    Discard();
    if (e == 0) return SaveStatus::Saved;
    return e == kNameTaken ? SaveStatus::AlreadyExists : SaveStatus::Failed;
}

// Only a regular file is replaced: a device, a pipe, a folder or a symbolic
// link of that name stays as it is.
int SafeFile::CheckReplaceable() const {
    struct stat existing {};
    if (fstatat(folder_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0 || S_ISREG(existing.st_mode)) return 0;
    return S_ISDIR(existing.st_mode) ? EISDIR : EEXIST;
}

int SafeFile::NameTemporaryFile(bool replaceExisting) {
    // The hidden name sits in a folder that others may write to: only our
    // own file is ever given the final name.
    struct stat named {}, ours {};
    if (fstatat(folder_, tempName_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || fstat(fd_, &ours) != 0 ||
        !SameFile(named, ours))
        return EEXIST;
    if (replaceExisting) {
        if (renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) != 0) return errno;
    } else {
        if (linkat(folder_, tempName_.c_str(), folder_, name_.c_str(), 0) != 0)
            return errno == EEXIST ? kNameTaken : errno;
        unlinkat(folder_, tempName_.c_str(), 0);
    }
    ReleaseSlot(slot_);
    tempName_.clear();
    return 0;
}

int SafeFile::NameUnnamedFile(bool replaceExisting) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
    if (!replaceExisting) {
        if (linkat(AT_FDCWD, proc, folder_, name_.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
        return errno == EEXIST ? kNameTaken : errno;
    }
    // An unnamed file cannot be renamed: it gets a hidden name first, which
    // then replaces the old file in one step.
    std::string temp;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = RandomTempName();
        if (linkat(AT_FDCWD, proc, folder_, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) break;
        if (errno != EEXIST) return errno;
        temp.clear();
    }
    if (temp.empty()) return EEXIST;
    slot_ = ClaimSlot(folder_, temp);
    int e = 0;
    if (renameat(folder_, temp.c_str(), folder_, name_.c_str()) != 0) {
        e = errno;
        unlinkat(folder_, temp.c_str(), 0);
    }
    ReleaseSlot(slot_);
    return e;
}

void SafeFile::Discard() {
    if (!tempName_.empty() && folder_ >= 0 && !committed_) unlinkat(folder_, tempName_.c_str(), 0);
    tempName_.clear();
    ReleaseSlot(slot_);
    if (fd_ >= 0) close(fd_);
    if (folder_ >= 0) close(folder_);
    fd_ = -1;
    folder_ = -1;
}

SaveStatus WriteFileSafely(const std::string& path, std::string_view bytes, FileAccess access, bool replaceExisting,
                           std::string* reason) {
    SafeFile file;
    SaveStatus status = SaveStatus::Failed;
    if (file.Create(path, access) && file.Write(bytes)) status = file.Commit(replaceExisting);
    if (status == SaveStatus::Failed && reason) *reason = file.error();
    if (status == SaveStatus::AlreadyExists && reason) *reason = std::generic_category().message(EEXIST);
    return status;
}

}  // namespace corvane
