// Link facts read from fake sysfs, procfs and udev trees and a fake nl80211, and the
// classification the survey makes of the rows they give.
#include "platform/linux/link_facts.h"

#include <gtest/gtest.h>
#include <linux/if_arp.h>
#include <linux/nl80211.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "platform/linux/nl80211_bit_rate.h"
#include "profile/adapter_survey.h"
#include "support/fake_network_stack.h"

using namespace kivota;
namespace fs = std::filesystem;

namespace {

constexpr const char* kReference = "192.0.2.1";
constexpr std::uint64_t kMbit = 1000000;

class FakeBitRate final : public IWirelessBitRate {
public:
    std::map<int, std::uint64_t> rates;
    std::optional<std::uint64_t> currentBitRate(int ifindex) override {
        const auto it = rates.find(ifindex);
        return it == rates.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
    }
};

class FakeTrees : public testing::Test {
protected:
    FakeTrees() : root_(fs::temp_directory_path() / ("kv_link_facts_" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        sources_.sysRoot = root_ / "sys";
        sources_.procRoot = root_ / "proc";
        sources_.udevRoot = root_ / "udev";
        sources_.wireless = rates_;
        fs::create_directories(sources_.procRoot / "net");
        fs::create_directories(sources_.udevRoot / "data");
    }
    ~FakeTrees() override { fs::remove_all(root_); }

    fs::path netDir(const std::string& name) const { return sources_.sysRoot / "class" / "net" / name; }

    static void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }

    // A network device under sysfs: its speed file (none when empty), its driver link (none
    // when empty) and, for a wireless one, its phy80211 link.
    void device(const std::string& name, const std::string& speed, const std::string& driver, bool wireless = false) {
        fs::create_directories(netDir(name));
        if (!speed.empty()) write(netDir(name) / "speed", speed + "\n");
        if (!driver.empty()) {
            const fs::path driverDir = sources_.sysRoot / "bus" / "drivers" / driver;
            fs::create_directories(driverDir);
            fs::create_directories(netDir(name) / "device");
            fs::create_directory_symlink(driverDir, netDir(name) / "device" / "driver");
        }
        if (wireless) {
            const fs::path phy = sources_.sysRoot / "class" / "ieee80211" / "phy0";
            fs::create_directories(phy);
            fs::create_directory_symlink(phy, netDir(name) / "phy80211");
        }
    }

    LinkFacts facts(int index, const std::string& name, unsigned arpType) const {
        return readLinkFacts({index, name, arpType}, sources_);
    }

    // The survey over rows made from the trees: index 2.. in order, the reference routed to `best`.
    std::unique_ptr<MachineProfile> classify(const std::vector<std::pair<LinkFacts, std::uint32_t>>& linksWithMtu,
                                             std::uint32_t best) {
        std::vector<InterfaceRow> rows;
        std::uint32_t index = 2;
        for (const auto& [f, mtu] : linksWithMtu) {
            rows.push_back(test::FakeNetworkStack::row(index++, f.type, f.description, f.speedBps, mtu));
        }
        net_.setMachine(rows);
        net_.setRoute(kReference, best);
        auto rs = std::make_unique<MachineProfile>();
        vGetIpHlpInfo(*rs, net_, kReference, "", true);
        return rs;
    }

    fs::path root_;
    std::shared_ptr<FakeBitRate> rates_ = std::make_shared<FakeBitRate>();
    LinkFactSources sources_;
    test::FakeNetworkStack net_;
};

}  // namespace

TEST_F(FakeTrees, WirelessAdapterCarriesAWirelessWordAndItsStationBitRate) {
    device("wlp2s0", "", "iwlwifi", true);
    rates_->rates[2] = 8667 * 100000ULL;  // 866.7 Mbit/s
    const LinkFacts wifi = facts(2, "wlp2s0", ARPHRD_ETHER);
    EXPECT_EQ(wifi.type, kIfTypeWireless);
    EXPECT_EQ(wifi.description, "iwlwifi Wireless");
    EXPECT_EQ(wifi.speedBps, 866700000U);
    const auto rs = classify({{wifi, 1500}}, 2);
    EXPECT_EQ(rs->userPppoe, "無線網路介面");
    EXPECT_EQ(rs->nicRate, 866700);

    // A database name that already says so is kept as it is; not associated: no speed.
    write(sources_.udevRoot / "data" / "n3",
          "E:ID_VENDOR_FROM_DATABASE=Intel Corporation\n"
          "E:ID_MODEL_FROM_DATABASE=Wi-Fi 6 AX200\n");
    device("wlan1", "", "", true);
    const LinkFacts idle = facts(3, "wlan1", ARPHRD_ETHER);
    EXPECT_EQ(idle.description, "Intel Corporation Wi-Fi 6 AX200");
    EXPECT_EQ(idle.speedBps, 0U);
    EXPECT_EQ(classify({{idle, 1500}}, 2)->userPppoe, "無線網路介面");

    // Without an nl80211 source the rate is unknown, the adapter still wireless.
    sources_.wireless = nullptr;
    EXPECT_EQ(facts(2, "wlp2s0", ARPHRD_ETHER).speedBps, 0U);
}

TEST_F(FakeTrees, PppoeLinkHasTheSpeedOfTheEthernetBeneathIt) {
    device("enp3s0", "1000", "r8169");
    device("ppp0", "", "");
    write(sources_.procRoot / "net" / "pppoe",
          "Id       Address              Device\n00000A3F 00:11:22:33:44:55   enp3s0\n");
    const LinkFacts ethernet = facts(2, "enp3s0", ARPHRD_ETHER);
    const LinkFacts ppp = facts(3, "ppp0", ARPHRD_PPP);
    EXPECT_EQ(ppp.type, kIfTypePpp);
    EXPECT_EQ(ppp.speedBps, 1000 * kMbit);

    auto rs = classify({{ethernet, 1500}, {ppp, 1492}}, 3);
    EXPECT_EQ(rs->userPppoe, "PPPoE(cFOS)");
    EXPECT_EQ(rs->mtu, 1492U);
    EXPECT_EQ(rs->userNic, "r8169");
    EXPECT_EQ(rs->nicRate, 1000000);
    EXPECT_EQ(rs->adapterRow, 2);

    rs = classify({{ethernet, 1500}, {ppp, 1480}}, 3);
    EXPECT_EQ(rs->userPppoe, "PPPoE(Windows 內建)");
    EXPECT_EQ(rs->mtu, 1480U);

    // A PPP link without a PPPoE session (a modem) reports no speed: other dial-up.
    write(sources_.procRoot / "net" / "pppoe", "Id       Address              Device\n");
    const LinkFacts dialUp = facts(3, "ppp0", ARPHRD_PPP);
    EXPECT_EQ(dialUp.speedBps, 0U);
    EXPECT_EQ(classify({{ethernet, 1500}, {dialUp, 1500}}, 3)->userPppoe, "其他撥號網路");
}

TEST_F(FakeTrees, WiredAdaptersWithoutAStandardSpeedAreEthernet) {
    device("ens3", "-1", "virtio_net");
    const LinkFacts virtio = facts(2, "ens3", ARPHRD_ETHER);
    EXPECT_EQ(virtio.type, kIfTypeEthernet);
    EXPECT_EQ(virtio.description, "virtio_net");
    EXPECT_EQ(virtio.speedBps, 0U);
    auto rs = classify({{virtio, 1500}}, 2);
    EXPECT_EQ(rs->userPppoe, "乙太網路介面");
    EXPECT_EQ(rs->nicRate, 0);

    device("veth0", "10000", "");
    const LinkFacts tenGig = facts(2, "veth0", ARPHRD_ETHER);
    EXPECT_EQ(tenGig.description, "veth0");
    rs = classify({{tenGig, 1500}}, 2);
    EXPECT_EQ(rs->userPppoe, "乙太網路介面");
    EXPECT_EQ(rs->nicRate, 10000000);

    device("enp1s0", "2500", "igc");
    EXPECT_EQ(classify({{facts(2, "enp1s0", ARPHRD_ETHER), 1500}}, 2)->userPppoe, "乙太網路介面");
}

TEST(PppoeSessions, FirstSessionsDeviceOrNone) {
    using link_facts_detail::firstPppoeDevice;
    EXPECT_EQ(firstPppoeDevice("Id       Address              Device\n"
                               "00000001 00:11:22:33:44:55     eth1\n"
                               "00000002 00:11:22:33:44:66     eth2\n"),
              "eth1");
    EXPECT_EQ(firstPppoeDevice("Id       Address              Device\n"), "");
    EXPECT_EQ(firstPppoeDevice(""), "");
}

namespace {

// One station message of a dump, as nl80211 sends it, with the given rate attributes.
nl_msg* stationMessage(std::optional<std::uint32_t> rate32, std::optional<std::uint16_t> rate16) {
    nl_msg* m = nlmsg_alloc();
    genlmsg_put(m, NL_AUTO_PORT, NL_AUTO_SEQ, 0x1c, 0, 0, NL80211_CMD_NEW_STATION, 0);
    nla_put_u32(m, NL80211_ATTR_IFINDEX, 3);
    nlattr* station = nla_nest_start(m, NL80211_ATTR_STA_INFO);
    nla_put_u32(m, NL80211_STA_INFO_INACTIVE_TIME, 10);
    if (rate32 || rate16) {
        nlattr* tx = nla_nest_start(m, NL80211_STA_INFO_TX_BITRATE);
        if (rate16) nla_put_u16(m, NL80211_RATE_INFO_BITRATE, *rate16);
        if (rate32) nla_put_u32(m, NL80211_RATE_INFO_BITRATE32, *rate32);
        nla_nest_end(m, tx);
    }
    nla_nest_end(m, station);
    return m;
}

}  // namespace

TEST(Nl80211Station, TransmitBitRateInHundredsOfKilobits) {
    using nl80211_detail::stationTxBitRate;
    struct Case {
        std::optional<std::uint32_t> rate32;
        std::optional<std::uint16_t> rate16;
        std::optional<std::uint64_t> expected;
    };
    const Case cases[] = {
        {8667, 8667, 866700000ULL},                  // both: the 32-bit one
        {96077, 65535, 9607700000ULL},               // beyond the 16-bit field
        {std::nullopt, 540, 54000000ULL},            // older drivers: 16 bits only
        {std::nullopt, std::nullopt, std::nullopt},  // no transmit rate yet
    };
    for (const Case& c : cases) {
        nl_msg* m = stationMessage(c.rate32, c.rate16);
        EXPECT_EQ(stationTxBitRate(m), c.expected);
        nlmsg_free(m);
    }
}
