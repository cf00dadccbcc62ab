#include "tcp_global_state.h"

#include <filesystem>
#include <optional>

#include "platform/linux/sysctl_reader.h"

namespace kivota::netsh {

namespace {

bool anyInterfaceHasSeveralRxQueues() {
    std::error_code ec;
    for (const auto& link : std::filesystem::directory_iterator("/sys/class/net", ec)) {
        int rxQueues = 0;
        std::error_code qec;
        for (const auto& q : std::filesystem::directory_iterator(link.path() / "queues", qec))
            if (q.path().filename().string().rfind("rx-", 0) == 0) ++rxQueues;
        if (rxQueues > 1) return true;
    }
    return false;
}

std::string enabledWhen(const std::optional<std::int64_t>& setting) {
    if (!setting) return "unknown";
    return *setting != 0 ? "enabled" : "disabled";
}

}  // namespace

std::vector<GlobalParameter> readGlobalParameters() {
    const auto moderate = readSysctlInteger("net.ipv4.tcp_moderate_rcvbuf");
    const auto congestion = readSysctl("net.ipv4.tcp_congestion_control");
    const auto ecn = readSysctlInteger("net.ipv4.tcp_ecn");
    // tcp_ecn 1 asks for ECN on outgoing connections; 2 only answers it, as "disabled" does.
    const std::string ecnText = !ecn ? "unknown" : (*ecn == 1 ? "enabled" : "disabled");
    return {
        {"Receive-Side Scaling State", anyInterfaceHasSeveralRxQueues() ? "enabled" : "disabled"},
        {"Chimney Offload State", "disabled"},
        {"NetDMA State", "disabled"},
        {"Direct Cache Access (DCA)", "disabled"},
        {"Receive Window Auto-Tuning Level", !moderate ? "unknown" : (*moderate == 1 ? "normal" : "disabled")},
        {"Add-On Congestion Control Provider", congestion && !congestion->empty() ? *congestion : "unknown"},
        {"ECN Capability", ecnText},
        {"RFC 1323 Timestamps", enabledWhen(readSysctlInteger("net.ipv4.tcp_timestamps"))},
    };
}

std::string formatReport(const std::vector<GlobalParameter>& parameters) {
    std::string report = "\r\nQuerying active state...\r\n\r\nTCP Global Parameters\r\n";
    report += std::string(46, '-') + "\r\n";
    for (const auto& p : parameters) {
        std::string label = p.label;
        if (label.size() < 36) label.resize(36, ' ');
        report += label + ": " + p.value + "\r\n";
    }
    report += "\r\n";
    return report;
}

}  // namespace kivota::netsh
