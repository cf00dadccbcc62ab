// The echo prober against real targets on this machine, driven by a small event loop that
// plays the window's part: the shared timer and the socket's readiness.
#include <gtest/gtest.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>

#include "net/icmp_echo.h"
#include "support/echo_service_loop.h"
#include "support/lab.h"

using namespace kivota;

namespace {

struct Completion {
    std::string host;
    int ttl = -1, dataSize = -1, rttMs = -1, status = -1;
    std::string sendTime;
    double atSec = 0;  // seconds since Start
};

using EventLoop = test::EchoServiceLoop;

// Points the prober at the loopback and keeps its first completion in `first`; the prober stops
// at that completion, as the window's rounds stop theirs.
void vKeepFirstLoopbackEcho(TICMPSENDECHO2& prober, EventLoop& loop, int intervalMs, std::optional<Completion>& first) {
    const auto started = loop.clock().now();
    prober.m_szHost = "127.0.0.1";
    prober.m_nInterval = intervalMs;
    prober.OnEcho = [&first, &loop, started](TICMPSENDECHO2& sender, const std::string& host, int ttl, int size,
                                             int rtt, int status, const std::string& sendTime) {
        if (!first)
            first = Completion{
                host, ttl, size, rtt, status, sendTime, loop.clock().secondsBetween(loop.clock().now(), started)};
        sender.Stop();
    };
}

// The loopback answered the echo: success, the 32-byte payload back, a TTL, a short round trip.
void vExpectLoopbackReply(const std::optional<Completion>& first) {
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->status, kEchoSuccess);
    EXPECT_EQ(first->host, "127.0.0.1");
    EXPECT_EQ(first->dataSize, 32);
    EXPECT_GT(first->ttl, 0);
    EXPECT_GE(first->rttMs, 0);
    EXPECT_LT(first->rttMs, 100);
}

}  // namespace

TEST(IcmpEcho, LoopbackAnswersAfterTheFirstTickWithThe32BytePayload) {
    EventLoop loop;
    ASSERT_GE(loop.service().fd(), 0) << "no ICMP socket could be opened";
    TICMPSENDECHO2 prober(loop.service());
    EXPECT_EQ(std::string(prober.m_pRequestData.begin(), prober.m_pRequestData.begin() + 32),
              "0123456789ABCDEFGHIJKLMNOPQRSTUV");
    std::optional<Completion> first;
    vKeepFirstLoopbackEcho(prober, loop, 500, first);
    prober.Start();
    prober.Start();  // a second Start adds nothing
    EXPECT_EQ(loop.service().activeCount(), 1);
    EXPECT_EQ(loop.intervalMs(), 500);
    loop.run(5000, [&] { return first.has_value(); });
    vExpectLoopbackReply(first);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->sendTime.size(), 8u);
    EXPECT_GE(first->atSec, 0.45);  // the first echo leaves at the first tick
    EXPECT_EQ(loop.service().activeCount(), 0);
}

// The owner stops a prober at its completion and starts the next one, as the window's rounds do:
// the next echo leaves a whole interval after that completion, also when the completion came
// inside a tick (a reply read there, or an echo that expired there), never in the same tick.
TEST(IcmpEcho, NextProberWaitsAWholeIntervalAfterACompletionInATick) {
    EventLoop loop;
    ASSERT_GE(loop.service().fd(), 0);
    loop.readInTicksOnly = true;
    std::unique_ptr<TICMPSENDECHO2> next;
    std::optional<Completion> first, second;
    TICMPSENDECHO2 prober(loop.service());
    vKeepFirstLoopbackEcho(prober, loop, 200, first);
    auto keepFirst = prober.OnEcho;
    prober.OnEcho = [&](TICMPSENDECHO2& sender, const std::string& host, int ttl, int size, int rtt, int status,
                        const std::string& sendTime) {
        keepFirst(sender, host, ttl, size, rtt, status, sendTime);
        next = std::make_unique<TICMPSENDECHO2>(loop.service());
        vKeepFirstLoopbackEcho(*next, loop, 200, second);
        next->Start();
    };
    prober.Start();
    loop.run(5000, [&] { return first.has_value(); });  // returns right after the completing tick
    vExpectLoopbackReply(first);
    ASSERT_TRUE(next && next->active());
    EXPECT_EQ(loop.service().inFlight(), 0);
    loop.run(5000, [&] { return second.has_value(); });
    vExpectLoopbackReply(second);
}

TEST(IcmpEcho, HostNameSendsNothingAndStoppedProberCompletesSilently) {
    EventLoop loop;
    ASSERT_GE(loop.service().fd(), 0);
    TICMPSENDECHO2 named(loop.service());
    named.m_szHost = "localhost";
    named.Start();
    EXPECT_FALSE(named.active());
    EXPECT_EQ(loop.service().activeCount(), 0);
    EXPECT_EQ(loop.intervalMs(), 0);

    int calls = 0;
    {
        TICMPSENDECHO2 prober(loop.service());
        prober.m_szHost = "127.0.0.1";
        prober.OnEcho = [&](TICMPSENDECHO2&, const std::string&, int, int, int, int, const std::string&) { ++calls; };
        prober.Start();
        loop.run(2000, [&] { return loop.service().inFlight() > 0; });
        ASSERT_EQ(loop.service().inFlight(), 1);
    }  // destroyed with its echo in flight
    loop.run(300, [] { return false; });
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(loop.service().inFlight(), 0);
}

namespace {

// Moves the calling thread into a network namespace of its own with the loopback up, where
// every group may open ping sockets; false when this is not allowed here (not root).
bool bEnterNamespaceWithPingSockets() {
    if (::unshare(CLONE_NEWNET) != 0) return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    if (up) {
        ifr.ifr_flags |= IFF_UP;
        up = ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    }
    ::close(fd);
    std::ofstream range("/proc/sys/net/ipv4/ping_group_range");
    range << "0 2147483647\n";
    range.flush();
    return up && range.good();
}

}  // namespace

// Where the system allows ping sockets, the prober uses one, and echoes complete as with a
// raw socket. The namespace belongs to one thread and goes away with it.
TEST(IcmpEcho, UsesAPingSocketWhereTheSystemAllowsIt) {
    bool entered = false, pingSocket = false;
    std::optional<Completion> first;
    std::thread inside([&] {
        entered = bEnterNamespaceWithPingSockets();
        if (!entered) return;
        EventLoop loop;
        pingSocket = loop.service().usesPingSocket();
        TICMPSENDECHO2 prober(loop.service());
        vKeepFirstLoopbackEcho(prober, loop, 100, first);
        prober.Start();
        loop.run(5000, [&] { return first.has_value(); });
    });
    inside.join();
    KV_NEEDS(entered, "no network namespace of our own can be made here");
    EXPECT_TRUE(pingSocket);
    vExpectLoopbackReply(first);
}
