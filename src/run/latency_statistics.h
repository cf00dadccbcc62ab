#pragma once
// The figures of a stage from its echoes and its data sockets' round trips: plain functions of
// the samples, so that each is checked against worked examples.
//
// Percentiles interpolate linearly between the two nearest ranks: for n sorted values v[0..n-1]
// the p-th percentile lies at rank h = (n - 1) p / 100, between v[floor h] and v[floor h + 1]
// (the definition of spreadsheets' PERCENTILE.INC and of Python's statistics.quantiles with
// method "inclusive"). The median is the 50th percentile.

#include <optional>
#include <vector>

#include "run/latency_figures.h"

namespace kivota {

// The p-th percentile (0..100) of the values, in any order; nullopt when there are none.
std::optional<double> optPercentile(std::vector<double> values, double p);

// The mean of the values after the largest `trimPercent` of them are left out (whole values,
// rounded down: of 19 values none, of 20 one at 5 %); nullopt when there are none.
std::optional<double> optTrimmedMean(std::vector<double> values, int trimPercent);

// Mean absolute difference of successive round trips; nullopt below two.
std::optional<double> optJitterMeanAbs(const std::vector<double>& roundTripsMs);

// RFC 3550's interarrival jitter over successive round trips: J starts at 0 and each
// difference D of one round trip from the one before moves it by (|D| - J) / 16; the value
// after the last. nullopt below two round trips.
std::optional<double> optJitterRfc3550(const std::vector<double>& roundTripsMs);

// The figures of one stage from its echoes (in the order they were sent; lost ones count only
// towards the loss) and its data sockets' kernel round-trip samples.
StageLatency stageLatencyOf(const std::vector<LatencySample>& echoes, const std::vector<double>& kernelRttMs);

// The loaded median less the idle median, when both were measured.
std::optional<double> optRise(const StageLatency& loaded, const StageLatency& idle);

}  // namespace kivota
