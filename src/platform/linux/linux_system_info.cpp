#include "platform/linux/linux_system_info.h"

#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string_view>

#include "platform/linux/linux_registry_view.h"
#include "platform/linux/proc_stat_cpu.h"
#include "platform/linux/sysctl_reader.h"

namespace kivota {

namespace {

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

std::optional<std::string> attribute(const std::filesystem::path& dir, const char* name) {
    auto text = readTextFile((dir / name).string());
    if (!text) return std::nullopt;
    return trimmed(*text);
}

class LinuxSystemInfo final : public ISystemInfo {
public:
    LinuxSystemInfo() : registry_(makeLinuxRegistryView()) {}

    std::optional<OsVersion> osVersion() const override {
        utsname names{};
        if (::uname(&names) != 0) return std::nullopt;
        // "6.18.0-custom": the major and minor numbers.
        OsVersion v;
        const std::string_view release(names.release);
        const char* end = release.data() + release.size();
        const auto major = std::from_chars(release.data(), end, v.major);
        if (major.ec != std::errc() || major.ptr == end || *major.ptr != '.') return std::nullopt;
        if (std::from_chars(major.ptr + 1, end, v.minor).ec != std::errc()) return std::nullopt;
        return v;
    }

    std::optional<MemoryStatus> memoryStatus() const override {
        const auto text = readTextFile("/proc/meminfo");
        if (!text) return std::nullopt;
        std::optional<std::uint64_t> totalKb, availableKb;
        std::istringstream in(*text);
        for (std::string label; in >> label;) {
            std::uint64_t kb = 0;
            if (!(in >> kb)) break;
            if (label == "MemTotal:") totalKb = kb;
            if (label == "MemAvailable:") availableKb = kb;
            in.ignore(1 << 10, '\n');
        }
        if (!totalKb || !availableKb) return std::nullopt;
        return MemoryStatus{*totalKb * 1024, *availableKb * 1024};
    }

    std::optional<PowerStatus> powerStatus() const override { return readPowerSupplies("/sys/class/power_supply"); }

    std::optional<std::uint64_t> diskFreeBytes(const std::string& rootPath) const override {
        // The system drive's root is built with a backslash separator; here it is a slash.
        std::string path = rootPath;
        for (char& c : path)
            if (c == '\\') c = '/';
        struct statvfs fs {};
        if (path.empty() || ::statvfs(path.c_str(), &fs) != 0) return std::nullopt;
        return static_cast<std::uint64_t>(fs.f_bfree) * static_cast<std::uint64_t>(fs.f_frsize);
    }

    int onlineProcessors() const override {
        const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
        return n > 0 ? static_cast<int>(n) : 1;
    }

    std::optional<CpuTimes> cpuTimes() const override {
        const auto text = readTextFile("/proc/stat");
        if (!text) return std::nullopt;
        return parseProcStat(*text);
    }

    std::shared_ptr<const IRegistryView> registry() const override { return registry_; }

private:
    std::shared_ptr<const IRegistryView> registry_;
};

}  // namespace

PowerStatus readPowerSupplies(const std::string& classDir) {
    bool sawMains = false, mainsOnline = false, sawBattery = false, charging = false;
    std::optional<int> capacity;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(classDir, ec)) {
        const auto type = attribute(entry.path(), "type");
        if (!type) continue;
        // A supply of scope Device powers a peripheral (a wireless mouse's battery, a phone on
        // USB); only the system's own supplies (scope System, or none given) describe the machine.
        if (attribute(entry.path(), "scope").value_or("System") == "Device") continue;
        if (*type == "Mains" || *type == "USB") {
            sawMains = true;
            if (attribute(entry.path(), "online").value_or("0") == "1") mainsOnline = true;
        } else if (*type == "Battery") {
            if (attribute(entry.path(), "present").value_or("1") != "1") continue;
            sawBattery = true;
            if (attribute(entry.path(), "status").value_or("") == "Charging") charging = true;
            if (auto c = attribute(entry.path(), "capacity")) {
                if (auto v = parseDecimal(*c)) capacity = static_cast<int>(*v);
            }
        }
    }
    PowerStatus status;
    if (sawMains) status.acLineStatus = mainsOnline ? 1 : 0;
    else if (sawBattery) status.acLineStatus = charging ? 1 : 0;  // a battery without mains entries
    else status.acLineStatus = 255;

    if (!sawBattery) {
        status.batteryFlag = 128;
    } else if (!capacity) {
        status.batteryFlag = charging ? 8 : 255;
    } else {
        std::uint8_t flag = 0;
        if (*capacity > 66) flag = 1;
        else if (*capacity < 5) flag = 4;
        else if (*capacity < 33) flag = 2;
        if (charging) flag = static_cast<std::uint8_t>(flag | 8);
        status.batteryFlag = flag;
    }
    return status;
}

std::shared_ptr<ISystemInfo> makeLinuxSystemInfo() { return std::make_shared<LinuxSystemInfo>(); }

}  // namespace kivota
