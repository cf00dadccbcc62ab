#include "platform/linux/proc_stat_cpu.h"

#include <sstream>

namespace kivota {

namespace {

std::optional<CpuTicks> parseTicks(std::istringstream& fields) {
    // user nice system idle iowait irq softirq steal (older kernels stop earlier)
    std::uint64_t v[8] = {};
    int count = 0;
    while (count < 8 && fields >> v[count]) ++count;
    if (count < 4) return std::nullopt;
    CpuTicks t;
    t.busy = v[0] + v[1] + v[2] + v[5] + v[6] + v[7];
    t.total = t.busy + v[3] + v[4];
    return t;
}

}  // namespace

std::optional<CpuTimes> parseProcStat(const std::string& text) {
    CpuTimes times;
    bool haveAll = false;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("cpu", 0) != 0) continue;
        std::istringstream fields(line);
        std::string label;
        fields >> label;
        const auto ticks = parseTicks(fields);
        if (!ticks) continue;
        if (label == "cpu") {
            times.all = *ticks;
            haveAll = true;
            continue;
        }
        const std::string digits = label.substr(3);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 5)
            continue;
        const auto index = static_cast<std::size_t>(std::stoul(digits));
        if (times.perCpu.size() <= index) times.perCpu.resize(index + 1);
        times.perCpu[index] = *ticks;
    }
    if (!haveAll) return std::nullopt;
    return times;
}

}  // namespace kivota
