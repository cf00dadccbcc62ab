#pragma once
// The round-trip probe rounds of the connecting page, on the window's thread: the rounds'
// logic (EchoRounds) driven by a fresh echo prober per echo, whose completions arrive through
// the window's event loop (IcmpQtGlue). When no ICMP socket can be opened no echo completes,
// done is never called, and the worker's own 15 s limit for the probe applies.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "run/run_state.h"

class QObject;

namespace kivota {

class EchoRounds;
class IcmpQtGlue;
class TICMPSENDECHO2;

class ProbeRounds {
public:
    // `done` is called on the window's thread when the rounds are complete; the window then
    // sets the current worker's echoDone. `clock` times the echoes (the steady clock if null).
    ProbeRounds(std::shared_ptr<RunState> rs, QObject* owner, std::function<void()> done,
                std::shared_ptr<IClock> clock = nullptr);
    ~ProbeRounds();
    ProbeRounds(const ProbeRounds&) = delete;
    ProbeRounds& operator=(const ProbeRounds&) = delete;

    // Forgets the prober in use and resets the probe figures and the resource-sample sums.
    void reset();
    // Starts the first round on `firstTarget`; `secondTarget` serves when every counted echo
    // of the first round is lost. Both are dotted IPv4 texts, already decoded.
    void start(const std::string& firstTarget, const std::string& secondTarget);
    // Stops the prober in use (the window is closing).
    void stop();

    const std::string& echoHost() const;
    // The prober in use, or null between echoes and after the rounds.
    const TICMPSENDECHO2* prober() const { return prober_.get(); }
    IcmpQtGlue& glue() { return *glue_; }

private:
    void vSendEcho(const std::string& host);
    void vRetireProber();

    std::shared_ptr<RunState> rs_;
    std::function<void()> done_;
    std::unique_ptr<IcmpQtGlue> glue_;
    std::unique_ptr<EchoRounds> rounds_;
    std::unique_ptr<TICMPSENDECHO2> prober_;
    // Probers stopped inside their own completion: destroyed on the next turn of the event
    // loop, never while their OnEcho is still on the stack.
    std::vector<std::unique_ptr<TICMPSENDECHO2>> retired_;
};

}  // namespace kivota
