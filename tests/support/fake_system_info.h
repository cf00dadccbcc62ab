#pragma once
// A machine whose facts the test sets. CPU readings are handed out in the order queued; once
// the queue is empty every reading fails.

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/system_info.h"
#include "support/fake_registry.h"

namespace kivota::test {

class FakeSystemInfo final : public ISystemInfo {
public:
    std::optional<OsVersion> version = OsVersion{6, 1};
    std::optional<MemoryStatus> memory;
    std::optional<PowerStatus> power;
    std::map<std::string, std::uint64_t> freeBytesByPath;
    int online = 1;
    std::shared_ptr<FakeRegistry> fakeRegistry = std::make_shared<FakeRegistry>();

    // Queues one reading: the total and one (busy, total) pair per processor.
    void queueCpuTimes(CpuTicks all, std::vector<CpuTicks> perCpu = {});
    void queueFailedCpuReading() { cpuReadings_.push_back({false, {}}); }

    mutable std::vector<std::string> diskPathsAsked;

    std::optional<OsVersion> osVersion() const override { return version; }
    std::optional<MemoryStatus> memoryStatus() const override { return memory; }
    std::optional<PowerStatus> powerStatus() const override { return power; }
    std::optional<std::uint64_t> diskFreeBytes(const std::string& rootPath) const override;
    int onlineProcessors() const override { return online; }
    std::optional<CpuTimes> cpuTimes() const override;
    std::shared_ptr<const IRegistryView> registry() const override { return fakeRegistry; }

private:
    mutable std::deque<std::pair<bool, CpuTimes>> cpuReadings_;  // (reading succeeds, reading)
};

}  // namespace kivota::test
