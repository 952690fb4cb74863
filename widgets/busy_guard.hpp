#pragma once
// A main window's busy state: while an operation runs, the controls that
// change its inputs are locked, the cursor waits, drops are refused, and a
// close waits for the operation to end; the window then closes by itself.
//
// The window calls begin() before starting the operation and end() when its
// result has arrived; its closeEvent() asks mayClose(), its dragEnterEvent()
// asks acceptsDrag().
#include <initializer_list>
#include <vector>

class QCloseEvent;
class QDragEnterEvent;
class QWidget;

namespace corvane {

class BusyGuard {
public:
    explicit BusyGuard(QWidget* window) : window_(window) {}
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    ~BusyGuard();

    // The controls that stay disabled while busy.
    void lockWhileBusy(std::initializer_list<QWidget*> controls);

    bool busy() const { return busy_; }
    // True once a close was asked while busy.
    bool closeRequested() const { return closeRequested_; }

    void begin();
    // Unlocks; closes the window when a close was asked meanwhile.
    void end();

    // For closeEvent: accepts the event unless busy; while busy it is
    // ignored and the window closes at end().
    void filterClose(QCloseEvent& event);
    // For dragEnterEvent: files are taken only while idle.
    void filterDrag(QDragEnterEvent& event) const;

private:
    void lock(bool locked);

    QWidget* window_;
    std::vector<QWidget*> locked_;
    bool busy_ = false;
    bool closeRequested_ = false;
};

}  // namespace corvane
