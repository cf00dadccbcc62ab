#pragma once
// A network stack for tests: adapters, interface rows, routes and host names set by the test.
// Every call copies under a lock, so the counter samplers may read it from transfer threads
// while the test changes it.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/network_stack.h"

namespace kivota::test {

class FakeNetworkStack final : public INetworkStack {
public:
    // An interface row with the fields the classification reads; the rest are zero.
    static InterfaceRow row(std::uint32_t index, std::uint32_t type, std::string description, std::uint64_t speedBps,
                            std::uint32_t mtu = 1500, std::uint32_t operStatus = kOperOperational);
    static NetworkAdapter adapter(std::uint32_t index, std::string name,
                                  std::vector<Ipv4AddressWithMask> addresses = {},
                                  std::vector<std::string> gateways = {});

    // A loopback row (index 1) followed by the given rows, and one adapter per given row
    // (named "if<index>", address 10.0.<index>.2/24).
    void setMachine(const std::vector<InterfaceRow>& rows);

    void setTable(std::optional<std::vector<InterfaceRow>> rows);
    void setAdapters(std::optional<std::vector<NetworkAdapter>> adapters);
    void setRoute(const std::string& address, std::uint32_t index);
    void setHost(const std::string& name, const std::string& address);
    void setCounters(std::uint32_t index, std::uint64_t inOctets, std::uint64_t outOctets);
    // Makes interfaceEntry fail for this index while the table still lists it.
    void failEntry(std::uint32_t index);
    // Makes friendlyName report an unreadable list.
    void failNames(bool fail);

    std::optional<std::vector<NetworkAdapter>> adapters() override;
    std::optional<std::vector<InterfaceRow>> interfaceTable() override;
    std::optional<InterfaceRow> interfaceEntry(std::uint32_t index) override;
    std::optional<std::uint32_t> bestInterface(const std::string& ipv4) override;
    std::optional<std::string> friendlyName(std::uint32_t index) override;
    std::optional<std::string> resolveIPv4(const std::string& hostName) override;

    int tableReads() const;

private:
    mutable std::mutex mutex_;
    std::optional<std::vector<InterfaceRow>> table_ = std::vector<InterfaceRow>{};
    std::optional<std::vector<NetworkAdapter>> adapters_ = std::vector<NetworkAdapter>{};
    std::map<std::string, std::uint32_t> routes_;
    std::map<std::string, std::string> hosts_;
    std::vector<std::uint32_t> failingEntries_;
    bool failNames_ = false;
    int tableReads_ = 0;
};

}  // namespace kivota::test
