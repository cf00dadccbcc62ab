#include "profile/adapter_survey.h"

#include <array>
#include <climits>
#include <functional>
#include <vector>

namespace kivota {

namespace {

// Link classification texts (userPppoe).
constexpr const char* kEthernet = "乙太網路介面";
constexpr const char* kWireless = "無線網路介面";
constexpr const char* kOtherInterface = "其他網路介面";
constexpr const char* kOtherDialUp = "其他撥號網路";
constexpr const char* kPppoeEthernetClient = "PPPoE(Enternet300)";
constexpr const char* kPppoeBuiltIn = "PPPoE(Windows 內建)";
constexpr const char* kPppoeLargeMtuNew = "PPPoE(cFOS)";
constexpr const char* kPppoeLargeMtuOld = "PPPoE(Raspppoe)";

constexpr std::uint32_t kAllOnes = 0xFFFFFFFFU;

// Link speeds in kbit/s that an Ethernet or PPP link reports at a standard rate.
bool isStandardSpeed(std::uint64_t kbps) { return kbps == 10000 || kbps == 100000 || kbps == 1000000; }

// Speeds in kbit/s of wired Ethernet beyond 1 Gbit/s (IEEE 802.3: 2.5, 5, 10, 25, 40, 50, 100,
// 200 and 400 Gbit/s): no wireless adapter reports them.
bool isMultiGigabitEthernetSpeed(std::uint64_t kbps) {
    for (const std::uint64_t mbit : {2500u, 5000u, 10000u, 25000u, 40000u, 50000u, 100000u, 200000u, 400000u}) {
        if (kbps == mbit * 1000) {
            return true;
        }
    }
    return false;
}

// Speeds in kbit/s that mark a physical adapter beneath a dial-up link.
bool isPhysicalAdapterSpeed(std::uint64_t kbps) { return kbps == 10000 || kbps == 10000000; }

std::uint64_t kbitPerSecond(std::uint64_t bitPerSecond) { return bitPerSecond / 1000; }

// nicRate is an int of kbit/s: 2 Tbit/s would not fit, so it saturates rather than wraps.
int rateField(std::uint64_t kbps) { return kbps > INT_MAX ? INT_MAX : static_cast<int>(kbps); }

bool isLive(const IfTableRow& row) { return row.operStatusText == "Operational" || row.operStatusText == "Connected"; }

// Visits, in adapter-list order, every live row of `table` that belongs to an adapter other
// than the tested one, until the visitor returns false. The tested adapter is the one with
// index `testedIndex`: the best interface, which is also the index of row adapterRow whenever
// that row exists (when it does not, reading it would run past the table).
void searchOtherLiveAdapters(INetworkStack& net, const std::vector<IfTableRow>& table, std::uint32_t testedIndex,
                             const std::function<bool(const IfTableRow&)>& visit) {
    const auto adapters = pGetAdaptersInfo(net);
    if (!adapters) {
        return;
    }
    for (const AdapterEntry& adapter : *adapters) {
        if (adapter.index == testedIndex) {
            continue;
        }
        for (const IfTableRow& row : table) {
            if (row.friendlyIndex == adapter.index && isLive(row) && !visit(row)) {
                return;
            }
        }
    }
}

void classifyEthernet(MachineProfile& profile, INetworkStack& net, const std::vector<IfTableRow>& table,
                      std::uint32_t best) {
    if (profile.userNic.find("P.P.P.o.E") != std::string::npos) {
        profile.userPppoe = kPppoeEthernetClient;
        // The client's virtual adapter hides the real one: report the first other live adapter.
        searchOtherLiveAdapters(net, table, best, [&](const IfTableRow& row) {
            profile.userNic = row.description;
            profile.nicRate = rateField(kbitPerSecond(row.speed));
            return false;
        });
    } else if (bNamesWirelessLink(profile.userNic)) {  // NOLINT(bugprone-branch-clone): the rules in their order
        profile.userPppoe = kWireless;
    } else if (isStandardSpeed(static_cast<std::uint64_t>(profile.nicRate)) || profile.nicRate == 0 ||
               isMultiGigabitEthernetSpeed(static_cast<std::uint64_t>(profile.nicRate))) {
        // A link that reports no speed (virtio, many virtual adapters) or a multi-gigabit one is
        // wired: the stack reports a wireless adapter as such, with its bit rate as its speed.
        profile.userPppoe = kEthernet;
    } else {
        // An Ethernet-framed link at an odd rate (54 Mbit/s and the like) is taken for wireless.
        profile.userPppoe = kWireless;
    }
}

void classifyPpp(MachineProfile& profile, INetworkStack& net, const std::vector<IfTableRow>& table, std::uint32_t best,
                 bool isVistaOrLater) {
    if (isStandardSpeed(static_cast<std::uint64_t>(profile.nicRate))) {
        if (profile.mtu <= 1480) {
            profile.userPppoe = kPppoeBuiltIn;
        } else {
            profile.userPppoe = isVistaOrLater ? kPppoeLargeMtuNew : kPppoeLargeMtuOld;
        }
        // Name the adapter beneath the dial-up link; a physical adapter's speed replaces the rate.
        searchOtherLiveAdapters(net, table, best, [&](const IfTableRow& row) {
            profile.userNic = row.description;
            const std::uint64_t kbps = kbitPerSecond(row.speed);
            if (isPhysicalAdapterSpeed(kbps)) {
                profile.nicRate = rateField(kbps);
                return false;
            }
            return true;
        });
        return;
    }

    const int dialUpRate = profile.nicRate;
    bool found = false;
    searchOtherLiveAdapters(net, table, best, [&](const IfTableRow& row) {
        found = true;
        profile.userNic = row.description;
        const std::uint64_t kbps = kbitPerSecond(row.speed);
        profile.nicRate = rateField(kbps);
        if (bNamesWirelessLink(profile.userNic)) {
            profile.userPppoe = kWireless;
        } else {
            profile.nicRate = dialUpRate;
            profile.userPppoe = kOtherDialUp;
        }
        return isPhysicalAdapterSpeed(kbps);
    });
    if (!found) {
        profile.userPppoe = kOtherDialUp;
    }
}

}  // namespace

std::string szGetAdapterConnectStatus(INetworkStack& net, std::uint32_t index) {
    // An interface that cannot be read counts as status 0.
    const auto entry = net.interfaceEntry(index);
    switch (entry ? entry->operStatus : kOperNonOperational) {
        case 0: return "NON OPERATIONAL";
        case 1: return "UNREACHABLE";
        case 2: return "DISCONNECTED";
        case 3: return "CONNECTING";
        case 4: return "CONNECTED";
        case 5: return "OPERATIONAL";
        default: return "UNKNOWN";
    }
}

int iNICConnect(INetworkStack& net) {
    const auto adapters = pGetAdaptersInfo(net);
    if (!adapters) {
        return 0;
    }
    int connected = 0;
    for (const AdapterEntry& adapter : *adapters) {
        const std::string status = szGetAdapterConnectStatus(net, adapter.index);
        if (status == "OPERATIONAL" || status == "CONNECTED") {
            ++connected;
        }
    }
    return connected;
}

void vGetIpHlpInfo(MachineProfile& profile, INetworkStack& net, const std::string& referenceAddress1,
                   const std::string& referenceAddress2, bool isVistaOrLater) {
    profile.mtu = kAllOnes;
    auto best = net.bestInterface(referenceAddress1);
    if (!best) {
        best = net.bestInterface(referenceAddress2);
    }
    if (!best) {
        return;
    }
    const std::uint32_t bestIndex = *best;

    // The row at position 0 is the loopback's and is never the tested adapter. When no later
    // row carries the index, adapterRow is left one past the end: the counter samplers then
    // report "no counters" instead of reading another adapter's.
    const std::vector<IfTableRow> table = pGetIfTable(net).value_or(std::vector<IfTableRow>{});
    int adapterRow = static_cast<int>(table.size());
    for (std::size_t k = 1; k < table.size(); ++k) {
        if (table[k].friendlyIndex == bestIndex) {
            adapterRow = static_cast<int>(k);
            break;
        }
    }
    profile.adapterRow = adapterRow;

    // An interface that vanished between the route lookup and this read leaves the link
    // fields as they were (mtu unknown), as when no interface leads to the references.
    const auto entry = net.interfaceEntry(bestIndex);
    if (!entry) {
        return;
    }
    profile.nicRate = rateField(kbitPerSecond(entry->speedBps));
    profile.mtu = entry->mtu;
    profile.userNic = entry->description;

    switch (entry->type) {
        case kIfTypeEthernet: classifyEthernet(profile, net, table, bestIndex); break;
        case kIfTypePpp: classifyPpp(profile, net, table, bestIndex, isVistaOrLater); break;
        default: profile.userPppoe = bNamesWirelessLink(profile.userNic) ? kWireless : kOtherInterface; break;
    }

    // The tested adapter's first address. When the list has no such adapter (the route leads
    // through the loopback, or the list cannot be read) userLocalIp keeps its value.
    if (const auto adapters = pGetAdaptersInfo(net)) {
        for (const AdapterEntry& adapter : *adapters) {
            if (adapter.index == bestIndex) {
                profile.userLocalIp = adapter.ipList.empty() ? std::string() : adapter.ipList.front();
                break;
            }
        }
    }
}

std::optional<std::string> getIPByName(INetworkStack& net, const std::string& hostName) {
    return net.resolveIPv4(hostName);
}

}  // namespace kivota
