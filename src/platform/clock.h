#pragma once
// Time source of the run: high-resolution marks, sleeping and the local time of day.
// The engine takes time only through this interface so that tests drive it with a fake clock.

#include <atomic>
#include <cstdint>

namespace kivota {

struct LocalTime {
    int year = 0, month = 0, day = 0;  // month 1..12, day 1..31
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class IClock {
public:
    using Mark = std::int64_t;  // counter ticks; 0 means "the reading failed"

    virtual ~IClock() = default;
    virtual Mark now() = 0;
    virtual std::int64_t frequency() = 0;  // ticks per second
    virtual void sleepMs(int ms) = 0;
    virtual LocalTime localTime() = 0;

    // Seconds from `earlier` to `later`, less the once-measured cost of taking a mark;
    // 0 when the difference is not positive.
    double secondsBetween(Mark later, Mark earlier);

private:
    std::atomic<bool> calibrated_{false};
    std::atomic<std::int64_t> overhead_{0};
    std::atomic<std::int64_t> frequency_{1};
};

// Milliseconds of the monotonic clock: for time-outs and stall limits, not for measured marks.
std::int64_t iSteadyMs();

}  // namespace kivota
