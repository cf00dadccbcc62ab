// The echo prober against a real target behind a veth pair in a network namespace of this
// test's own (root only): a target that ignores echoes completes with a failure after the 2 s
// limit, one that answers sends back the 32-byte payload with its own TTL.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "net/icmp_echo.h"
#include "support/echo_service_loop.h"
#include "support/lab.h"
#include "support/test_namespace.h"

using namespace kivota;

namespace {

// The target's namespace, with the knobs these tests turn.
class LabTarget : public test::TestNamespace {
public:
    bool ignoreEchoes(bool ignore) {
        return run(std::string("sysctl -w net.ipv4.icmp_echo_ignore_all=") + (ignore ? "1" : "0"));
    }
    bool setTtl(int ttl) { return run("sysctl -w net.ipv4.ip_default_ttl=" + std::to_string(ttl)); }
};

struct FirstEcho {
    int ttl = -1, dataSize = -1, rttMs = -1, status = -1;
    double atSec = 0;
};

using EventLoop = test::EchoServiceLoop;

std::optional<FirstEcho> firstEcho(EventLoop& loop, const std::string& host, int boundMs) {
    std::optional<FirstEcho> first;
    TICMPSENDECHO2 prober(loop.service());
    prober.m_szHost = host;
    prober.m_nInterval = 500;
    const auto started = loop.clock().now();
    prober.OnEcho = [&](TICMPSENDECHO2& sender, const std::string&, int ttl, int size, int rtt, int status,
                        const std::string&) {
        first = FirstEcho{ttl, size, rtt, status, loop.clock().secondsBetween(loop.clock().now(), started)};
        sender.Stop();
    };
    prober.Start();
    loop.run(boundMs, [&] { return first.has_value(); });
    return first;
}

class LabEcho : public ::testing::Test {
protected:
    void SetUp() override {
        KV_NEEDS(::geteuid() == 0, "a namespace of our own needs root");
        target_ = std::make_unique<LabTarget>();
        ASSERT_TRUE(target_->ok()) << "could not build the namespace";
        ASSERT_GE(loop_.service().fd(), 0);
    }
    std::unique_ptr<LabTarget> target_;
    EventLoop loop_;
};

TEST_F(LabEcho, IgnoredEchoFailsWithZerosAfterTheLimitAndTheNextTick) {
    ASSERT_TRUE(target_->ignoreEchoes(true));
    const auto c = firstEcho(loop_, target_->nsAddress(), 8000);
    ASSERT_TRUE(c.has_value());
    EXPECT_NE(c->status, kEchoSuccess);
    EXPECT_EQ(c->ttl, 0);
    EXPECT_EQ(c->dataSize, 0);
    EXPECT_EQ(c->rttMs, 0);
    // Sent at the first tick (0.5 s), judged at a tick at or after 2 s later.
    EXPECT_GE(c->atSec, 2.45);
    EXPECT_LT(c->atSec, 4.5);
}

TEST_F(LabEcho, AnsweringTargetReturnsThe32BytePayloadAndItsTtl) {
    ASSERT_TRUE(target_->ignoreEchoes(false));
    ASSERT_TRUE(target_->setTtl(77));
    // A socket of the test's own sees the reply as it came off the wire.
    const int watch = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP);
    ASSERT_GE(watch, 0);
    const auto c = firstEcho(loop_, target_->nsAddress(), 5000);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->status, kEchoSuccess);
    EXPECT_EQ(c->dataSize, 32);
    EXPECT_EQ(c->ttl, 77);
    EXPECT_LT(c->rttMs, 1000);

    bool sawPayload = false;
    unsigned char packet[1600];
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n;
    while ((n = ::recvfrom(watch, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &fromLen)) > 0) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        const std::size_t ipLen = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
        if (std::string(text) != target_->nsAddress() || static_cast<std::size_t>(n) < ipLen + 8 || packet[ipLen] != 0)
            continue;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(packet) + ipLen + 8, static_cast<std::size_t>(n) - ipLen - 8),
                  "0123456789ABCDEFGHIJKLMNOPQRSTUV");
        sawPayload = true;
        fromLen = sizeof from;
    }
    ::close(watch);
    EXPECT_TRUE(sawPayload);
}

}  // namespace
