#include "platform/linux/poll_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace kivota {

PollLoop::PollLoop() {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) throw std::runtime_error("PollLoop: eventfd failed");
}

PollLoop::~PollLoop() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void PollLoop::watch(int fd, Callback onReadable) {
    if (fd < 0) return;
    readers_[fd] = std::move(onReadable);
}

void PollLoop::unwatch(int fd) { readers_.erase(fd); }

PollLoop::TimerId PollLoop::startTimer(int ms, bool repeat, Callback onDue) {
    const TimerId id = nextTimer_++;
    const auto period = std::chrono::milliseconds(std::max(ms, 0));
    timers_.emplace(id, Timer{std::chrono::steady_clock::now() + period, period, repeat, std::move(onDue)});
    return id;
}

void PollLoop::stopTimer(TimerId id) { timers_.erase(id); }

void PollLoop::post(Callback task) {
    {
        std::lock_guard lock(postedLock_);
        posted_.push_back(std::move(task));
    }
    wake();
}

void PollLoop::runPostedTasks() {
    std::vector<Callback> tasks;
    {
        std::lock_guard lock(postedLock_);
        tasks.swap(posted_);
    }
    for (Callback& task : tasks) task();
}

void PollLoop::wake() {
    const std::uint64_t one = 1;
    // A full counter already means "wake"; nothing else can go wrong that a retry would fix.
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void PollLoop::runOnce(std::chrono::milliseconds bound) {
    const auto now = std::chrono::steady_clock::now();
    auto wait = bound;
    {
        std::lock_guard lock(postedLock_);
        if (!posted_.empty()) wait = std::chrono::milliseconds(0);
    }
    for (const auto& [id, t] : timers_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(t.due - now);
        wait = std::min(wait, std::max(left, std::chrono::milliseconds(0)));
    }

    std::vector<pollfd> fds;
    fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    for (const auto& [fd, cb] : readers_) fds.push_back(pollfd{fd, POLLIN, 0});
    const int n = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
    if (n < 0 && errno != EINTR) throw std::runtime_error("PollLoop: poll failed");

    if (n > 0) {
        if (fds[0].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &count, sizeof count);
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            // Looked up again: an earlier callback of this turn may have unwatched it.
            const auto it = readers_.find(fds[i].fd);
            if (it == readers_.end()) continue;
            const Callback cb = it->second;  // a copy: the callback may replace its own watch
            cb();
        }
    }
    dispatchDueTimers();
    runPostedTasks();
}

void PollLoop::dispatchDueTimers() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<TimerId> due;
    for (const auto& [id, t] : timers_) {
        if (t.due <= now) due.push_back(id);
    }
    for (const TimerId id : due) {
        const auto it = timers_.find(id);
        if (it == timers_.end()) continue;  // stopped by an earlier callback of this turn
        Callback cb = it->second.onDue;
        if (it->second.repeat) {
            it->second.due = now + it->second.period;
        } else {
            timers_.erase(it);
        }
        cb();
    }
}

}  // namespace kivota
