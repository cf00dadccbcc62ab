// The plain poll loop of the front ends without Qt: timers in due order, repeating and
// stopped from their own callback, readable descriptors, and a wake from another thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/poll_loop.h"

using namespace kivota;
using namespace std::chrono_literals;

namespace {

void vRunFor(PollLoop& loop, std::chrono::milliseconds total) {
    const auto end = std::chrono::steady_clock::now() + total;
    while (std::chrono::steady_clock::now() < end) loop.runOnce(10ms);
}

}  // namespace

TEST(PollLoop, TimersFireInDueOrderAndARepeatingOneStopsItself) {
    PollLoop loop;
    std::vector<std::string> fired;
    loop.startTimer(60, false, [&] { fired.push_back("late"); });
    loop.startTimer(10, false, [&] { fired.push_back("early"); });
    int ticks = 0;
    PollLoop::TimerId repeating = 0;
    repeating = loop.startTimer(15, true, [&] {
        if (++ticks == 3) loop.stopTimer(repeating);  // stopped inside its own callback
    });
    vRunFor(loop, 150ms);
    EXPECT_EQ(fired, (std::vector<std::string>{"early", "late"}));
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(loop.timerActive(repeating));
}

TEST(PollLoop, AStoppedTimerNeverFiresAndAZeroDelayOneFiresOnTheNextTurn) {
    PollLoop loop;
    bool stoppedFired = false, zeroFired = false;
    const auto id = loop.startTimer(5, false, [&] { stoppedFired = true; });
    loop.stopTimer(id);
    loop.startTimer(0, false, [&] { zeroFired = true; });
    const auto t0 = std::chrono::steady_clock::now();
    loop.runOnce(1000ms);
    EXPECT_TRUE(zeroFired);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);  // did not wait out the bound
    vRunFor(loop, 30ms);
    EXPECT_FALSE(stoppedFired);
}

TEST(PollLoop, ReadableDescriptorIsDispatchedUntilUnwatched) {
    PollLoop loop;
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    int calls = 0;
    loop.watch(ends[0], [&] {
        char c;
        ASSERT_EQ(::read(ends[0], &c, 1), 1);
        if (++calls == 2) loop.unwatch(ends[0]);
    });
    ASSERT_EQ(::write(ends[1], "abc", 3), 3);
    for (int i = 0; i < 5; ++i) loop.runOnce(20ms);
    EXPECT_EQ(calls, 2);  // the third byte stays unread once the watch is gone
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(PollLoop, WakeFromAnotherThreadEndsTheWait) {
    PollLoop loop;
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        loop.wake();
    });
    const auto t0 = std::chrono::steady_clock::now();
    loop.runOnce(5000ms);
    const auto waited = std::chrono::steady_clock::now() - t0;
    waker.join();
    EXPECT_LT(waited, 2000ms);
    // A wake that came before the wait makes the next wait return at once.
    loop.wake();
    const auto t1 = std::chrono::steady_clock::now();
    loop.runOnce(5000ms);
    EXPECT_LT(std::chrono::steady_clock::now() - t1, 500ms);
}
