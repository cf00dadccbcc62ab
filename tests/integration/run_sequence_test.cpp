// The run from the first configuration to the measurement against the operator testbed, with
// a recording window that plays the window's part and a fake clock for the waits.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "net/letter_code.h"
#include "support/refused_port.h"
#include "support/testbed_addresses.h"
#include "support/testbed_process.h"
#include "support/worker_rig.h"

using namespace kivota;
using test::RecordedMessage;

namespace {

bool is(const RecordedMessage& m, unsigned msg, std::intptr_t w, std::intptr_t l = 0) {
    return m.msg == msg && m.wParam == w && m.lParam == l;
}

class RunSequence : public ::testing::Test {
protected:
    test::TestbedProcess testbed;
    test::WorkerRig rig;
    std::shared_ptr<RunState> rs = rig.state;
    std::shared_ptr<test::RecordingWindow> window = rig.window;
    std::shared_ptr<test::FakeClock> clock = rig.clock;
    std::shared_ptr<CWorkThread> worker;
    std::string ftpServer = test::refusedServer();
    std::string guestServer = test::refusedServer();

    // How the played window answers; a test changes these before run().
    bool answerEcho = true;  // echoDone on the probe-wait progress
    std::function<bool(const RecordedMessage&)> terminateOn = [](const RecordedMessage&) { return false; };
    double echoLimitSeenAt = -1.0;  // fake seconds when the halt came
    TestParameters at;              // taken when the measurement began
    bool measurementBegan = false;

    void SetUp() override {
        rs->appVer = "0.93";
        rs->freshStart = true;
        rs->noticeAccepted = false;
    }

    void run(const std::string& scenario = {}) {
        testbed.setScenario("testparam.url " + ftpServer + "\n" + scenario);
        worker = rig.makeWorker(test::testbedAddresses(testbed.url(""), guestServer));

        // The window's part: the profile is ready once the testing page is shown, the probe
        // reports when asked, and a go-ahead follows a request for one.
        CWorkThread* w = worker.get();
        window->setReaction([this, w](const RecordedMessage& m) {
            // A halting window terminates the worker and may still set the flags it waits on.
            if (terminateOn(m)) w->Terminate();
            if (m.msg == WM_START_DECISION && m.wParam == 3 && m.hasLText) w->sysInfoReady = true;
            if (is(m, WM_TEST_PROGRESS, 2, 0) && answerEcho) w->echoDone = true;
            if (is(m, WM_START_DECISION, 0) && rs->errorCode == ErrEchoTimeout) {
                echoLimitSeenAt = clock->elapsedSec();
                rs->userGo = true;
            }
            if (m.msg == WM_GO_REQUEST) rs->userGo = true;
            // The last preparation step, or (in the guest test) the download phase's start.
            if (!measurementBegan && (is(m, WM_TEST_PROGRESS, 2, 100) || is(m, WM_TEST_PROGRESS, 1, 0))) {
                measurementBegan = true;
                at = w->params;
            }
        });
        worker->Resume();
        worker->WaitFor();
    }

    std::vector<RecordedMessage> messages() const { return window->messages(); }
    std::size_t requestsTo(const std::string& path) const {
        std::size_t n = 0;
        for (const auto& r : testbed.requests()) n += r.path == path;
        return n;
    }
    // The notifications are not waited for, so they reach the server's log a moment after the
    // worker went on: wait for one, with a bound.
    void awaitRequestTo(const std::string& path) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (requestsTo(path) == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
};

}  // namespace

TEST_F(RunSequence, MessagesOfAWholeRunUpToTheMeasurement) {
    run("cookie abcdefghijkl\n");
    ASSERT_TRUE(measurementBegan);
    const auto m = messages();
    ASSERT_GE(m.size(), 5u);
    EXPECT_TRUE(is(m[0], WM_CONFIG_LOADED, 0));
    EXPECT_EQ(m[1].msg, WM_START_DECISION);
    EXPECT_EQ(m[1].wParam, 3);
    ASSERT_TRUE(m[1].hasLText);
    EXPECT_FALSE(m[1].lText.empty());
    EXPECT_EQ(m[1].lText, rs->agreementText);
    EXPECT_TRUE(is(m[2], WM_TEST_PROGRESS, 2, 0));
    EXPECT_TRUE(is(m[3], WM_TEST_PROGRESS, 2, 50));
    EXPECT_TRUE(is(m[4], WM_TEST_PROGRESS, 2, 100));
    // Whatever the phases did, the run ends with its finishing message.
    EXPECT_EQ(m.back().msg, WM_TEST_FINISHED);

    // The worker's session cookie went with every later request, one space longer each time.
    awaitRequestTo("/kivota/notify2");
    const auto log = testbed.requests();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0].path, "/kivota/config");
    EXPECT_FALSE(log[0].cookie.has_value());
    EXPECT_EQ(log[1].path, "/kivota/testparam");
    EXPECT_EQ(log[1].cookie, "KVSID=abcdefghijkl ");
    EXPECT_EQ(log[2].path, "/kivota/notify1");
    EXPECT_EQ(log[2].cookie, "KVSID=abcdefghijkl  ");
    EXPECT_EQ(log[3].path, "/kivota/notify2");
    EXPECT_EQ(log[3].cookie, "KVSID=abcdefghijkl   ");
    // The two notifications were half a second apart, and the measurement followed 2 s later.
    EXPECT_GE(clock->elapsedSec(), 2.5);

    // The test parameters as the testbed gave them.
    EXPECT_EQ(at.ftpUrl, ftpServer);
    EXPECT_EQ(at.ftpUid, "ftp");
    EXPECT_EQ(at.ftpPwd, "kivota");
    EXPECT_EQ(at.ulDurationSec, 10);
    EXPECT_EQ(at.dlDurationSec, 10);
    EXPECT_EQ(at.timeoutSec, 30);
    EXPECT_EQ(at.dlSessions, 4);
    EXPECT_EQ(at.ulSessions, 4);
    EXPECT_EQ(at.userRecvBuf, 262144);  // 102400 down
    EXPECT_EQ(at.userSendBuf, 131072);  // 20480 up
    EXPECT_EQ(at.dlPath, "/test_2048m.zip");
    EXPECT_EQ(at.ulPath, "/uploads");
    EXPECT_TRUE(worker->permitted);
    EXPECT_EQ(worker->reportUrl, "http://127.0.0.1:" + std::to_string(testbed.httpPort()) + "/kivota/report");
    EXPECT_TRUE(rs->announcementText.empty());  // the testbed announces "EMPTY"
    EXPECT_FALSE(rs->adUrl1.empty());
    EXPECT_FALSE(rs->infoUrl.empty());
    EXPECT_EQ(worker->cookie().substr(0, 18), "KVSID=abcdefghijkl");
}

struct GateCase {
    const char* verMin;
    const char* verServer;
    int decision;
};

class VersionGate : public RunSequence, public ::testing::WithParamInterface<GateCase> {};

TEST_P(VersionGate, DecisionAndTerminateInTheGateWaitEndsSilently) {
    const GateCase c = GetParam();
    // The user leaves on the update pages: the worker is told to terminate while it waits.
    terminateOn = [](const RecordedMessage& m) { return m.msg == WM_START_DECISION && m.wParam != 3; };
    run(std::string("config.ver_min ") + c.verMin + "\nconfig.ver_server " + c.verServer + "\n");
    const auto m = messages();
    ASSERT_GE(m.size(), 2u);
    EXPECT_EQ(m[1].msg, WM_START_DECISION);
    EXPECT_EQ(m[1].wParam, c.decision);
    ASSERT_TRUE(m[1].hasLText);
    if (c.decision == 3) {
        EXPECT_EQ(m[1].lText, rs->agreementText);
        EXPECT_EQ(m.back().msg, WM_TEST_FINISHED);
    } else {
        EXPECT_EQ(m[1].lText, rs->updateUrl);
        EXPECT_EQ(m.size(), 2u);  // nothing after the terminate request
        EXPECT_EQ(rs->agreementText.empty(), c.decision == 1);
        EXPECT_EQ(requestsTo("/kivota/testparam"), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionGate,
                         ::testing::Values(GateCase{"0.95", "0.95", 1}, GateCase{"0.9", "1.0", 2},
                                           GateCase{"0.90", "1.00", 2}, GateCase{"0.930", "0.9300", 3},
                                           GateCase{"0.90", "0.93", 3}));

TEST_F(RunSequence, UnreadableServerVersionHaltsLikeAFailedConfiguration) {
    run("config.ver_server soon\n");
    const auto m = messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_TRUE(is(m[1], WM_START_DECISION, 0));
    EXPECT_EQ(rs->errorCode, ErrConfigFetch);
}

TEST_F(RunSequence, AnnouncementTextUnlessEmptyOrMissing) {
    run("config.announcement 今日維護\n");
    EXPECT_EQ(rs->announcementText, "今日維護");
}

TEST_F(RunSequence, RepeatRunSkipsTheGateAndTheProfileWait) {
    rs->freshStart = false;
    rs->noticeAccepted = true;
    rs->announcementText = "kept";
    // The played window reports the profile only from the gate's pages, which are not shown.
    run("config.ver_min 9.9\n");
    const auto m = messages();
    ASSERT_GE(m.size(), 2u);
    EXPECT_TRUE(is(m[1], WM_START_DECISION, 3, 0));
    EXPECT_FALSE(m[1].hasLText);
    EXPECT_EQ(rs->announcementText, "kept");
    EXPECT_EQ(m.back().msg, WM_TEST_FINISHED);
}

TEST_F(RunSequence, ServerErrorOnTheFirstConfigurationHalts) {
    run("config.status 500\n");
    const auto m = messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_TRUE(is(m[0], WM_START_DECISION, 0));
    EXPECT_EQ(rs->errorCode, ErrConfigFetch);
    EXPECT_FALSE(rs->freshStart);
    EXPECT_FALSE(worker->running);
}

TEST_F(RunSequence, LowerCasePermissionIsRefused) {
    run("testparam.test_permission t\n");
    const auto m = messages();
    ASSERT_FALSE(m.empty());
    EXPECT_TRUE(is(m.back(), WM_TEST_REFUSED, 0));
    EXPECT_EQ(rs->errorCode, ErrRefused);
    EXPECT_FALSE(worker->permitted);
    EXPECT_EQ(requestsTo("/kivota/notify1"), 0u);
}

TEST_F(RunSequence, FailedTestParameterFetchRunsTheGuestTest) {
    rs->ulSessionsSetting = 3;  // the override does not reach the guest test
    run("testparam.status 404\n");
    ASSERT_TRUE(measurementBegan);
    const auto m = messages();
    ASSERT_GE(m.size(), 5u);
    EXPECT_TRUE(is(m[3], WM_TEST_PROGRESS, 2, 50));
    EXPECT_TRUE(is(m[4], WM_GO_REQUEST, 0));
    EXPECT_FALSE(rs->freshStart);
    EXPECT_EQ(at.ftpUrl, guestServer);
    EXPECT_EQ(at.ftpUid, "ftp");
    EXPECT_EQ(at.ftpPwd, "jxq");
    EXPECT_EQ(at.ulDurationSec, 10);
    EXPECT_EQ(at.dlDurationSec, 10);
    EXPECT_EQ(at.timeoutSec, 30);
    EXPECT_EQ(at.ulSessions, 1);
    EXPECT_EQ(at.dlSessions, 1);
    EXPECT_EQ(at.dlPath, "/test_2048m.zip");
    EXPECT_EQ(at.ulPath, "/uploads");
    EXPECT_TRUE(worker->guestTest);
    EXPECT_EQ(m.back().msg, WM_TEST_FINISHED);
    EXPECT_EQ(m.back().wParam, rs->errorCode == ErrTestParamFetch ? 2 : 3);
    EXPECT_EQ(requestsTo("/kivota/notify1"), 0u);
    EXPECT_EQ(requestsTo("/kivota/result"), 0u);  // a guest test uploads no result
}

class MalformedNumber : public RunSequence, public ::testing::WithParamInterface<const char*> {};

TEST_P(MalformedNumber, TreatedAsAFailedTestParameterFetch) {
    run(GetParam());
    ASSERT_TRUE(measurementBegan);
    const auto m = messages();
    bool goRequested = false;
    for (const auto& msg : m) goRequested = goRequested || msg.msg == WM_GO_REQUEST;
    EXPECT_TRUE(goRequested);
    EXPECT_EQ(at.ftpPwd, "jxq");  // the guest parameters, not the server's
    EXPECT_EQ(at.ulDurationSec, 10);
    EXPECT_EQ(m.back().msg, WM_TEST_FINISHED);
    EXPECT_EQ(requestsTo("/kivota/notify1"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Keys, MalformedNumber,
                         ::testing::Values("testparam.ul_duration ten\n", "testparam.omit dl_duration\n",
                                           "testparam.timeout 1.5\n", "testparam.ul_session \n",
                                           "testparam.dl_session 99999999999\n", "testparam.user_rate fast,500\n",
                                           "testparam.user_rate 8000,\n", "testparam.ul_duration 0\n",
                                           "testparam.dl_duration -5\n"));

TEST_F(RunSequence, EchoProbeLimitAfterFifteenSecondsThenGoAhead) {
    answerEcho = false;
    run();
    const auto m = messages();
    ASSERT_GE(m.size(), 5u);
    EXPECT_TRUE(is(m[2], WM_TEST_PROGRESS, 2, 0));
    EXPECT_TRUE(is(m[3], WM_START_DECISION, 0));
    EXPECT_GT(echoLimitSeenAt, 15.0);
    EXPECT_LT(echoLimitSeenAt, 15.1);
    EXPECT_FALSE(rs->freshStart);
    // With the go-ahead the run goes on, and ends without a result.
    EXPECT_TRUE(is(m[4], WM_TEST_PROGRESS, 2, 50));
    EXPECT_TRUE(is(m.back(), WM_TEST_FINISHED, 3));
    EXPECT_EQ(requestsTo("/kivota/result"), 0u);
}

struct RuleCase {
    const char* scenario;
    int rttMin, rttMax;
    int ulSessionsSetting, dlSessionsSetting;
    int ulSessions, dlSessions, sendBuf, recvBuf;
};

class SessionRules : public RunSequence, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(SessionRules, ConnectionCountsAndBuffers) {
    const RuleCase c = GetParam();
    rs->rttMin = c.rttMin;
    rs->rttMax = c.rttMax;
    rs->ulSessionsSetting = c.ulSessionsSetting;
    rs->dlSessionsSetting = c.dlSessionsSetting;
    run(c.scenario);
    ASSERT_TRUE(measurementBegan);
    EXPECT_EQ(at.ulSessions, c.ulSessions);
    EXPECT_EQ(at.dlSessions, c.dlSessions);
    EXPECT_EQ(at.userSendBuf, c.sendBuf);
    EXPECT_EQ(at.userRecvBuf, c.recvBuf);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SessionRules,
    ::testing::Values(
        RuleCase{"testparam.user_rate 8000,500\n", 1000000, -1, 0, 0, 1, 1, 8192, 8192},
        RuleCase{"testparam.user_rate 8000\n", 1000000, -1, 0, 0, 4, 4, 0, 0},  // one part: no change
        RuleCase{"testparam.ul_session 50\ntestparam.dl_session 21\n", 1000000, -1, 0, 0, 20, 20, 131072, 262144},
        RuleCase{"testparam.ul_session 50\n", 21, 31, 0, 0, 1, 4, 131072, 262144},          // latency rule
        RuleCase{"testparam.ul_session 50\n", 20, 31, 0, 0, 20, 4, 131072, 262144},         // rttMin not above 20
        RuleCase{"testparam.user_rate 8000,500\n", 1000000, -1, 3, 25, 3, 20, 8192, 8192},  // override, then cap
        RuleCase{"testparam.omit user_rate\n", 1000000, -1, 0, 0, 4, 4, 0, 0}));

// Terminate requests in each wait of the run: the worker ends without another message.
struct WaitCase {
    const char* name;
    const char* scenario;
    bool answerEcho;
    unsigned msg;
    std::intptr_t wParam;
    std::intptr_t lParam;
    bool realFtp = false;  // the phases reach the testbed's FTP server
};

class TerminateInWait : public RunSequence, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(TerminateInWait, EndsWithoutAMessage) {
    const WaitCase c = GetParam();
    answerEcho = c.answerEcho;
    terminateOn = [c](const RecordedMessage& m) { return is(m, c.msg, c.wParam, c.lParam); };
    if (std::string(c.name) == "guest_profile") {
        // The go-ahead comes, but the profile never does: the guest test's own wait is ended.
        rs->freshStart = false;
        rs->noticeAccepted = true;
        terminateOn = [this](const RecordedMessage& m) {
            if (m.msg == WM_GO_REQUEST) rs->userGo = true;
            return m.msg == WM_GO_REQUEST;
        };
    }
    if (c.realFtp) ftpServer = testbed.ftpServer();
    run(c.scenario);
    const auto m = messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back().msg, c.msg);
    EXPECT_EQ(m.back().wParam, c.wParam);
    EXPECT_TRUE(worker->Finished());
    // Nothing measured, nothing reported: no notification after a wait before them, no result.
    if (!c.realFtp) {
        EXPECT_EQ(requestsTo("/kivota/notify1"), 0u);
    }
    EXPECT_EQ(requestsTo("/kivota/result"), 0u);
    EXPECT_TRUE(testbed.ftpLog().empty() || c.realFtp);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, TerminateInWait,
    ::testing::Values(WaitCase{"probe", "", true, WM_TEST_PROGRESS, 2, 0},
                      WaitCase{"probe_go_ahead", "", false, WM_START_DECISION, 0, 0},
                      WaitCase{"fetch_go_ahead", "testparam.status 500\n", true, WM_GO_REQUEST, 0, 0},
                      WaitCase{"guest_profile", "testparam.status 500\n", true, WM_GO_REQUEST, 0, 0},
                      WaitCase{"download_phase", "cookie abcdefghijkl\n", true, WM_TEST_PROGRESS, 1, 0, true}),
    [](const ::testing::TestParamInfo<WaitCase>& p) { return std::string(p.param.name); });
