// The work events of FTP connections, driven directly with a fake clock: shared counting, the
// once-a-second rate of connection 1, the stop rule and 64-bit counts, the upload filler.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ftp_class.h"
#include "support/fake_clock.h"

using namespace kivota;

namespace {

struct Report {
    std::string sender;
    int mode;
    double rate;
    std::int64_t elapsed, total;
};

struct Rig {
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::vector<Report> reports;
    std::function<void()> onSampleMoment;

    std::unique_ptr<TFTPClass> busy(const std::string& name, int mode) {
        auto c = std::make_unique<TFTPClass>(clock);
        c->SetName(name);
        FtpCallbacks callbacks;
        callbacks.onLog = [](TFTPClass&, const std::string&) {};
        callbacks.onProgress = [this](TFTPClass& s, int m, double rate, std::int64_t elapsed, std::int64_t total) {
            reports.push_back({s.name(), m, rate, elapsed, total});
        };
        callbacks.onSampleMoment = [this](TFTPClass&) {
            if (onSampleMoment) onSampleMoment();
        };
        c->SetCallbacks(std::move(callbacks));
        c->m_bBusy = 1;
        c->m_pFTP->vWorkBegin(mode, 0);
        return c;
    }
};

using Action = FtpClient::WorkAction;

TEST(FtpWorkEvents, OnlyConnectionOneReportsAtMostOnceASecondWithEveryonesBytes) {
    Rig rig;
    auto one = rig.busy("FTPDL1", wmRead);
    auto two = rig.busy("FTPDL2", wmRead);
    EXPECT_EQ(ftpSharedCounters().iTotal(), 0);  // connection 1's begin reset the counter

    rig.clock->advanceMs(500);
    EXPECT_EQ(two->m_pFTP->eWork(wmRead, 300'000), Action::Continue);
    rig.clock->advanceMs(499);
    EXPECT_EQ(one->m_pFTP->eWork(wmRead, 200'000), Action::Continue);  // 999 ms: no report
    EXPECT_TRUE(rig.reports.empty());
    rig.clock->advanceMs(1);
    two->m_pFTP->eWork(wmRead, 400'000);  // connection 2 never reports
    EXPECT_TRUE(rig.reports.empty());
    one->m_pFTP->eWork(wmRead, 250'000);  // 1000 ms
    ASSERT_EQ(rig.reports.size(), 1u);
    EXPECT_EQ(rig.reports[0].sender, "FTPDL1");
    EXPECT_EQ(rig.reports[0].mode, wmRead);
    EXPECT_EQ(rig.reports[0].total, 650'000);
    EXPECT_EQ(rig.reports[0].elapsed, 1000);
    EXPECT_DOUBLE_EQ(rig.reports[0].rate, 650'000 * 8.0);

    rig.clock->advanceMs(2000);
    two->m_pFTP->eWork(wmRead, 900'000);
    one->m_pFTP->eWork(wmRead, 350'000);
    ASSERT_EQ(rig.reports.size(), 2u);
    EXPECT_EQ(rig.reports[1].total, 1'250'000);
    EXPECT_EQ(rig.reports[1].elapsed, 3000);
    EXPECT_DOUBLE_EQ(rig.reports[1].rate, 600'000 * 8.0 / 2.0);  // bytes since the last report
}

// The count and what the owner compares it with are read as one pair; a pair whose readings
// took long (the thread lost its core) is read again, at most three times, and the report's
// time is that of the pair it keeps.
TEST(FtpWorkEvents, ASlowPairOfReadingsIsReadAgain) {
    Rig rig;
    int pairs = 0;
    bool slow = true;
    rig.onSampleMoment = [&] {
        ++pairs;
        if (!slow) return;
        slow = false;
        rig.clock->advanceMs(7);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    auto one = rig.busy("FTPDL1", wmRead);
    rig.clock->advanceMs(1000);
    one->m_pFTP->eWork(wmRead, 100'000);
    EXPECT_EQ(pairs, 2);
    ASSERT_EQ(rig.reports.size(), 1u);
    EXPECT_EQ(rig.reports[0].elapsed, 1007);

    rig.onSampleMoment = [&] {
        ++pairs;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    pairs = 0;
    rig.clock->advanceMs(1000);
    one->m_pFTP->eWork(wmRead, 200'000);
    EXPECT_EQ(pairs, 3);
    EXPECT_EQ(rig.reports.size(), 2u);
}

TEST(FtpWorkEvents, UploadReportsComeFromFtpUl1Only) {
    Rig rig;
    auto dl = rig.busy("FTPDL1", wmRead);
    auto ul = rig.busy("FTPUL1", wmWrite);
    rig.clock->advanceMs(1000);
    dl->m_pFTP->eWork(wmWrite, 10);  // an upload event of the download's first connection
    EXPECT_TRUE(rig.reports.empty());
    ul->m_pFTP->eWork(wmWrite, 20);
    ASSERT_EQ(rig.reports.size(), 1u);
    EXPECT_EQ(rig.reports[0].sender, "FTPUL1");
    EXPECT_EQ(rig.reports[0].mode, wmWrite);
}

TEST(FtpWorkEvents, StopEndsWithoutCountingAndLargeCountsGoOn) {
    Rig rig;
    auto c = rig.busy("FTPDL3", wmRead);
    const std::int64_t before = ftpSharedCounters().iTotal();
    c->m_pFTP->eWork(wmRead, 1000);
    EXPECT_EQ(ftpSharedCounters().iTotal(), before + 1000);
    // Past 2,000,000,000 bytes and 2^32 the transfer goes on and counts in 64 bits (its
    // thread follows it with a new one).
    EXPECT_EQ(c->m_pFTP->eWork(wmRead, 5'000'001'000), Action::Continue);
    EXPECT_EQ(ftpSharedCounters().iTotal(), before + 5'000'001'000);
    c->Abort();
    EXPECT_EQ(c->m_pFTP->eWork(wmRead, 5'000'009'000), Action::Stop);
    EXPECT_EQ(ftpSharedCounters().iTotal(), before + 5'000'001'000);
    // The stopped transfer's end clears the stop and the busy flag.
    c->m_pFTP->vWorkEnd(wmRead);
    EXPECT_EQ(c->m_bStop, 0);
    EXPECT_EQ(c->m_bBusy, 0);
    // Not busy: events change nothing.
    EXPECT_EQ(c->m_pFTP->eWork(wmRead, 9000), Action::Continue);
    EXPECT_EQ(ftpSharedCounters().iTotal(), before + 5'000'001'000);
}

TEST(FtpWorkEvents, ANewTransferCountsFromZero) {
    Rig rig;
    auto c = rig.busy("FTPDL2", wmRead);
    const std::int64_t before = ftpSharedCounters().iTotal();
    c->m_pFTP->eWork(wmRead, 5000);
    c->m_pFTP->eWork(wmRead, 700);  // smaller than the last count: a new transfer
    EXPECT_EQ(ftpSharedCounters().iTotal(), before + 5700);
}

TEST(FtpWorkEvents, FillerServesOneSendBlockAtATime) {
    FtpFillerStream filler(8000);
    EXPECT_EQ(filler.block, std::string(8000, '*'));
    // A larger buffer takes one block: the connection is written in blocks of the send size.
    std::string buffer(65536, '\0');
    EXPECT_EQ(filler.iFill(buffer.data(), buffer.size()), 8000u);
    EXPECT_EQ(buffer.substr(0, 8000), std::string(8000, '*'));
    EXPECT_EQ(buffer[8000], '\0');
    EXPECT_EQ(filler.position, 0u);
    // A smaller one takes part of a block, the next call the rest of it, then a whole one.
    EXPECT_EQ(filler.iFill(buffer.data(), 5000), 5000u);
    EXPECT_EQ(filler.iFill(buffer.data(), 65536), 3000u);
    EXPECT_EQ(filler.iFill(buffer.data(), 65536), 8000u);
}

TEST(FtpWorkEvents, StatusNames) {
    const char* names[] = {"hsResolving",  "hsConnecting", "hsConnected", "hsDisconnecting", "hsDisconnected",
                           "hsStatusText", "ftpTransfer",  "ftpReady",    "ftpAborted"};
    for (int i = 0; i < 9; ++i) EXPECT_STREQ(szFtpStatusName(i), names[i]);
    EXPECT_STREQ(szFtpStatusName(9), "Unknown");
    EXPECT_STREQ(szFtpStatusName(-1), "Unknown");
}

}  // namespace
