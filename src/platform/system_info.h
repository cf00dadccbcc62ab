#pragma once
// Facts about the machine the program runs on: operating-system version, memory, power, free
// disk space, processor count, CPU time counters and the registry view of the TCP settings.
// One implementation reads the real machine (platform/linux); tests substitute a fake.
//
// Thread: every call may come from any thread; implementations keep no mutable state.
// Failure: an operation that cannot read its fact returns an empty optional (or false).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kivota {

class IRegistryView;

struct OsVersion {
    unsigned major = 0;
    unsigned minor = 0;
};

struct MemoryStatus {
    std::uint64_t totalBytes = 0;      // physical memory
    std::uint64_t availableBytes = 0;  // memory a new program could use without swapping
};

struct PowerStatus {
    std::uint8_t acLineStatus = 255;  // 0 offline, 1 online, 255 unknown
    std::uint8_t batteryFlag = 255;   // 1 high, 2 low, 4 critical, 8 charging, 128 no battery, 255 unknown
};

// Cumulative CPU time of one processor (or of all), in the kernel's clock ticks.
struct CpuTicks {
    std::uint64_t busy = 0;   // every state except idle and waiting for I/O
    std::uint64_t total = 0;  // busy + idle + I/O wait
};

struct CpuTimes {
    CpuTicks all;
    // Indexed by processor number; an entry is empty for a processor that is offline.
    std::vector<std::optional<CpuTicks>> perCpu;
};

class ISystemInfo {
public:
    virtual ~ISystemInfo() = default;

    virtual std::optional<OsVersion> osVersion() const = 0;
    virtual std::optional<MemoryStatus> memoryStatus() const = 0;
    virtual std::optional<PowerStatus> powerStatus() const = 0;
    // Free bytes (all of them, also those reserved for the administrator) of the file system
    // holding rootPath. The path is given as the program builds it for its system drive,
    // which may end in a backslash.
    virtual std::optional<std::uint64_t> diskFreeBytes(const std::string& rootPath) const = 0;
    // Logical processors that are online now (at least 1).
    virtual int onlineProcessors() const = 0;
    virtual std::optional<CpuTimes> cpuTimes() const = 0;
    // The read-only registry view of the TCP/IP settings; never null.
    virtual std::shared_ptr<const IRegistryView> registry() const = 0;
};

}  // namespace kivota
