#include "platform/message_pump.h"

namespace kivota {

MessagePump::MessagePump(Handler handler, Wake wake)
    : handler_(std::move(handler)), wake_(std::move(wake)), receiver_(std::this_thread::get_id()) {}

MessagePump::~MessagePump() { close(); }

void MessagePump::attachReceiver() {
    std::lock_guard lock(mutex_);
    receiver_ = std::this_thread::get_id();
}

bool MessagePump::PostMessage(WindowMessage message) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;  // the message and its texts are freed here
        queue_.push_back(Entry{std::move(message), 0});
    }
    changed_.notify_all();
    if (wake_) wake_();
    return true;
}

bool MessagePump::SendMessage(WindowMessage message) {
    std::unique_lock lock(mutex_);
    if (closed_) return false;
    if (std::this_thread::get_id() == receiver_) {
        lock.unlock();
        handler_(message);
        return true;
    }
    const std::uint64_t ticket = nextTicket_++;
    queue_.push_back(Entry{std::move(message), ticket});
    lock.unlock();
    changed_.notify_all();
    if (wake_) wake_();
    lock.lock();
    // Tickets complete in queue order, so "done up to" tells whether ours was handled.
    changed_.wait(lock, [&] { return closed_ || lastDoneTicket_ >= ticket; });
    return lastDoneTicket_ >= ticket;
}

int MessagePump::dispatchPending() {
    int count = 0;
    std::unique_lock lock(mutex_);
    if (dispatching_) return 0;  // a handler that runs a nested loop must not re-enter
    dispatching_ = true;
    while (!queue_.empty() && !closed_) {
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        handler_(entry.message);
        ++count;
        lock.lock();
        if (entry.ticket != 0) {
            lastDoneTicket_ = entry.ticket;
            changed_.notify_all();
        }
    }
    dispatching_ = false;
    return count;
}

int MessagePump::waitAndDispatch(std::chrono::milliseconds bound) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, bound, [&] { return closed_ || !queue_.empty(); });
    }
    return dispatchPending();
}

void MessagePump::close() {
    std::deque<Entry> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(queue_);
    }
    changed_.notify_all();
}

bool MessagePump::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

std::size_t MessagePump::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace kivota
