#include "platform/thread.h"

#include <condition_variable>
#include <mutex>

namespace kivota {

namespace {

struct TrackerState {
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
};

// Never destroyed: detached threads may end while static destructors run at process exit.
TrackerState& tracker() {
    static auto* state = new TrackerState;
    return *state;
}

}  // namespace

TThread::~TThread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

void TThread::Resume() {
    if (started_.exchange(true)) return;
    ThreadTracker::threadStarted();
    if (freeOnTerminate_) {
        // The running thread keeps its object alive; the last reference frees it.
        std::shared_ptr<TThread> self = shared_from_this();
        thread_ = std::thread([self]() mutable {
            self->Execute();
            self->finished_.store(true);
            self.reset();
            ThreadTracker::threadEnded();
        });
        thread_.detach();
    } else {
        thread_ = std::thread([this] {
            Execute();
            finished_.store(true);
            ThreadTracker::threadEnded();
        });
    }
}

void TThread::WaitFor() {
    if (!freeOnTerminate_ && thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void ThreadTracker::threadStarted() {
    std::lock_guard lock(tracker().mutex);
    ++tracker().running;
}

void ThreadTracker::threadEnded() {
    auto& t = tracker();
    std::lock_guard lock(t.mutex);
    if (--t.running == 0) t.ended.notify_all();
}

int ThreadTracker::running() {
    std::lock_guard lock(tracker().mutex);
    return tracker().running;
}

bool ThreadTracker::waitAllEnded(std::chrono::milliseconds bound) {
    auto& t = tracker();
    std::unique_lock lock(t.mutex);
    return t.ended.wait_for(lock, bound, [&] { return t.running == 0; });
}

}  // namespace kivota
