#pragma once
// Runs a window's long operation on a thread of its own, one at a time, and
// carries the operation's reports back to the window's thread, so the window
// repaints and moves while the operation runs.
//
// From the operation's thread: post() for reports the operation need not wait
// for (they run in the order posted), call() for those it must wait for (a
// message box the user acknowledges, a text whose delivery it checks). Once
// the worker is being destroyed, call() returns false at once and
// stopRequested() turns true; the destructor then waits for the operation to
// end, so an operation that must not be cut short simply runs to its end.
#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace corvane {

class WindowWorker : public QObject {
    Q_OBJECT

public:
    explicit WindowWorker(QObject* parent = nullptr);
    ~WindowWorker() override;

    bool running() const { return thread_ != nullptr; }

    // Runs `job` on a new thread; once it has returned and every report it
    // posted has run, runs `done` on this object's thread and emits
    // finished(). False, running nothing, while another job runs.
    bool start(std::function<void()> job, std::function<void()> done);

    // Thread-safe. Runs `report` on this object's thread, later.
    void post(std::function<void()> report);
    // Thread-safe; never from this object's thread. Runs `report` there and
    // waits for it; false, without running it, once the worker is being
    // destroyed.
    bool call(std::function<void()> report);
    // Thread-safe. True once the worker is being destroyed.
    bool stopRequested() const;

signals:
    void finished();

private:
    struct Shared {
        mutable std::mutex mutex;
        std::condition_variable answered;
        bool stopping = false;
    };

    void onThreadFinished();

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    QThread* thread_ = nullptr;
    std::function<void()> done_;
};

}  // namespace corvane
