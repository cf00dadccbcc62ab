#include "platform/clock.h"

#include <algorithm>
#include <chrono>

namespace kivota {

double IClock::secondsBetween(Mark later, Mark earlier) {
    if (!calibrated_.load(std::memory_order_acquire)) {
        // The cost of two back-to-back readings, measured twice; the smaller one is the overhead.
        const Mark a1 = now(), a2 = now();
        const Mark b1 = now(), b2 = now();
        overhead_.store(std::max<std::int64_t>(0, std::min(a2 - a1, b2 - b1)), std::memory_order_relaxed);
        const std::int64_t f = frequency();
        frequency_.store(f > 0 ? f : 1, std::memory_order_relaxed);
        calibrated_.store(true, std::memory_order_release);
    }
    const std::int64_t diff = later - earlier - overhead_.load(std::memory_order_relaxed);
    if (diff <= 0) return 0.0;
    return static_cast<double>(diff) / static_cast<double>(frequency_.load(std::memory_order_relaxed));
}

std::int64_t iSteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace kivota
