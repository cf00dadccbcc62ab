#include "support/fake_system_info.h"

namespace kivota::test {

void FakeSystemInfo::queueCpuTimes(CpuTicks all, std::vector<CpuTicks> perCpu) {
    CpuTimes t;
    t.all = all;
    for (const auto& c : perCpu) t.perCpu.emplace_back(c);
    cpuReadings_.push_back({true, std::move(t)});
}

std::optional<std::uint64_t> FakeSystemInfo::diskFreeBytes(const std::string& rootPath) const {
    diskPathsAsked.push_back(rootPath);
    const auto it = freeBytesByPath.find(rootPath);
    if (it == freeBytesByPath.end()) return std::nullopt;
    return it->second;
}

std::optional<CpuTimes> FakeSystemInfo::cpuTimes() const {
    if (cpuReadings_.empty()) return std::nullopt;
    auto [ok, reading] = std::move(cpuReadings_.front());
    cpuReadings_.pop_front();
    if (!ok) return std::nullopt;
    return reading;
}

}  // namespace kivota::test
