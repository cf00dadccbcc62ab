// The network stack of the running kernel: a veth pair of the test's own, one end here and the
// peer in a network namespace of its own, on a /30 of 198.19.77.0/24 (away from the lab's
// 198.18.0.0/24). Needs root; everything created is removed in TearDown.
#include "platform/linux/netlink_network_stack.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "profile/adapter_survey.h"
#include "support/lab.h"
#include "support/test_namespace.h"

using namespace kivota;

namespace {

class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

sockaddr_in socketAddress(const std::string& ip, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

void setReceiveLimit(int fd) {
    timeval limit{5, 0};  // a failure guard only: a healthy exchange answers at once
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

class NetlinkVeth : public testing::Test {
protected:
    void SetUp() override {
        KV_NEEDS(geteuid() == 0, "creating a veth pair needs root");
        namespace_ = std::make_unique<test::TestNamespace>();
        ASSERT_TRUE(namespace_->ok()) << "could not build the namespace";
        ns_ = namespace_->name();
        local_ = namespace_->hostInterface();
        peer_ = namespace_->nsInterface();
        localAddr_ = namespace_->hostAddress();
        peerAddr_ = namespace_->nsAddress();
        index_ = if_nametoindex(local_.c_str());
        ASSERT_NE(index_, 0U);
        stack_ = makeLinuxNetworkStack();
    }

    // A UDP socket that lives in the test's namespace, bound to the peer address.
    int peerSocket() {
        FdCloser self(open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC));
        FdCloser target(open(("/run/netns/" + ns_).c_str(), O_RDONLY | O_CLOEXEC));
        if (self.get() < 0 || target.get() < 0 || setns(target.get(), CLONE_NEWNET) != 0) {
            return -1;
        }
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (setns(self.get(), CLONE_NEWNET) != 0) {
            std::abort();  // the rest of the run must not go on in the wrong namespace
        }
        const sockaddr_in bound = socketAddress(peerAddr_, 0);
        if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }

    std::unique_ptr<test::TestNamespace> namespace_;
    std::string ns_, local_, peer_, localAddr_, peerAddr_;
    unsigned index_ = 0;
    std::shared_ptr<INetworkStack> stack_;
};

}  // namespace

TEST_F(NetlinkVeth, TheVethIsTheBestInterfaceAndItsRowAndEntryDescribeIt) {
    EXPECT_EQ(stack_->bestInterface(peerAddr_), index_);
    EXPECT_FALSE(stack_->bestInterface("not an address").has_value());

    const auto table = stack_->interfaceTable();
    ASSERT_TRUE(table.has_value());
    ASSERT_FALSE(table->empty());
    EXPECT_EQ((*table)[0].type, kIfTypeLoopback);
    for (std::size_t k = 1; k < table->size(); ++k) {
        EXPECT_LT((*table)[k - 1].index, (*table)[k].index);
    }

    const auto entry = stack_->interfaceEntry(index_);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->type, kIfTypeEthernet);
    EXPECT_EQ(entry->mtu, 1500U);
    EXPECT_EQ(entry->operStatus, kOperOperational);
    EXPECT_EQ(entry->adminStatus, kAdminEnabled);
    EXPECT_EQ(entry->speedBps, 10000ULL * 1000000ULL);  // veth reports 10 Gbit/s
    EXPECT_EQ(entry->description, local_);              // no hardware, no driver: the name
    EXPECT_EQ(entry->hardwareAddress.size(), 6U);
    EXPECT_FALSE(stack_->interfaceEntry(0x7FFFFFF0U).has_value());

    EXPECT_EQ(stack_->friendlyName(index_), local_);
    EXPECT_EQ(stack_->friendlyName(0x7FFFFFF0U), "");
    EXPECT_EQ(stack_->resolveIPv4("localhost"), "127.0.0.1");

    const auto adapters = stack_->adapters();
    ASSERT_TRUE(adapters.has_value());
    bool seen = false;
    for (const auto& a : *adapters) {
        EXPECT_NE(a.type, kIfTypeLoopback);
        if (a.index == index_) {
            seen = true;
            ASSERT_EQ(a.addresses.size(), 1U);
            EXPECT_EQ(a.addresses[0].address, localAddr_);
            EXPECT_EQ(a.addresses[0].mask, "255.255.255.252");
            EXPECT_TRUE(a.gateways.empty());
            EXPECT_FALSE(a.dhcpEnabled);
        }
    }
    EXPECT_TRUE(seen);
    EXPECT_GE(iNICConnect(*stack_), 1);
    EXPECT_EQ(szGetAdapterConnectStatus(*stack_, index_), "OPERATIONAL");
}

TEST_F(NetlinkVeth, SurveyFindsTheRowAndItsCountersGrowByTheBytesSent) {
    MachineProfile rs;
    vGetIpHlpInfo(rs, *stack_, "not an address", peerAddr_, false);
    const auto table = pGetIfTable(*stack_);
    ASSERT_TRUE(table.has_value());
    ASSERT_GE(rs.adapterRow, 1);
    ASSERT_LT(static_cast<std::size_t>(rs.adapterRow), table->size());
    EXPECT_EQ((*table)[static_cast<std::size_t>(rs.adapterRow)].friendlyIndex, index_);
    EXPECT_EQ(rs.userLocalIp, localAddr_);
    EXPECT_EQ(rs.mtu, 1500U);
    EXPECT_EQ(rs.nicRate, 10000000);
    EXPECT_EQ(rs.userNic, local_);
    EXPECT_EQ(rs.userPppoe, "乙太網路介面");  // wired at 10 Gbit/s

    FdCloser peer(peerSocket());
    ASSERT_GE(peer.get(), 0);
    FdCloser sender(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_GE(sender.get(), 0);
    setReceiveLimit(peer.get());
    setReceiveLimit(sender.get());
    sockaddr_in peerAddress{};
    socklen_t length = sizeof peerAddress;
    ASSERT_EQ(getsockname(peer.get(), reinterpret_cast<sockaddr*>(&peerAddress), &length), 0);

    InterfaceTableCounters counters(stack_);
    const auto before = counters.sample(rs.adapterRow);
    ASSERT_TRUE(before.has_value());

    // Each datagram goes out through the veth, is echoed by the peer and comes back: once
    // the echo has arrived, both directions have been counted.
    constexpr int kDatagrams = 40;
    constexpr std::size_t kPayload = 1200;
    std::vector<char> payload(kPayload, 'k');
    std::vector<char> buffer(kPayload + 16);
    for (int i = 0; i < kDatagrams; ++i) {
        ASSERT_EQ(sendto(sender.get(), payload.data(), payload.size(), 0,
                         reinterpret_cast<const sockaddr*>(&peerAddress), sizeof peerAddress),
                  static_cast<ssize_t>(kPayload));
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ASSERT_EQ(
            recvfrom(peer.get(), buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
            static_cast<ssize_t>(kPayload));
        ASSERT_EQ(sendto(peer.get(), buffer.data(), kPayload, 0, reinterpret_cast<const sockaddr*>(&from), fromLength),
                  static_cast<ssize_t>(kPayload));
        ASSERT_EQ(recv(sender.get(), buffer.data(), buffer.size(), 0), static_cast<ssize_t>(kPayload));
    }

    const auto after = counters.sample(rs.adapterRow);
    ASSERT_TRUE(after.has_value());
    const auto now = pGetIfTable(*stack_);
    ASSERT_TRUE(now.has_value());
    ASSERT_LT(static_cast<std::size_t>(rs.adapterRow), now->size());
    ASSERT_EQ((*now)[static_cast<std::size_t>(rs.adapterRow)].friendlyIndex, index_)
        << "another interface appeared or vanished meanwhile; the row moved";
    const std::uint64_t sent = kDatagrams * kPayload;
    EXPECT_GE(after->outOctets - before->outOctets, sent);
    EXPECT_GE(after->inOctets - before->inOctets, sent);

    // The counters read alone come in the table's order: the row's lie between the sample
    // before them and the whole table read after them.
    const auto octets = stack_->interfaceOctets();
    const auto later = pGetIfTable(*stack_);
    ASSERT_TRUE(octets.has_value() && later.has_value());
    ASSERT_EQ(octets->size(), later->size());
    const auto row = static_cast<std::size_t>(rs.adapterRow);
    EXPECT_GE((*octets)[row].outOctets, after->outOctets);
    EXPECT_LE((*octets)[row].outOctets, (*later)[row].outOctets);
    EXPECT_GE((*octets)[row].inOctets, after->inOctets);
    EXPECT_LE((*octets)[row].inOctets, (*later)[row].inOctets);
}

// Links that come and go while the table is read (other programs, other tests) interrupt the
// kernel's dumps; every read still succeeds, with a whole table.
TEST_F(NetlinkVeth, ReadsSucceedWhileLinksComeAndGo) {
    const std::string pid = std::to_string(getpid() % 1000000);
    const std::string a = "kvc" + pid + "a", b = "kvc" + pid + "b";
    std::atomic<bool> churning{true};
    std::thread churn([&] {
        for (int i = 0; i < 60; ++i) {
            (void)!std::system(("ip link add " + a + " type veth peer name " + b + " >/dev/null 2>&1").c_str());
            (void)!std::system(("ip link del " + a + " >/dev/null 2>&1").c_str());
        }
        churning = false;
    });
    int reads = 0;
    bool whole = true;
    while (churning.load() && whole) {
        const auto table = stack_->interfaceTable();
        const auto adapters = stack_->adapters();
        whole = table.has_value() && adapters.has_value() && (*table)[0].type == kIfTypeLoopback;
        ++reads;
    }
    churn.join();
    EXPECT_TRUE(whole) << "read " << reads << " failed";
    EXPECT_GT(reads, 10);
}
