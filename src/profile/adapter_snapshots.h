#pragma once
// Snapshots of the adapter list and of the interface table in the form the survey and the
// measurement read them: numeric fields beside their texts, addresses both as text lists and
// in network-order numeric form.
//
// Each call returns its caller a snapshot of its own (by value): nothing is shared between
// callers, so the progress callbacks of several transfer threads may sample at the same moment.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/network_stack.h"

namespace kivota {

using MacBytes = std::array<std::uint8_t, 6>;

struct AdapterEntry {
    std::uint32_t index = 0;
    std::string friendlyName;
    std::string adapterName;
    std::uint32_t type = 0;
    std::string typeText;
    std::string description;
    MacBytes mac{};
    std::string macText;
    int ipCount = 0;
    // Network-order 32-bit forms (as inet_addr gives them), one per entry of the text lists.
    // These hold every address, mask and gateway; there is no limit of ten.
    std::vector<std::uint32_t> ipAddress, ipMask, gateway;
    std::vector<std::string> ipList, maskList, gatewayList;
    int gatewayMatch = 0;
    std::uint32_t matchedAddress = 0, matchedMask = 0;
    bool dhcpEnabled = false;
    std::string dhcpServer;
    std::string leaseObtained, leaseExpires;  // asctime() form of local time, newline included
    bool haveWins = false;
    std::string primaryWins, secondaryWins;
};

struct IfTableRow {
    std::string description;
    std::uint32_t friendlyIndex = 0;
    std::uint32_t type = 0;
    std::string typeText;
    std::uint32_t mtu = 0;
    std::uint64_t speed = 0;  // bit/s; 64 bits, since 10 Gbit/s does not fit 32
    MacBytes mac{};
    std::string macText;
    std::uint32_t adminStatus = 0;
    std::string adminStatusText;
    std::uint32_t operStatus = 0;
    std::string operStatusText;
    std::string lastChangeText;
    // The kernel's 64-bit counters: a consumer's difference of two snapshots cannot wrap.
    std::uint64_t inOctets = 0, inUcastPkts = 0, inNUcastPkts = 0, inDiscards = 0, inErrors = 0, inUnknownProtos = 0;
    std::uint64_t outOctets = 0, outUcastPkts = 0, outNUcastPkts = 0, outDiscards = 0, outErrors = 0, outQLen = 0;
};

// The adapter list in list order; nullopt when it cannot be read.
std::optional<std::vector<AdapterEntry>> pGetAdaptersInfo(INetworkStack& net);

// The interface table sorted by index; nullopt when it cannot be read.
std::optional<std::vector<IfTableRow>> pGetIfTable(INetworkStack& net);

// Friendly name of the adapter with that index; empty when none has it; "0" when the list
// cannot be read.
std::string szGetFriendlyName(INetworkStack& net, std::uint32_t index);

// "00:1A:2B:3C:4D:5E": upper-case hexadecimal, two digits per byte.
std::string szMacToText(const MacBytes& mac);

// The texts of the code tables.
std::string szAdapterTypeText(std::uint32_t type);
std::string szIfTypeText(std::uint32_t type);
std::string szAdminStatusText(std::uint32_t status);
std::string szOperStatusText(std::uint32_t status);

// The row form of one interface (friendlyIndex is the interface index: Linux indexes need no
// reduction).
IfTableRow ifTableRowOf(const InterfaceRow& row);

}  // namespace kivota
