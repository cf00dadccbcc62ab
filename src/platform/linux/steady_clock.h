#pragma once
// The real clock: std::chrono::steady_clock in nanoseconds, local time from the C library.

#include "platform/clock.h"

namespace kivota {

class SteadyClock final : public IClock {
public:
    Mark now() override;
    std::int64_t frequency() override { return 1'000'000'000; }
    void sleepMs(int ms) override;
    LocalTime localTime() override;
};

// The process-wide real clock.
SteadyClock& systemClock();

}  // namespace kivota
