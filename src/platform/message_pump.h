#pragma once
// A window handle backed by a queue that the receiving (window) thread drains.
// Senders on other threads block until their message was dispatched; close() refuses new
// messages and releases every blocked sender, so a worker can never deadlock against a
// window that is going away. A send from the receiving thread itself is dispatched inline.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/window_messages.h"

namespace kivota {

class MessagePump final : public IWindowHandle {
public:
    using Handler = std::function<void(WindowMessage&)>;
    // Called (on the sender's thread) after a message was queued, to wake the receiver.
    using Wake = std::function<void()>;

    MessagePump(Handler handler, Wake wake);
    ~MessagePump() override;

    // Marks the calling thread as the receiving thread (the constructor's thread by default).
    void attachReceiver();

    bool PostMessage(WindowMessage message) override;
    bool SendMessage(WindowMessage message) override;

    // Receiving thread: dispatch everything queued so far. Returns the number dispatched.
    int dispatchPending();
    // Receiving thread: wait up to `bound` for a message, then dispatch what is queued.
    int waitAndDispatch(std::chrono::milliseconds bound);

    // Refuses further messages, drops those still queued (freeing their texts) and
    // releases blocked senders.
    void close();
    bool closed() const;
    // Messages queued and not yet dispatched.
    std::size_t pending() const;

private:
    struct Entry {
        WindowMessage message;
        std::uint64_t ticket = 0;  // non-zero for a sent message
    };

    Handler handler_;
    Wake wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> queue_;
    std::uint64_t nextTicket_ = 1;
    std::uint64_t lastDoneTicket_ = 0;
    bool closed_ = false;
    std::thread::id receiver_;
    bool dispatching_ = false;
};

}  // namespace kivota
