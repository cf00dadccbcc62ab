// One whole interactive run through the lab, as the program makes it, from the run controller
// down: the lab's testbed serves the configuration and the test parameters, the probe rounds
// echo the lab, both phases run over the shaped link, and the operator's side descrambles the
// uploaded result. What it stored must be what was measured and what the front end was told.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "run/result_line.h"
#include "run/work_thread.h"
#include "support/fake_front_end.h"
#include "support/lab.h"
#include "support/letter_encode.h"
#include "support/testbed_addresses.h"
#include "wiring/engine_root.h"

namespace kivota {
namespace {

std::string szTwoDecimals(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

TEST(WholeRunLab, TheOperatorStoresWhatTheRunMeasured) {
    KV_NEEDS(test::bLabUp(), "needs the lab (scripts/lab up --down 50mbit --up 10mbit)");

    // The program as it runs, but for the front end: the wiring with the lab's addresses.
    StoredAddresses addresses = test::testbedAddresses(std::string("http://") + test::kLabServer, test::kLabServer);
    addresses.probeTarget1 = addresses.referenceAddress1 = test::szEncode(test::kLabServer);
    addresses.probeTarget2 = addresses.referenceAddress2 = test::szEncode("198.18.0.3");
    auto engine = std::make_shared<EngineRoot>(std::make_shared<StoredAddresses>(addresses));
    engine->vUseSettingsFile("");
    test::FakeFrontEnd front(engine);
    const std::optional<RunResult> result = front.run(std::chrono::seconds(120));
    ASSERT_TRUE(result);
    const RunState& rs = front.controller().state();
    ASSERT_TRUE(front.lastWorker);
    const CWorkThread* worker = front.lastWorker.get();

    EXPECT_EQ(static_cast<int>(rs.errorCode), ErrNone);
    EXPECT_TRUE(rs.dlDone);
    EXPECT_TRUE(rs.ulDone);
    EXPECT_EQ(rs.profile.userNic, "kvlab0");
    EXPECT_GT(rs.profile.resources.snapshot().resourceSamples, 0);
    std::printf("stored: DL %.2f kbit/s (adapter %.2f), UL %.2f (adapter %.2f), sessions %d,%d, rtt %s\n", rs.dlFtpKbps,
                worker->dlNicKbps, rs.ulFtpKbps, worker->ulNicKbps, worker->ulStarted, worker->dlStarted,
                rs.rttText.c_str());

    // The front end heard the run as the window does: one run, reported, its link and figures.
    ASSERT_EQ(front.finished.size(), 1u);
    EXPECT_EQ(result->outcome, (RunOutcome{ErrNone, EndKind::Reported}));
    const std::string reportPrefix = std::string("http://") + test::kLabServer + "/kivota/report?id=";
    EXPECT_EQ(result->resultUrl.substr(0, reportPrefix.size()), reportPrefix);
    EXPECT_TRUE(result->resultSent);
    EXPECT_EQ(result->downloadKbps, rs.dlFtpKbps);
    EXPECT_EQ(result->uploadKbps, rs.ulFtpKbps);
    EXPECT_EQ(result->downloadSeries, worker->dlSeries);
    EXPECT_EQ(result->uploadSeries, worker->ulSeries);
    EXPECT_EQ(front.pages, std::vector<StartPage>{StartPage::Agreement});
    EXPECT_EQ(front.analysisStarts, 1);
    // Each accepted second was reported as it came, in order.
    EXPECT_EQ(front.seconds.size(), worker->dlSeries.size() + worker->ulSeries.size());
    // The round trip is the probe rounds' own, through the lab.
    ASSERT_TRUE(result->roundTrip);
    EXPECT_EQ(result->roundTripText, rs.rttText);

    const auto stored = test::optLabResult(szCookieValue(worker->cookie()));
    ASSERT_TRUE(stored) << "the lab's testbed stored no result for this run's cookie";
    EXPECT_EQ(stored->error, "");
    EXPECT_TRUE(stored->prefixOk);
    EXPECT_TRUE(stored->authOk);
    EXPECT_EQ(stored->field("App_ver"), "0.93");
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
    EXPECT_EQ(stored->field("Tcp_session"),
              std::to_string(worker->ulStarted) + "," + std::to_string(worker->dlStarted));
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
    test::vExpectPhaseWithinThePayloadShare("download", rs.dlFtpKbps, worker->dlNicKbps, szFtpItems(worker->dlSeries),
                                            szAdapterItems(worker->dlSeries), worker->dlStarted, false);
    test::vExpectPhaseWithinThePayloadShare("upload", rs.ulFtpKbps, worker->ulNicKbps, szFtpItems(worker->ulSeries),
                                            szAdapterItems(worker->ulSeries), worker->ulStarted, true);
}

}  // namespace
}  // namespace kivota
