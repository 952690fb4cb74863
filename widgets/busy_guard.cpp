#include "widgets/busy_guard.hpp"

#include <QApplication>
#include <QEvent>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QWidget>

namespace corvane {

BusyGuard::BusyGuard(QWidget* window) : QObject(window), window_(window) {
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

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

bool BusyGuard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    if (event->type() == QEvent::Close && busy_) {
        // The window closes at end(), once the operation is over.
        event->ignore();
        if (!closeRequested_) {
            closeRequested_ = true;
            emit closeDeferred();
        }
        return true;
    }
    if (event->type() == QEvent::DragEnter) {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        if (drag->mimeData()->hasUrls() && !busy_) drag->acceptProposedAction();
        return true;
    }
    return false;
}

}  // namespace corvane
