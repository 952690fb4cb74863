#include "widgets/window_worker.hpp"

#include <QMetaObject>
#include <QThread>

#include <utility>

namespace corvane {

WindowWorker::WindowWorker(QObject* parent) : QObject(parent) {}

WindowWorker::~WindowWorker() {
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->answered.notify_all();
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
}

bool WindowWorker::start(std::function<void()> job, std::function<void()> done) {
    if (thread_) return false;
    done_ = std::move(done);
    thread_ = QThread::create(std::move(job));
    // Queued: the thread's end arrives after the reports it posted.
    connect(thread_, &QThread::finished, this, &WindowWorker::onThreadFinished, Qt::QueuedConnection);
    thread_->start();
    return true;
}

void WindowWorker::onThreadFinished() {
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    std::function<void()> done = std::move(done_);
    done_ = nullptr;
    if (done) done();
    emit finished();
}

void WindowWorker::post(std::function<void()> report) {
    QMetaObject::invokeMethod(this, std::move(report), Qt::QueuedConnection);
}

bool WindowWorker::call(std::function<void()> report) {
    // The answer is kept apart from the caller's frame: when the worker goes
    // away first, the report never runs and the caller has moved on.
    auto answered = std::make_shared<bool>(false);
    std::unique_lock<std::mutex> lock(shared_->mutex);
    if (shared_->stopping) return false;
    std::weak_ptr<Shared> weak = shared_;
    QMetaObject::invokeMethod(
        this,
        [report = std::move(report), answered, weak] {
            report();
            if (const auto shared = weak.lock()) {
                {
                    const std::lock_guard<std::mutex> relock(shared->mutex);
                    *answered = true;
                }
                shared->answered.notify_all();
            }
        },
        Qt::QueuedConnection);
    shared_->answered.wait(lock, [&] { return *answered || shared_->stopping; });
    return *answered;
}

bool WindowWorker::stopRequested() const {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->stopping;
}

}  // namespace corvane
