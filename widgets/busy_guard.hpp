#pragma once
// A main window's busy state: while an operation runs, the controls that
// change its inputs are locked, the cursor waits, drops are refused, and a
// close waits for the operation to end; the window then closes by itself.
//
// The window calls begin() before starting the operation and end() when its
// result has arrived. The guard watches the window's close and drag events
// itself: the window need not override closeEvent() or dragEnterEvent()
// (a drag is taken while idle when it carries files; the drop itself is
// ImageKeyPickers' to place).
#include <QObject>

#include <initializer_list>
#include <vector>

class QWidget;

namespace corvane {

class BusyGuard : public QObject {
    Q_OBJECT

public:
    explicit BusyGuard(QWidget* window);
    ~BusyGuard() override;

    // The controls that stay disabled while busy.
    void lockWhileBusy(std::initializer_list<QWidget*> controls);

    bool busy() const { return busy_; }
    // True once a close was asked while busy.
    bool closeRequested() const { return closeRequested_; }

    void begin();
    // Unlocks; closes the window when a close was asked meanwhile.
    void end();

signals:
    // A close was asked while busy and put off until end(): an operation
    // that can stop early (a batch between its files) may stop now.
    void closeDeferred();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void lock(bool locked);

    QWidget* window_;
    std::vector<QWidget*> locked_;
    bool busy_ = false;
    bool closeRequested_ = false;
};

}  // namespace corvane
