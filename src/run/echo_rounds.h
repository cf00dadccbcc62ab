#pragma once
// The round-trip probe rounds of the connecting page: seven echoes one after another to the
// first target (the first one not counted), a second round on the second target when every
// counted echo of the first failed, then rttText and the worker's go-ahead.
//
// The rounds own no socket: `sendEcho(host)` must replace any prober still in use by a new one
// that sends a single echo to `host`, and report its first completion to vOnEchoReply.

#include <functional>
#include <memory>
#include <string>

#include "run/run_state.h"

namespace kivota {

class EchoService;
class TICMPSENDECHO2;

class EchoRounds {
public:
    using SendEcho = std::function<void(const std::string& host)>;
    using StopEcho = std::function<void()>;
    using RoundsDone = std::function<void()>;

    EchoRounds(RunState& rs, SendEcho sendEcho, StopEcho stopEcho, RoundsDone done)
        : rs_(rs), sendEcho_(std::move(sendEcho)), stopEcho_(std::move(stopEcho)), done_(std::move(done)) {}

    // Resets the probe figures and the resource sums of a new run.
    void vResetFigures();
    // vResetFigures, then starts the first round.
    void vStartRounds(const std::string& firstTarget, const std::string& secondTarget);
    // One echo completed: rttMs in whole milliseconds, status non-zero on failure.
    void vOnEchoReply(int rttMs, int status);

    const std::string& echoHost() const { return echoHost_; }

    // A started prober of `service` for the next echo to `host`, at the rounds' interval, whose
    // completions go to vOnEchoReply; what sendEcho hands over.
    std::unique_ptr<TICMPSENDECHO2> pStartProber(EchoService& service, const std::string& host);

private:
    void vStartEcho(const std::string& host);

    RunState& rs_;
    SendEcho sendEcho_;
    StopEcho stopEcho_;
    RoundsDone done_;
    std::string echoHost_;
    std::string secondTarget_;
};

}  // namespace kivota
