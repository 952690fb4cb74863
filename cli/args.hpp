#pragma once
// A small "--name value" / "--flag" parser for the subcommands.
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace corvane::cli {

class Args {
public:
    // `valued` take a value, `flags` do not. False (with error()) on an
    // unknown option, a missing value or a stray argument.
    bool Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
               const std::set<std::string>& flags);
    bool Has(const std::string& name) const { return values_.count(name) || flags_.count(name); }
    std::optional<std::string> Value(const std::string& name) const;
    std::string ValueOr(const std::string& name, const std::string& fallback) const;
    bool Flag(const std::string& name) const { return flags_.count(name) > 0; }
    // The first of the options naming a file or folder that was given an
    // empty value ("--output="), or an empty string when none was: an empty
    // name would quietly mean the program's own folder.
    std::string EmptyPath(std::initializer_list<const char*> names) const;
    const std::string& error() const { return error_; }

private:
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
    std::string error_;
};

// Writes "corvane <command>: <text>" and the usage hint to standard error and
// returns the usage exit status.
int UsageError(const std::string& command, const std::string& text);

// True when standard error is a terminal (progress lines are shown then).
bool StderrIsTerminal();

}  // namespace corvane::cli
