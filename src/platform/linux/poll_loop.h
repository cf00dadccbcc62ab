#pragma once
// A small single-threaded event loop in plain C++ for a front end without a toolkit: readable
// descriptors, timers and posted tasks are dispatched on the thread that runs the loop, and any
// thread may wake it. The window's counterpart is Qt's loop (app/qt_event_loop.h).

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/event_loop.h"

namespace kivota {

class PollLoop final : public IPolledEventLoop {
public:
    PollLoop();
    ~PollLoop() override;
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    // Calls `onReadable` whenever `fd` has data (or an error); replaces an earlier watch.
    void watch(int fd, Callback onReadable) override;
    void unwatch(int fd) override;

    // Calls `onDue` `ms` milliseconds from now, and every `ms` after that when `repeat`.
    TimerId startTimer(int ms, bool repeat, Callback onDue) override;
    void stopTimer(TimerId id) override;
    bool timerActive(TimerId id) const override { return timers_.count(id) != 0; }
    // Any thread: queues `task` and wakes the loop.
    void post(Callback task) override;

    // Any thread: the wait in progress (or the next one) returns at once. Async-signal-safe.
    void wake() override;

    // Waits until a descriptor is readable, a timer is due, a task is posted, the loop is woken
    // or `bound` passed, then dispatches what is ready (posted tasks last). Callbacks may watch, unwatch and start or
    // stop timers, also their own.
    void runOnce(std::chrono::milliseconds bound) override;

private:
    struct Timer {
        std::chrono::steady_clock::time_point due;
        std::chrono::milliseconds period;
        bool repeat;
        Callback onDue;
    };
    void dispatchDueTimers();
    void runPostedTasks();

    int wakeFd_ = -1;  // eventfd
    std::map<int, Callback> readers_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    std::mutex postedLock_;
    std::vector<Callback> posted_;
};

}  // namespace kivota
