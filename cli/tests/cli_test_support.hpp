#pragma once
// Runs the corvane command as a user runs it: standard input from /dev/null,
// standard output and standard error captured apart.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "test_support.hpp"

extern char** environ;

namespace corvane::testing {

struct Outcome {
    int status = -1;  // exit status, -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// The environment of a run: the test's own, with XDG_DATA_HOME set to
// `dataHome`. The used-key ledger lives there, so no test touches the
// user's ledger.
inline std::vector<std::string> EnvironmentWith(const std::string& dataHome) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("XDG_DATA_HOME=", 0) != 0) env.emplace_back(*e);
    env.push_back("XDG_DATA_HOME=" + dataHome);
    return env;
}

// `launcher` (may be empty) runs corvane: e.g. {"prlimit", "--fsize=N"}.
// Without `dataHome` each run has a ledger of its own: runs that happen to
// share a key with another message do not meet each other's entries.
inline Outcome RunCorvaneThrough(std::vector<std::string> launcher, std::vector<std::string> args,
                                 std::string dataHome = {}) {
    static TempFolder scratch;
    static int runs = 0;
    if (dataHome.empty()) dataHome = scratch / ("data-" + std::to_string(++runs));
    std::vector<std::string> env = EnvironmentWith(dataHome);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string outPath = scratch / "stdout", errPath = scratch / "stderr";
    args.insert(args.begin(), CORVANE_EXE);
    args.insert(args.begin(), launcher.begin(), launcher.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Outcome o;
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    o.out = ReadBytes(outPath);
    o.err = ReadBytes(errPath);
    return o;
}

inline Outcome RunCorvane(std::vector<std::string> args) { return RunCorvaneThrough({}, std::move(args)); }

// corvane with its used-key ledger in `dataHome`/corvane/, kept across runs.
inline Outcome RunCorvaneWithLedger(const std::string& dataHome, std::vector<std::string> args) {
    return RunCorvaneThrough({}, std::move(args), dataHome);
}

// corvane with a file-size limit: every write past `bytes` fails with EFBIG,
// as on a disk that fills up part way.
inline Outcome RunCorvaneWithFileLimit(uint64_t bytes, std::vector<std::string> args) {
    return RunCorvaneThrough({"prlimit", "--fsize=" + std::to_string(bytes)}, std::move(args));
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

inline size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
    return n;
}

inline bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace corvane::testing
