// A window's long operation on a thread of its own: its reports come back to
// the window's thread in order, its questions wait for their answers, and a
// window going away neither deadlocks nor leaves the thread behind.
#include "widgets/window_worker.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

namespace corvane {
namespace {

TEST(WindowWorker, ReportsArriveInOrderOnTheWindowsThreadBeforeTheEnd) {
    WindowWorker worker;
    QThread* const windowThread = QThread::currentThread();
    std::vector<int> seen;
    bool allOnWindowThread = true;
    std::atomic<bool> jobOnOtherThread{false};
    bool doneAfterReports = false;
    QSignalSpy finished(&worker, &WindowWorker::finished);
    ASSERT_TRUE(worker.start(
        [&] {
            jobOnOtherThread = QThread::currentThread() != windowThread;
            for (int i = 0; i < 100; ++i)
                worker.post([&, i] {
                    seen.push_back(i);
                    allOnWindowThread = allOnWindowThread && QThread::currentThread() == windowThread;
                });
        },
        [&] { doneAfterReports = seen.size() == 100; }));
    EXPECT_TRUE(worker.running());
    // One job at a time.
    EXPECT_FALSE(worker.start([] {}, [] {}));
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(worker.running());
    EXPECT_TRUE(jobOnOtherThread);
    EXPECT_TRUE(allOnWindowThread);
    EXPECT_TRUE(doneAfterReports);
    std::vector<int> expected(100);
    for (int i = 0; i < 100; ++i) expected[i] = i;
    EXPECT_EQ(seen, expected);
    // And it takes the next job.
    EXPECT_TRUE(worker.start([] {}, [] {}));
    ASSERT_TRUE(finished.wait(10000));
}

TEST(WindowWorker, AQuestionWaitsForItsAnswer) {
    WindowWorker worker;
    int answer = 0;
    bool answered = false;
    int windowValue = 41;
    QSignalSpy finished(&worker, &WindowWorker::finished);
    worker.start([&] { answered = worker.call([&] { answer = ++windowValue; }); }, [] {});
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(answered);
    EXPECT_EQ(answer, 42);
    EXPECT_FALSE(worker.stopRequested());
}

// The window is destroyed while its operation waits for an answer nobody
// will give: the question returns unanswered, the operation is asked to
// stop and finishes, and the destructor returns once it has.
TEST(WindowWorker, DestroyedWhileItsJobWaitsEndsTheJobFirst) {
    auto worker = std::make_unique<WindowWorker>();
    std::atomic<bool> asking{false};
    std::atomic<int> outcome{-1};
    std::atomic<bool> sawStop{false};
    std::atomic<bool> jobEnded{false};
    bool reportRan = false;
    worker->start(
        [&, w = worker.get()] {
            asking = true;
            outcome = w->call([&] { reportRan = true; }) ? 1 : 0;
            sawStop = w->stopRequested();
            QThread::msleep(50);
            jobEnded = true;
        },
        [] {});
    while (!asking) QThread::msleep(1);
    QThread::msleep(20);  // the question is posted and waiting
    worker.reset();
    EXPECT_TRUE(jobEnded);
    EXPECT_EQ(outcome, 0);
    EXPECT_TRUE(sawStop);
    QCoreApplication::processEvents();
    EXPECT_FALSE(reportRan);
}

}  // namespace
}  // namespace corvane
