#pragma once
// Thread base in the system's style: an object with Execute, a terminate-request flag that
// Execute polls, created suspended, started by Resume, optionally freeing itself when it ends.
//
// Lifetime: thread objects are always owned by std::shared_ptr (create them with
// std::make_shared). A running thread holds a reference to its own object, so whoever keeps
// a pointer may still call Terminate or set a flag after the thread has ended, and a
// self-freeing thread is freed when the last reference goes, never under a running Execute.
// Everything a thread touches must likewise be held by shared_ptr (never a bare pointer to an
// object that its owner may destroy). ThreadTracker lets the process wait, with a bound,
// until every thread has ended.

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace kivota {

class TThread : public std::enable_shared_from_this<TThread> {
public:
    TThread() = default;  // created suspended
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    virtual ~TThread();

    // Starts Execute on a new thread; a second call does nothing.
    void Resume();
    // Asks Execute to end; Execute notices it at its next check of Terminated().
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    bool Finished() const { return finished_.load(); }

    // With FreeOnTerminate the thread is detached and drops its own reference when Execute
    // returns; otherwise the owner may WaitFor it and the destructor joins it.
    void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
    bool FreeOnTerminate() const { return freeOnTerminate_; }
    // Joins a thread that does not free itself; returns at once for one that does.
    void WaitFor();

protected:
    virtual void Execute() = 0;

private:
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> started_{false};
    bool freeOnTerminate_ = false;
    std::thread thread_;
};

// Counts the threads that are still running, so that shutdown (and every test) can wait for
// all of them with a bound instead of leaving one to touch freed state.
class ThreadTracker {
public:
    static void threadStarted();
    static void threadEnded();
    static int running();
    // true when no thread runs any more; false when the bound passed first.
    static bool waitAllEnded(std::chrono::milliseconds bound);
};

}  // namespace kivota
