#include "core/sandbox.hpp"

#include <linux/capability.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define CORVANE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVANE_SANITIZED 1
#endif
#endif

namespace corvane::sandbox {
namespace {

// Landlock's interface, spelled out here: the system's headers may be older
// than the kernel and lack the rights it can take away.
struct LandlockRulesetAttr {
    uint64_t handledAccessFs;
    uint64_t handledAccessNet;
    uint64_t scoped;
};
constexpr uint32_t kLandlockVersion = 1u << 0;

// Every file-system right the kernel's ABI version knows; with no rule
// added, each of them is denied everywhere.
uint64_t FileSystemRights(int abi) {
    uint64_t rights = (uint64_t{1} << 13) - 1;  // execute to make-symlink
    if (abi >= 2) rights |= uint64_t{1} << 13;  // refer (link and rename across folders)
    if (abi >= 3) rights |= uint64_t{1} << 14;  // truncate
    if (abi >= 5) rights |= uint64_t{1} << 15;  // ioctl on devices
    return rights;
}

bool ForbidFileSystem(int abi) {
    if (abi <= 0) return true;  // seccomp alone keeps every path closed then
    const LandlockRulesetAttr attr{
        FileSystemRights(abi),
        abi >= 4 ? uint64_t{3} : 0,  // TCP bind and connect
        abi >= 6 ? uint64_t{3} : 0,  // abstract sockets and signals beyond the process
    };
    const long fd = syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
    if (fd < 0) return false;
    const bool ok = syscall(SYS_landlock_restrict_self, static_cast<int>(fd), 0) == 0;
    close(static_cast<int>(fd));
    return ok;
}

// Root keeps no capability either, so that it cannot raise a hard limit.
bool DropCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    return syscall(SYS_capset, &header, data) == 0;
}

// Soft and hard alike, never above a hard limit the process already has.
bool SetLimit(int resource, uint64_t value) {
    rlimit current{};
    if (getrlimit(resource, &current) != 0) return false;
    rlim_t v = static_cast<rlim_t>(value);
    if (current.rlim_max != RLIM_INFINITY && current.rlim_max < v) v = current.rlim_max;
    const rlimit limit = {v, v};
    return setrlimit(resource, &limit) == 0;
}

bool SetLimits(const Limits& limits) {
    return SetLimit(RLIMIT_AS, limits.addressSpace) && SetLimit(RLIMIT_CPU, limits.cpuSeconds) &&
           SetLimit(RLIMIT_FSIZE, 0) && SetLimit(RLIMIT_CORE, 0) && (limits.threads || SetLimit(RLIMIT_NPROC, 0));
}

class Filter {
public:
    Filter() : ctx_(seccomp_init(SCMP_ACT_ERRNO(EPERM))) {}
    ~Filter() {
        if (ctx_) seccomp_release(ctx_);
    }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    void Allow(int call, std::initializer_list<scmp_arg_cmp> args = {}) {
        Add(SCMP_ACT_ALLOW, call, args);
    }
    void Add(uint32_t action, int call, std::initializer_list<scmp_arg_cmp> args) {
        if (ctx_ && seccomp_rule_add_array(ctx_, action, call, static_cast<unsigned>(args.size()), args.begin()) != 0)
            ok_ = false;
    }
    bool Load() { return ctx_ && ok_ && seccomp_load(ctx_) == 0; }

private:
    scmp_filter_ctx ctx_;
    bool ok_ = true;
};

// What decoding needs, as the image libraries were seen to call it over every
// format they read (sysinfo: the C library's sort asks for the memory size);
// nothing that names a file, makes a socket or reaches another process.
// A thread is a clone sharing memory, signal handlers and thread group;
// clone3 hides its flags in memory, so it is reported missing and the C
// library falls back to clone. As root the process limit binds nothing:
// here alone a new process is stopped.
void AllowThreads(Filter& f) {
    f.Add(SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), {});
    constexpr scmp_datum_t kThread = CLONE_VM | CLONE_SIGHAND | CLONE_THREAD;
    f.Allow(SCMP_SYS(clone), {SCMP_A0(SCMP_CMP_MASKED_EQ, kThread, kThread)});
    for (int call : {SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(rt_sigaction)}) f.Allow(call);
}

bool FilterSystemCalls(bool threads) {
    Filter f;
    if (threads) AllowThreads(f);
    f.Allow(SCMP_SYS(read), {SCMP_A0(SCMP_CMP_EQ, 0)});
    f.Allow(SCMP_SYS(write), {SCMP_A0(SCMP_CMP_EQ, 1)});
    f.Allow(SCMP_SYS(recvfrom), {SCMP_A0(SCMP_CMP_EQ, 1), SCMP_A4(SCMP_CMP_EQ, 0)});
    f.Allow(SCMP_SYS(sendto), {SCMP_A0(SCMP_CMP_EQ, 1), SCMP_A4(SCMP_CMP_EQ, 0)});
    f.Allow(SCMP_SYS(mmap), {SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)});
    f.Allow(SCMP_SYS(mprotect), {SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)});
    for (int call : {SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(brk), SCMP_SYS(madvise), SCMP_SYS(futex),
                     SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(clock_nanosleep),
                     SCMP_SYS(gettimeofday), SCMP_SYS(time), SCMP_SYS(exit), SCMP_SYS(exit_group),
                     SCMP_SYS(rt_sigreturn), SCMP_SYS(rt_sigprocmask), SCMP_SYS(getpid), SCMP_SYS(gettid),
                     SCMP_SYS(sysinfo)})
        f.Allow(call);
    // abort() and raise() signal this process only.
    f.Allow(SCMP_SYS(tgkill), {SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(getpid()))});
    // Lower, never raise: without capabilities a hard limit only goes down.
    for (int resource : {RLIMIT_AS, RLIMIT_CPU})
        f.Allow(SCMP_SYS(prlimit64),
                {SCMP_A0(SCMP_CMP_EQ, 0), SCMP_A1(SCMP_CMP_EQ, static_cast<scmp_datum_t>(resource))});
#ifdef CORVANE_SANITIZED
    // The sanitizers' runtime, when it reports, writes to descriptor 2,
    // yields and handles signals; it asks each new thread for its stack,
    // which the C library answers with the thread's processor affinity.
    f.Allow(SCMP_SYS(write), {SCMP_A0(SCMP_CMP_EQ, 2)});
    for (int call : {SCMP_SYS(sched_yield), SCMP_SYS(sigaltstack), SCMP_SYS(rt_sigaction), SCMP_SYS(sched_getaffinity)})
        f.Allow(call);
#endif
    return f.Load();
}

bool Fail(Report* report, const char* step) {
    if (report) report->failure = step;
    return false;
}

}  // namespace

uint64_t AddressSpaceInUse() {
    unsigned long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return uint64_t{pages} * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

int LandlockAbi() {
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, kLandlockVersion);
    return abi > 0 ? static_cast<int>(abi) : 0;
}

bool Enter(const Limits& limits, Report* report) {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return Fail(report, "no new privileges");
    if (!DropCapabilities()) return Fail(report, "capabilities");
    if (!SetLimits(limits)) return Fail(report, "limits");
    const int abi = LandlockAbi();
    if (report) report->landlockAbi = abi;
    if (!ForbidFileSystem(abi)) return Fail(report, "Landlock");
    if (!FilterSystemCalls(limits.threads)) return Fail(report, "seccomp");
    return true;
}

bool Lower(const Limits& limits) {
    bool ok = true;
    for (const auto& [resource, value] : {std::pair{RLIMIT_AS, limits.addressSpace}, std::pair{RLIMIT_CPU, limits.cpuSeconds}}) {
        rlimit current{};
        if (value == 0 || getrlimit(resource, &current) != 0 || current.rlim_cur <= value) continue;
        const rlimit lower = {static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
        ok = setrlimit(resource, &lower) == 0 && ok;
    }
    return ok;
}

}  // namespace corvane::sandbox
