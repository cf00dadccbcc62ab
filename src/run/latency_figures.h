#pragma once
// The round trip of the line at rest and under load: what the echo stream and the data sockets'
// own round-trip estimates show during the idle wait before the download and during each
// transfer phase, with the responsiveness of the line under working conditions. These figures
// stay on the subscriber's side: the operator's result line does not carry them.

#include <optional>
#include <string>
#include <vector>

namespace kivota {

enum class LatencyStage { Idle, Download, Upload };

// One echo of the stream: when it left (seconds since the idle stage began) and its round trip.
struct LatencySample {
    double atSec = 0;
    LatencyStage stage = LatencyStage::Idle;
    bool lost = false;
    double rttMs = 0;  // meaningless when lost
};

// The echoes of one stage.
struct StageLatency {
    int sent = 0;
    int lost = 0;
    double lossPercent = 0;
    std::optional<double> minMs, medianMs, meanMs, p90Ms, p95Ms, p99Ms;
    // Mean absolute difference of successive round trips.
    std::optional<double> jitterMs;
    // RFC 3550's smoothed form: J += (|D| - J) / 16 over successive round trips.
    std::optional<double> jitterRfc3550Ms;
    // Median of the kernel's smoothed round trip (tcpi_rtt) of the phase's data sockets.
    std::optional<double> kernelRttMedianMs;
};

// Responsiveness under working conditions, in round trips per minute, from probes on fresh
// connections (foreign) and from the loaded connections themselves (self).
struct Responsiveness {
    std::optional<double> rpm;
    std::string confidence;  // "high", "medium", "low"; empty when not measured
    int foreignProbes = 0, selfProbes = 0;
    std::optional<double> tcpConnectMs;  // trimmed mean of the foreign probes' TCP connect time
    std::optional<double> firstReplyMs;  // trimmed mean of the time to the server's first reply line
    std::optional<double> selfRttMs;     // trimmed mean of the loaded sockets' round trips
};

struct LatencyFigures {
    StageLatency idle, download, upload;
    // The loaded median less the idle median.
    std::optional<double> downloadRiseMs, uploadRiseMs;
    Responsiveness downloadResponsiveness, uploadResponsiveness;
    std::vector<LatencySample> samples;
    // When each phase began, on the samples' clock.
    std::optional<double> downloadStartSec, uploadStartSec;
};

}  // namespace kivota
