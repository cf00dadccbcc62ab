#include "profile/tcp_settings.h"

#include <exception>
#include <string>

namespace kivota {

namespace {

// Reads one integer value; failure of any kind leaves the destination as it was.
void readIntegerInto(const IRegistryView& registry, RegistryRoot root, const char* key, const char* name,
                     int& destination) {
    try {
        if (!registry.valueExists(root, key, name)) return;
        std::int32_t value = 0;
        if (registry.readInteger(root, key, name, value)) destination = value;
    } catch (const std::exception&) {
        // a denied read is passed over like a missing value
    }
}

void readStringInto(const IRegistryView& registry, RegistryRoot root, const char* key, const char* name,
                    std::string& destination) {
    try {
        if (!registry.valueExists(root, key, name)) return;
        std::string value;
        if (registry.readString(root, key, name, value)) destination = value;
    } catch (const std::exception&) {
    }
}

bool opens(const IRegistryView& registry, RegistryRoot root, const char* key) {
    try {
        return registry.openKey(root, key);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void vGetRegistryInfo(MachineProfile& profile, const IRegistryView& registry, bool isVistaOrLater, int& iEnableWsd) {
    profile.tcp1323Opts = -1;
    profile.globalMaxTcpWindowSize = -1;
    profile.tcpWindowSize = -1;
    profile.enablePmtuDiscovery = -1;
    profile.defaultReceiveWindows = -1;
    iEnableWsd = -1;
    profile.userProxy = "null";

    constexpr auto machine = RegistryRoot::LocalMachine;
    if (opens(registry, machine, kTcpipParametersKey)) {
        readIntegerInto(registry, machine, kTcpipParametersKey, "Tcp1323Opts", profile.tcp1323Opts);
        readIntegerInto(registry, machine, kTcpipParametersKey, "GlobalMaxTcpWindowSize",
                        profile.globalMaxTcpWindowSize);
        readIntegerInto(registry, machine, kTcpipParametersKey, "TcpWindowSize", profile.tcpWindowSize);
        readIntegerInto(registry, machine, kTcpipParametersKey, "EnablePMTUDiscovery", profile.enablePmtuDiscovery);
        readIntegerInto(registry, machine, kTcpipParametersKey, "EnableWsd", iEnableWsd);
    }
    if (opens(registry, machine, kAfdParametersKey))
        readIntegerInto(registry, machine, kAfdParametersKey, "DefaultReceiveWindows", profile.defaultReceiveWindows);

    constexpr auto user = RegistryRoot::CurrentUser;
    if (opens(registry, user, kInternetSettingsKey)) {
        int proxyEnable = 0;
        readIntegerInto(registry, user, kInternetSettingsKey, "ProxyEnable", proxyEnable);
        if (proxyEnable == 1) readStringInto(registry, user, kInternetSettingsKey, "ProxyServer", profile.userProxy);
    }

    // Newer systems name the processor through the management service instead.
    if (isVistaOrLater) return;
    if (opens(registry, machine, kCentralProcessorKey))
        readStringInto(registry, machine, kCentralProcessorKey, "ProcessorNameString", profile.cpuName);
}

}  // namespace kivota
