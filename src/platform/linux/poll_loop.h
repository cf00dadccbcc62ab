#pragma once
// A small single-threaded event loop in plain C++ for a front end without a toolkit: readable
// descriptors and timers are dispatched on the thread that runs the loop, and any thread may
// wake it (a message was queued for that thread). The window's counterpart is Qt's loop.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace kivota {

class PollLoop {
public:
    using Callback = std::function<void()>;
    using TimerId = std::uint64_t;

    PollLoop();
    ~PollLoop();
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    // Calls `onReadable` whenever `fd` has data (or an error); replaces an earlier watch.
    void watch(int fd, Callback onReadable);
    void unwatch(int fd);

    // Calls `onDue` `ms` milliseconds from now, and every `ms` after that when `repeat`.
    TimerId startTimer(int ms, bool repeat, Callback onDue);
    void stopTimer(TimerId id);
    bool timerActive(TimerId id) const { return timers_.count(id) != 0; }

    // Any thread: the wait in progress (or the next one) returns at once. Async-signal-safe.
    void wake();

    // Waits until a descriptor is readable, a timer is due, the loop is woken or `bound`
    // passed, then dispatches what is ready. Callbacks may watch, unwatch and start or stop
    // timers, also their own.
    void runOnce(std::chrono::milliseconds bound);

private:
    struct Timer {
        std::chrono::steady_clock::time_point due;
        std::chrono::milliseconds period;
        bool repeat;
        Callback onDue;
    };
    void dispatchDueTimers();

    int wakeFd_ = -1;  // eventfd
    std::map<int, Callback> readers_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
};

}  // namespace kivota
