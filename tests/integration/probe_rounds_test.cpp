// The probe rounds on the plain poll loop against loopback: seven echoes, rttText, and the
// go-ahead exactly once; a target that is not an address never completes (the worker's 15 s
// limit then applies).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "platform/linux/poll_loop.h"
#include "platform/linux/steady_clock.h"
#include "run/probe_rounds.h"
#include "support/lab.h"

using namespace kivota;
using namespace std::chrono_literals;

namespace {

template <typename Done>
void vRunUntil(PollLoop& loop, std::chrono::milliseconds bound, Done done) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!done() && std::chrono::steady_clock::now() < end) loop.runOnce(20ms);
}

}  // namespace

TEST(ProbeRoundsOnPollLoop, LoopbackRoundCompletesOnceWithItsFigures) {
    auto rs = std::make_shared<RunState>();
    PollLoop loop;
    int done = 0;
    ProbeRounds rounds(rs, loop, std::make_shared<SteadyClock>(), [&] { ++done; });
    KV_NEEDS(rounds.canProbe(), "no ICMP socket on this machine");
    const auto t0 = std::chrono::steady_clock::now();
    rounds.start("127.0.0.1", "127.0.0.2");
    vRunUntil(loop, 15s, [&] { return done > 0; });
    const auto took = std::chrono::steady_clock::now() - t0;
    ASSERT_EQ(done, 1);
    // Seven echoes one after another, each 500 ms after the previous one's completion.
    EXPECT_GE(took, 3000ms);
    EXPECT_EQ(rs->probeTarget, 1);  // one round: the first target answered
    EXPECT_EQ(rs->echoLost, 0);
    EXPECT_GE(rs->rttMin, 0);
    EXPECT_LE(rs->rttMax, 50);
    EXPECT_EQ(rs->rttText, std::to_string(rs->rttMin) + "," + std::to_string(static_cast<int>(rs->rttAvg)) + "," +
                               std::to_string(rs->rttMax));
    // Nothing more comes after the rounds.
    vRunUntil(loop, 1200ms, [] { return false; });
    EXPECT_EQ(done, 1);
}

TEST(ProbeRoundsOnPollLoop, TargetThatIsNotAnAddressNeverCompletes) {
    auto rs = std::make_shared<RunState>();
    PollLoop loop;
    bool done = false;
    ProbeRounds rounds(rs, loop, std::make_shared<SteadyClock>(), [&] { done = true; });
    rounds.start("probe.example", "127.0.0.1");
    vRunUntil(loop, 1500ms, [&] { return done; });
    EXPECT_FALSE(done);
    EXPECT_EQ(rs->echoCount, 0);
    rounds.stop();
}
