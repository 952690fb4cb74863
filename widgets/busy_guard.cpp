#include "widgets/busy_guard.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QWidget>

namespace corvane {

BusyGuard::~BusyGuard() {
    // A window destroyed while busy leaves no waiting cursor behind.
    if (busy_) QApplication::restoreOverrideCursor();
}

void BusyGuard::lockWhileBusy(std::initializer_list<QWidget*> controls) {
    locked_.insert(locked_.end(), controls.begin(), controls.end());
}

void BusyGuard::lock(bool locked) {
    for (QWidget* w : locked_) w->setEnabled(!locked);
}

void BusyGuard::begin() {
    if (busy_) return;
    busy_ = true;
    lock(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void BusyGuard::end() {
    if (!busy_) return;
    busy_ = false;
    lock(false);
    QApplication::restoreOverrideCursor();
    if (closeRequested_) {
        closeRequested_ = false;
        window_->close();
    }
}

void BusyGuard::filterClose(QCloseEvent& event) {
    if (busy_) {
        closeRequested_ = true;
        event.ignore();
        return;
    }
    event.accept();
}

void BusyGuard::filterDrag(QDragEnterEvent& event) const {
    if (event.mimeData()->hasUrls() && !busy_) event.acceptProposedAction();
}

}  // namespace corvane
