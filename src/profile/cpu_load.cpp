#include "profile/cpu_load.h"

#include <algorithm>

namespace kivota {

void CpuLoadCounter::collect(const std::optional<CpuTimes>& times) {
    if (!times) return;
    std::optional<CpuTicks> reading;
    if (processor_ == kAllProcessors) {
        reading = times->all;
    } else if (processor_ >= 0 && static_cast<std::size_t>(processor_) < times->perCpu.size()) {
        reading = times->perCpu[static_cast<std::size_t>(processor_)];
    }
    if (!reading) return;
    previous_ = latest_;
    latest_ = reading;
}

bool CpuLoadCounter::value(double& percent) const {
    if (!previous_ || !latest_) return false;
    // Counters only grow; a processor brought back online restarts its own, which is no sample.
    if (latest_->total <= previous_->total || latest_->busy < previous_->busy) return false;
    const double busy = static_cast<double>(latest_->busy - previous_->busy);
    const double total = static_cast<double>(latest_->total - previous_->total);
    percent = std::clamp(100.0 * busy / total, 0.0, 100.0);
    return true;
}

}  // namespace kivota
