#pragma once
// Responsiveness under working conditions in round trips per minute (RPM), in the TCP-only form:
// foreign probes on fresh connections to the FTP server (TCP connect time, and the time from
// the connection to the server's first reply line, which stands in for a request and its
// response) and self probes from the loaded connections themselves (the kernel's smoothed
// round trip of each data socket). Over the probes of the last kAveragingIntervals one-second
// intervals of the stage:
//
//   foreign = 60000 / ((TM(connect) + TM(first reply)) / 2)
//   loaded  = 60000 / TM(self)
//   RPM     = (foreign + loaded) / 2
//
// where TM is the mean after the largest 5 % of the values are left out (optTrimmedMean).
// This moving value is formed at the end of every interval that has at least one probe of each
// kind in its window; the stage's figure is the value of its last interval. The confidence:
// "low" when the stage ran fewer than kAveragingIntervals intervals (the window never filled)
// or its last interval has no value (the figure is then the last value there was), "high" when the values of the last
// kAveragingIntervals intervals all exist and their (population) standard deviation is within kStabilityTolerance of
// the last one, else "medium".

#include <vector>

#include "run/latency_figures.h"

namespace kivota {

inline constexpr int kAveragingIntervals = 4;  // one-second intervals of the moving window
inline constexpr double kIntervalSec = 1.0;
inline constexpr int kTrimPercent = 5;               // the largest values left out of each mean
inline constexpr double kStabilityTolerance = 0.05;  // standard deviation over the last value

struct ForeignProbe {
    double atSec = 0;  // seconds into the stage when the probe began
    double tcpConnectMs = 0;
    double firstReplyMs = 0;
};

struct SelfProbe {
    double atSec = 0;  // seconds into the stage
    double rttMs = 0;
};

// The stage's responsiveness from its probes and its length in seconds.
Responsiveness responsivenessOf(const std::vector<ForeignProbe>& foreign, const std::vector<SelfProbe>& self,
                                double stageSec);

}  // namespace kivota
