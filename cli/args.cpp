#include "cli/args.hpp"

#include <unistd.h>

#include <cstdio>

#include "cli/command.hpp"

namespace corvane::cli {

bool Args::Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
                 const std::set<std::string>& flags) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        std::optional<std::string> inlineValue;
        if (const size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = a.substr(eq + 1);
            a = a.substr(0, eq);
        }
        if (valued.count(a)) {
            if (inlineValue) {
                values_[a] = *inlineValue;
            } else if (i + 1 < args.size()) {
                values_[a] = args[++i];
            } else {
                error_ = "option " + a + " needs a value";
                return false;
            }
        } else if (flags.count(a) && !inlineValue) {
            flags_.insert(a);
        } else {
            error_ = (a.rfind("--", 0) == 0 ? "unknown option " : "unexpected argument ") + args[i];
            return false;
        }
    }
    return true;
}

std::optional<std::string> Args::Value(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::string Args::EmptyPath(std::initializer_list<const char*> names) const {
    for (const char* name : names)
        if (const auto it = values_.find(name); it != values_.end() && it->second.empty()) return name;
    return {};
}

std::string Args::ValueOr(const std::string& name, const std::string& fallback) const {
    return Value(name).value_or(fallback);
}

int UsageError(const std::string& command, const std::string& text) {
    std::fprintf(stderr, "corvane %s: %s\nTry 'corvane %s --help'.\n", command.c_str(), text.c_str(), command.c_str());
    return kExitUsage;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace corvane::cli
