#include "profile/adapter_snapshots.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <ctime>

namespace kivota {

namespace {

MacBytes firstSixBytes(const std::vector<std::uint8_t>& address) {
    MacBytes mac{};
    for (std::size_t i = 0; i < mac.size() && i < address.size(); ++i) {
        mac[i] = address[i];
    }
    return mac;
}

// The network-order form of a dotted address; all ones (INADDR_NONE) when the text is none.
std::uint32_t numericAddress(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return INADDR_NONE;
    }
    return address.s_addr;
}

std::string localAsctime(std::int64_t secondsSinceEpoch) {
    const auto t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local{};
    char text[64] = {};
    if (localtime_r(&t, &local) == nullptr || asctime_r(&local, text) == nullptr) {
        return {};
    }
    return text;
}

AdapterEntry entryOf(INetworkStack& net, const NetworkAdapter& adapter) {
    AdapterEntry entry;
    entry.index = adapter.index;
    entry.friendlyName = szGetFriendlyName(net, adapter.index);
    entry.adapterName = adapter.name;
    entry.description = adapter.description;
    entry.type = adapter.type;
    entry.typeText = szAdapterTypeText(adapter.type);
    entry.mac = firstSixBytes(adapter.hardwareAddress);
    entry.macText = szMacToText(entry.mac);

    for (const auto& [address, mask] : adapter.addresses) {
        entry.ipAddress.push_back(numericAddress(address));
        entry.ipList.push_back(address);
        entry.ipMask.push_back(numericAddress(mask));
        entry.maskList.push_back(mask);
    }
    entry.ipCount = static_cast<int>(entry.ipAddress.size());
    for (const auto& gateway : adapter.gateways) {
        entry.gateway.push_back(numericAddress(gateway));
        entry.gatewayList.push_back(gateway);
    }

    // The address on the first gateway's subnet; the last one that matches wins. Without a
    // gateway no address matches.
    if (!entry.gateway.empty()) {
        const std::uint32_t firstGateway = entry.gateway.front();
        for (int i = 0; i < entry.ipCount; ++i) {
            const auto k = static_cast<std::size_t>(i);
            if ((entry.ipAddress[k] & entry.ipMask[k]) == (entry.ipMask[k] & firstGateway)) {
                entry.gatewayMatch = i;
                entry.matchedAddress = entry.ipAddress[k];
                entry.matchedMask = entry.ipMask[k];
            }
        }
    }

    entry.dhcpEnabled = adapter.dhcpEnabled;
    if (entry.dhcpEnabled) {
        entry.dhcpServer = adapter.dhcpServer;
        entry.leaseObtained = localAsctime(adapter.leaseObtained);
        entry.leaseExpires = localAsctime(adapter.leaseExpires);
    }
    entry.haveWins = adapter.haveWins;
    if (entry.haveWins) {
        entry.primaryWins = adapter.primaryWins;
        entry.secondaryWins = adapter.secondaryWins;
    }
    return entry;
}

}  // namespace

std::string szMacToText(const MacBytes& mac) {
    char text[18] = {};
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::string szAdapterTypeText(std::uint32_t type) {
    switch (type) {
        case 6: return "Ethernet Adapter";
        case 9: return "Token Ring Adapter";
        case 15: return "FDDI Adapter";
        case 23: return "PPP Adapter";
        case 24: return "Loopback Adapter";
        case 28: return "Slip Adapter";
        default: return "Other Adapter";
    }
}

std::string szIfTypeText(std::uint32_t type) {
    switch (type) {
        case 1: return "Other";
        case 6: return "Ethernet";
        case 9: return "TokenRing";
        case 15: return "FDDI";
        case 23: return "Point-to-Point";
        case 24: return "Loopback";
        case 28: return "Slip";
        default: return "Unknown";
    }
}

std::string szAdminStatusText(std::uint32_t status) {
    switch (status) {
        case 1: return "Enabled (1)";
        case 2: return "Disabled (2)";
        case 3: return "Testing (3)";
        default: return "Unknown";
    }
}

std::string szOperStatusText(std::uint32_t status) {
    switch (status) {
        case 0: return "Non-operational";
        case 1: return "Unreachable";
        case 2: return "Disconnected";
        case 3: return "Connecting";
        case 4: return "Connected";
        case 5: return "Operational";
        default: return "Unknown";
    }
}

IfTableRow ifTableRowOf(const InterfaceRow& source) {
    IfTableRow row;
    row.description = source.description;
    row.friendlyIndex = source.index;
    row.type = source.type;
    row.typeText = szIfTypeText(source.type);
    row.mtu = source.mtu;
    row.speed = source.speedBps;
    row.mac = firstSixBytes(source.hardwareAddress);
    row.macText = szMacToText(row.mac);
    row.adminStatus = source.adminStatus;
    row.adminStatusText = szAdminStatusText(source.adminStatus);
    row.operStatus = source.operStatus;
    row.operStatusText = szOperStatusText(source.operStatus);
    row.lastChangeText = std::to_string(source.lastChange);
    row.inOctets = source.inOctets;
    row.inUcastPkts = source.inUcastPkts;
    row.inNUcastPkts = source.inNUcastPkts;
    row.inDiscards = source.inDiscards;
    row.inErrors = source.inErrors;
    row.inUnknownProtos = source.inUnknownProtos;
    row.outOctets = source.outOctets;
    row.outUcastPkts = source.outUcastPkts;
    row.outNUcastPkts = source.outNUcastPkts;
    row.outDiscards = source.outDiscards;
    row.outErrors = source.outErrors;
    row.outQLen = source.outQLen;
    return row;
}

std::optional<std::vector<AdapterEntry>> pGetAdaptersInfo(INetworkStack& net) {
    const auto adapters = net.adapters();
    if (!adapters) {
        return std::nullopt;
    }
    std::vector<AdapterEntry> entries;
    entries.reserve(adapters->size());
    for (const auto& adapter : *adapters) {
        entries.push_back(entryOf(net, adapter));
    }
    return entries;
}

std::optional<std::vector<IfTableRow>> pGetIfTable(INetworkStack& net) {
    const auto table = net.interfaceTable();
    if (!table) {
        return std::nullopt;
    }
    std::vector<IfTableRow> rows;
    rows.reserve(table->size());
    for (const auto& row : *table) {
        rows.push_back(ifTableRowOf(row));
    }
    return rows;
}

std::string szGetFriendlyName(INetworkStack& net, std::uint32_t index) { return net.friendlyName(index).value_or("0"); }

}  // namespace kivota
