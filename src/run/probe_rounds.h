#pragma once
// The round-trip probe rounds of the connecting page on the front end's event loop: the rounds'
// logic (EchoRounds) driven by a fresh echo prober per echo, the echo service's shared timer as
// a loop timer and its socket watched by the loop, so every completion arrives on the loop's
// thread. Without an ICMP socket no echo completes and `done` never comes; the worker's own
// 15 s limit then applies.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "run/run_state.h"

namespace kivota {

class EchoRounds;
class EchoService;
class TICMPSENDECHO2;

class ProbeRounds {
public:
    // `done` runs on the loop's thread when the rounds are complete (rttText is set).
    ProbeRounds(std::shared_ptr<RunState> rs, IEventLoop& loop, std::shared_ptr<IClock> clock,
                std::function<void()> done);
    ~ProbeRounds();
    ProbeRounds(const ProbeRounds&) = delete;
    ProbeRounds& operator=(const ProbeRounds&) = delete;

    // Resets the figures and starts the first round; `secondTarget` serves when every counted
    // echo of the first round is lost. Dotted IPv4 texts, already decoded.
    void start(const std::string& firstTarget, const std::string& secondTarget);
    // Stops the prober in use; no further completion is reported.
    void stop();
    // false when no ICMP socket could be opened.
    bool canProbe() const;

    // What the rounds are doing, for a look from outside.
    const std::string& echoHost() const;
    // The prober in use, or null between echoes and after the rounds.
    const TICMPSENDECHO2* prober() const { return prober_.get(); }
    bool timerActive() const;
    const EchoService& service() const { return *service_; }

private:
    void vSendEcho(const std::string& host);
    void vRetireProber();
    void vTimerControl(int intervalMs);

    std::shared_ptr<RunState> rs_;
    IEventLoop& loop_;
    std::function<void()> done_;
    IEventLoop::TimerId echoTimer_ = 0;
    IEventLoop::TimerId cleanupTimer_ = 0;
    std::unique_ptr<EchoService> service_;
    std::unique_ptr<EchoRounds> rounds_;
    std::unique_ptr<TICMPSENDECHO2> prober_;
    // Probers stopped inside their own completion: destroyed on the next turn of the loop,
    // never while their OnEcho is still on the stack.
    std::vector<std::unique_ptr<TICMPSENDECHO2>> retired_;
};

}  // namespace kivota
