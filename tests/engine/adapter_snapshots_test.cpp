// The adapter list and interface table snapshots, their texts, the connection count and the
// counter sampling, driven by fake tables.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "profile/adapter_survey.h"
#include "support/fake_network_stack.h"

using namespace kivota;
using test::FakeNetworkStack;

namespace {

std::uint32_t addr(const char* text) { return inet_addr(text); }

}  // namespace

TEST(AdapterTexts, MacAndCodeTables) {
    EXPECT_EQ(szMacToText({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(szMacToText({0xff, 0xee, 0x0d, 0x00, 0x01, 0xa0}), "FF:EE:0D:00:01:A0");
    EXPECT_EQ(szAdapterTypeText(23), "PPP Adapter");
    EXPECT_EQ(szAdapterTypeText(71), "Other Adapter");
    EXPECT_EQ(szIfTypeText(23), "Point-to-Point");
    EXPECT_EQ(szIfTypeText(71), "Unknown");
    EXPECT_EQ(szAdminStatusText(2), "Disabled (2)");
    EXPECT_EQ(szAdminStatusText(0), "Unknown");
    EXPECT_EQ(szOperStatusText(0), "Non-operational");
    EXPECT_EQ(szOperStatusText(6), "Unknown");
}

TEST(AdapterSnapshots, AdapterListFillsAddressesAndMatchesTheGatewaySubnet) {
    FakeNetworkStack net;
    auto a = FakeNetworkStack::adapter(
        3, "eth0", {{"192.168.1.20", "255.255.255.0"}, {"10.1.2.3", "255.0.0.0"}, {"192.168.1.21", "255.255.255.0"}},
        {"192.168.1.1", "10.0.0.1"});
    a.description = "Intel Ethernet";
    a.hardwareAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x77};  // only six bytes count
    a.dhcpEnabled = true;
    a.dhcpServer = "192.168.1.1";
    a.leaseObtained = 1700000000;
    a.leaseExpires = 1700086400;
    for (int i = 0; i < 12; ++i) {  // more than ten addresses are all kept
        a.addresses.push_back({"172.20.0." + std::to_string(i + 1), "255.255.0.0"});
    }
    auto b = FakeNetworkStack::adapter(4, "wlan0", {{"10.9.9.9", "255.255.255.0"}});
    b.hardwareAddress = {0x01};
    net.setAdapters(std::vector<NetworkAdapter>{a, b});

    const auto list = pGetAdaptersInfo(net);
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 2U);
    const AdapterEntry& e = (*list)[0];
    EXPECT_EQ(e.friendlyName, "eth0");
    EXPECT_EQ(e.adapterName, "eth0");
    EXPECT_EQ(e.typeText, "Ethernet Adapter");
    EXPECT_EQ(e.macText, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(e.ipCount, 15);
    EXPECT_EQ(e.ipList.size(), 15U);
    EXPECT_EQ(e.ipAddress[1], addr("10.1.2.3"));
    EXPECT_EQ(e.maskList[1], "255.0.0.0");
    EXPECT_EQ(e.gatewayList, (std::vector<std::string>{"192.168.1.1", "10.0.0.1"}));
    EXPECT_EQ(e.gateway[0], addr("192.168.1.1"));
    // The last address on the first gateway's subnet wins.
    EXPECT_EQ(e.gatewayMatch, 2);
    EXPECT_EQ(e.matchedAddress, addr("192.168.1.21"));
    EXPECT_EQ(e.matchedMask, addr("255.255.255.0"));
    EXPECT_TRUE(e.dhcpEnabled);
    EXPECT_EQ(e.dhcpServer, "192.168.1.1");
    // asctime form: "Www Mmm dd hh:mm:ss yyyy\n"
    ASSERT_EQ(e.leaseObtained.size(), 25U);
    EXPECT_EQ(e.leaseObtained.back(), '\n');
    EXPECT_NE(e.leaseObtained, e.leaseExpires);

    const AdapterEntry& w = (*list)[1];
    EXPECT_EQ(w.macText, "01:00:00:00:00:00");
    EXPECT_EQ(w.gatewayMatch, 0);  // no gateway: no match
    EXPECT_EQ(w.matchedAddress, 0U);
    EXPECT_FALSE(w.dhcpEnabled);
    EXPECT_TRUE(w.leaseObtained.empty());

    net.setAdapters(std::nullopt);
    EXPECT_FALSE(pGetAdaptersInfo(net).has_value());
}

TEST(AdapterSnapshots, InterfaceTableRowsAndFriendlyNames) {
    FakeNetworkStack net;
    auto r = FakeNetworkStack::row(2, kIfTypePpp, "WAN", 10000ULL * 1000000ULL, 1492, kOperConnected);
    r.lastChange = 4294967296ULL;
    r.inOctets = 5000000000ULL;
    r.outOctets = 7ULL << 40;
    net.setMachine({r});

    const auto table = pGetIfTable(net);
    ASSERT_TRUE(table.has_value());
    ASSERT_EQ(table->size(), 2U);
    EXPECT_EQ((*table)[0].typeText, "Loopback");
    const IfTableRow& row = (*table)[1];
    EXPECT_EQ(row.friendlyIndex, 2U);
    EXPECT_EQ(row.typeText, "Point-to-Point");
    EXPECT_EQ(row.speed, 10000000000ULL);
    EXPECT_EQ(row.adminStatusText, "Enabled (1)");
    EXPECT_EQ(row.operStatusText, "Connected");
    EXPECT_EQ(row.lastChangeText, "4294967296");
    EXPECT_EQ(row.macText, "02:00:00:00:00:02");
    EXPECT_EQ(row.inOctets, 5000000000ULL);
    EXPECT_EQ(row.outOctets, 7ULL << 40);

    EXPECT_EQ(szGetFriendlyName(net, 2), "if2");
    EXPECT_EQ(szGetFriendlyName(net, 99), "");
    net.failNames(true);
    EXPECT_EQ(szGetFriendlyName(net, 2), "0");

    net.setTable(std::nullopt);
    EXPECT_FALSE(pGetIfTable(net).has_value());
}

TEST(AdapterConnection, StatusTextsAndConnectedCount) {
    FakeNetworkStack net;
    net.setMachine({FakeNetworkStack::row(2, kIfTypeEthernet, "a", 0, 1500, kOperOperational),
                    FakeNetworkStack::row(3, kIfTypeEthernet, "b", 0, 1500, kOperConnected),
                    FakeNetworkStack::row(4, kIfTypeEthernet, "c", 0, 1500, kOperConnecting),
                    FakeNetworkStack::row(5, kIfTypeEthernet, "d", 0, 1500, 9)});
    EXPECT_EQ(szGetAdapterConnectStatus(net, 2), "OPERATIONAL");
    EXPECT_EQ(szGetAdapterConnectStatus(net, 3), "CONNECTED");
    EXPECT_EQ(szGetAdapterConnectStatus(net, 4), "CONNECTING");
    EXPECT_EQ(szGetAdapterConnectStatus(net, 5), "UNKNOWN");
    EXPECT_EQ(szGetAdapterConnectStatus(net, 42), "NON OPERATIONAL");
    EXPECT_EQ(iNICConnect(net), 2);  // the loopback is no adapter

    net.setAdapters(std::nullopt);
    EXPECT_EQ(iNICConnect(net), 0);
}

TEST(AdapterNames, HostNameResolution) {
    FakeNetworkStack net;
    net.setHost("speed.example", "203.0.113.5");
    EXPECT_EQ(getIPByName(net, "speed.example"), "203.0.113.5");
    EXPECT_FALSE(getIPByName(net, "nowhere.example").has_value());
}

TEST(InterfaceCounters, EachSampleReadsAFreshTableAndKeepsSixtyFourBits) {
    auto net = std::make_shared<FakeNetworkStack>();
    net->setMachine({FakeNetworkStack::row(2, kIfTypeEthernet, "a", 0)});
    InterfaceTableCounters counters(net);

    net->setCounters(2, 4294967290ULL, 10);
    const auto first = counters.sample(1);
    net->setCounters(2, 4294967290ULL + 100, 10 + (1ULL << 33));
    const auto second = counters.sample(1);
    ASSERT_TRUE(first && second);
    // Past 2^32 the difference stays the bytes moved.
    EXPECT_EQ(second->inOctets - first->inOctets, 100U);
    EXPECT_EQ(second->outOctets - first->outOctets, 1ULL << 33);
    EXPECT_EQ(net->tableReads(), 2);

    EXPECT_FALSE(counters.sample(-1).has_value());
    EXPECT_FALSE(counters.sample(2).has_value());
    EXPECT_FALSE(InterfaceTableCounters(nullptr).sample(0).has_value());
}

TEST(InterfaceCounters, SamplersOnSeveralThreadsSeeWholeSnapshots) {
    auto net = std::make_shared<FakeNetworkStack>();
    net->setMachine({FakeNetworkStack::row(2, kIfTypeEthernet, "a", 0)});
    InterfaceTableCounters counters(net);
    std::atomic<bool> torn{false};
    std::vector<std::thread> samplers;
    for (int t = 0; t < 2; ++t) {
        samplers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                const auto c = counters.sample(1);
                if (!c || c->inOctets != c->outOctets) {
                    torn = true;
                }
            }
        });
    }
    for (std::uint64_t v = 1; v <= 200; ++v) {
        net->setCounters(2, v, v);
    }
    for (auto& s : samplers) {
        s.join();
    }
    EXPECT_FALSE(torn.load());
}
