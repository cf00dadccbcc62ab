#pragma once
// A CPU-load counter in the manner of a performance query: each collection takes a reading of
// the processor's time counters, and the value is the busy share, in percent, of the time
// that passed between the last two collections.

#include <optional>

#include "platform/system_info.h"

namespace kivota {

class CpuLoadCounter {
public:
    static constexpr int kAllProcessors = -1;

    // processor: kAllProcessors for the total, else the processor number.
    explicit CpuLoadCounter(int processor) : processor_(processor) {}

    // One collection from a reading of the counters; a reading without this processor (or no
    // reading at all) counts as a failed collection, which forgets nothing.
    void collect(const std::optional<CpuTimes>& times);

    // The busy share in percent; false until two collections lie apart in time.
    bool value(double& percent) const;

private:
    int processor_;
    std::optional<CpuTicks> previous_, latest_;
};

}  // namespace kivota
