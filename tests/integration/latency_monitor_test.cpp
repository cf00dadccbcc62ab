// The latency monitor on this machine: echoes to the loopback address, foreign probes against a
// greeting server on a loopback port, and the data sockets' round trips from a stand-in, through
// idle, paused and transfer stages in real time.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "net/connection_probe.h"
#include "platform/linux/steady_clock.h"
#include "run/latency_monitor.h"
#include "support/refused_port.h"

using namespace kivota;

namespace {

// Greets every connection as an FTP server does and closes it when told QUIT.
class Greeter {
public:
    Greeter() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 8);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
    }
    ~Greeter() {
        thread_.request_stop();
        thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }
    int connections() const { return connections_.load(); }
    int quits() const { return quits_.load(); }

private:
    void serve(const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            ++connections_;
            static constexpr char kGreeting[] = "220 Kivota test greeter\r\n";
            ::send(fd, kGreeting, sizeof kGreeting - 1, MSG_NOSIGNAL);
            std::string said;
            char buffer[64];
            pollfd c{fd, POLLIN, 0};
            while (::poll(&c, 1, 2000) > 0) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                said.append(buffer, static_cast<std::size_t>(n));
            }
            if (said.rfind("QUIT\r\n", 0) == 0) ++quits_;
            ::close(fd);
        }
    }
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0}, quits_{0};
    std::jthread thread_;
};

void vSleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The stand-in for the data sockets: 5 and 7 ms while downloading, 9 while uploading.
void vKernelRoundTrips(bool upload, std::vector<double>& out) {
    if (upload) {
        out.push_back(9.0);
    } else {
        out.insert(out.end(), {5.0, 7.0});
    }
}

TEST(LatencyMonitor, StagesCollectTheirEchoesSamplesAndProbes) {
    Greeter greeter;
    auto clock = std::make_shared<SteadyClock>();
    LatencyMonitor monitor(clock, "127.0.0.1", "127.0.0.1", greeter.port(), {}, vKernelRoundTrips);
    monitor.start();
    vSleepMs(300);  // paused until the first stage: nothing is sent
    monitor.setStage(LatencyStage::Idle);
    vSleepMs(500);
    monitor.setStage(std::nullopt);
    vSleepMs(400);
    monitor.setStage(LatencyStage::Download);
    vSleepMs(1200);
    monitor.setStage(LatencyStage::Upload);
    vSleepMs(1200);
    monitor.setStage(std::nullopt);
    const auto stopping = std::chrono::steady_clock::now();
    const LatencyFigures f = monitor.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(200)) << "stop waits";

    ASSERT_TRUE(monitor.echoesMeasured());
    // One echo every 100 ms of a stage, the first at its start; a busy machine may lose a tick.
    for (const auto& [name, stage, seconds] :
         {std::tuple{"idle", &f.idle, 0.5}, std::tuple{"download", &f.download, 1.2},
          std::tuple{"upload", &f.upload, 1.2}}) {
        SCOPED_TRACE(name);
        EXPECT_GE(stage->sent, static_cast<int>(seconds * 10) - 2);
        EXPECT_LE(stage->sent, static_cast<int>(seconds * 10) + 2);
        EXPECT_EQ(stage->lost, 0);
        ASSERT_TRUE(stage->medianMs);
        EXPECT_LT(*stage->medianMs, 5.0);  // loopback
        EXPECT_LE(*stage->minMs, *stage->medianMs);
        EXPECT_LE(*stage->medianMs, *stage->p99Ms);
    }
    EXPECT_FALSE(f.idle.kernelRttMedianMs);  // no data sockets at rest
    EXPECT_DOUBLE_EQ(*f.download.kernelRttMedianMs, 6.0);
    EXPECT_DOUBLE_EQ(*f.upload.kernelRttMedianMs, 9.0);
    EXPECT_TRUE(f.downloadRiseMs);
    EXPECT_TRUE(f.uploadRiseMs);

    // Samples in the order sent, timed from the idle stage's start, none from the pause
    // (0.5 to 0.9 s) and each in its stage's span.
    ASSERT_EQ(f.samples.size(), static_cast<std::size_t>(f.idle.sent + f.download.sent + f.upload.sent));
    for (std::size_t i = 0; i < f.samples.size(); ++i) {
        const LatencySample& s = f.samples[i];
        if (i > 0) {
            EXPECT_GE(s.atSec, f.samples[i - 1].atSec);
        }
        switch (s.stage) {
            case LatencyStage::Idle: EXPECT_LT(s.atSec, 0.55); break;
            case LatencyStage::Download:
                EXPECT_GT(s.atSec, 0.85);
                EXPECT_LT(s.atSec, 2.15);
                break;
            case LatencyStage::Upload:
                EXPECT_GT(s.atSec, 2.05);
                EXPECT_LT(s.atSec, 3.35);
                break;
        }
    }

    // Foreign probes every 500 ms of a transfer stage, each ended with QUIT; a stage this
    // short gives its figure low confidence.
    for (const Responsiveness* r : {&f.downloadResponsiveness, &f.uploadResponsiveness}) {
        ASSERT_TRUE(r->rpm);
        EXPECT_GE(r->foreignProbes, 2);
        EXPECT_LE(r->foreignProbes, 3);
        EXPECT_EQ(r->confidence, "low");
        EXPECT_LT(*r->tcpConnectMs, 50.0);
        EXPECT_LT(*r->firstReplyMs, 50.0);
    }
    // Half 5 ms and half 7 ms, the largest 5 % of them trimmed.
    EXPECT_NEAR(*f.downloadResponsiveness.selfRttMs, 6.0, 0.1);
    EXPECT_DOUBLE_EQ(*f.uploadResponsiveness.selfRttMs, 9.0);
    EXPECT_GE(greeter.connections(), 4);
    for (int i = 0; i < 100 && greeter.quits() < greeter.connections(); ++i) vSleepMs(20);
    EXPECT_EQ(greeter.quits(), greeter.connections());

    // What it cost: the echoes both ways and the probes' segments.
    const LatencyTraffic t = monitor.traffic();
    EXPECT_GE(t.frames, 2 * static_cast<std::int64_t>(f.samples.size()) + 4 * 6);
    EXPECT_GT(monitor.cpuSeconds(), 0);
    EXPECT_LT(monitor.cpuSeconds(), 0.5);

    // Stopped once, the same figures again.
    EXPECT_EQ(monitor.stop().samples.size(), f.samples.size());
}

TEST(LatencyMonitor, WithoutEchoesTheKernelFiguresStillCome) {
    // A target that is no address: no echo leaves, as without an ICMP socket.
    auto clock = std::make_shared<SteadyClock>();
    LatencyMonitor monitor(clock, "probe.invalid", "127.0.0.1", test::refusedPort(), {}, vKernelRoundTrips);
    monitor.start();
    monitor.setStage(LatencyStage::Idle);
    vSleepMs(200);
    monitor.setStage(LatencyStage::Download);
    vSleepMs(300);
    const LatencyFigures f = monitor.stop();
    EXPECT_FALSE(monitor.echoesMeasured());
    EXPECT_EQ(f.idle.sent + f.download.sent, 0);
    EXPECT_FALSE(f.idle.medianMs || f.download.medianMs || f.downloadRiseMs);
    EXPECT_TRUE(f.samples.empty());
    EXPECT_DOUBLE_EQ(*f.download.kernelRttMedianMs, 6.0);
    // The refused probes give no foreign figure, so no responsiveness.
    EXPECT_FALSE(f.downloadResponsiveness.rpm);
}

TEST(LatencyMonitor, AReplyAfterTheLimitIsLost) {
    LatencyMonitorSettings settings;
    settings.echoLimitMs = 0;
    settings.foreignProbes = false;
    LatencyMonitor monitor(std::make_shared<SteadyClock>(), "127.0.0.1", "127.0.0.1", 21, settings, vKernelRoundTrips);
    monitor.start();
    monitor.setStage(LatencyStage::Idle);
    vSleepMs(350);
    const LatencyFigures f = monitor.stop();
    EXPECT_GE(f.idle.sent, 2);
    EXPECT_EQ(f.idle.lost, f.idle.sent);
    EXPECT_DOUBLE_EQ(f.idle.lossPercent, 100);
    EXPECT_FALSE(f.idle.medianMs);
}

TEST(LatencyMonitor, NeverStartedOrNeverStoppedEndsCleanly) {
    {
        LatencyMonitor idle(std::make_shared<SteadyClock>(), "127.0.0.1", "127.0.0.1");
        idle.setStage(LatencyStage::Idle);
        EXPECT_TRUE(idle.stop().samples.empty());
    }
    {
        // Destroyed while running: the destructor stops and joins the thread.
        LatencyMonitor running(std::make_shared<SteadyClock>(), "127.0.0.1", "127.0.0.1");
        running.start();
        running.setStage(LatencyStage::Idle);
        vSleepMs(50);
    }
}

TEST(ConnectionProbe, ARefusedConnectionGivesNoResult) {
    SteadyClock clock;
    auto probe = ConnectionProbe::start(clock, htonl(INADDR_LOOPBACK), static_cast<std::uint16_t>(test::refusedPort()));
    if (probe) {
        for (int i = 0; i < 100 && !probe->done(); ++i) {
            pollfd p{probe->fd(), probe->events(), 0};
            ::poll(&p, 1, 20);
            probe->onEvents(p.revents);
            probe->onTime();
        }
        EXPECT_TRUE(probe->done());
        EXPECT_FALSE(probe->result());
    }
}

}  // namespace
