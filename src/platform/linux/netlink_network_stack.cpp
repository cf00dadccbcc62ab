#include "platform/linux/netlink_network_stack.h"

#include <arpa/inet.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/rtnetlink.h>
#include <netdb.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>
#include <sys/socket.h>
#include <time.h>  // NOLINT(modernize-deprecated-headers): the POSIX functions beside the C ones

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <utility>

#include "platform/linux/netlink_owners.h"
#include "platform/linux/sysctl_reader.h"

namespace kivota {

namespace netlink_mapping {

std::uint32_t interfaceType(unsigned arpHardwareType, bool hasWirelessPhy) {
    switch (arpHardwareType) {
        case ARPHRD_ETHER: return hasWirelessPhy ? kIfTypeWireless : kIfTypeEthernet;
        case ARPHRD_IEEE80211:
        case ARPHRD_IEEE80211_PRISM:
        case ARPHRD_IEEE80211_RADIOTAP: return kIfTypeWireless;
        case ARPHRD_PPP: return kIfTypePpp;
        case ARPHRD_LOOPBACK: return kIfTypeLoopback;
        default: return kIfTypeOther;
    }
}

std::uint32_t operStatus(std::uint8_t operstate, unsigned flags) {
    switch (operstate) {
        case IF_OPER_UP: return kOperOperational;
        case IF_OPER_DORMANT: return kOperConnecting;
        case IF_OPER_DOWN:
        case IF_OPER_TESTING: return kOperDisconnected;
        case IF_OPER_LOWERLAYERDOWN: return kOperUnreachable;
        case IF_OPER_NOTPRESENT: return kOperNonOperational;
        default:  // IF_OPER_UNKNOWN: the driver does not track it; judge by the flags
            return ((flags & IFF_UP) != 0U && (flags & IFF_RUNNING) != 0U) ? kOperOperational : kOperDisconnected;
    }
}

std::string describeFromUdev(const std::string& udevData) {
    std::string vendor, model;
    std::istringstream lines(udevData);
    for (std::string line; std::getline(lines, line);) {
        constexpr std::string_view vendorKey = "E:ID_VENDOR_FROM_DATABASE=";
        constexpr std::string_view modelKey = "E:ID_MODEL_FROM_DATABASE=";
        if (line.starts_with(vendorKey)) {
            vendor = line.substr(vendorKey.size());
        } else if (line.starts_with(modelKey)) {
            model = line.substr(modelKey.size());
        }
    }
    if (!vendor.empty() && !model.empty()) {
        return vendor + " " + model;
    }
    return vendor.empty() ? model : vendor;
}

std::uint64_t speedFromSysfs(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return 0;
    }
    long long mbps = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, mbps);
    if (ec != std::errc() || ptr == begin || mbps <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(mbps) * 1000000ULL;
}

}  // namespace netlink_mapping

namespace {

using namespace netlink_owners;

SocketPtr openSocket() {
    SocketPtr sock(nl_socket_alloc());
    if (!sock || nl_connect(sock.get(), NETLINK_ROUTE) < 0) {
        return nullptr;
    }
    return sock;
}

// Runs a cache fill again when a link, address or route changed while the kernel dumped them
// (the dump is then marked interrupted and its contents are not to be trusted).
template <typename Fill>
int fillRetryingInterruptedDumps(Fill fill) {
    constexpr int kAttempts = 8;
    int rc = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        rc = fill();
        if (rc != -NLE_DUMP_INTR) break;
    }
    return rc;
}

CachePtr linkCache(nl_sock* sock) {
    nl_cache* cache = nullptr;
    if (fillRetryingInterruptedDumps([&] { return rtnl_link_alloc_cache(sock, AF_UNSPEC, &cache); }) < 0) {
        return nullptr;
    }
    return CachePtr(cache);
}

// Links of a cache sorted by interface index.
std::vector<rtnl_link*> sortedLinks(nl_cache* cache) {
    std::vector<rtnl_link*> links;
    for (nl_object* obj = nl_cache_get_first(cache); obj != nullptr; obj = nl_cache_get_next(obj)) {
        links.push_back(reinterpret_cast<rtnl_link*>(obj));
    }
    std::sort(links.begin(), links.end(),
              [](rtnl_link* a, rtnl_link* b) { return rtnl_link_get_ifindex(a) < rtnl_link_get_ifindex(b); });
    return links;
}

std::string linkName(rtnl_link* link) {
    const char* name = rtnl_link_get_name(link);
    return name != nullptr ? name : "";
}

std::vector<std::uint8_t> hardwareAddressOf(rtnl_link* link) {
    nl_addr* addr = rtnl_link_get_addr(link);
    if (addr == nullptr) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(nl_addr_get_binary_addr(addr));
    return std::vector<std::uint8_t>(bytes, bytes + nl_addr_get_len(addr));
}

InterfaceRow rowOf(rtnl_link* link, const LinkFactSources& sources) {
    InterfaceRow row;
    const int index = rtnl_link_get_ifindex(link);
    const unsigned flags = rtnl_link_get_flags(link);
    const LinkFacts facts = readLinkFacts({index, linkName(link), rtnl_link_get_arptype(link)}, sources);
    row.index = static_cast<std::uint32_t>(index);
    row.description = facts.description;
    row.type = facts.type;
    row.mtu = rtnl_link_get_mtu(link);
    row.speedBps = facts.speedBps;
    row.hardwareAddress = hardwareAddressOf(link);
    row.adminStatus = (flags & IFF_UP) != 0U ? kAdminEnabled : kAdminDisabled;
    row.operStatus = netlink_mapping::operStatus(rtnl_link_get_operstate(link), flags);
    // The kernel keeps no time stamp of a link's last state change: lastChange stays 0.
    const std::uint64_t rxPackets = rtnl_link_get_stat(link, RTNL_LINK_RX_PACKETS);
    const std::uint64_t rxMulticast = rtnl_link_get_stat(link, RTNL_LINK_MULTICAST);
    row.inOctets = rtnl_link_get_stat(link, RTNL_LINK_RX_BYTES);
    row.inUcastPkts = rxPackets >= rxMulticast ? rxPackets - rxMulticast : 0;
    row.inNUcastPkts = rxMulticast;
    row.inDiscards = rtnl_link_get_stat(link, RTNL_LINK_RX_DROPPED);
    row.inErrors = rtnl_link_get_stat(link, RTNL_LINK_RX_ERRORS);
    row.inUnknownProtos = rtnl_link_get_stat(link, RTNL_LINK_RX_NOHANDLER);
    row.outOctets = rtnl_link_get_stat(link, RTNL_LINK_TX_BYTES);
    row.outUcastPkts = rtnl_link_get_stat(link, RTNL_LINK_TX_PACKETS);  // the kernel does not split sent casts
    row.outDiscards = rtnl_link_get_stat(link, RTNL_LINK_TX_DROPPED);
    row.outErrors = rtnl_link_get_stat(link, RTNL_LINK_TX_ERRORS);
    return row;
}

std::string ipv4Text(const void* bytes) {
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, bytes, text, sizeof text) == nullptr) {
        return {};
    }
    return text;
}

std::string ipv4Text(nl_addr* addr) {
    if (addr == nullptr || nl_addr_get_family(addr) != AF_INET || nl_addr_get_len(addr) != 4) {
        return {};
    }
    return ipv4Text(nl_addr_get_binary_addr(addr));
}

std::string maskText(unsigned prefixLength) {
    const std::uint32_t mask = prefixLength == 0 ? 0U : (0xFFFFFFFFU << (32U - std::min(prefixLength, 32U)));
    const std::uint32_t network = htonl(mask);
    return ipv4Text(&network);
}

// The DHCP server of a lease that systemd-networkd keeps for the interface, if it keeps one.
std::string dhcpServerOf(std::uint32_t index) {
    std::istringstream lines(readSmallFile("/run/systemd/netif/leases/" + std::to_string(index)));
    constexpr std::string_view key = "SERVER_ADDRESS=";
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(key)) {
            return line.substr(key.size());
        }
    }
    return {};
}

std::int64_t secondsSinceEpoch() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

std::int64_t centisecondsSinceBoot() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 100 + now.tv_nsec / 10000000;
}

void addAddresses(NetworkAdapter& adapter, nl_cache* addrCache) {
    constexpr std::uint32_t kForever = 0xFFFFFFFFU;
    for (nl_object* obj = nl_cache_get_first(addrCache); obj != nullptr; obj = nl_cache_get_next(obj)) {
        auto* addr = reinterpret_cast<rtnl_addr*>(obj);
        if (rtnl_addr_get_family(addr) != AF_INET ||
            static_cast<std::uint32_t>(rtnl_addr_get_ifindex(addr)) != adapter.index) {
            continue;
        }
        const std::string text = ipv4Text(rtnl_addr_get_local(addr));
        if (text.empty()) {
            continue;
        }
        adapter.addresses.push_back({text, maskText(static_cast<unsigned>(rtnl_addr_get_prefixlen(addr)))});
        // A leased address has a finite lifetime; a static one is permanent.
        const std::uint32_t valid = rtnl_addr_get_valid_lifetime(addr);
        if (!adapter.dhcpEnabled && (rtnl_addr_get_flags(addr) & IFA_F_PERMANENT) == 0U && valid != kForever) {
            adapter.dhcpEnabled = true;
            const std::int64_t now = secondsSinceEpoch();
            adapter.leaseExpires = now + valid;
            // The creation stamp counts hundredths of a second since boot.
            const std::int64_t age = (centisecondsSinceBoot() - rtnl_addr_get_create_time(addr)) / 100;
            adapter.leaseObtained = now - std::max<std::int64_t>(age, 0);
        }
    }
    if (adapter.dhcpEnabled) {
        adapter.dhcpServer = dhcpServerOf(adapter.index);
    }
}

// Default gateways of the main routing table through the adapter, lowest metric first.
void addGateways(NetworkAdapter& adapter, nl_cache* routeCache) {
    std::vector<std::pair<std::uint32_t, std::string>> found;
    for (nl_object* obj = nl_cache_get_first(routeCache); obj != nullptr; obj = nl_cache_get_next(obj)) {
        auto* route = reinterpret_cast<rtnl_route*>(obj);
        nl_addr* dst = rtnl_route_get_dst(route);
        if (rtnl_route_get_family(route) != AF_INET || rtnl_route_get_table(route) != RT_TABLE_MAIN ||
            rtnl_route_get_type(route) != RTN_UNICAST || (dst != nullptr && nl_addr_get_prefixlen(dst) != 0)) {
            continue;
        }
        const int hops = rtnl_route_get_nnexthops(route);
        for (int i = 0; i < hops; ++i) {
            rtnl_nexthop* hop = rtnl_route_nexthop_n(route, i);
            if (hop == nullptr || static_cast<std::uint32_t>(rtnl_route_nh_get_ifindex(hop)) != adapter.index) {
                continue;
            }
            std::string gateway = ipv4Text(rtnl_route_nh_get_gateway(hop));
            if (!gateway.empty()) {
                found.emplace_back(rtnl_route_get_priority(route), std::move(gateway));
            }
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [metric, gateway] : found) {
        adapter.gateways.push_back(std::move(gateway));
    }
}

class NetlinkNetworkStack final : public INetworkStack {
public:
    explicit NetlinkNetworkStack(LinkFactSources sources) : sources_(std::move(sources)) {}

    std::optional<std::vector<NetworkAdapter>> adapters() override {
        auto sock = openSocket();
        if (!sock) {
            return std::nullopt;
        }
        auto links = linkCache(sock.get());
        nl_cache* addrs = nullptr;
        nl_cache* routes = nullptr;
        if (!links || fillRetryingInterruptedDumps([&] { return rtnl_addr_alloc_cache(sock.get(), &addrs); }) < 0) {
            return std::nullopt;
        }
        CachePtr addrHolder(addrs);
        if (fillRetryingInterruptedDumps([&] { return rtnl_route_alloc_cache(sock.get(), AF_INET, 0, &routes); }) < 0) {
            return std::nullopt;
        }
        CachePtr routeHolder(routes);

        std::vector<NetworkAdapter> list;
        for (rtnl_link* link : sortedLinks(links.get())) {
            if ((rtnl_link_get_flags(link) & IFF_LOOPBACK) != 0U) {
                continue;  // the loopback is an interface, not an adapter
            }
            const InterfaceRow row = rowOf(link, sources_);
            NetworkAdapter adapter;
            adapter.index = row.index;
            adapter.name = linkName(link);
            adapter.description = row.description;
            adapter.type = row.type;
            adapter.hardwareAddress = row.hardwareAddress;
            addAddresses(adapter, addrs);
            addGateways(adapter, routes);
            // Linux keeps no per-adapter NetBIOS name servers: haveWins stays false.
            list.push_back(std::move(adapter));
        }
        return list;
    }

    std::optional<std::vector<InterfaceRow>> interfaceTable() override {
        return everyLink([this](rtnl_link* link) { return rowOf(link, sources_); });
    }

    std::optional<std::vector<OctetCounters>> interfaceOctets() override {
        return everyLink([](rtnl_link* link) {
            return OctetCounters{rtnl_link_get_stat(link, RTNL_LINK_RX_BYTES),
                                 rtnl_link_get_stat(link, RTNL_LINK_TX_BYTES)};
        });
    }

    std::optional<InterfaceRow> interfaceEntry(std::uint32_t index) override {
        auto sock = openSocket();
        rtnl_link* link = nullptr;
        if (!sock || index == 0 || index > 0x7FFFFFFFU ||
            rtnl_link_get_kernel(sock.get(), static_cast<int>(index), nullptr, &link) < 0 || link == nullptr) {
            return std::nullopt;
        }
        LinkPtr holder(link);
        return rowOf(link, sources_);
    }

    std::optional<std::uint32_t> bestInterface(const std::string& ipv4) override {
        in_addr target{};
        if (inet_pton(AF_INET, ipv4.c_str(), &target) != 1) {
            return std::nullopt;
        }
        auto sock = openSocket();
        AddrPtr dst(nl_addr_build(AF_INET, &target, sizeof target));
        rtnl_route* found = nullptr;
        if (!sock || !dst || rtnl_route_lookup(sock.get(), dst.get(), &found) < 0 || found == nullptr) {
            return std::nullopt;
        }
        RoutePtr route(found);
        const std::uint8_t type = rtnl_route_get_type(found);
        if (type == RTN_UNREACHABLE || type == RTN_BLACKHOLE || type == RTN_PROHIBIT ||
            rtnl_route_get_nnexthops(found) < 1) {
            return std::nullopt;
        }
        const int oif = rtnl_route_nh_get_ifindex(rtnl_route_nexthop_n(found, 0));
        if (oif <= 0) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(oif);
    }

    std::optional<std::string> friendlyName(std::uint32_t index) override {
        auto sock = openSocket();
        auto links = sock ? linkCache(sock.get()) : nullptr;
        if (!links) {
            return std::nullopt;
        }
        for (rtnl_link* link : sortedLinks(links.get())) {
            if (static_cast<std::uint32_t>(rtnl_link_get_ifindex(link)) == index) {
                return linkName(link);
            }
        }
        return std::string();
    }

    std::optional<std::string> resolveIPv4(const std::string& hostName) override {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        if (hostName.empty() || getaddrinfo(hostName.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
            return std::nullopt;
        }
        std::optional<std::string> text;
        for (const addrinfo* ai = result; ai != nullptr && !text; ai = ai->ai_next) {
            if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
                sockaddr_in address{};
                std::memcpy(&address, ai->ai_addr, sizeof address);
                text = ipv4Text(&address.sin_addr);
            }
        }
        freeaddrinfo(result);
        return text;
    }

private:
    // One item made of each link, in interface-index order; nullopt when the links cannot be read.
    template <typename Make>
    static auto everyLink(Make make) -> std::optional<std::vector<decltype(make(nullptr))>> {
        auto sock = openSocket();
        auto links = sock ? linkCache(sock.get()) : nullptr;
        if (!links) {
            return std::nullopt;
        }
        std::vector<decltype(make(nullptr))> items;
        for (rtnl_link* link : sortedLinks(links.get())) {
            items.push_back(make(link));
        }
        return items;
    }

    const LinkFactSources sources_;
};

}  // namespace

std::shared_ptr<INetworkStack> makeLinuxNetworkStack() { return makeLinuxNetworkStack(systemLinkFactSources()); }

std::shared_ptr<INetworkStack> makeLinuxNetworkStack(LinkFactSources sources) {
    return std::make_shared<NetlinkNetworkStack>(std::move(sources));
}

}  // namespace kivota
