// The probe rounds with a scripted prober: which echoes count, the average by integer
// division, and the switch to the second target.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "run/echo_rounds.h"

using namespace kivota;

namespace {

// Answers each echo from a script of (rtt, status) pairs, recording the hosts probed.
struct ScriptedProbe {
    RunState rs;
    std::deque<std::pair<int, int>> script;
    std::vector<std::string> hosts;
    int stops = 0;
    bool done = false;
    EchoRounds rounds{rs, [this](const std::string& h) { hosts.push_back(h); }, [this] { ++stops; },
                      [this] { done = true; }};

    void run() {
        while (!done && !script.empty()) {
            auto [rtt, status] = script.front();
            script.pop_front();
            rounds.vOnEchoReply(rtt, status);
        }
    }
};

constexpr int kLost = 11010;

}  // namespace

TEST(EchoRounds, SevenEchoesFirstUncountedGiveMinAverageMax) {
    ScriptedProbe p;
    p.rs.profile.resources.vCountCores(2);
    p.rs.profile.resources.vAddSample(12.0, {5.0, 7.0}, 100);
    p.rounds.vStartRounds("198.18.0.2", "198.18.0.3");
    const ResourceSums sums = p.rs.profile.resources.snapshot();
    EXPECT_EQ(sums.resourceSamples, 0);
    EXPECT_EQ(sums.cpuLoadSum, 0.0);
    EXPECT_EQ(sums.memFreeSumMb, 0);
    EXPECT_EQ(sums.coreLoadSums, (std::vector<double>{0.0, 0.0}));
    p.script = {{999, 0}, {20, 0}, {30, 0}, {25, 0}, {35, 0}, {40, 0}, {1, 0}};
    p.run();
    ASSERT_TRUE(p.done);
    EXPECT_EQ(p.rs.rttText, "20,30,40");
    EXPECT_EQ(p.hosts.size(), 7u);
    EXPECT_EQ(p.stops, 7);
    EXPECT_EQ(p.rs.probeTarget, 1);
}

TEST(EchoRounds, OneLostCountedEchoAveragesTheRestByIntegerDivision) {
    ScriptedProbe p;
    p.rounds.vStartRounds("198.18.0.2", "198.18.0.3");
    p.script = {{5, 0}, {10, 0}, {0, kLost}, {11, 0}, {12, 0}, {13, 0}, {0, 0}};
    p.run();
    ASSERT_TRUE(p.done);
    EXPECT_EQ(p.rs.echoLost, 1);
    EXPECT_FLOAT_EQ(p.rs.rttAvg, 11.0f);  // 46 div 4
    EXPECT_EQ(p.rs.rttText, "10,11,13");
}

TEST(EchoRounds, AllCountedEchoesLostMovesToTheSecondTargetOnce) {
    ScriptedProbe p;
    p.rounds.vStartRounds("198.18.0.2", "198.18.0.3");
    // A lost first echo is not counted; then five counted losses; the seventh closes the round.
    p.script = {{0, kLost}, {0, kLost}, {0, kLost}, {0, kLost}, {0, kLost}, {0, kLost}, {0, kLost}};
    p.run();
    EXPECT_FALSE(p.done);
    ASSERT_EQ(p.hosts.size(), 8u);
    EXPECT_EQ(p.hosts[6], "198.18.0.2");
    EXPECT_EQ(p.hosts[7], "198.18.0.3");
    EXPECT_EQ(p.rounds.echoHost(), "198.18.0.3");
    // The second round's figures are the ones reported, even when it fails too.
    p.script = {{0, 0}, {7, 0}, {0, kLost}, {9, 0}, {8, 0}, {0, kLost}, {0, 0}};
    p.run();
    ASSERT_TRUE(p.done);
    EXPECT_EQ(p.rs.rttText, "7,8,9");  // 24 div 3
    EXPECT_EQ(p.rs.probeTarget, 2);
}

TEST(EchoRounds, SecondRoundAllLostReportsNoFigures) {
    ScriptedProbe p;
    p.rounds.vStartRounds("198.18.0.2", "198.18.0.3");
    for (int i = 0; i < 14; ++i) p.script.push_back({0, kLost});
    p.run();
    ASSERT_TRUE(p.done);
    EXPECT_EQ(p.rs.rttText, "1000000,-1,-1");
}
