#pragma once
// What the main windows' tests share: a working root, recorded message
// boxes and a scripted open dialog for the window's hooks, a count of the
// paints a window gets, and a wait for a window's operation to end.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "widgets/image_key_pickers.hpp"
#include "widgets/message_boxes.hpp"

namespace corvane::testing {

struct WindowTestScene {
    TempFolder root;
    RecordingMessageBoxes messages;
    std::string openFileAnswer;  // what the open dialog answers; empty: cancelled
    QString openFileTitle;       // the title it was last opened with

    MainWindowHooks Hooks() {
        MainWindowHooks hooks;
        hooks.root = root.path();
        hooks.messages = &messages;
        hooks.openFile = [this](QWidget*, const QString& title, const QString&, const QString&) {
            openFileTitle = title;
            return openFileAnswer;
        };
        return hooks;
    }
    // Clicks a Browse button with the dialog answering `answer`; the title
    // the dialog was opened with.
    QString Browse(QAbstractButton* button, const std::string& answer) {
        openFileAnswer = answer;
        button->click();
        return openFileTitle;
    }
    std::vector<std::u16string> Shown() const {
        std::vector<std::u16string> texts;
        for (const auto& s : messages.shown) texts.push_back(s.text);
        return texts;
    }
};

// Counts the paint events `widget` receives, and how many of them came while
// `during` held.
class PaintCounter : public QObject {
public:
    PaintCounter(QObject* widget, std::function<bool()> during) : during_(std::move(during)) {
        widget->installEventFilter(this);
    }
    int paints = 0;
    int paintsDuring = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (during_()) ++paintsDuring;
        }
        return false;
    }

private:
    std::function<bool()> during_;
};

// Runs the event loop until `done` holds; false when `ms` pass first.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 120000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace corvane::testing
