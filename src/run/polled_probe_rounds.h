#pragma once
// The round-trip probe rounds on a plain poll loop, for a front end without the window: the
// rounds' logic (EchoRounds) with a fresh echo prober per echo, the echo service's shared timer
// as a loop timer and its socket watched by the loop. The window runs the same rounds on Qt's
// loop (app/probe_rounds.h). Without an ICMP socket no echo completes and `done` never comes;
// the worker's own 15 s limit then applies.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/linux/poll_loop.h"
#include "run/run_state.h"

namespace kivota {

class EchoRounds;
class EchoService;
class TICMPSENDECHO2;

class PolledProbeRounds {
public:
    // `done` runs on the loop's thread when the rounds are complete (rttText is set).
    PolledProbeRounds(std::shared_ptr<RunState> rs, PollLoop& loop, std::shared_ptr<IClock> clock,
                      std::function<void()> done);
    ~PolledProbeRounds();
    PolledProbeRounds(const PolledProbeRounds&) = delete;
    PolledProbeRounds& operator=(const PolledProbeRounds&) = delete;

    // Resets the figures and starts the first round; `secondTarget` serves when every counted
    // echo of the first round is lost. Dotted IPv4 texts, already decoded.
    void start(const std::string& firstTarget, const std::string& secondTarget);
    // Stops the prober in use; no further completion is reported.
    void stop();
    // false when no ICMP socket could be opened.
    bool canProbe() const;

private:
    void vSendEcho(const std::string& host);
    void vRetireProber();
    void vTimerControl(int intervalMs);

    std::shared_ptr<RunState> rs_;
    PollLoop& loop_;
    std::function<void()> done_;
    PollLoop::TimerId echoTimer_ = 0;
    PollLoop::TimerId cleanupTimer_ = 0;
    std::unique_ptr<EchoService> service_;
    std::unique_ptr<EchoRounds> rounds_;
    std::unique_ptr<TICMPSENDECHO2> prober_;
    // Probers stopped inside their own completion: destroyed on the next turn of the loop,
    // never while their OnEcho is still on the stack.
    std::vector<std::unique_ptr<TICMPSENDECHO2>> retired_;
};

}  // namespace kivota
