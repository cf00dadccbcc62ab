#include "platform/linux/steady_clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace kivota {

IClock::Mark SteadyClock::now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SteadyClock::sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

LocalTime SteadyClock::localTime() {
    const auto wall = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(wall);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count() % 1000;
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,          tm.tm_hour,
                     tm.tm_min,         tm.tm_sec,     static_cast<int>(ms)};
}

SteadyClock& systemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace kivota
