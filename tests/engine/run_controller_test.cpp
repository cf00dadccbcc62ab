// The run controller through the one fake front end, with workers that play the worker's side
// of every way a run ends: the outcome the front end hears, what it carries, the history and
// the automatic mode's log lines. The workers speak only in the messages a real worker posts.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_front_end.h"
#include "support/scripted_services.h"

namespace kivota::test {
namespace {

using namespace std::chrono_literals;

// Waits on the worker's thread for a flag the front end's side sets, as a worker does.
void waitFor(const std::atomic<bool>& flag) {
    for (int i = 0; i < 500 && !flag; ++i) std::this_thread::sleep_for(10ms);
}

// Both phases measured these speeds; the worker's figures of the accepted seconds beside them.
void measured(ScriptedWorker& w, double dlKbps, double ulKbps) {
    w.rs.dlFtpKbps = dlKbps;
    w.rs.ulFtpKbps = ulKbps;
    w.dlMeasured = w.ulMeasured = true;
    std::lock_guard lock(w.measureLock);
    w.dlSeries = {{dlKbps > 0 ? std::optional<std::int64_t>(static_cast<std::int64_t>(dlKbps)) : std::nullopt, 1, 2}};
}

// The testing page's profile comes before the worker goes on.
void untilTesting(ScriptedWorker& w) {
    w.post(WM_START_DECISION, 3);
    waitFor(w.sysInfoReady);
}

struct EndCase {
    const char* name;
    ScriptedWorker::Script script;
    RunOutcome expected;
    bool automatic = false;
    int adapters = 1;
    bool agree = true;
};

std::ostream& operator<<(std::ostream& os, const EndCase& c) { return os << c.name; }

class RunEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(RunEnds, FrontEndHearsHowTheRunEndedOnceAndTheHistoryKeepsIt) {
    const EndCase& c = GetParam();
    auto services = std::make_shared<ScriptedServices>();
    services->probeTarget = "probe.example";  // no echo: the worker does not wait for one here
    services->settingsAutoEnabled = services->settingsAutoMode = c.automatic;
    services->adapters = c.adapters;
    services->workerScript = c.script;
    FrontEndScript script;
    script.agree = c.agree;
    FakeFrontEnd front(services, script);
    const std::optional<RunResult> result = front.run(10s);
    ASSERT_TRUE(result);
    EXPECT_EQ(front.finished.size(), 1u);
    EXPECT_EQ(result->outcome, c.expected) << szEndName(result->outcome.kind);
    EXPECT_EQ(result->automatic, c.automatic);
    ASSERT_EQ(services->recorded.size(), 1u);
    EXPECT_EQ(services->recorded[0].outcome, c.expected);
    // The automatic mode's daily log: its start first, its end last, and the error's text of an
    // end that carries no result in between.
    const auto logs = services->callsStartingWith("log");
    if (c.automatic) {
        ASSERT_GE(logs.size(), 2u);
        EXPECT_EQ(logs.front(), "log [] 啟動測試");
        EXPECT_EQ(logs.back(), "log [] 結束測試");
        const bool errorLine = !bMeasuredKind(c.expected.kind) || c.expected.kind == EndKind::OutOfRange;
        const bool tableText = c.expected.kind != EndKind::ServerFailed && c.expected.kind != EndKind::NoRoundTrip;
        EXPECT_EQ(logs.size(), errorLine && tableText ? 3u : 2u);
    } else {
        EXPECT_TRUE(logs.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryEnd, RunEnds,
    ::testing::Values(EndCase{"reported",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  measured(w, 48000, 9500);
                                  w.postText(WM_TEST_FINISHED, 1, "http://report/1");
                              },
                              {ErrNone, EndKind::Reported}},
                      EndCase{"out-of-range after the operator stored it",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  measured(w, 1'000'000, 9500);
                                  w.postText(WM_TEST_FINISHED, 1, "http://report/2");
                              },
                              {ErrImplausibleResult, EndKind::OutOfRange}},
                      EndCase{"upload not acknowledged",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  measured(w, 48000, 9500);
                                  w.rs.errorCode = ErrResultUpload;
                                  w.post(WM_TEST_FINISHED, 2);
                              },
                              {ErrResultUpload, EndKind::NotReported}},
                      EndCase{"download too short",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  w.rs.errorCode = ErrDownloadTooShort;
                                  w.post(WM_TEST_FINISHED, 3);
                              },
                              {ErrDownloadTooShort, EndKind::MeasurementFailed}},
                      EndCase{"phases could not start",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  w.rs.errorCode = ErrPhaseStart;
                                  w.post(WM_TEST_FINISHED, 3);
                              },
                              {ErrPhaseStart, EndKind::PhasesNotStarted}},
                      EndCase{"configuration failed",
                              [](ScriptedWorker& w) {
                                  w.rs.errorCode = ErrConfigFetch;
                                  w.post(WM_START_DECISION, 0);
                              },
                              {ErrConfigFetch, EndKind::ServerFailed}},
                      EndCase{"no round trip in time",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  w.rs.errorCode = ErrEchoTimeout;
                                  w.post(WM_START_DECISION, 0);
                              },
                              {ErrEchoTimeout, EndKind::NoRoundTrip}},
                      EndCase{"refused",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  w.rs.errorCode = ErrRefused;
                                  w.post(WM_TEST_REFUSED);
                              },
                              {ErrRefused, EndKind::Refused}},
                      EndCase{"update required",
                              [](ScriptedWorker& w) { w.postText(WM_START_DECISION, 1, "http://update/"); },
                              {ErrNone, EndKind::UpdateRequired}},
                      EndCase{"agreement declined",
                              [](ScriptedWorker& w) { w.post(WM_START_DECISION, 3); },
                              {ErrNone, EndKind::Declined},
                              false,
                              1,
                              false},
                      EndCase{"no adapter", nullptr, {ErrNoAdapter, EndKind::NoAdapter}, false, 0},
                      EndCase{"automatic mode, result line written",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  measured(w, 48000, 9500);
                                  w.rs.errorCode = ErrAutoRunning;
                                  w.post(WM_TEST_FINISHED, 2);
                              },
                              {ErrAutoRunning, EndKind::Recorded},
                              true},
                      EndCase{"automatic mode, result file unwritable",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  measured(w, 48000, 9500);
                                  w.rs.errorCode = ErrAutoRunning;
                                  w.resultFileError = "KivotaResult.txt: Is a directory";
                                  w.post(WM_TEST_FINISHED, 2);
                              },
                              {ErrAutoRunning, EndKind::NotRecorded},
                              true},
                      EndCase{"automatic mode, refused",
                              [](ScriptedWorker& w) {
                                  untilTesting(w);
                                  w.rs.errorCode = ErrRefused;
                                  w.post(WM_TEST_REFUSED);
                              },
                              {ErrRefused, EndKind::Refused},
                              true},
                      EndCase{"automatic mode, no adapter", nullptr, {ErrNoAdapter, EndKind::NoAdapter}, true, 0},
                      EndCase{"automatic mode, no round trip",
                              [](ScriptedWorker& w) {
                                  w.post(WM_START_DECISION, 3);
                                  w.rs.errorCode = ErrEchoTimeout;
                                  w.post(WM_START_DECISION, 0);
                              },
                              {ErrEchoTimeout, EndKind::NoRoundTrip},
                              true}),
    [](const ::testing::TestParamInfo<EndCase>& param) {
        std::string name;
        for (const char* p = param.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// A result out of range keeps what the operator holds: the figures and the link.
TEST(RunController, OutOfRangeKeepsTheFiguresAndTheResultLink) {
    auto services = std::make_shared<ScriptedServices>();
    services->probeTarget = "probe.example";
    services->workerScript = [](ScriptedWorker& w) {
        untilTesting(w);
        w.rs.resultFlags = "KV1";
        measured(w, 1'200'000, 9500);
        w.postText(WM_TEST_FINISHED, 1, "http://report/9");
    };
    FakeFrontEnd front(services);
    const auto result = front.run(10s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome.kind, EndKind::OutOfRange);
    EXPECT_EQ(result->downloadKbps, 1'200'000);
    EXPECT_EQ(result->uploadKbps, 9500);
    EXPECT_EQ(result->resultUrl, "http://report/9");
    EXPECT_EQ(result->serial, "KV1");
}

// Only the measured phase carries a speed: a download that measured too little has none.
TEST(RunController, AFailedPhaseCarriesNoSpeed) {
    auto services = std::make_shared<ScriptedServices>();
    services->probeTarget = "probe.example";
    services->workerScript = [](ScriptedWorker& w) {
        untilTesting(w);
        w.rs.dlFtpKbps = 48000;
        w.dlMeasured = true;
        w.rs.errorCode = ErrUploadNoneOther;
        w.post(WM_TEST_FINISHED, 3);
    };
    FakeFrontEnd front(services);
    const auto result = front.run(10s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->downloadKbps, 48000);
    EXPECT_FALSE(result->uploadKbps);
    EXPECT_FALSE(result->roundTrip);  // no echo came back
}

// A halted run that the user retries starts a fresh one: a second worker, a second end.
TEST(RunController, RetryOfAHaltedRunStartsAFreshOne) {
    auto services = std::make_shared<ScriptedServices>();
    services->probeTarget = "probe.example";
    services->workerScript = [](ScriptedWorker& w) {
        w.rs.errorCode = ErrConfigFetch;
        w.post(WM_START_DECISION, 0);
    };
    FrontEndScript script;
    script.retries = 1;
    FakeFrontEnd front(services, script);
    front.run(10s);
    EXPECT_EQ(front.connecting, 2);
    EXPECT_EQ(services->workers.size(), 2u);
    EXPECT_TRUE(services->workers[0]->Terminated());
    EXPECT_EQ(front.finished.size(), 2u);
}

// Progress carries the phase's latest accepted second, and every second is reported once.
TEST(RunController, ProgressCarriesTheLatestSecondAndEachSecondOnce) {
    auto services = std::make_shared<ScriptedServices>();
    services->probeTarget = "probe.example";
    services->workerScript = [](ScriptedWorker& w) {
        untilTesting(w);
        w.send(WM_TEST_PROGRESS, 1, 0);
        for (std::int64_t k = 1; k <= 3; ++k) {
            {
                std::lock_guard lock(w.measureLock);
                w.dlSeries.push_back({k * 1000, k * 1100, k});
            }
            w.send(WM_TEST_PROGRESS, 1, k * 33);
        }
        w.send(WM_TEST_PROGRESS, 1, 99);  // a second report without a new second
        w.rs.errorCode = ErrUploadNoneOther;
        w.post(WM_TEST_FINISHED, 3);
    };
    FakeFrontEnd front(services);
    front.run(10s);
    ASSERT_EQ(front.seconds.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(front.seconds[static_cast<std::size_t>(i)].index, i);
        EXPECT_EQ(front.seconds[static_cast<std::size_t>(i)].figures.ftpKbps, (i + 1) * 1000);
    }
    std::vector<Progress> download;
    for (const Progress& p : front.progress) {
        if (p.phase == RunPhase::Download) download.push_back(p);
    }
    ASSERT_EQ(download.size(), 5u);
    EXPECT_FALSE(download[0].ftpKbps);  // the phase's start: no second yet
    EXPECT_EQ(download[3].ftpKbps, 3000);
    EXPECT_EQ(download[4].adapterKbps, 3300);
}

// The user's interrupt ends the run at once, and says whether the result had gone out.
TEST(RunController, InterruptEndsTheRunAndTellsWhetherTheResultWentOut) {
    for (const bool sent : {false, true}) {
        auto services = std::make_shared<ScriptedServices>();
        services->probeTarget = "probe.example";
        services->workerScript = [sent](ScriptedWorker& w) {
            untilTesting(w);
            w.post(WM_ANALYSIS_START);
            w.resultSent = sent;
            w.post(WM_TEST_PROGRESS, 2, 100);  // a report after the result went (or not)
            while (!w.Terminated()) std::this_thread::sleep_for(5ms);
        };
        FakeFrontEnd front(services);
        front.controller().start();
        ASSERT_TRUE(front.loopUntil([&] { return !front.progress.empty() && front.analysisStarts == 1; }, 10s));
        front.controller().interrupt();
        ASSERT_EQ(front.finished.size(), 1u);
        EXPECT_EQ(front.finished[0].outcome.kind, EndKind::Interrupted);
        EXPECT_EQ(front.finished[0].resultSent, sent);
    }
}

}  // namespace
}  // namespace kivota::test
