#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cli/command.hpp"

namespace corvane::cli {
namespace {

std::map<std::string, Command>& Registry() {
    static std::map<std::string, Command> commands;
    return commands;
}

void PrintHelp() {
    std::printf("Usage: corvane COMMAND [OPTIONS]\n\nHides short Unicode messages in photographs, protected by key images.\n\nCommands:\n");
    for (const auto& [name, c] : Registry()) std::printf("  %-9s %s\n", name.c_str(), c.summary);
    std::printf("\n'corvane COMMAND --help' describes a command's options. 'corvane --version' prints the version.\n");
}

}  // namespace

void RegisterCommand(const Command& command) { Registry()[command.name] = command; }

}  // namespace corvane::cli

int main(int argc, char** argv) {
    using namespace corvane::cli;
    if (argc < 2) {
        PrintHelp();
        return kExitUsage;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        PrintHelp();
        return kExitDone;
    }
    if (first == "--version") {
        std::printf("corvane %s\n", CORVANE_VERSION);
        return kExitDone;
    }
    const auto it = Registry().find(first);
    if (it == Registry().end()) {
        std::fprintf(stderr, "corvane: unknown command '%s'\n", first.c_str());
        PrintHelp();
        return kExitUsage;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            std::printf("%s", it->second.usage);
            return kExitDone;
        }
    return it->second.run(args);
}
