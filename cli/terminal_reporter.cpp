#include "cli/terminal_reporter.hpp"

#include <cstdio>

#include "cli/args.hpp"
#include "core/code_page.hpp"
#include "core/number_format.hpp"

namespace corvane::cli {

TerminalReporter::TerminalReporter() : terminal_(StderrIsTerminal()) {}

TerminalReporter::~TerminalReporter() { EndProgress(); }

void TerminalReporter::EndProgress() {
    if (progressShown_) {
        std::fputs("\r\033[K", stderr);
        progressShown_ = false;
    }
}

void TerminalReporter::ShowProgress(std::u16string_view caption) {
    if (!terminal_) return;
    std::fprintf(stderr, "\r\033[K%s", TextToUtf8(caption).c_str());
    std::fflush(stderr);
    progressShown_ = true;
}

void TerminalReporter::ProgressFraction(double fraction) { ShowProgress(FormatNumber(fraction, "0.00%")); }

void TerminalReporter::Status(std::u16string_view text) {
    EndProgress();
    std::fprintf(stderr, "%s\n", TextToUtf8(text).c_str());
}

void TerminalReporter::Log(std::u16string_view line) {
    EndProgress();
    std::fprintf(stderr, "%s\n", TextToUtf8(line).c_str());
}

void TerminalReporter::Message(std::u16string_view text, MessageIcon icon) {
    EndProgress();
    std::fprintf(stderr, "%s%s\n", icon == MessageIcon::Critical ? "error: " : "", TextToUtf8(text).c_str());
}

}  // namespace corvane::cli
