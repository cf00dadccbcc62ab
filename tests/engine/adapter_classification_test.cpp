// The choice of the tested adapter and the classification of its link, driven by fake tables.
#include <gtest/gtest.h>

#include <memory>

#include "profile/adapter_survey.h"
#include "support/fake_network_stack.h"

using namespace kivota;
using test::FakeNetworkStack;

namespace {

constexpr const char* kReference = "192.0.2.1";
constexpr std::uint64_t kMbit = 1000000;

class AdapterClassification : public testing::Test {
protected:
    // The machine: loopback at position 0, then `rows`; the reference address routes to `best`.
    void machine(const std::vector<InterfaceRow>& rows, std::uint32_t best) {
        net.setMachine(rows);
        net.setRoute(kReference, best);
    }
    void survey(bool isVistaOrLater = false) { vGetIpHlpInfo(rs, net, kReference, "", isVistaOrLater); }

    std::shared_ptr<FakeNetworkStack> stack = std::make_shared<FakeNetworkStack>();
    FakeNetworkStack& net = *stack;
    MachineProfile rs;
};

InterfaceRow ethernet(std::uint32_t index, const char* description, std::uint64_t speed,
                      std::uint32_t oper = kOperOperational) {
    return FakeNetworkStack::row(index, kIfTypeEthernet, description, speed, 1500, oper);
}

InterfaceRow ppp(std::uint32_t index, std::uint64_t speed, std::uint32_t mtu) {
    return FakeNetworkStack::row(index, kIfTypePpp, "WAN Miniport (PPPOE)", speed, mtu);
}

}  // namespace

TEST_F(AdapterClassification, EthernetAtStandardSpeedIsEthernetAndOddSpeedIsWireless) {
    for (const std::uint64_t speed : {10 * kMbit, 100 * kMbit, 1000 * kMbit}) {
        machine({ethernet(2, "Realtek PCIe GbE Family Controller", speed)}, 2);
        survey();
        EXPECT_EQ(rs.userPppoe, "乙太網路介面") << speed;
        EXPECT_EQ(rs.nicRate, static_cast<int>(speed / 1000));
    }
    EXPECT_EQ(rs.adapterRow, 1);
    EXPECT_EQ(rs.mtu, 1500U);
    EXPECT_EQ(rs.userNic, "Realtek PCIe GbE Family Controller");
    EXPECT_EQ(rs.userLocalIp, "10.0.2.2");

    machine({ethernet(2, "Realtek PCIe GbE Family Controller", 54 * kMbit)}, 2);
    survey();
    EXPECT_EQ(rs.nicRate, 54000);
    EXPECT_EQ(rs.userPppoe, "無線網路介面");

    // Wired links outside the three standard speeds: 10 Gbit/s (more than 32 bits of bit/s),
    // 2.5 Gbit/s, and no speed reported at all (virtio) are wired, not guessed wireless.
    for (const std::uint64_t speed : {10000 * kMbit, 2500 * kMbit, std::uint64_t{0}}) {
        machine({ethernet(2, "veth", speed)}, 2);
        survey();
        EXPECT_EQ(rs.nicRate, static_cast<int>(speed / 1000));
        EXPECT_EQ(rs.userPppoe, "乙太網路介面") << speed;
    }
    machine({ethernet(2, "veth", 11 * kMbit)}, 2);
    survey();
    EXPECT_EQ(rs.userPppoe, "無線網路介面");
}

TEST_F(AdapterClassification, WirelessWordsAreCaseSensitiveSubstrings) {
    machine({ethernet(2, "Intel(R) Wi-Fi 6 AX200 160MHz", 100 * kMbit)}, 2);
    survey();
    EXPECT_EQ(rs.userPppoe, "無線網路介面");

    machine({ethernet(2, "wireless lan adapter", 100 * kMbit)}, 2);
    survey();
    EXPECT_EQ(rs.userPppoe, "乙太網路介面");

    // Any other link type: wireless by description, else "other".
    machine({FakeNetworkStack::row(3, kIfTypeWireless, "iwlwifi", 300 * kMbit)}, 3);
    survey();
    EXPECT_EQ(rs.userPppoe, "其他網路介面");
    machine({FakeNetworkStack::row(3, kIfTypeWireless, "Qualcomm 802.11ac", 300 * kMbit)}, 3);
    survey();
    EXPECT_EQ(rs.userPppoe, "無線網路介面");
    EXPECT_TRUE(bNamesWirelessLink("Dell WiFi"));
    EXPECT_FALSE(bNamesWirelessLink("WIRELESS"));
}

TEST_F(AdapterClassification, PppAtStandardSpeedIsNamedByMtuAndSystem) {
    machine({ppp(4, 100 * kMbit, 1492)}, 4);
    survey(true);
    EXPECT_EQ(rs.userPppoe, "PPPoE(cFOS)");
    EXPECT_EQ(rs.mtu, 1492U);
    survey(false);
    EXPECT_EQ(rs.userPppoe, "PPPoE(Raspppoe)");

    machine({ppp(4, 100 * kMbit, 1480)}, 4);
    survey(true);
    EXPECT_EQ(rs.userPppoe, "PPPoE(Windows 內建)");
    EXPECT_EQ(rs.userNic, "WAN Miniport (PPPOE)");
    EXPECT_EQ(rs.nicRate, 100000);
}

TEST_F(AdapterClassification, PppAtStandardSpeedNamesTheAdapterBeneathIt) {
    // The only other live adapter at 100 Mbit/s: its name, but the PPP link's rate.
    machine({ethernet(2, "Broadcom NetXtreme", 100 * kMbit), ppp(4, 1000 * kMbit, 1480)}, 4);
    survey();
    EXPECT_EQ(rs.userPppoe, "PPPoE(Windows 內建)");
    EXPECT_EQ(rs.userNic, "Broadcom NetXtreme");
    EXPECT_EQ(rs.nicRate, 1000000);
    EXPECT_EQ(rs.adapterRow, 2);

    // A live adapter at a physical-adapter speed gives its rate and ends the search; a
    // disconnected one is not looked at.
    machine({ethernet(2, "Down NIC", 100 * kMbit, kOperDisconnected), ethernet(3, "Ten Mbit NIC", 10 * kMbit),
             ethernet(5, "Later NIC", 100 * kMbit), ppp(6, 100 * kMbit, 1492)},
            6);
    survey();
    EXPECT_EQ(rs.userNic, "Ten Mbit NIC");
    EXPECT_EQ(rs.nicRate, 10000);

    // Without a physical speed the last live adapter's name stays.
    machine({ethernet(2, "First NIC", 100 * kMbit), ethernet(3, "Second NIC", 1000 * kMbit), ppp(6, 100 * kMbit, 1492)},
            6);
    survey();
    EXPECT_EQ(rs.userNic, "Second NIC");
    EXPECT_EQ(rs.nicRate, 100000);
}

TEST_F(AdapterClassification, PppAtOddSpeed) {
    // Alone: other dial-up, and the PPP link's own name and rate.
    machine({ppp(4, 2 * kMbit, 1492), ethernet(5, "Unplugged", 100 * kMbit, kOperDisconnected)}, 4);
    survey();
    EXPECT_EQ(rs.userPppoe, "其他撥號網路");
    EXPECT_EQ(rs.userNic, "WAN Miniport (PPPOE)");
    EXPECT_EQ(rs.nicRate, 2000);

    // Over a live wireless adapter: wireless with the adapter's rate; 54 Mbit/s ends the search.
    machine({ethernet(2, "Atheros Wireless", 54 * kMbit), ethernet(3, "Wired", 10000 * kMbit), ppp(4, 2 * kMbit, 1492)},
            4);
    survey();
    EXPECT_EQ(rs.userPppoe, "無線網路介面");
    EXPECT_EQ(rs.userNic, "Atheros Wireless");
    EXPECT_EQ(rs.nicRate, 54000);

    // A wired adapter at a physical speed lets the search go on; the dial-up rate is kept.
    machine({ethernet(2, "Wired 10G", 10000 * kMbit), ethernet(3, "Wired 100M", 100 * kMbit), ppp(4, 2 * kMbit, 1492),
             ethernet(5, "Never reached", 100 * kMbit)},
            4);
    survey();
    EXPECT_EQ(rs.userPppoe, "其他撥號網路");
    EXPECT_EQ(rs.userNic, "Wired 100M");
    EXPECT_EQ(rs.nicRate, 2000);
}

TEST_F(AdapterClassification, PppoeEthernetClientReportsTheFirstOtherLiveAdapter) {
    machine({ethernet(2, "Unplugged", 100 * kMbit, kOperDisconnected), ethernet(3, "Enternet P.P.P.o.E Adapter", 0),
             FakeNetworkStack::row(4, kIfTypeEthernet, "Realtek 8139", 100 * kMbit, 1500, kOperConnected),
             ethernet(5, "Second", 1000 * kMbit)},
            3);
    survey();
    EXPECT_EQ(rs.userPppoe, "PPPoE(Enternet300)");
    EXPECT_EQ(rs.userNic, "Realtek 8139");
    EXPECT_EQ(rs.nicRate, 100000);
    EXPECT_EQ(rs.userLocalIp, "10.0.3.2");
}

TEST_F(AdapterClassification, BestInterfaceOnlyAtPositionZeroIsNotFound) {
    // The best interface's row sits at position 0, which the search does not examine.
    net.setTable(std::vector<InterfaceRow>{ethernet(7, "Intel PRO/1000", 100 * kMbit), ethernet(8, "Other", 0)});
    net.setAdapters(std::vector<NetworkAdapter>{FakeNetworkStack::adapter(7, "eth7", {{"10.7.0.2", "255.0.0.0"}}),
                                                FakeNetworkStack::adapter(8, "eth8")});
    net.setRoute(kReference, 7);
    survey();
    EXPECT_EQ(rs.adapterRow, 2);  // one past the end
    EXPECT_EQ(rs.userPppoe, "乙太網路介面");
    EXPECT_EQ(rs.userLocalIp, "10.7.0.2");

    // No counters rather than another adapter's; the same with the table gone.
    InterfaceTableCounters counters(stack);
    EXPECT_FALSE(counters.sample(rs.adapterRow).has_value());
    EXPECT_TRUE(counters.sample(1).has_value());
    net.setTable(std::nullopt);
    EXPECT_FALSE(counters.sample(1).has_value());
}

TEST_F(AdapterClassification, SearchNeverCountsTheTestedAdapterWhenItsRowIsMissing) {
    // The tested P.P.P.o.E adapter has no row after position 0; it must not report itself.
    net.setTable(std::vector<InterfaceRow>{ethernet(3, "P.P.P.o.E", 100 * kMbit), ethernet(4, "Real NIC", 10 * kMbit)});
    net.setAdapters(std::vector<NetworkAdapter>{FakeNetworkStack::adapter(3, "a"), FakeNetworkStack::adapter(4, "b")});
    net.setRoute(kReference, 3);
    survey();
    EXPECT_EQ(rs.userNic, "Real NIC");
    EXPECT_EQ(rs.nicRate, 10000);
}

TEST_F(AdapterClassification, ReferenceAddressesAndUnreadableEntries) {
    machine({ethernet(2, "First", 100 * kMbit), ethernet(3, "Second", 1000 * kMbit)}, 2);
    net.setRoute("198.51.100.7", 3);
    vGetIpHlpInfo(rs, net, "203.0.113.9", "198.51.100.7", false);  // the first has no route
    EXPECT_EQ(rs.userNic, "Second");
    EXPECT_EQ(rs.adapterRow, 2);

    // No route at all: only the MTU changes, to unknown.
    MachineProfile untouched;
    untouched.userNic = "kept";
    untouched.nicRate = 123;
    untouched.adapterRow = 9;
    untouched.userLocalIp = "1.2.3.4";
    untouched.mtu = 1500;
    vGetIpHlpInfo(untouched, net, "203.0.113.9", "203.0.113.10", true);
    EXPECT_EQ(untouched.mtu, 0xFFFFFFFFU);
    EXPECT_EQ(untouched.userNic, "kept");
    EXPECT_EQ(untouched.nicRate, 123);
    EXPECT_EQ(untouched.adapterRow, 9);
    EXPECT_EQ(untouched.userLocalIp, "1.2.3.4");
    EXPECT_TRUE(untouched.userPppoe.empty());

    // The entry of the best interface cannot be read: its row is chosen, the link fields stay.
    net.failEntry(3);
    vGetIpHlpInfo(untouched, net, kReference, "198.51.100.7", true);
    EXPECT_EQ(untouched.adapterRow, 1);
    net.setRoute(kReference, 3);
    vGetIpHlpInfo(untouched, net, kReference, "", true);
    EXPECT_EQ(untouched.adapterRow, 2);
    EXPECT_EQ(untouched.mtu, 0xFFFFFFFFU);
    EXPECT_EQ(untouched.userNic, "First");
}

TEST_F(AdapterClassification, LocalAddressIsTheFirstOfTheTestedAdapter) {
    machine({ethernet(2, "NIC", 100 * kMbit)}, 2);
    auto list = *net.adapters();
    list[0].addresses = {{"172.16.5.9", "255.255.0.0"}, {"172.16.5.10", "255.255.0.0"}};
    net.setAdapters(list);
    survey();
    EXPECT_EQ(rs.userLocalIp, "172.16.5.9");

    // The route leads through an interface that is no adapter: the address stays.
    net.setRoute(kReference, 1);
    survey();
    EXPECT_EQ(rs.userLocalIp, "172.16.5.9");
    EXPECT_EQ(rs.adapterRow, 2);
}
