#pragma once
// How a long operation talks to whoever runs it: a window, the terminal
// command or a test. Every method has a do-nothing default. Reports speak of
// the work; captions and colours belong to whoever shows them. An operation may
// run on a worker thread: a reporter that touches a window posts to it.
#include <string_view>

namespace corvane {

enum class MessageIcon { Information, Critical };

class Reporter {
public:
    virtual ~Reporter() = default;
    // The share of the work done so far, from 0 to 1.
    virtual void ProgressFraction(double fraction) { (void)fraction; }
    // The whole text of a status box.
    virtual void Status(std::u16string_view text) { (void)text; }
    // One more log line (shown after a line break).
    virtual void Log(std::u16string_view line) { (void)line; }
    // A message the user must see and acknowledge.
    virtual void Message(std::u16string_view text, MessageIcon icon) {
        (void)text;
        (void)icon;
    }
    // True once whoever runs the operation wants it to stop at the next point
    // where stopping leaves every file whole.
    virtual bool StopRequested() const { return false; }
    // One overwrite pass of a wipe is done.
    virtual void WipePassDone() {}
};

}  // namespace corvane
