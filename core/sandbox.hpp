#pragma once
// The confinement of the image decoder process. A file that exploits a bug
// in an image library takes over that process; what it can do then is what
// is left here: read the image on descriptor 0, talk on descriptor 1, use
// memory and time within its limits, and end. No file can be opened, named,
// changed or run, no socket made, no process started or signalled.
#include <cstdint>
#include <string>

namespace corvane::sandbox {

struct Limits {
    uint64_t addressSpace = 0;  // bytes of address space in all, mapped ones included
    uint64_t cpuSeconds = 0;
    // Threads of its own (the WebP decoder starts one); never a process.
    bool threads = false;
};

struct Report {
    int landlockAbi = 0;  // 0: the kernel has no Landlock, or it is disabled
    std::string failure;  // the step that failed, when Enter returned false
};

// Gives up, in this order: new privileges and capabilities; the right to
// raise the limits (hard = soft: address space, CPU, file size 0, core 0,
// no new processes when it needs no threads either, as the process limit
// counts threads); all file-system and network access (Landlock, where the
// kernel has it); and every system call decoding does not need (seccomp).
// A forbidden call fails with EPERM. Call while the process has one thread.
// False when a step failed: the caller must then not go on.
bool Enter(const Limits& limits, Report* report = nullptr);

// Lowers both limits once the real cost is known; they can never go back up.
// A limit of 0 is left as it is.
bool Lower(const Limits& limits);

// The address space mapped now, which a limit must count in (the address
// sanitizer reserves terabytes of it for its shadow). Call before Enter: it
// reads /proc.
uint64_t AddressSpaceInUse();

// The Landlock ABI version the kernel offers, 0 when none.
int LandlockAbi();

}  // namespace corvane::sandbox
