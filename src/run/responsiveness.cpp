#include "run/responsiveness.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "run/latency_statistics.h"

namespace kivota {

namespace {

int iIntervalOf(double atSec) { return static_cast<int>(std::floor(std::max(atSec, 0.0) / kIntervalSec)); }

// The moving value at the end of interval `last`, over the intervals last-3..last.
struct WindowValue {
    std::optional<double> rpm;
    Responsiveness figures;
};

WindowValue windowAt(const std::vector<ForeignProbe>& foreign, const std::vector<SelfProbe>& self, int last) {
    const int first = last - kAveragingIntervals + 1;
    auto inWindow = [&](double atSec) {
        const int i = iIntervalOf(atSec);
        return i >= first && i <= last;
    };
    std::vector<double> connect, reply, loaded;
    for (const ForeignProbe& p : foreign) {
        if (!inWindow(p.atSec)) continue;
        connect.push_back(p.tcpConnectMs);
        reply.push_back(p.firstReplyMs);
    }
    for (const SelfProbe& p : self) {
        if (inWindow(p.atSec)) loaded.push_back(p.rttMs);
    }
    WindowValue w;
    w.figures.foreignProbes = static_cast<int>(connect.size());
    w.figures.selfProbes = static_cast<int>(loaded.size());
    w.figures.tcpConnectMs = optTrimmedMean(connect, kTrimPercent);
    w.figures.firstReplyMs = optTrimmedMean(reply, kTrimPercent);
    w.figures.selfRttMs = optTrimmedMean(loaded, kTrimPercent);
    const auto& f = w.figures;
    if (!f.tcpConnectMs || !f.firstReplyMs || !f.selfRttMs) return w;
    const double foreignMs = (*f.tcpConnectMs + *f.firstReplyMs) / 2;
    if (foreignMs <= 0 || *f.selfRttMs <= 0) return w;
    w.rpm = (60000.0 / foreignMs + 60000.0 / *f.selfRttMs) / 2;
    return w;
}

}  // namespace

Responsiveness responsivenessOf(const std::vector<ForeignProbe>& foreign, const std::vector<SelfProbe>& self,
                                double stageSec) {
    if (foreign.empty() || self.empty()) return {};
    // Intervals the stage ran, the last one perhaps partly; probes past its end count in it.
    int intervals = static_cast<int>(std::ceil(std::max(stageSec, 0.0) / kIntervalSec));
    for (const auto& p : foreign) intervals = std::max(intervals, iIntervalOf(p.atSec) + 1);
    for (const auto& p : self) intervals = std::max(intervals, iIntervalOf(p.atSec) + 1);

    std::vector<WindowValue> values;
    values.reserve(static_cast<std::size_t>(intervals));
    for (int i = 0; i < intervals; ++i) values.push_back(windowAt(foreign, self, i));
    // The last interval with a value: one without any means no probe of a kind came lately.
    auto last = std::find_if(values.rbegin(), values.rend(), [](const WindowValue& w) { return w.rpm.has_value(); });
    if (last == values.rend()) return {};
    Responsiveness r = last->figures;
    r.rpm = last->rpm;

    const bool lastIsFinal = last == values.rbegin();
    if (intervals < kAveragingIntervals || !lastIsFinal) {
        r.confidence = "low";
        return r;
    }
    double sum = 0, squares = 0;
    for (int i = intervals - kAveragingIntervals; i < intervals; ++i) {
        if (!values[static_cast<std::size_t>(i)].rpm) {
            r.confidence = "medium";
            return r;
        }
        sum += *values[static_cast<std::size_t>(i)].rpm;
    }
    const double mean = sum / kAveragingIntervals;
    for (int i = intervals - kAveragingIntervals; i < intervals; ++i) {
        const double d = *values[static_cast<std::size_t>(i)].rpm - mean;
        squares += d * d;
    }
    const double deviation = std::sqrt(squares / kAveragingIntervals);
    r.confidence = deviation <= kStabilityTolerance * *r.rpm ? "high" : "medium";
    return r;
}

}  // namespace kivota
