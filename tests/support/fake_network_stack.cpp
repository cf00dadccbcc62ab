#include "support/fake_network_stack.h"

#include <algorithm>
#include <utility>

namespace kivota::test {

InterfaceRow FakeNetworkStack::row(std::uint32_t index, std::uint32_t type, std::string description,
                                   std::uint64_t speedBps, std::uint32_t mtu, std::uint32_t operStatus) {
    InterfaceRow r;
    r.index = index;
    r.type = type;
    r.description = std::move(description);
    r.speedBps = speedBps;
    r.mtu = mtu;
    r.operStatus = operStatus;
    r.adminStatus = kAdminEnabled;
    r.hardwareAddress = {0x02, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(index)};
    return r;
}

NetworkAdapter FakeNetworkStack::adapter(std::uint32_t index, std::string name,
                                         std::vector<Ipv4AddressWithMask> addresses,
                                         std::vector<std::string> gateways) {
    NetworkAdapter a;
    a.index = index;
    a.name = std::move(name);
    a.type = kIfTypeEthernet;
    a.addresses = std::move(addresses);
    a.gateways = std::move(gateways);
    return a;
}

void FakeNetworkStack::setMachine(const std::vector<InterfaceRow>& rows) {
    std::vector<InterfaceRow> table{row(1, kIfTypeLoopback, "lo", 0, 65536)};
    std::vector<NetworkAdapter> list;
    for (const auto& r : rows) {
        table.push_back(r);
        auto a = adapter(r.index, "if" + std::to_string(r.index),
                         {{"10.0." + std::to_string(r.index) + ".2", "255.255.255.0"}});
        a.description = r.description;
        a.type = r.type;
        a.hardwareAddress = r.hardwareAddress;
        list.push_back(std::move(a));
    }
    std::lock_guard lock(mutex_);
    table_ = std::move(table);
    adapters_ = std::move(list);
}

void FakeNetworkStack::setTable(std::optional<std::vector<InterfaceRow>> rows) {
    std::lock_guard lock(mutex_);
    table_ = std::move(rows);
}

void FakeNetworkStack::setAdapters(std::optional<std::vector<NetworkAdapter>> adapters) {
    std::lock_guard lock(mutex_);
    adapters_ = std::move(adapters);
}

void FakeNetworkStack::setRoute(const std::string& address, std::uint32_t index) {
    std::lock_guard lock(mutex_);
    routes_[address] = index;
}

void FakeNetworkStack::setHost(const std::string& name, const std::string& address) {
    std::lock_guard lock(mutex_);
    hosts_[name] = address;
}

void FakeNetworkStack::setCounters(std::uint32_t index, std::uint64_t inOctets, std::uint64_t outOctets) {
    std::lock_guard lock(mutex_);
    if (!table_) {
        return;
    }
    for (auto& r : *table_) {
        if (r.index == index) {
            r.inOctets = inOctets;
            r.outOctets = outOctets;
        }
    }
}

void FakeNetworkStack::failEntry(std::uint32_t index) {
    std::lock_guard lock(mutex_);
    failingEntries_.push_back(index);
}

void FakeNetworkStack::failNames(bool fail) {
    std::lock_guard lock(mutex_);
    failNames_ = fail;
}

std::optional<std::vector<NetworkAdapter>> FakeNetworkStack::adapters() {
    std::lock_guard lock(mutex_);
    return adapters_;
}

std::optional<std::vector<InterfaceRow>> FakeNetworkStack::interfaceTable() {
    std::lock_guard lock(mutex_);
    ++tableReads_;
    return table_;
}

std::optional<InterfaceRow> FakeNetworkStack::interfaceEntry(std::uint32_t index) {
    std::lock_guard lock(mutex_);
    if (!table_ || std::find(failingEntries_.begin(), failingEntries_.end(), index) != failingEntries_.end()) {
        return std::nullopt;
    }
    for (const auto& r : *table_) {
        if (r.index == index) {
            return r;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> FakeNetworkStack::bestInterface(const std::string& ipv4) {
    std::lock_guard lock(mutex_);
    const auto it = routes_.find(ipv4);
    if (it == routes_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> FakeNetworkStack::friendlyName(std::uint32_t index) {
    std::lock_guard lock(mutex_);
    if (failNames_ || !adapters_) {
        return std::nullopt;
    }
    for (const auto& a : *adapters_) {
        if (a.index == index) {
            return a.name;
        }
    }
    return std::string();
}

std::optional<std::string> FakeNetworkStack::resolveIPv4(const std::string& hostName) {
    std::lock_guard lock(mutex_);
    const auto it = hosts_.find(hostName);
    if (it == hosts_.end()) {
        return std::nullopt;
    }
    return it->second;
}

int FakeNetworkStack::tableReads() const {
    std::lock_guard lock(mutex_);
    return tableReads_;
}

}  // namespace kivota::test
