// A window's busy state: its inputs locked while an operation runs, a close
// put off until the operation ends and then carried out, drags refused.
#include "widgets/busy_guard.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>
#include <QWidget>

namespace corvane {
namespace {

bool DragTaken(QWidget& window) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/picture.png"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    return enter.isAccepted();
}

TEST(BusyGuard, LocksItsControlsAndPutsACloseOffUntilTheEnd) {
    QWidget window;
    auto* start = new QPushButton(&window);
    auto* other = new QPushButton(&window);
    auto* guard = new BusyGuard(&window);
    guard->lockWhileBusy({start});
    QSignalSpy deferred(guard, &BusyGuard::closeDeferred);
    window.show();
    EXPECT_TRUE(DragTaken(window));

    guard->begin();
    EXPECT_TRUE(guard->busy());
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(other->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_FALSE(DragTaken(window));
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(deferred.count(), 1);

    guard->end();
    EXPECT_FALSE(guard->busy());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(window.isVisible());
}

TEST(BusyGuard, AnIdleWindowClosesAtOnceAndStaysClosedAfterARun) {
    QWidget window;
    auto* guard = new BusyGuard(&window);
    window.show();
    guard->begin();
    guard->end();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace corvane
