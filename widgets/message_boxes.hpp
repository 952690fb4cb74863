#pragma once
// The one way a window raises a message box, so that tests can record the
// messages instead of blocking on them.
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/reporter.hpp"

namespace corvane {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void Information(std::u16string_view text) = 0;
    virtual void Critical(std::u16string_view text) = 0;
    // A yes/no question; true for yes. No is the default answer, so that
    // a stray Enter never confirms something that cannot be undone.
    virtual bool Question(std::u16string_view text) = 0;
    // For the messages that operations raise through their reporter.
    void Show(std::u16string_view text, MessageIcon icon) {
        if (icon == MessageIcon::Critical)
            Critical(text);
        else
            Information(text);
    }
};

// Modal QMessageBox with an OK button, owned by the window given.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
    void Information(std::u16string_view text) override;
    void Critical(std::u16string_view text) override;
    bool Question(std::u16string_view text) override;

private:
    QPointer<QWidget> owner_;
};

// The message boxes a window uses: the given ones (a test's), or Qt's owned
// by the window, kept in `own`.
MessageBoxes* GivenOrQtMessageBoxes(MessageBoxes* given, QWidget* owner, std::unique_ptr<MessageBoxes>& own);

class RecordingMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        MessageIcon icon;
        std::u16string text;
        bool operator==(const Shown&) const = default;
    };
    void Information(std::u16string_view text) override { shown.push_back({MessageIcon::Information, std::u16string(text)}); }
    void Critical(std::u16string_view text) override { shown.push_back({MessageIcon::Critical, std::u16string(text)}); }
    // Recorded apart from the messages, and answered with `answer`.
    bool Question(std::u16string_view text) override {
        questions.emplace_back(text);
        return answer;
    }

    std::vector<Shown> shown;
    std::vector<std::u16string> questions;
    bool answer = false;
};

}  // namespace corvane
