#pragma once
// Subcommands of the corvane command register themselves here.
#include <string>
#include <vector>

namespace corvane::cli {

struct Command {
    const char* name;     // "keygen"
    const char* summary;  // one line for the overall help
    const char* usage;    // the subcommand's --help text
    int (*run)(const std::vector<std::string>& args);  // args after the name
};

void RegisterCommand(const Command& command);

struct CommandRegistrar {
    explicit CommandRegistrar(const Command& command) { RegisterCommand(command); }
};

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDigestMismatch = 3;

}  // namespace corvane::cli
