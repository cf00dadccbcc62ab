#pragma once
// What the adapter survey asks of the machine's network stack: the adapter list, the interface
// table, one interface's row, the interface that carries traffic toward an address, friendly
// names and host-name resolution.
//
// Every call returns the caller its own snapshot by value and keeps no state between calls, so
// any thread may call any operation at any time (the measurement samples counters from the
// transfer threads while the window may survey adapters). Failures are reported by an empty
// optional, never by an exception.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/octet_counters.h"

namespace kivota {

// Interface type codes (the IANA ifType numbers the interface rows carry).
inline constexpr std::uint32_t kIfTypeOther = 1;
inline constexpr std::uint32_t kIfTypeEthernet = 6;
inline constexpr std::uint32_t kIfTypePpp = 23;
inline constexpr std::uint32_t kIfTypeLoopback = 24;
inline constexpr std::uint32_t kIfTypeWireless = 71;  // IEEE 802.11

// Operational status of an interface row, on the 0..5 scale of the rows.
inline constexpr std::uint32_t kOperNonOperational = 0;
inline constexpr std::uint32_t kOperUnreachable = 1;
inline constexpr std::uint32_t kOperDisconnected = 2;
inline constexpr std::uint32_t kOperConnecting = 3;
inline constexpr std::uint32_t kOperConnected = 4;
inline constexpr std::uint32_t kOperOperational = 5;

// Administrative status of an interface row.
inline constexpr std::uint32_t kAdminEnabled = 1;
inline constexpr std::uint32_t kAdminDisabled = 2;

struct Ipv4AddressWithMask {
    std::string address;  // dotted text, e.g. "198.18.0.1"
    std::string mask;     // dotted text, e.g. "255.255.255.0"
};

// One network adapter (the loopback interface is not an adapter and is not listed).
struct NetworkAdapter {
    std::uint32_t index = 0;  // interface index
    std::string name;         // the system's identifier of the adapter (the interface name)
    std::string description;  // hardware description where known
    std::uint32_t type = kIfTypeOther;
    std::vector<std::uint8_t> hardwareAddress;   // as many bytes as the link has (6 for Ethernet)
    std::vector<Ipv4AddressWithMask> addresses;  // IPv4 addresses in the kernel's order
    std::vector<std::string> gateways;           // default gateways through this adapter, dotted, best first
    bool dhcpEnabled = false;                    // an IPv4 address of the adapter is leased (has a finite lifetime)
    std::string dhcpServer;                      // dotted text; empty when the lease does not name it
    std::int64_t leaseObtained = 0;              // seconds since the epoch (UTC); 0 when unknown
    std::int64_t leaseExpires = 0;               // seconds since the epoch (UTC); 0 when unknown
    bool haveWins = false;                       // NetBIOS name servers configured for the adapter
    std::string primaryWins, secondaryWins;
};

// One row of the interface table (every interface, the loopback included).
struct InterfaceRow {
    std::string description;
    std::uint32_t index = 0;  // interface index
    std::uint32_t type = kIfTypeOther;
    std::uint32_t mtu = 0;       // bytes
    std::uint64_t speedBps = 0;  // link speed, bit/s; 0 when the link does not report one
    std::vector<std::uint8_t> hardwareAddress;
    std::uint32_t adminStatus = kAdminDisabled;
    std::uint32_t operStatus = kOperNonOperational;
    std::uint64_t lastChange = 0;  // hundredths of a second since boot of the last status change; 0 unknown
    // Counters since an arbitrary start (the kernel's 64-bit counters: differences never wrap in practice).
    std::uint64_t inOctets = 0, inUcastPkts = 0, inNUcastPkts = 0, inDiscards = 0, inErrors = 0, inUnknownProtos = 0;
    std::uint64_t outOctets = 0, outUcastPkts = 0, outNUcastPkts = 0, outDiscards = 0, outErrors = 0, outQLen = 0;
};

class INetworkStack {
public:
    virtual ~INetworkStack() = default;

    // The adapters in interface-index order; nullopt when the list cannot be read.
    virtual std::optional<std::vector<NetworkAdapter>> adapters() = 0;

    // Every interface's row, sorted by interface index; nullopt when the table cannot be read.
    virtual std::optional<std::vector<InterfaceRow>> interfaceTable() = 0;

    // The octet counters of every row of interfaceTable(), in its order; nullopt when the table
    // cannot be read. Only the counters are read: a sample taken once a second beside the FTP
    // count must take a short and steady time, which the link facts of a whole row do not.
    virtual std::optional<std::vector<OctetCounters>> interfaceOctets() {
        auto table = interfaceTable();
        if (!table) return std::nullopt;
        std::vector<OctetCounters> counters;
        counters.reserve(table->size());
        for (const auto& row : *table) counters.push_back({row.inOctets, row.outOctets});
        return counters;
    }

    // The row of one interface; nullopt when it does not exist or cannot be read.
    virtual std::optional<InterfaceRow> interfaceEntry(std::uint32_t index) = 0;

    // The index of the interface that carries traffic toward `ipv4` (dotted text); nullopt when
    // the text is not an IPv4 address or no route leads there.
    virtual std::optional<std::uint32_t> bestInterface(const std::string& ipv4) = 0;

    // The friendly name of the interface with that index; an empty text when no interface has
    // it; nullopt when the interface list cannot be read.
    virtual std::optional<std::string> friendlyName(std::uint32_t index) = 0;

    // The first IPv4 address of a host name in dotted text; nullopt when it does not resolve.
    // May block for as long as the system resolver takes.
    virtual std::optional<std::string> resolveIPv4(const std::string& hostName) = 0;
};

}  // namespace kivota
