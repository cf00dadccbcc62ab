// The per-second progress callback and the phase verdicts, driven by a fake clock and scripted
// adapter counters.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

#include "net/ftp_class.h"
#include "run/run_log.h"
#include "support/letter_encode.h"
#include "support/refused_port.h"
#include "support/worker_rig.h"

using namespace kivota;

namespace {

class ScriptedCounters final : public IOctetCounterSource {
public:
    std::optional<OctetCounters> sample(int) override {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void add(std::uint64_t in, std::uint64_t out) {
        std::lock_guard lock(mutex_);
        value_.inOctets += in;
        value_.outOctets += out;
    }
    void set(std::uint64_t in, std::uint64_t out) {
        std::lock_guard lock(mutex_);
        value_ = {in, out};
    }

private:
    std::mutex mutex_;
    OctetCounters value_{5'000'000'000, 7'000'000'000};
};

constexpr const char* kKeepAliveUrl = "http://198.18.0.2/kivota/keepalive";

struct Rig : test::WorkerRig {
    std::shared_ptr<ScriptedCounters> counters = std::make_shared<ScriptedCounters>();
    std::shared_ptr<CWorkThread> w;
    std::int64_t elapsedMs = 0;
    std::int64_t totalBytes = 0;

    Rig() {
        StoredAddresses addresses;
        addresses.keepAliveUrl = test::szEncode(kKeepAliveUrl);
        w = makeWorker(std::move(addresses), counters);
        w->params.dlDurationSec = w->params.ulDurationSec = 10;
        w->phaseDurationSec = 10;
    }

    // The state a phase start leaves (what bDownloadPhase/bUploadPhase set before the reports).
    void startPhase() {
        w->warmupPending = true;
        w->warmupCount = 1;
        w->lastReportMs = 0;
        w->phaseStart = clock->now();
        w->measuredSec = 0.0f;
        w->ftpBytes = 0;
    }

    // One second of transfer: `ftpBytes` payload, `in`/`out` adapter octets; then the report.
    void second(int mode, std::int64_t ftpBytes, std::uint64_t in, std::uint64_t out) {
        clock->advanceMs(1000);
        elapsedMs += 1000;
        totalBytes += ftpBytes;
        counters->add(in, out);
        w->vOnProgress(mode, static_cast<double>(ftpBytes) * 8.0, elapsedMs, totalBytes);
    }
};

// 1,000,000 payload bytes a second (8000 kbit/s) with 5 % of framing on the adapter (8400 kbit/s).
constexpr std::int64_t kBytes = 1'000'000;
constexpr std::uint64_t kWire = 1'050'000;
constexpr std::uint64_t kAcks = 20'000;  // the other direction: 160 kbit/s

TEST(ThroughputProgress, TenSecondDownloadEndsOnTheReportTenSecondsPastTheBaseline) {
    Rig rig;
    rig.startPhase();
    rig.second(0, kBytes, kWire, kAcks);  // warm-up: the baseline only
    EXPECT_EQ(rig.window->count(WM_TEST_PROGRESS), 0u);
    for (int i = 0; i < 9; ++i) rig.second(0, kBytes, kWire, kAcks);
    EXPECT_FALSE(rig.state->dlDone);
    rig.second(0, kBytes, kWire, kAcks);
    EXPECT_TRUE(rig.state->dlDone);

    EXPECT_FLOAT_EQ(rig.w->measuredSec, 10.0f);
    EXPECT_EQ(rig.w->ftpBytes, 10 * kBytes);
    EXPECT_DOUBLE_EQ(rig.state->dlFtpKbps, 8000.0);
    EXPECT_DOUBLE_EQ(rig.w->dlNicKbps, 8400.0);
    EXPECT_DOUBLE_EQ(rig.w->ulAtDlKbps, 160.0);
    const std::string ten = "8000,8000,8000,8000,8000,8000,8000,8000,8000,8000";
    EXPECT_EQ(szFtpItems(rig.w->dlSeries), ten);
    EXPECT_EQ(szAdapterItems(rig.w->dlSeries), "8400,8400,8400,8400,8400,8400,8400,8400,8400,8400");
    EXPECT_EQ(szOtherItems(rig.w->dlSeries), "160,160,160,160,160,160,160,160,160,160");
    EXPECT_TRUE(szFtpItems(rig.w->ulSeries).empty());

    const auto progress = rig.window->messages(WM_TEST_PROGRESS);
    ASSERT_EQ(progress.size(), 10u);
    for (std::size_t i = 0; i < progress.size(); ++i) {
        EXPECT_EQ(progress[i].wParam, 1);
        EXPECT_EQ(progress[i].lParam, static_cast<std::intptr_t>(10 * (i + 1)));
        EXPECT_FALSE(progress[i].sent);
    }
}

TEST(ThroughputProgress, UploadSeriesAndTheDoneFlags) {
    Rig rig;
    rig.startPhase();
    for (int i = 0; i < 11; ++i) rig.second(1, 125'000, kAcks, 131'250);  // 1000 kbit/s, 1050 on the wire
    EXPECT_TRUE(rig.state->ulDone);
    EXPECT_TRUE(rig.w->ulFinished);
    EXPECT_DOUBLE_EQ(rig.state->ulFtpKbps, 1000.0);
    EXPECT_DOUBLE_EQ(rig.w->ulNicKbps, 1050.0);
    EXPECT_DOUBLE_EQ(rig.w->dlAtUlKbps, 160.0);
    EXPECT_EQ(szAdapterItems(rig.w->ulSeries).substr(0, 10), "1050,1050,");
    EXPECT_EQ(szOtherItems(rig.w->ulSeries).substr(0, 8), "160,160,");
    EXPECT_EQ(rig.window->messages(WM_TEST_PROGRESS).front().wParam, 0);
}

TEST(ThroughputProgress, AReportWhoseCounterDidNotMoveIsRejectedWithItsBytes) {
    Rig rig;
    rig.startPhase();
    rig.second(0, kBytes, kWire, kAcks);
    rig.second(0, kBytes, 0, kAcks);  // the adapter saw nothing inbound
    EXPECT_FLOAT_EQ(rig.w->measuredSec, 0.0f);
    EXPECT_EQ(rig.window->count(WM_TEST_PROGRESS), 0u);
    EXPECT_TRUE(szFtpItems(rig.w->dlSeries).empty());
    rig.second(0, kBytes, kWire, kAcks);
    EXPECT_FLOAT_EQ(rig.w->measuredSec, 1.0f);
    EXPECT_EQ(rig.w->ftpBytes, kBytes);  // only the accepted second's bytes
    EXPECT_EQ(szFtpItems(rig.w->dlSeries), "8000");
}

TEST(ThroughputProgress, FarLargerAdapterRateIsRejectedOnlyInTheFirstThreeSeconds) {
    Rig rig;
    rig.startPhase();
    rig.second(0, kBytes, kWire, kAcks);
    rig.second(0, kBytes, 2 * kWire, kAcks);  // phase second 2
    rig.second(0, kBytes, 2 * kWire, kAcks);  // phase second 3
    EXPECT_FLOAT_EQ(rig.w->measuredSec, 0.0f);
    rig.second(0, kBytes, 2 * kWire, kAcks);  // phase second 4: accepted
    EXPECT_FLOAT_EQ(rig.w->measuredSec, 1.0f);
    EXPECT_EQ(szAdapterItems(rig.w->dlSeries), "16800");
    // An FTP rate twice the adapter's is never plausible.
    rig.second(0, kBytes, kWire / 3, kAcks);
    EXPECT_FLOAT_EQ(rig.w->measuredSec, 1.0f);
}

TEST(ThroughputProgress, CounterDifferencesAreSixtyFourBitAndNeverNegative) {
    Rig rig;
    rig.counters->set(0xFFFFFFFFull - 1000, 0);  // about to pass 32 bits
    rig.startPhase();
    rig.second(0, kBytes, 0, 0);
    rig.second(0, kBytes, kWire, kAcks);  // crosses 2^32
    EXPECT_EQ(szAdapterItems(rig.w->dlSeries), "8400");
    // A counter that went backwards (adapter reset) shows no movement instead of a huge or
    // negative sample: the report is rejected.
    rig.counters->set(1000, 1000);
    rig.second(0, kBytes, 0, 0);
    EXPECT_EQ(szAdapterItems(rig.w->dlSeries), "8400");
    EXPECT_EQ(rig.w->dlNicKbitSum, 8400);
}

TEST(ThroughputProgress, KeepAliveAtMostEveryThreeSecondsWhileRunning) {
    Rig rig;
    rig.w->m_szCookie = "KVSID=abc";
    rig.w->keepaliveLast = rig.clock->now();
    rig.startPhase();
    for (int i = 0; i < 3; ++i) rig.second(0, kBytes, kWire, kAcks);
    EXPECT_EQ(rig.window->count(WM_KEEP_ALIVE), 0u);  // not running
    rig.w->running = true;
    for (int i = 0; i < 5; ++i) rig.second(0, kBytes, kWire, kAcks);  // seconds 4..8
    const auto alive = rig.window->messages(WM_KEEP_ALIVE);
    ASSERT_EQ(alive.size(), 2u);  // at 4 s, then at 8 s
    EXPECT_TRUE(alive[0].hasWText && alive[0].hasLText);
    EXPECT_EQ(alive[0].wText, "KVSID=abc");
    EXPECT_EQ(alive[0].lText, kKeepAliveUrl);
    EXPECT_FALSE(alive[0].sent);
}

// --- verdicts -------------------------------------------------------------------------------

void acceptSeconds(Rig& rig, int n) {
    rig.startPhase();
    rig.second(0, kBytes, kWire, kAcks);
    for (int i = 0; i < n; ++i) rig.second(0, kBytes, kWire, kAcks);
}

TEST(ThroughputVerdict, TwentySecondDownloadNeedsSixAcceptedSeconds) {
    {
        Rig rig;
        rig.w->params.dlDurationSec = rig.w->phaseDurationSec = 20;
        acceptSeconds(rig, 5);
        const double before = rig.clock->elapsedSec();
        EXPECT_FALSE(rig.w->bAwaitDownloadVerdict(rig.w->params.dlDurationSec));
        EXPECT_EQ(rig.state->errorCode, ErrDownloadTooShort);
        EXPECT_GE(rig.clock->elapsedSec() - before, 30.0);
    }
    {
        Rig rig;
        rig.w->params.dlDurationSec = rig.w->phaseDurationSec = 20;
        acceptSeconds(rig, 6);
        EXPECT_TRUE(rig.w->bAwaitDownloadVerdict(rig.w->params.dlDurationSec));
        EXPECT_EQ(rig.state->errorCode, ErrNone);
        EXPECT_DOUBLE_EQ(rig.state->dlFtpKbps, 8000.0);
        EXPECT_DOUBLE_EQ(rig.w->dlNicKbps, 8400.0);
    }
}

TEST(ThroughputVerdict, DoneFlagOrTerminateEndsTheWaitAtOnce) {
    Rig rig;
    rig.state->dlDone = true;
    const double before = rig.clock->elapsedSec();
    EXPECT_TRUE(rig.w->bAwaitDownloadVerdict(rig.w->params.dlDurationSec));
    EXPECT_EQ(rig.clock->elapsedSec(), before);
    // A terminated wait ends at once too, and says the phase measured nothing, without a code.
    rig.w->Terminate();
    EXPECT_FALSE(rig.w->bAwaitUploadVerdict(rig.w->params.ulDurationSec, false));
    EXPECT_FALSE(rig.w->bAwaitDownloadVerdict(rig.w->params.dlDurationSec));
    EXPECT_EQ(rig.state->errorCode, ErrNone);
}

TEST(ThroughputVerdict, UploadWithoutMeasurementNamesTheLink) {
    struct Case {
        const char* pppoe;
        std::uint32_t mtu;
        ErrorCode expected;
    };
    const Case cases[] = {
        {"PPPoE", 1492, ErrUploadNoneLargeMtu},
        {"PPPoE", 1454, ErrUploadTooShort},
        {"PPPoE", 0xFFFFFFFFu, ErrUploadNoneLargeMtu},
        {"LAN", 1500, ErrUploadNoneOther},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.state->profile.userPppoe = c.pppoe;
        rig.state->profile.mtu = c.mtu;
        EXPECT_FALSE(rig.w->bAwaitUploadVerdict(rig.w->params.ulDurationSec, false));
        EXPECT_EQ(rig.state->errorCode, c.expected) << c.pppoe << " " << c.mtu;
    }
}

TEST(ThroughputVerdict, ExactlyThirtyPercentPassesARegularUploadOnly) {
    for (const bool strict : {false, true}) {
        Rig rig;
        rig.w->measuredSec = 3.0f;  // of 10 s
        rig.w->ftpBytes = 3 * kBytes;
        EXPECT_EQ(rig.w->bAwaitUploadVerdict(rig.w->params.ulDurationSec, strict), !strict);
        EXPECT_EQ(rig.state->errorCode, strict ? ErrUploadTooShort : ErrNone);
        if (!strict) {
            EXPECT_DOUBLE_EQ(rig.state->ulFtpKbps, 8000.0);
        }
    }
}

// --- phases without a reachable server ------------------------------------------------------

TEST(ThroughputPhase, DownloadThatCannotStartTwiceEndsWithCodeSeven) {
    Rig rig;
    rig.w->params.ftpUrl = "127.0.0.1:" + std::to_string(test::refusedPort());
    rig.w->params.dlSessions = 0;  // counts as one
    const double before = rig.clock->elapsedSec();
    EXPECT_FALSE(rig.w->bDownloadPhase(rig.w->params));
    EXPECT_EQ(rig.state->errorCode, ErrPhaseStart);
    EXPECT_EQ(rig.state->dlSessionsSetting, 1);
    ASSERT_EQ(rig.w->dlConns.size(), 1u);
    EXPECT_EQ(rig.w->dlConns[0]->name(), "FTPDL1");
    EXPECT_GE(rig.clock->elapsedSec() - before, 0.1);  // the pause before the retry
    const auto messages = rig.window->messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].msg, WM_TEST_PROGRESS);
    EXPECT_TRUE(messages[0].sent);
    EXPECT_EQ(messages[0].wParam, 1);
    rig.w->vCleanUp();
}

TEST(ThroughputPhase, UploadThatCannotStartStillWaitsAndLogsItsStart) {
    const auto home = std::filesystem::current_path();
    const auto dir = std::filesystem::temp_directory_path() / ("kv-upload-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    {
        Rig rig;
        rig.w->params.ftpUrl = "127.0.0.1:" + std::to_string(test::refusedPort());
        rig.w->params.ulSessions = 3;
        const double before = rig.clock->elapsedSec();
        EXPECT_FALSE(rig.w->bUploadPhase(rig.w->params, true));
        // Code 7 was noted, then the wait found nothing measured on a link that is not PPPoE.
        EXPECT_EQ(rig.state->errorCode, ErrUploadNoneOther);
        EXPECT_GE(rig.clock->elapsedSec() - before, 1.0 + 0.1 + 20.0);
        EXPECT_EQ(rig.state->ulSessionsSetting, 3);
        EXPECT_TRUE(rig.w->ulConnsCreated);
        const auto messages = rig.window->messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages[0].msg, WM_TEST_PROGRESS);
        EXPECT_EQ(messages[0].wParam, 0);
        EXPECT_TRUE(messages[0].sent);

        std::ifstream log(dir / szDailyLogName(rig.clock->localTime()));
        std::string line;
        ASSERT_TRUE(std::getline(log, line));
        EXPECT_NE(line.find("\tStart upload"), std::string::npos);
        rig.w->vCleanUp();
    }
    std::filesystem::current_path(home);
    std::filesystem::remove_all(dir);
}

}  // namespace
