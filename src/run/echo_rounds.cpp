#include "run/echo_rounds.h"

#include <cstdio>

#include "net/icmp_echo.h"

namespace kivota {

namespace {
constexpr int kEchoesPerRound = 6;  // counted echoes 2..6, the seventh closes the round
constexpr int kEchoIntervalMs = 500;
}  // namespace

std::unique_ptr<TICMPSENDECHO2> EchoRounds::pStartProber(EchoService& service, const std::string& host) {
    auto prober = std::make_unique<TICMPSENDECHO2>(service);
    prober->m_szHost = host;
    prober->m_nInterval = kEchoIntervalMs;
    prober->OnEcho = [this](TICMPSENDECHO2&, const std::string&, int, int, int rttMs, int status, const std::string&) {
        vOnEchoReply(rttMs, status);
    };
    prober->Start();
    return prober;
}

void EchoRounds::vResetFigures() {
    rs_.probeTarget = rs_.echoCount = rs_.echoLost = 0;
    rs_.rttAvg = -1.0f;
    rs_.rttMax = -1;
    rs_.rttMin = 1000000;
    rs_.rttSum = 0;
    rs_.profile.resources.vClear();
}

void EchoRounds::vStartRounds(const std::string& firstTarget, const std::string& secondTarget) {
    vResetFigures();
    secondTarget_ = secondTarget;
    echoHost_ = firstTarget;
    vStartEcho(echoHost_);
}

void EchoRounds::vStartEcho(const std::string& host) { sendEcho_(host); }

void EchoRounds::vOnEchoReply(int rttMs, int status) {
    stopEcho_();
    if (rs_.echoCount == kEchoesPerRound) {
        ++rs_.probeTarget;
        if (rs_.probeTarget == 1 && rs_.echoLost == kEchoesPerRound - 1) {
            // Every counted echo to the first target failed: one round on the second.
            rs_.echoCount = rs_.echoLost = 0;
            rs_.rttAvg = -1.0f;
            rs_.rttMax = -1;
            rs_.rttMin = 1000000;
            echoHost_ = secondTarget_;
            vStartEcho(echoHost_);
            return;
        }
        const int answered = rs_.echoCount - rs_.echoLost - 1;
        // The average is the whole milliseconds of an integer division, held as a float.
        if (answered > 0) rs_.rttAvg = static_cast<float>(rs_.rttSum / answered);  // NOLINT(bugprone-integer-division)
        char text[64];
        std::snprintf(text, sizeof text, "%d,%.0f,%d", rs_.rttMin, static_cast<double>(rs_.rttAvg), rs_.rttMax);
        rs_.rttText = text;
        done_();
        return;
    }
    ++rs_.echoCount;
    if (rs_.echoCount > 1) {  // the first echo of a round is not counted
        if (status != 0) {
            ++rs_.echoLost;
        } else {
            if (rttMs > rs_.rttMax) rs_.rttMax = rttMs;
            if (rttMs < rs_.rttMin) rs_.rttMin = rttMs;
            rs_.rttSum += rttMs;
        }
    }
    vStartEcho(echoHost_);
}

}  // namespace kivota
