// The latency monitor on this machine: echoes to the loopback address, foreign probes against the
// testbed's FTP server, and the data sockets' round trips from a stand-in, through idle, paused
// and transfer stages in real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/linux/steady_clock.h"
#include "run/latency_monitor.h"
#include "support/refused_port.h"
#include "support/testbed_process.h"

using namespace kivota;

namespace {

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
    test::TestbedProcess testbed;
    auto clock = std::make_shared<SteadyClock>();
    LatencyMonitor monitor(clock, "127.0.0.1", testbed.ftpServer(), 21, {}, vKernelRoundTrips);
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
    // Every probe said QUIT (its only command), each in a session of its own; one cut short by
    // stop may have said it without being counted.
    const int probes = f.downloadResponsiveness.foreignProbes + f.uploadResponsiveness.foreignProbes;
    const auto log = testbed.ftpLog();
    const auto quits = std::count_if(log.begin(), log.end(), [](const std::string& line) {
        return line.size() > 5 && line.compare(line.size() - 5, 5, "\tQUIT") == 0;
    });
    EXPECT_GE(quits, probes);
    EXPECT_EQ(quits, static_cast<long>(log.size()));

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
    // Refused foreign probes give no figure, so there is no responsiveness.
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

}  // namespace
