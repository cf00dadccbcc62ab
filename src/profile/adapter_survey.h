#pragma once
// The adapter survey: is any adapter connected, which adapter carries the test traffic and
// what kind of link it is, and (through InterfaceTableCounters) how many octets it has moved.
// Everything reads the machine through INetworkStack, so tests drive it with fake tables.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/network_stack.h"
#include "platform/wireless_words.h"
#include "profile/adapter_counters.h"
#include "profile/adapter_snapshots.h"
#include "profile/machine_profile.h"

namespace kivota {

// The number of adapters whose interface is "OPERATIONAL" or "CONNECTED" (0 when the list
// cannot be read).
int iNICConnect(INetworkStack& net);

// "NON OPERATIONAL", "UNREACHABLE", "DISCONNECTED", "CONNECTING", "CONNECTED", "OPERATIONAL" or
// "UNKNOWN" for the operational status of the interface; an interface that cannot be read
// reports "NON OPERATIONAL".
std::string szGetAdapterConnectStatus(INetworkStack& net, std::uint32_t index);

// Picks the adapter toward the first reference address that has a route (else the second) and
// fills adapterRow, mtu, nicRate, userNic, userPppoe and userLocalIp. The addresses are dotted
// IPv4 texts (already decoded). With no best interface only mtu changes (to all ones, unknown).
void vGetIpHlpInfo(MachineProfile& profile, INetworkStack& net, const std::string& referenceAddress1,
                   const std::string& referenceAddress2, bool isVistaOrLater);

// The first IPv4 address of the host in dotted text; nullopt when the name does not resolve.
std::optional<std::string> getIPByName(INetworkStack& net, const std::string& hostName);

}  // namespace kivota
