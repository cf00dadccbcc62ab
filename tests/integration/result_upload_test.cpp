// The result upload against the testbed, whose result side descrambles the body with the key
// of the cookie it set, checks auth_code on its own and stores the fields it read.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "run/result_line.h"
#include "support/letter_encode.h"
#include "support/testbed_process.h"
#include "support/worker_rig.h"

namespace kivota {
namespace {

struct UploadRig : test::WorkerRig {
    test::TestbedProcess testbed;
    std::shared_ptr<CWorkThread> worker;

    UploadRig() {
        StoredAddresses addresses;
        addresses.configUrl = test::szEncode(testbed.url("/kivota/config"));
        addresses.resultUrl = test::szEncode(testbed.url("/kivota/result"));
        worker = makeWorker(std::move(addresses));
    }

    // The first configuration request, which sets the session cookie.
    void fetchCookie() {
        std::string reply;
        ASSERT_TRUE(worker->bHttpRequest(testbed.url("/kivota/config"), true, true, true, reply));
        ASSERT_FALSE(worker->m_szCookie.empty());
    }

    void fillRun() {
        RunState& rs = *state;
        rs.appVer = "0.93";
        rs.dlFtpKbps = 51234.567;
        rs.ulFtpKbps = 10000.0;
        worker->dlNicKbps = 52000.126;
        worker->ulNicKbps = 10400.5;
        rs.profile.userOs = "Debian 12 測試版";
        rs.profile.userAntivir = "null";
        rs.profile.userNic = "lo";
        rs.profile.nicRate = 10000000;
        rs.profile.userPppoe = "Ethernet";
        rs.profile.userLocalIp = "127.0.0.1";
        rs.profile.netParameter = "1,-1,-1,1,-1,65536";
        // Long phases give long series: far beyond 2048 UTF-16 units in all.
        worker->dlSeries.assign(600, SecondFigures{5123, 5200, 100});
        worker->ulSeries = {{9990, 10100, 200}, {10010, 10150, 210}};
        rs.rttText = "1,2,3";
        worker->ulStarted = 1;
        worker->dlStarted = 4;
        rs.profile.userProxy = "null";
        rs.profile.cpuName = "Test CPU";
        rs.profile.coreCount = 2;
        rs.profile.resources.vCountCores(2);  // no sample was taken
        rs.profile.memTotalMb = 7976;
        rs.profile.diskFreeGb = 12.5f;
        rs.profile.powerStatus = "1,128";
        rs.completionCode = "Q1W2E3";
        rs.profile.hotfixList = "KB200";
        worker->hotfixQuery = "KB100,KB200";
    }

    std::vector<test::RecordedMessage> finished() const { return window->messages(WM_TEST_FINISHED); }
};

TEST(ResultUpload, ServerReadsTheRunState) {
    UploadRig rig;
    rig.fetchCookie();
    rig.fillRun();
    const std::string cookieValue = szCookieValue(rig.worker->m_szCookie);
    rig.worker->vUploadResult();

    const test::TestbedResult stored = rig.testbed.result(1);
    EXPECT_EQ(stored.error, "");
    EXPECT_TRUE(stored.prefixOk);
    EXPECT_TRUE(stored.authOk);
    EXPECT_EQ(stored.cookie, cookieValue);

    const std::vector<std::string> keys = {"App_ver",
                                           "DL_FTP_speed",
                                           "UL_FTP_speed",
                                           "DL_NIC_speed",
                                           "UL_NIC_speed",
                                           "UL_at_DL_Test",
                                           "DL_at_UL_Test",
                                           "User_os",
                                           "User_antivir",
                                           "User_nic",
                                           "user_nic_rate",
                                           "User_pppoe",
                                           "User_localip",
                                           "User_net_parameter",
                                           "DL_FTP_speed_interval",
                                           "UL_FTP_speed_interval",
                                           "DL_NIC_speed_interval",
                                           "UL_NIC_speed_interval",
                                           "RTT",
                                           "Tcp_session",
                                           "User_Proxy",
                                           "CPU",
                                           "CPU_usage",
                                           "Core_Usage",
                                           "Memory",
                                           "HD_FreeSpace",
                                           "Power",
                                           "error_code",
                                           "auth_code",
                                           "QUELM",
                                           "HotFix"};
    ASSERT_EQ(stored.fields.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(stored.fields[i].first, keys[i]);

    const RunState& rs = *rig.state;
    EXPECT_EQ(stored.field("App_ver"), rs.appVer);
    EXPECT_EQ(stored.field("DL_FTP_speed"), "51234.57");
    EXPECT_EQ(stored.field("UL_FTP_speed"), "10000.00");
    EXPECT_EQ(stored.field("DL_NIC_speed"), "52000.13");
    EXPECT_EQ(stored.field("UL_NIC_speed"), "10400.50");
    EXPECT_EQ(stored.field("User_os"), rs.profile.userOs);
    EXPECT_EQ(stored.field("User_nic"), rs.profile.userNic);
    EXPECT_EQ(stored.field("user_nic_rate"), "10000000");
    EXPECT_EQ(stored.field("User_localip"), rs.profile.userLocalIp);
    EXPECT_EQ(stored.field("User_net_parameter"), rs.profile.netParameter);
    EXPECT_EQ(stored.field("DL_FTP_speed_interval"), szFtpItems(rig.worker->dlSeries));
    EXPECT_EQ(stored.field("UL_FTP_speed_interval"), szFtpItems(rig.worker->ulSeries));
    EXPECT_EQ(stored.field("DL_NIC_speed_interval"), szAdapterItems(rig.worker->dlSeries));
    EXPECT_EQ(stored.field("UL_NIC_speed_interval"), "10100,10150");
    EXPECT_EQ(stored.field("RTT"), rs.rttText);
    EXPECT_EQ(stored.field("Tcp_session"), "1,4");
    EXPECT_EQ(stored.field("CPU"), rs.profile.cpuName);
    EXPECT_EQ(stored.field("CPU_usage"), "-1");
    EXPECT_EQ(stored.field("Core_Usage"), "-1,-1");
    EXPECT_EQ(stored.field("Memory"), "-1,7976");
    EXPECT_EQ(stored.field("HD_FreeSpace"), "12.50");
    EXPECT_EQ(stored.field("Power"), rs.profile.powerStatus);
    EXPECT_EQ(stored.field("error_code"), "0");
    EXPECT_EQ(stored.field("QUELM"), "Q1W2E3");
    EXPECT_EQ(stored.field("HotFix"), "KB100:0,KB200:1");

    EXPECT_EQ(rs.errorCode, ErrNone);
    EXPECT_EQ(rs.resultFlags, stored.serial);
    EXPECT_EQ(rs.resultITime, stored.itime);
    const auto messages = rig.window->messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].msg, WM_ANALYSIS_START);
    EXPECT_EQ(messages[1].msg, WM_TEST_FINISHED);
    EXPECT_EQ(messages[1].wParam, 1);
    EXPECT_TRUE(messages[1].hasLText);
    EXPECT_EQ(messages[1].lText, rig.testbed.url("/kivota/report?id=1"));
}

void expectCodeFive(const UploadRig& rig) {
    EXPECT_EQ(rig.state->errorCode, ErrResultUpload);
    const auto finished = rig.finished();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].wParam, 2);
    EXPECT_EQ(finished[0].lParam, 0);
    EXPECT_FALSE(finished[0].hasLText);
}

TEST(ResultUpload, ReplyWithoutResultUrlIsCodeFive) {
    UploadRig rig;
    rig.testbed.setScenario("result.omit_result_url 1\n");
    rig.fetchCookie();
    rig.fillRun();
    rig.worker->vUploadResult();
    EXPECT_TRUE(rig.testbed.result(1).authOk);  // the server got it, but gave no link
    expectCodeFive(rig);
}

TEST(ResultUpload, FailedPostIsCodeFive) {
    UploadRig rig;
    rig.testbed.setScenario("result.status 500\n");
    rig.fetchCookie();
    rig.fillRun();
    rig.worker->vUploadResult();
    expectCodeFive(rig);
}

TEST(ResultUpload, CookieTooShortForAKeySendsNothing) {
    UploadRig rig;
    rig.testbed.setScenario("cookie abc\n");
    rig.fetchCookie();
    rig.fillRun();
    rig.worker->vUploadResult();
    expectCodeFive(rig);
    for (const auto& request : rig.testbed.requests()) EXPECT_NE(request.method, "POST");
}

}  // namespace
}  // namespace kivota
