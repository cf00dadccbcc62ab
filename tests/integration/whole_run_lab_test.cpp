// One whole interactive run through the lab, as the program makes it: the lab's testbed serves
// the configuration and the test parameters, both phases run over the shaped link, and the
// operator's side descrambles the uploaded result. What it stored must be what was measured.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "net/http_thread.h"
#include "platform/linux/linux_management_service.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/netlink_network_stack.h"
#include "platform/linux/program_directory.h"
#include "platform/linux/steady_clock.h"
#include "platform/thread.h"
#include "profile/adapter_counters.h"
#include "profile/machine_profiler.h"
#include "run/result_line.h"
#include "run/work_thread.h"
#include "support/lab.h"
#include "support/recording_window.h"
#include "support/testbed_addresses.h"

namespace kivota {
namespace {

std::string szTwoDecimals(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

TEST(WholeRunLab, TheOperatorStoresWhatTheRunMeasured) {
    KV_NEEDS(test::bLabUp(), "needs the lab (scripts/lab up --down 50mbit --up 10mbit)");

    auto net = makeLinuxNetworkStack();
    auto system = makeLinuxSystemInfo();
    auto state = std::make_shared<RunState>();
    auto window = std::make_shared<test::RecordingWindow>();
    MachineProfiler profiler(system, net, programDirectory(), test::kLabServer, "198.18.0.3");

    RunState& rs = *state;
    rs.appVer = "0.93";
    rs.freshStart = true;
    rs.factsPending = true;
    rs.noticeAccepted = false;
    rs.rttText = "41,40,43";  // what the window's echo rounds would have found

    WorkerServices svc;
    svc.state = state;
    svc.window = window;
    svc.clock = std::make_shared<SteadyClock>();
    svc.addresses = std::make_shared<StoredAddresses>(
        test::testbedAddresses(std::string("http://") + test::kLabServer, test::kLabServer));
    svc.counters = std::make_shared<InterfaceTableCounters>(net);
    svc.wmi = makeLinuxManagementService();
    svc.system = system;
    auto worker = std::make_shared<CWorkThread>(std::move(svc));

    // The window's part, on the sender's thread: CPU counters once the configuration is in, the
    // profile on the testing page, the echo rounds done, a resource sample and a keep-alive
    // request with every keep-alive message.
    CWorkThread* w = worker.get();
    window->setReaction([&, w](const test::RecordedMessage& m) {
        if (m.msg == WM_CONFIG_LOADED) profiler.vOpenCpuQueries(rs.profile);
        if (m.msg == WM_START_DECISION) {
            profiler.vGetSystemInfo(rs.profile);
            w->sysInfoReady = true;
        }
        if (m.msg == WM_TEST_PROGRESS && m.wParam == 2 && m.lParam == 0) w->echoDone = true;
        if (m.msg == WM_GO_REQUEST) rs.userGo = true;
        if (m.msg == WM_KEEP_ALIVE) {
            profiler.vGetSystemResource(rs.profile);
            CHttpThread::vStart(m.wText, m.lText);
        }
    });
    worker->Resume();
    worker->WaitFor();
    ASSERT_TRUE(ThreadTracker::waitAllEnded(std::chrono::seconds(10)));
    profiler.vCloseCpuQueries();

    EXPECT_EQ(static_cast<int>(rs.errorCode), ErrNone);
    EXPECT_TRUE(rs.dlDone);
    EXPECT_TRUE(rs.ulDone);
    EXPECT_EQ(rs.profile.userNic, "kvlab0");
    EXPECT_GT(rs.profile.resources.snapshot().resourceSamples, 0);
    std::printf("stored: DL %.2f kbit/s (adapter %.2f), UL %.2f (adapter %.2f), sessions %d,%d\n", rs.dlFtpKbps,
                worker->dlNicKbps, rs.ulFtpKbps, worker->ulNicKbps, rs.ulSessions, rs.dlSessions);

    const auto finished = window->messages(WM_TEST_FINISHED);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].wParam, 1);
    const std::string reportPrefix = std::string("http://") + test::kLabServer + "/kivota/report?id=";
    EXPECT_EQ(finished[0].lText.substr(0, reportPrefix.size()), reportPrefix);

    const auto stored = test::optLabResult(szCookieValue(worker->cookie()));
    ASSERT_TRUE(stored) << "the lab's testbed stored no result for this run's cookie";
    EXPECT_EQ(stored->error, "");
    EXPECT_TRUE(stored->prefixOk);
    EXPECT_TRUE(stored->authOk);
    EXPECT_EQ(stored->field("App_ver"), rs.appVer);
    EXPECT_EQ(stored->field("DL_FTP_speed"), szTwoDecimals(rs.dlFtpKbps));
    EXPECT_EQ(stored->field("UL_FTP_speed"), szTwoDecimals(rs.ulFtpKbps));
    EXPECT_EQ(stored->field("DL_NIC_speed"), szTwoDecimals(worker->dlNicKbps));
    EXPECT_EQ(stored->field("UL_NIC_speed"), szTwoDecimals(worker->ulNicKbps));
    EXPECT_EQ(stored->field("UL_at_DL_Test"), szTwoDecimals(worker->ulAtDlKbps));
    EXPECT_EQ(stored->field("DL_at_UL_Test"), szTwoDecimals(worker->dlAtUlKbps));
    EXPECT_EQ(stored->field("User_os"), rs.profile.userOs);
    EXPECT_EQ(stored->field("User_nic"), rs.profile.userNic);
    EXPECT_EQ(stored->field("user_nic_rate"), std::to_string(rs.profile.nicRate));
    EXPECT_EQ(stored->field("User_pppoe"), rs.profile.userPppoe);
    EXPECT_EQ(stored->field("User_localip"), rs.profile.userLocalIp);
    EXPECT_EQ(stored->field("User_net_parameter"), rs.profile.netParameter);
    EXPECT_EQ(stored->field("DL_FTP_speed_interval"), szFtpItems(worker->dlSeries));
    EXPECT_EQ(stored->field("UL_FTP_speed_interval"), szFtpItems(worker->ulSeries));
    EXPECT_EQ(stored->field("DL_NIC_speed_interval"), szAdapterItems(worker->dlSeries));
    EXPECT_EQ(stored->field("UL_NIC_speed_interval"), szAdapterItems(worker->ulSeries));
    EXPECT_EQ(stored->field("RTT"), rs.rttText);
    EXPECT_EQ(stored->field("Tcp_session"), std::to_string(rs.ulSessions) + "," + std::to_string(rs.dlSessions));
    EXPECT_EQ(stored->field("CPU"), rs.profile.cpuName);
    EXPECT_NE(stored->field("CPU_usage"), "-1");
    EXPECT_EQ(stored->field("Power"), rs.profile.powerStatus);
    EXPECT_EQ(stored->field("error_code"), "0");
    EXPECT_FALSE(stored->has("QUELM"));
    // The measurement itself, through 50 Mbit/s down and 10 Mbit/s up.
    EXPECT_GT(rs.dlFtpKbps, 0.85 * 50'000);
    EXPECT_GT(rs.ulFtpKbps, 0.85 * 10'000);
    EXPECT_FALSE(szFtpItems(worker->dlSeries).empty());
    EXPECT_FALSE(szAdapterItems(worker->ulSeries).empty());
    // Never more payload than the wire carried: over each phase, and in any accepted second of
    // either (give or take the frames between the two counters when the second is sampled).
    EXPECT_LE(rs.dlFtpKbps, worker->dlNicKbps * test::kPayloadShare);
    EXPECT_LE(rs.ulFtpKbps, worker->ulNicKbps * test::kPayloadShare);
    test::vExpectEverySecondWithinThePayloadShare("download", szFtpItems(worker->dlSeries),
                                                  szAdapterItems(worker->dlSeries), rs.dlSessions, false);
    test::vExpectEverySecondWithinThePayloadShare("upload", szFtpItems(worker->ulSeries),
                                                  szAdapterItems(worker->ulSeries), rs.ulSessions, true);
}

}  // namespace
}  // namespace kivota
