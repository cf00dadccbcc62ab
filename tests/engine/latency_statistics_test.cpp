// The latency figures against worked examples computed outside the code (Python's statistics
// module: quantiles(method="inclusive"), mean, pstdev), and the responsiveness by the draft's
// TCP-only formula worked by hand.
#include <gtest/gtest.h>

#include <vector>

#include "run/latency_statistics.h"
#include "run/responsiveness.h"

using namespace kivota;

namespace {

// Ten round trips with two far ones, in the order they were sent.
const std::vector<double> kRoundTrips = {12.0, 15.5, 11.2, 30.1, 14.8, 13.3, 90.0, 12.7, 16.4, 14.1};

std::vector<LatencySample> vEchoes(const std::vector<double>& rtts, std::vector<std::size_t> lostAfter = {}) {
    std::vector<LatencySample> echoes;
    for (std::size_t i = 0; i < rtts.size(); ++i) {
        LatencySample s;
        s.rttMs = rtts[i];
        echoes.push_back(s);
        for (const auto at : lostAfter) {
            if (at == i) echoes.push_back(LatencySample{0, LatencyStage::Idle, true, 0});
        }
    }
    return echoes;
}

TEST(LatencyStatistics, StageFiguresMatchTheWorkedExample) {
    // Two lost echoes between the replies: they count towards the loss only, and the jitter
    // runs over the replies in order as if they were not there.
    const StageLatency s = stageLatencyOf(vEchoes(kRoundTrips, {2, 6}), {4.0, 9.0, 5.0, 7.0});
    EXPECT_EQ(s.sent, 12);
    EXPECT_EQ(s.lost, 2);
    EXPECT_NEAR(s.lossPercent, 16.6667, 1e-3);
    EXPECT_DOUBLE_EQ(*s.minMs, 11.2);
    EXPECT_NEAR(*s.medianMs, 14.45, 1e-9);
    EXPECT_NEAR(*s.meanMs, 23.01, 1e-9);
    EXPECT_NEAR(*s.p90Ms, 36.09, 1e-9);
    EXPECT_NEAR(*s.p95Ms, 63.045, 1e-9);
    EXPECT_NEAR(*s.p99Ms, 84.609, 1e-9);
    EXPECT_NEAR(*s.jitterMs, 22.611111, 1e-6);
    EXPECT_NEAR(*s.jitterRfc3550Ms, 10.425206, 1e-6);
    EXPECT_DOUBLE_EQ(*s.kernelRttMedianMs, 6.0);
}

TEST(LatencyStatistics, FewOrNoSamplesLeaveFiguresUnmeasured) {
    const StageLatency none = stageLatencyOf({}, {});
    EXPECT_EQ(none.sent, 0);
    EXPECT_EQ(none.lossPercent, 0);
    EXPECT_FALSE(none.medianMs || none.minMs || none.p99Ms || none.jitterMs || none.kernelRttMedianMs);

    // Every echo lost: a loss of 100 % and no round trip at all.
    const StageLatency allLost = stageLatencyOf({LatencySample{0, LatencyStage::Idle, true, 0}}, {});
    EXPECT_EQ(allLost.sent, 1);
    EXPECT_DOUBLE_EQ(allLost.lossPercent, 100);
    EXPECT_FALSE(allLost.medianMs);

    // One reply: every percentile is that reply, and no jitter without a pair.
    const StageLatency one = stageLatencyOf(vEchoes({7.5}), {});
    EXPECT_DOUBLE_EQ(*one.p99Ms, 7.5);
    EXPECT_DOUBLE_EQ(*one.medianMs, 7.5);
    EXPECT_FALSE(one.jitterMs);
    EXPECT_FALSE(one.jitterRfc3550Ms);

    // Between ranks, and the ends.
    EXPECT_DOUBLE_EQ(*optPercentile({5.0, 1.0, 3.0}, 25), 2.0);
    EXPECT_DOUBLE_EQ(*optPercentile({5.0, 1.0, 3.0}, 100), 5.0);
    EXPECT_DOUBLE_EQ(*optPercentile({5.0, 1.0, 3.0}, 0), 1.0);

    EXPECT_FALSE(optRise(one, none));
    EXPECT_DOUBLE_EQ(*optRise(stageLatencyOf(vEchoes(kRoundTrips), {}), one), 14.45 - 7.5);
}

TEST(LatencyStatistics, TrimmedMeanLeavesOutTheLargestWholeShare) {
    std::vector<double> twenty;
    for (int i = 1; i <= 20; ++i) twenty.push_back(i);
    EXPECT_DOUBLE_EQ(*optTrimmedMean(twenty, 5), 10.0);  // 20 left out: mean of 1..19
    twenty.pop_back();
    EXPECT_DOUBLE_EQ(*optTrimmedMean(twenty, 5), 10.0);  // of 19 none is left out
    EXPECT_DOUBLE_EQ(*optTrimmedMean({4.0}, 5), 4.0);
    EXPECT_FALSE(optTrimmedMean({}, 5));
}

// Probes of a stage: two foreign probes a second (connect and first reply as given) and ten
// self probes a second, over `seconds` intervals; selfMs(interval) gives the self round trip.
struct StageProbes {
    std::vector<ForeignProbe> foreign;
    std::vector<SelfProbe> self;
};

template <typename SelfMs>
StageProbes probes(int seconds, SelfMs selfMs) {
    StageProbes p;
    for (int i = 0; i < seconds; ++i) {
        p.foreign.push_back({i + 0.2, 10, 12});
        p.foreign.push_back({i + 0.7, 10, 12});
        for (int k = 0; k < 10; ++k) p.self.push_back({i + 0.05 + k * 0.1, selfMs(i)});
    }
    return p;
}

TEST(Responsiveness, SteadyProbesGiveTheDraftsTrimmedFormulaWithHighConfidence) {
    // foreign 60000 / ((10 + 12) / 2) = 5454.55, loaded 60000 / 20 = 3000: RPM 4227.27.
    const auto p = probes(6, [](int) { return 20.0; });
    const Responsiveness r = responsivenessOf(p.foreign, p.self, 6.0);
    ASSERT_TRUE(r.rpm);
    EXPECT_NEAR(*r.rpm, 4227.2727, 1e-3);
    EXPECT_EQ(r.confidence, "high");
    // The last four intervals' probes.
    EXPECT_EQ(r.foreignProbes, 8);
    EXPECT_EQ(r.selfProbes, 40);
    EXPECT_DOUBLE_EQ(*r.tcpConnectMs, 10);
    EXPECT_DOUBLE_EQ(*r.firstReplyMs, 12);
    EXPECT_DOUBLE_EQ(*r.selfRttMs, 20);

    // One far self round trip among the 40 of the last window: the 5 % left out.
    auto far = p;
    far.self.back().rttMs = 500;
    EXPECT_NEAR(*responsivenessOf(far.foreign, far.self, 6.0).rpm, 4227.2727, 1e-3);
}

TEST(Responsiveness, ARisingRoundTripIsMediumConfidence) {
    // 20 ms for four seconds, then 40: the last window holds 20 of each, 2 of the 40 ms ones
    // trimmed, TM = 1120 / 38 = 29.474 ms; RPM (5454.55 + 2035.71) / 2 = 3745.13. The moving
    // values 4227.27, 4227.27, 3966.40, 3745.13 deviate by 201.6, more than 5 % of the last.
    const auto p = probes(6, [](int i) { return i < 4 ? 20.0 : 40.0; });
    const Responsiveness r = responsivenessOf(p.foreign, p.self, 6.0);
    EXPECT_NEAR(*r.rpm, 3745.1299, 1e-3);
    EXPECT_NEAR(*r.selfRttMs, 29.47368, 1e-4);
    EXPECT_EQ(r.confidence, "medium");
}

TEST(Responsiveness, AShortStageOrMissingProbesLowerOrRemoveTheFigure) {
    const auto shortStage = probes(3, [](int) { return 20.0; });
    const Responsiveness r = responsivenessOf(shortStage.foreign, shortStage.self, 3.0);
    EXPECT_NEAR(*r.rpm, 4227.2727, 1e-3);
    EXPECT_EQ(r.confidence, "low");

    // No probes in the stage's last four seconds: the last value there was, with low confidence.
    const auto early = probes(3, [](int) { return 20.0; });
    EXPECT_EQ(responsivenessOf(early.foreign, early.self, 8.0).confidence, "low");

    // Without foreign or without self probes there is no figure.
    const auto p = probes(6, [](int) { return 20.0; });
    const Responsiveness noSelf = responsivenessOf(p.foreign, {}, 6.0);
    EXPECT_FALSE(noSelf.rpm);
    EXPECT_TRUE(noSelf.confidence.empty());
    EXPECT_FALSE(responsivenessOf({}, p.self, 6.0).rpm);
}

}  // namespace
