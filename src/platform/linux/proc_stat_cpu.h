#pragma once
// CPU time counters from the text of /proc/stat.

#include <optional>
#include <string>

#include "platform/system_info.h"

namespace kivota {

// The "cpu" line and every "cpuN" line; nothing when the "cpu" line is missing.
// Busy time counts user, nice, system, irq, softirq and steal; guest time is already part of
// user and nice. Idle and I/O wait make up the rest of the total.
std::optional<CpuTimes> parseProcStat(const std::string& text);

}  // namespace kivota
