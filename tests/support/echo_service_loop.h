#pragma once
// Plays the window's event loop for the echo service: its shared timer and its socket's
// readiness, until a condition holds or a bound passes.

#include <poll.h>

#include <algorithm>
#include <memory>

#include "net/icmp_echo.h"
#include "platform/linux/steady_clock.h"

namespace kivota::test {

class EchoServiceLoop {
public:
    EchoServiceLoop()
        : clock_(std::make_shared<SteadyClock>()), service_(clock_, [this](int interval) {
              intervalMs_ = interval;
              nextTick_ = clock_->now();
              advance();
          }) {}

    EchoService& service() { return service_; }
    IClock& clock() { return *clock_; }
    int intervalMs() const { return intervalMs_; }

    // With readInTicksOnly the socket is not watched: replies are read by the ticks alone.
    template <typename Done>
    void run(int boundMs, Done done) {
        const auto start = clock_->now();
        while (!done() && clock_->secondsBetween(clock_->now(), start) * 1000 < boundMs) {
            int waitMs = 20;
            if (intervalMs_ > 0) {
                const double untilTick = clock_->secondsBetween(nextTick_, clock_->now()) * 1000;
                waitMs = std::max(0, std::min(20, static_cast<int>(untilTick)));
            }
            pollfd p{readInTicksOnly ? -1 : service_.fd(), POLLIN | POLLERR, 0};
            if (::poll(&p, 1, waitMs) > 0) service_.onReadable();
            if (intervalMs_ > 0 && clock_->now() >= nextTick_) {
                advance();
                service_.tick();
            }
        }
    }

    bool readInTicksOnly = false;

private:
    void advance() { nextTick_ += static_cast<IClock::Mark>(intervalMs_) * 1'000'000; }

    std::shared_ptr<SteadyClock> clock_;
    int intervalMs_ = 0;
    IClock::Mark nextTick_ = 0;
    EchoService service_;
};

}  // namespace kivota::test
