// The history's times: a run's UTC moment with the local offset it had, its local time as it
// was, and the local date or date-time of a listing's lower bound.
#include <gtest/gtest.h>

#include <string>

#include "history/history_run.h"
#include "history/history_time.h"
#include "support/history_samples.h"

using namespace kivota;

namespace {

// A zone with a summer time.
class HistoryTime : public testing::Test {
    kivota::test::ScopedEnv zone_{"TZ", "Europe/Berlin"};
};

TEST_F(HistoryTime, RunKeepsTheOffsetItHadAndShowsItsOwnLocalTime) {
    HistoryRun winter, summer;
    vStampRunTime(winter, 1740832496);  // 2025-03-01 12:34:56 UTC
    vStampRunTime(summer, 1751371200);  // 2025-07-01 12:00:00 UTC
    EXPECT_EQ(winter.timeUtc, "2025-03-01T12:34:56Z");
    EXPECT_EQ(winter.utcOffsetMinutes, 60);
    EXPECT_EQ(szRunLocalTime(winter), "2025-03-01T13:34:56+01:00");
    EXPECT_EQ(summer.utcOffsetMinutes, 120);
    EXPECT_EQ(szRunLocalTime(summer), "2025-07-01T14:00:00+02:00");

    // The stored offset, not this machine's zone, makes the local time; west of Greenwich too.
    HistoryRun west;
    west.timeUtc = "2025-03-01T02:04:56Z";
    west.utcOffsetMinutes = -210;
    EXPECT_EQ(szRunLocalTime(west), "2025-02-28T22:34:56-03:30");
    west.timeUtc = "yesterday";
    EXPECT_EQ(szRunLocalTime(west), "");
}

struct SinceCase {
    const char* local;
    const char* utc;  // empty: refused
};

class HistorySince : public HistoryTime, public testing::WithParamInterface<SinceCase> {};

TEST_P(HistorySince, LocalBoundBecomesUtc) {
    std::string error;
    const auto utc = optSinceUtc(GetParam().local, error);
    if (GetParam().utc[0] == '\0') {
        EXPECT_FALSE(utc) << *utc;
        EXPECT_NE(error.find(GetParam().local), std::string::npos) << error;
    } else {
        ASSERT_TRUE(utc) << error;
        EXPECT_EQ(*utc, GetParam().utc);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, HistorySince,
                         testing::Values(SinceCase{"2025-03-01", "2025-02-28T23:00:00Z"},
                                         SinceCase{"2025-07-01 14:00", "2025-07-01T12:00:00Z"},
                                         SinceCase{"2025-07-01T14:00:30", "2025-07-01T12:00:30Z"},
                                         SinceCase{"2024-02-29", "2024-02-28T23:00:00Z"}, SinceCase{"2025-02-29", ""},
                                         SinceCase{"2025-04-31", ""}, SinceCase{"2025-13-01", ""},
                                         SinceCase{"2025-00-10", ""}, SinceCase{"2025-03-01 24:00", ""},
                                         SinceCase{"2025-03-01 12:60", ""}, SinceCase{"2025-3-1", ""},
                                         SinceCase{"2025-03-01Z", ""}, SinceCase{"+025-03-01", ""},
                                         SinceCase{"yesterday", ""}, SinceCase{"", ""}));

TEST(HistorySeries, AcceptedSecondsKeepTheirGapsAndIndex) {
    HistoryRun run;
    vAppendSeries(run, HistoryPhase::Upload,
                  {{9000, 9400, std::nullopt}, {std::nullopt, 9410, 350}, {9100, std::nullopt, 360}});
    ASSERT_EQ(run.seconds.size(), 3u);
    EXPECT_EQ(run.seconds[0].ftpKbps, 9000);
    EXPECT_FALSE(run.seconds[0].otherAdapterKbps);
    EXPECT_FALSE(run.seconds[1].ftpKbps);
    EXPECT_EQ(run.seconds[1].otherAdapterKbps, 350);
    EXPECT_FALSE(run.seconds[2].adapterKbps);
    EXPECT_EQ(run.seconds[2].index, 2);
    EXPECT_EQ(run.seconds[2].phase, HistoryPhase::Upload);
    vAppendSeries(run, HistoryPhase::Download, {});
    EXPECT_EQ(run.seconds.size(), 3u);
}

}  // namespace
