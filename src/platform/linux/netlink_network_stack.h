#pragma once
// The network stack of the running Linux kernel, read over rtnetlink (libnl-route-3) and sysfs.
//
// Every call opens its own netlink socket, so calls from several threads never share state.
// The table holds one row per link sorted by index (the loopback, index 1, comes first); the
// adapter list is every link but the loopback.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/linux/link_facts.h"
#include "platform/network_stack.h"

namespace kivota {

// Links described from the running system's sysfs, procfs, udev database and nl80211.
std::shared_ptr<INetworkStack> makeLinuxNetworkStack();
// Links described from the given sources (fake trees in tests).
std::shared_ptr<INetworkStack> makeLinuxNetworkStack(LinkFactSources sources);

namespace netlink_mapping {

// Interface type code of a link: by its ARPHRD_* hardware type, with an Ethernet-framed link
// that has an 802.11 PHY counted as wireless.
std::uint32_t interfaceType(unsigned arpHardwareType, bool hasWirelessPhy);

// Operational status (0..5) of a link from its RFC 2863 operstate (IF_OPER_*) and its IFF_* flags.
// up 5; dormant (e.g. waiting for 802.1X or Wi-Fi authentication) 3; down 2; testing 2;
// lowerlayerdown 1; notpresent 0. Many virtual links (loopback, tun, some veth) report
// "unknown" although they carry traffic: they count as 5 when IFF_UP and IFF_RUNNING are both
// set (administratively up with carrier), else 2.
std::uint32_t operStatus(std::uint8_t operstate, unsigned flags);

// A description from the lines of a udev database entry (/run/udev/data/n<ifindex>):
// "<vendor> <model>" from ID_VENDOR_FROM_DATABASE and ID_MODEL_FROM_DATABASE, either alone when
// only one is known, empty when neither is.
std::string describeFromUdev(const std::string& udevData);

// Link speed in bit/s from the text of /sys/class/net/IF/speed (Mbit/s); 0 for -1, for an
// unreadable or malformed value.
std::uint64_t speedFromSysfs(const std::string& text);

}  // namespace netlink_mapping
}  // namespace kivota
