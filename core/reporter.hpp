#pragma once
// How a long operation talks to whoever runs it: a window, the terminal
// command or a test. Every method has a do-nothing default.
#include <string_view>

namespace corvane {

enum class MessageIcon { Information, Critical };

class Reporter {
public:
    virtual ~Reporter() = default;
    // A progress caption such as "0.42%" (a window shows it on the busy button).
    virtual void Progress(std::u16string_view caption) { (void)caption; }
    // The whole text of a status box.
    virtual void Status(std::u16string_view text) { (void)text; }
    // One more log line (shown after a line break).
    virtual void Log(std::u16string_view line) { (void)line; }
    // A message the user must see and acknowledge.
    virtual void Message(std::u16string_view text, MessageIcon icon) {
        (void)text;
        (void)icon;
    }
    // Lets pending window events run at the points an operation names.
    virtual void PendingEvents() {}
};

}  // namespace corvane
