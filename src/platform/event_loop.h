#pragma once
// The event loop of the thread that runs a front end and the run controller: timers, readable
// descriptors and tasks posted from other threads, all dispatched on that one thread. The
// terminal runs it as a poll loop (platform/linux/poll_loop.h), the window as Qt's own loop.
//
// Every call but post() is made on the loop's thread. Callbacks may start and stop timers and
// watches, their own included.

#include <chrono>
#include <cstdint>
#include <functional>

namespace kivota {

class IEventLoop {
public:
    using Callback = std::function<void()>;
    using TimerId = std::uint64_t;  // 0 is never a timer

    virtual ~IEventLoop() = default;

    // Calls `onDue` `ms` milliseconds from now, and every `ms` after that when `repeat`.
    virtual TimerId startTimer(int ms, bool repeat, Callback onDue) = 0;
    // Stops a timer; an id that is no longer (or never was) a timer is ignored.
    virtual void stopTimer(TimerId id) = 0;
    virtual bool timerActive(TimerId id) const = 0;

    // Calls `onReadable` whenever `fd` has data (or an error); replaces an earlier watch of it.
    virtual void watch(int fd, Callback onReadable) = 0;
    virtual void unwatch(int fd) = 0;

    // Any thread: runs `task` on the loop's thread, after what is already due, in the order posted.
    virtual void post(Callback task) = 0;
};

// A loop that its own thread runs turn by turn (a front end without a toolkit).
class IPolledEventLoop : public IEventLoop {
public:
    // Waits until something is due or `bound` passed, then dispatches what is ready.
    virtual void runOnce(std::chrono::milliseconds bound) = 0;
    // Any thread, also a signal handler: the wait in progress (or the next one) returns at once.
    virtual void wake() = 0;
};

}  // namespace kivota
