#include "run/latency_statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kivota {

std::optional<double> optPercentile(std::vector<double> values, double p) {
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    const double rank = static_cast<double>(values.size() - 1) * std::clamp(p, 0.0, 100.0) / 100.0;
    const auto below = static_cast<std::size_t>(std::floor(rank));
    if (below + 1 >= values.size()) return values.back();
    const double share = rank - static_cast<double>(below);
    return values[below] + (values[below + 1] - values[below]) * share;
}

std::optional<double> optTrimmedMean(std::vector<double> values, int trimPercent) {
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    const std::size_t trimmed = values.size() * static_cast<std::size_t>(std::clamp(trimPercent, 0, 99)) / 100;
    const std::size_t kept = values.size() - trimmed;
    return std::accumulate(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(kept), 0.0) /
           static_cast<double>(kept);
}

std::optional<double> optJitterMeanAbs(const std::vector<double>& roundTripsMs) {
    if (roundTripsMs.size() < 2) return std::nullopt;
    double sum = 0;
    for (std::size_t i = 1; i < roundTripsMs.size(); ++i) sum += std::fabs(roundTripsMs[i] - roundTripsMs[i - 1]);
    return sum / static_cast<double>(roundTripsMs.size() - 1);
}

std::optional<double> optJitterRfc3550(const std::vector<double>& roundTripsMs) {
    if (roundTripsMs.size() < 2) return std::nullopt;
    double j = 0;
    for (std::size_t i = 1; i < roundTripsMs.size(); ++i) {
        j += (std::fabs(roundTripsMs[i] - roundTripsMs[i - 1]) - j) / 16.0;
    }
    return j;
}

StageLatency stageLatencyOf(const std::vector<LatencySample>& echoes, const std::vector<double>& kernelRttMs) {
    StageLatency s;
    std::vector<double> received;
    for (const LatencySample& e : echoes) {
        ++s.sent;
        if (e.lost) {
            ++s.lost;
        } else {
            received.push_back(e.rttMs);
        }
    }
    if (s.sent > 0) s.lossPercent = 100.0 * s.lost / s.sent;
    if (!received.empty()) {
        s.minMs = *std::min_element(received.begin(), received.end());
        s.meanMs = std::accumulate(received.begin(), received.end(), 0.0) / static_cast<double>(received.size());
        s.medianMs = optPercentile(received, 50);
        s.p90Ms = optPercentile(received, 90);
        s.p95Ms = optPercentile(received, 95);
        s.p99Ms = optPercentile(received, 99);
    }
    s.jitterMs = optJitterMeanAbs(received);
    s.jitterRfc3550Ms = optJitterRfc3550(received);
    s.kernelRttMedianMs = optPercentile(kernelRttMs, 50);
    return s;
}

std::optional<double> optRise(const StageLatency& loaded, const StageLatency& idle) {
    if (!loaded.medianMs || !idle.medianMs) return std::nullopt;
    return *loaded.medianMs - *idle.medianMs;
}

}  // namespace kivota
