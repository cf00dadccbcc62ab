#include "platform/linux/linux_registry_view.h"

#include <strings.h>

#include <cstdlib>
#include <limits>
#include <optional>
#include <sstream>
#include <variant>

#include "platform/linux/sysctl_reader.h"

namespace kivota {

namespace {

using RegistryValue = std::variant<std::int32_t, std::string>;

bool sameName(const std::string& a, const char* b) { return ::strcasecmp(a.c_str(), b) == 0; }

// A registry DWORD holds 32 bits; larger settings do not fit and are reported absent.
std::optional<RegistryValue> dword(std::optional<std::int64_t> v) {
    if (!v || *v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return RegistryValue{static_cast<std::int32_t>(static_cast<std::uint32_t>(*v))};
}

std::optional<std::string> proxyUrl() {
    for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') return std::string(v);
    }
    return std::nullopt;
}

std::optional<RegistryValue> tcpipValue(const std::string& name) {
    if (sameName(name, "Tcp1323Opts")) {
        const auto scaling = readSysctlInteger("net.ipv4.tcp_window_scaling");
        const auto stamps = readSysctlInteger("net.ipv4.tcp_timestamps");
        if (!scaling || !stamps) return std::nullopt;
        return RegistryValue{static_cast<std::int32_t>((*scaling != 0 ? 1 : 0) | (*stamps != 0 ? 2 : 0))};
    }
    if (sameName(name, "GlobalMaxTcpWindowSize")) return dword(readSysctlInteger("net.core.rmem_max"));
    if (sameName(name, "TcpWindowSize")) {
        const auto fields = readSysctlFields("net.ipv4.tcp_rmem");
        if (!fields || fields->size() < 2) return std::nullopt;
        return dword(parseDecimal((*fields)[1]));
    }
    if (sameName(name, "EnablePMTUDiscovery")) {
        const auto noDiscovery = readSysctlInteger("net.ipv4.ip_no_pmtu_disc");
        if (!noDiscovery) return std::nullopt;
        return RegistryValue{static_cast<std::int32_t>(*noDiscovery == 0 ? 1 : 0)};
    }
    return std::nullopt;
}

std::optional<RegistryValue> lookup(RegistryRoot root, const std::string& key, const std::string& name) {
    if (root == RegistryRoot::LocalMachine) {
        if (sameName(key, kTcpipParametersKey)) return tcpipValue(name);
        if (sameName(key, kAfdParametersKey) && sameName(name, "DefaultReceiveWindows"))
            return dword(readSysctlInteger("net.core.rmem_default"));
        if (sameName(key, kCentralProcessorKey) && sameName(name, "ProcessorNameString")) {
            if (auto model = cpuModelName()) return RegistryValue{*model};
        }
        return std::nullopt;
    }
    if (sameName(key, kInternetSettingsKey)) {
        const auto url = proxyUrl();
        if (sameName(name, "ProxyEnable")) return RegistryValue{static_cast<std::int32_t>(url ? 1 : 0)};
        if (sameName(name, "ProxyServer") && url) return RegistryValue{proxyServerOf(*url)};
    }
    return std::nullopt;
}

class LinuxRegistryView final : public IRegistryView {
public:
    bool openKey(RegistryRoot root, const std::string& key) const override {
        if (root == RegistryRoot::CurrentUser) return sameName(key, kInternetSettingsKey);
        return sameName(key, kTcpipParametersKey) || sameName(key, kAfdParametersKey) ||
               sameName(key, kCentralProcessorKey);
    }
    bool valueExists(RegistryRoot root, const std::string& key, const std::string& name) const override {
        return lookup(root, key, name).has_value();
    }
    bool readInteger(RegistryRoot root, const std::string& key, const std::string& name,
                     std::int32_t& value) const override {
        const auto v = lookup(root, key, name);
        if (!v || !std::holds_alternative<std::int32_t>(*v)) return false;
        value = std::get<std::int32_t>(*v);
        return true;
    }
    bool readString(RegistryRoot root, const std::string& key, const std::string& name,
                    std::string& value) const override {
        const auto v = lookup(root, key, name);
        if (!v || !std::holds_alternative<std::string>(*v)) return false;
        value = std::get<std::string>(*v);
        return true;
    }
};

}  // namespace

std::string proxyServerOf(const std::string& proxyUrl) {
    std::string rest = proxyUrl;
    if (const auto scheme = rest.find("://"); scheme != std::string::npos) rest = rest.substr(scheme + 3);
    if (const auto slash = rest.find('/'); slash != std::string::npos) rest.resize(slash);
    // Credentials in the URL must not travel with the profile.
    if (const auto at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
    return rest;
}

std::shared_ptr<const IRegistryView> makeLinuxRegistryView() { return std::make_shared<LinuxRegistryView>(); }

}  // namespace kivota
