// Both phases for real through the lab's shaped link (scripts/test brings it up at 50 Mbit/s
// down and 10 Mbit/s up): FTP rates close to the shaped rates, adapter rates above them, the
// per-second series and the messages to the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "net/ftp_class.h"
#include "platform/linux/netlink_network_stack.h"
#include "platform/linux/steady_clock.h"
#include "profile/adapter_counters.h"
#include "run/work_thread.h"
#include "support/lab.h"
#include "support/letter_encode.h"
#include "support/recording_window.h"

using namespace kivota;

namespace {

using test::kLabServer;
constexpr double kDownKbps = 50'000, kUpKbps = 10'000;

// Every accepted second carries all three rates: the FTP count and the adapter's both ways.
bool bEverySecondWhole(const PhaseSeries& series) {
    return std::all_of(series.begin(), series.end(),
                       [](const SecondFigures& s) { return s.ftpKbps && s.adapterKbps && s.otherKbps; });
}

TEST(ThroughputLab, DownloadAndUploadThroughTheShapedLink) {
    KV_NEEDS(test::bLabUp(), "needs the lab (scripts/lab up --down 50mbit --up 10mbit)");

    auto net = makeLinuxNetworkStack();
    const int row = test::iLabAdapterRow(*net);
    ASSERT_GE(row, 0);

    auto state = std::make_shared<RunState>();
    auto window = std::make_shared<test::RecordingWindow>();
    auto addresses = std::make_shared<StoredAddresses>();
    const std::string keepAliveUrl = std::string("http://") + kLabServer + "/kivota/keepalive";
    addresses->keepAliveUrl = test::szEncode(keepAliveUrl);
    WorkerServices svc;
    svc.state = state;
    svc.window = window;
    svc.clock = std::make_shared<SteadyClock>();
    svc.addresses = addresses;
    svc.counters = std::make_shared<InterfaceTableCounters>(net);
    auto w = std::make_shared<CWorkThread>(std::move(svc));

    state->profile.adapterRow = row;
    w->params.ftpUrl = kLabServer;
    w->params.ftpUid = "ftp";
    w->params.ftpPwd = "kivota";
    w->params.dlDurationSec = w->params.ulDurationSec = 10;
    w->params.dlSessions = w->params.ulSessions = 4;
    w->params.dlPath = "/test_2048m.zip";
    w->m_szCookie = "KVSID=lab";
    w->running = true;

    ASSERT_TRUE(w->bDownloadPhase(w->params));
    ASSERT_TRUE(w->bUploadPhase(w->params, false));
    w->vCleanUp();
    EXPECT_EQ(state->errorCode, ErrNone);
    EXPECT_TRUE(state->dlDone);
    EXPECT_TRUE(state->ulDone);

    RecordProperty("dl_ftp_kbps", std::to_string(state->dlFtpKbps));
    RecordProperty("ul_ftp_kbps", std::to_string(state->ulFtpKbps));
    std::printf("download FTP %.0f kbit/s, adapter %.0f; upload FTP %.0f, adapter %.0f\n", state->dlFtpKbps,
                w->dlNicKbps, state->ulFtpKbps, w->ulNicKbps);
    EXPECT_GE(state->dlFtpKbps, 0.85 * kDownKbps);
    EXPECT_LE(state->dlFtpKbps, kDownKbps);
    EXPECT_GE(state->ulFtpKbps, 0.85 * kUpKbps);
    EXPECT_LE(state->ulFtpKbps, kUpKbps);
    test::vExpectPhaseWithinThePayloadShare("download", state->dlFtpKbps, w->dlNicKbps, szFtpItems(w->dlSeries),
                                            szAdapterItems(w->dlSeries), w->dlStarted, false);
    test::vExpectPhaseWithinThePayloadShare("upload", state->ulFtpKbps, w->ulNicKbps, szFtpItems(w->ulSeries),
                                            szAdapterItems(w->ulSeries), w->ulStarted, true);

    // About one accepted second per second of each phase, each with all its rates.
    EXPECT_GE(w->dlSeries.size(), 9u);
    EXPECT_LE(w->dlSeries.size(), 11u);
    EXPECT_TRUE(bEverySecondWhole(w->dlSeries));
    EXPECT_GE(w->ulSeries.size(), 9u);
    EXPECT_LE(w->ulSeries.size(), 11u);
    EXPECT_TRUE(bEverySecondWhole(w->ulSeries));

    // The window hears of each phase start synchronously, then of each accepted second.
    const auto progress = window->messages(WM_TEST_PROGRESS);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(progress.front().sent);
    EXPECT_EQ(progress.front().wParam, 1);
    std::size_t dlPosts = 0, ulPosts = 0, ulStart = 0;
    for (std::size_t i = 0; i < progress.size(); ++i) {
        if (progress[i].sent) {
            if (progress[i].wParam == 0) ulStart = i;
            continue;
        }
        (progress[i].wParam == 1 ? dlPosts : ulPosts)++;
        EXPECT_GE(progress[i].lParam, 0);
        EXPECT_LE(progress[i].lParam, 110);
    }
    EXPECT_GT(ulStart, 0u);
    EXPECT_EQ(dlPosts, w->dlSeries.size());
    EXPECT_EQ(ulPosts, w->ulSeries.size());

    const auto alive = window->messages(WM_KEEP_ALIVE);
    EXPECT_GE(alive.size(), 4u);  // every 3 s over two 10 s phases
    for (const auto& m : alive) {
        EXPECT_EQ(m.wText, "KVSID=lab");
        EXPECT_EQ(m.lText, keepAliveUrl);
    }
}

}  // namespace
