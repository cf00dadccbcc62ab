// The version gate's comparison and the connection-count rules of the contracted rate.
#include <gtest/gtest.h>

#include "run/run_rules.h"

using namespace kivota;

TEST(VersionGate, ServerVersionsAreNormalisedToShortestDecimal) {
    EXPECT_EQ(optNormaliseVersion("1.00"), "1");
    EXPECT_EQ(optNormaliseVersion("0.90"), "0.9");
    EXPECT_EQ(optNormaliseVersion("0.93"), "0.93");
    EXPECT_EQ(optNormaliseVersion(" 1.0 "), "1");
    EXPECT_FALSE(optNormaliseVersion("").has_value());
    EXPECT_FALSE(optNormaliseVersion("one").has_value());
    EXPECT_FALSE(optNormaliseVersion("1.0beta").has_value());
    EXPECT_FALSE(optNormaliseVersion("inf").has_value());
}

TEST(VersionGate, OrdinalComparisonWithPrefixFirst) {
    EXPECT_EQ(iVersionDecision("0.93", "0.95", "0.95"), 1);
    EXPECT_EQ(iVersionDecision("0.93", "0.9", "1"), 2);
    EXPECT_EQ(iVersionDecision("0.93", "0.93", "0.93"), 3);
    EXPECT_EQ(iVersionDecision("0.93", "0.9", "0.93"), 3);
    EXPECT_EQ(iVersionDecision("0.93", "0.9", "0.931"), 2);  // a prefix sorts first
    // Byte order, not numeric: "0.93" is above "0.100".
    EXPECT_EQ(iVersionDecision("0.93", "0.100", "0.100"), 3);
}

TEST(RateRules, SlowLinesGetOneConnectionAndSmallBuffers) {
    SessionPlan plan{4, 4, 0, 0};
    vApplyRateRules(8000, 500, plan);
    EXPECT_EQ(plan.dlSessions, 1);
    EXPECT_EQ(plan.userRecvBuf, 8192);
    EXPECT_EQ(plan.ulSessions, 1);
    EXPECT_EQ(plan.userSendBuf, 8192);

    plan = {4, 4, 0, 0};
    vApplyRateRules(8192, 127, plan);
    EXPECT_EQ(plan.ulSessions, 1);
    EXPECT_EQ(plan.userSendBuf, 4096);
    EXPECT_EQ(plan.dlSessions, 4);
    EXPECT_EQ(plan.userRecvBuf, 131072);
}

TEST(RateRules, BandEdges) {
    struct Case {
        int up;
        int sendBuf;
        int ulSessions;
    };
    for (const Case c : {Case{128, 8192, 1}, Case{639, 8192, 1}, Case{640, 16384, 4}, Case{5119, 16384, 4},
                         Case{5120, 32768, 4}, Case{20479, 32768, 4}, Case{20480, 131072, 4}}) {
        SessionPlan plan{4, 4, 0, 0};
        vApplyRateRules(102400, c.up, plan);
        EXPECT_EQ(plan.userSendBuf, c.sendBuf) << c.up;
        EXPECT_EQ(plan.ulSessions, c.ulSessions) << c.up;
        EXPECT_EQ(plan.userRecvBuf, 262144);
    }
    SessionPlan plan{4, 4, 0, 0};
    vApplyRateRules(102399, 20480, plan);
    EXPECT_EQ(plan.userRecvBuf, 131072);
}

TEST(RateRules, UserRateAppliesOnlyWithExactlyTwoWellFormedParts) {
    EXPECT_FALSE(optParseUserRate("8000")->applies);
    EXPECT_FALSE(optParseUserRate("1,2,3")->applies);
    const auto two = optParseUserRate("102400,20480");
    ASSERT_TRUE(two && two->applies);
    EXPECT_EQ(two->downKbps, 102400);
    EXPECT_EQ(two->upKbps, 20480);
    EXPECT_FALSE(optParseUserRate("8000,").has_value());
    EXPECT_FALSE(optParseUserRate("fast,500").has_value());
    EXPECT_FALSE(optParseUserRate(" 8000,500").has_value());
}
