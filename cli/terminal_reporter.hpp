#pragma once
// Reports an operation on the terminal: progress captions rewrite one line of
// standard error when it is a terminal, log lines and messages go to
// standard error. Standard output stays for results.
#include <string>

#include "core/reporter.hpp"

namespace corvane::cli {

class TerminalReporter : public Reporter {
public:
    TerminalReporter();
    ~TerminalReporter() override;
    // Rewrites the progress line with `caption`.
    void ShowProgress(std::u16string_view caption);
    // Shown as a percentage, "42.00%", on the progress line.
    void ProgressFraction(double fraction) override;
    void Status(std::u16string_view text) override;
    void Log(std::u16string_view line) override;
    void Message(std::u16string_view text, MessageIcon icon) override;
    // Ends a progress line before other output.
    void EndProgress();

private:
    bool terminal_;
    bool progressShown_ = false;
};

}  // namespace corvane::cli
