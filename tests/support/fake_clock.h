#pragma once
// A clock whose time moves only when told to (or when someone sleeps on it), so that limits of
// many seconds are tested without waiting for them.

#include <atomic>
#include <thread>

#include "platform/clock.h"

namespace kivota::test {

class FakeClock final : public IClock {
public:
    Mark now() override { return nowNs_.load(); }
    std::int64_t frequency() override { return 1'000'000'000; }
    void sleepMs(int ms) override {
        if (ms > 0) nowNs_.fetch_add(static_cast<Mark>(ms) * 1'000'000);
        std::this_thread::yield();
    }
    LocalTime localTime() override { return local_; }

    void advanceMs(std::int64_t ms) { nowNs_.fetch_add(ms * 1'000'000); }
    double elapsedSec() const { return static_cast<double>(nowNs_.load() - startNs) / 1e9; }
    void setLocalTime(const LocalTime& t) { local_ = t; }

    static constexpr Mark startNs = 1'000'000'000'000;

private:
    std::atomic<Mark> nowNs_{startNs};
    LocalTime local_{2026, 12, 8, 10, 20, 30, 456};
};

}  // namespace kivota::test
