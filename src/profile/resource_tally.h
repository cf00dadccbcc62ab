#pragma once
// The sums of the CPU-load and free-memory samples taken while the phases run. The front end's
// thread adds a sample at every keep-alive, the worker reads the sums for the result line, and
// the probe rounds clear them: one lock guards them, and a sample goes in whole or not at all.

#include <mutex>
#include <optional>
#include <vector>

namespace kivota {

struct ResourceSums {
    int resourceSamples = 0;
    double cpuLoadSum = 0.0;
    std::vector<double> coreLoadSums;  // one per logical processor; empty on one-core machines
    int memFreeSumMb = 0;
};

class ResourceTally {
public:
    ResourceSums snapshot() const {
        std::lock_guard lock(lock_);
        return sums_;
    }
    // Adds one sample: the total load, the loads of the first cores (as many as are counted),
    // and the free memory when it could be read.
    void vAddSample(double cpuLoad, const std::vector<double>& coreLoads, std::optional<int> memFreeMb) {
        std::lock_guard lock(lock_);
        ++sums_.resourceSamples;
        sums_.cpuLoadSum += cpuLoad;
        for (std::size_t i = 0; i < coreLoads.size() && i < sums_.coreLoadSums.size(); ++i)
            sums_.coreLoadSums[i] += coreLoads[i];
        if (memFreeMb) sums_.memFreeSumMb += *memFreeMb;
    }
    // No samples; the core sums keep their count (they are sized when the CPU queries open).
    void vClear() {
        std::lock_guard lock(lock_);
        const std::size_t cores = sums_.coreLoadSums.size();
        sums_ = ResourceSums{};
        sums_.coreLoadSums.assign(cores, 0.0);
    }
    // Sizes the per-core sums, all zero.
    void vCountCores(std::size_t cores) {
        std::lock_guard lock(lock_);
        sums_.coreLoadSums.assign(cores, 0.0);
    }
    // Replaces the sums whole.
    void vSet(ResourceSums sums) {
        std::lock_guard lock(lock_);
        sums_ = std::move(sums);
    }

private:
    mutable std::mutex lock_;
    ResourceSums sums_;
};

}  // namespace kivota
