#pragma once
// Work that runs on a second thread while the caller goes on with its own
// part, for the few passes over a large image that split in two. When no
// thread can be started the work runs at once on the caller's thread: the
// result is the same, only later.
#include <functional>
#include <future>
#include <system_error>

namespace corvane {

class WorkBeside {
public:
    // `beside` false runs the work at once: the caller knows a thread would
    // cost more than it saves (a small image).
    explicit WorkBeside(const std::function<void()>& work, bool beside = true) {
        if (beside) {
            try {
                future_ = std::async(std::launch::async, work);
                return;
            } catch (const std::system_error&) {
            }
        }
        work();
    }
    WorkBeside(const WorkBeside&) = delete;
    WorkBeside& operator=(const WorkBeside&) = delete;
    ~WorkBeside() { Wait(); }

    // Waits for the work; an exception it threw comes out here.
    void Wait() {
        if (future_.valid()) future_.get();
    }

private:
    std::future<void> future_;
};

}  // namespace corvane
