#include "profile/system_facts.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "profile/wmi_query.h"

namespace kivota {

namespace {

std::optional<int> decimalInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < 0 || v > 1 << 20) return std::nullopt;
    return static_cast<int>(v);
}

std::optional<double> decimalNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < 0) return std::nullopt;
    return v;
}

void appendListed(std::string& list, const std::string& value) {
    if (list.empty() || list == "null") list = value;
    else list += "," + value;
}

// Ends the service's use on this thread on every way out of the step.
struct WmiSession {
    explicit WmiSession(IManagementService& s) : service(s) {
        try {
            bWmiInitialize(service);
        } catch (const WmiError&) {
            // The queries below fail on their own when the service is unusable.
        }
    }
    ~WmiSession() { vWmiUninitialize(service); }
    WmiSession(const WmiSession&) = delete;
    WmiSession& operator=(const WmiSession&) = delete;
    IManagementService& service;
};

}  // namespace

std::string szAntivirusNamespace(const OsVersion& version) {
    return version.major == 6 && version.minor >= 1 ? "root\\SecurityCenter2" : "root\\SecurityCenter";
}

void vGatherWmiFacts(MachineProfile& profile, IManagementService& wmi, const ISystemInfo& system,
                     bool& isVistaOrLater) {
    profile.userOs = "null";
    profile.userAntivir = "null";
    WmiSession session(wmi);
    WmiPropertyList list;

    if (bWmiQuery(wmi, kCimv2Namespace, "Select * from Win32_OperatingSystem", list)) {
        for (const auto& p : list) {
            if (p.name == "Caption") profile.userOs = p.value;
            if (p.name == "CSDVersion") profile.osServicePack = p.value;
        }
        // An object without a service-pack property gets no trailing blank either.
        if (profile.osServicePack != kWmiNullValue && !profile.osServicePack.empty())
            profile.userOs += " " + profile.osServicePack;
    }

    const auto version = system.osVersion();
    if (!version) return;
    isVistaOrLater = version->major >= 6;

    if (!bWmiQuery(wmi, szAntivirusNamespace(*version), "Select * from AntiVirusProduct", list)) return;
    for (const auto& p : list)
        if (p.name == "displayName") appendListed(profile.userAntivir, p.value);

    if (!bWmiQuery(wmi, kCimv2Namespace, "Select * from Win32_Processor", list)) return;
    for (const auto& p : list) {
        if (p.name == "Name") profile.cpuName = p.value;
        if (p.name == "NumberOfLogicalProcessors") {
            // A count the service cannot give ("(Null)") falls back to the processors online.
            profile.coreCount = decimalInteger(p.value).value_or(system.onlineProcessors());
        }
    }

    if (!bWmiQuery(wmi, kCimv2Namespace, "Select * from Win32_OperatingSystem", list)) return;
    for (const auto& p : list) {
        if (p.name == "SystemDrive") {
            profile.systemDrive = p.value;
            break;
        }
    }

    if (bWmiQuery(wmi, kCimv2Namespace, "Select HotFixID from Win32_QuickFixEngineering", list)) {
        for (const auto& p : list) appendListed(profile.hotfixList, p.value);
    }

    if (!bWmiQuery(wmi, kCimv2Namespace, "Select * from Win32_LogicalDisk", list)) return;
    bool onSystemDrive = false;
    for (const auto& p : list) {
        if (!onSystemDrive) {
            onSystemDrive = p.name == "Caption" && p.value == profile.systemDrive;
            continue;
        }
        if (p.name != "FreeSpace") continue;
        if (const auto bytes = decimalNumber(p.value)) profile.diskFreeGb = static_cast<float>(std::ldexp(*bytes, -30));
        break;
    }
}

}  // namespace kivota
