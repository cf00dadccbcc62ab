// The pieces every other part stands on: letter decoding, the mark arithmetic, the thread
// base's lifetime rules and the message pump's blocking send.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "net/letter_code.h"
#include "platform/message_pump.h"
#include "platform/thread.h"
#include "support/fake_clock.h"
#include "support/letter_encode.h"

using namespace kivota;

TEST(LetterCode, DecodesPairsAndRoundTrips) {
    EXPECT_EQ(szDecode("gb"), "a");
    EXPECT_EQ(szDecode(""), "");
    EXPECT_EQ(szDecode("gbg"), "a");  // a dangling letter is ignored
    const std::string url = "http://198.18.0.2/kivota/config?x=1&y=%41";
    EXPECT_EQ(szDecode(test::szEncode(url)), url);
    EXPECT_EQ(szDecode(test::szEncode("\xe6\xb8\xac")), "\xe6\xb8\xac");  // bytes above 0x7F
}

TEST(SecondsBetween, FakeClockGivesExactSecondsAndZeroWhenNotPositive) {
    test::FakeClock clock;
    const auto a = clock.now();
    clock.advanceMs(1500);
    const auto b = clock.now();
    EXPECT_DOUBLE_EQ(clock.secondsBetween(b, a), 1.5);
    EXPECT_DOUBLE_EQ(clock.secondsBetween(a, b), 0.0);
    EXPECT_DOUBLE_EQ(clock.secondsBetween(a, a), 0.0);
}

namespace {

class CountingThread final : public TThread {
public:
    explicit CountingThread(std::shared_ptr<std::atomic<int>> counter) : counter_(std::move(counter)) {}
    ~CountingThread() override { counter_->fetch_add(1000); }

protected:
    void Execute() override {
        while (!Terminated()) std::this_thread::yield();
        counter_->fetch_add(1);
    }

private:
    std::shared_ptr<std::atomic<int>> counter_;
};

}  // namespace

TEST(ThreadBase, CreatedSuspendedAndJoinedByOwner) {
    auto counter = std::make_shared<std::atomic<int>>(0);
    {
        auto t = std::make_shared<CountingThread>(counter);
        EXPECT_FALSE(t->Finished());
        t->Resume();
        t->Resume();  // a second Resume does nothing
        t->Terminate();
        t->WaitFor();
        EXPECT_TRUE(t->Finished());
        EXPECT_EQ(counter->load(), 1);
    }
    EXPECT_EQ(counter->load(), 1001);
}

TEST(ThreadBase, SelfFreeingThreadOutlivesDroppedReferenceAndFreesItself) {
    auto counter = std::make_shared<std::atomic<int>>(0);
    std::weak_ptr<CountingThread> watch;
    {
        auto t = std::make_shared<CountingThread>(counter);
        t->SetFreeOnTerminate(true);
        watch = t;
        t->Resume();
    }  // the owner forgets it while it runs: the thread keeps itself alive
    ASSERT_FALSE(watch.expired());
    watch.lock()->Terminate();
    ASSERT_TRUE(ThreadTracker::waitAllEnded(std::chrono::seconds(10)));
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(counter->load(), 1001);
}

TEST(MessagePump, SendBlocksUntilDispatchedAndCloseReleasesBlockedSender) {
    std::atomic<int> handled{0};
    MessagePump pump([&](WindowMessage& m) { handled += static_cast<int>(m.wParam); }, nullptr);

    std::atomic<bool> sendReturned{false}, sendResult{false};
    std::thread sender([&] {
        sendResult = pump.SendMessage(WindowMessage::make(WM_TEST_PROGRESS, 5));
        sendReturned = true;
    });
    while (pump.waitAndDispatch(std::chrono::milliseconds(50)) == 0) {
    }
    sender.join();
    EXPECT_TRUE(sendReturned);
    EXPECT_TRUE(sendResult);
    EXPECT_EQ(handled, 5);

    // A sender blocked while the window shuts down is released with false.
    std::atomic<bool> blockedResult{true};
    std::thread blocked([&] { blockedResult = pump.SendMessage(WindowMessage::make(WM_TEST_PROGRESS, 7)); });
    while (pump.pending() == 0) std::this_thread::yield();  // the sender is now blocked
    pump.close();
    blocked.join();
    EXPECT_FALSE(blockedResult);
    EXPECT_EQ(handled, 5);
    EXPECT_FALSE(pump.PostMessage(WindowMessage::make(WM_GO_REQUEST)));
}

TEST(MessagePump, PostedTextsAreOwnedByTheMessage) {
    std::string seen;
    MessagePump pump([&](WindowMessage& m) { seen = *m.wText + "|" + *m.lText; }, nullptr);
    pump.PostMessage(WindowMessage::withTexts(WM_KEEP_ALIVE, std::make_unique<TextHolder>("KVSID=1 "),
                                              std::make_unique<TextHolder>("http://h/k")));
    pump.PostMessage(WindowMessage::withTexts(WM_KEEP_ALIVE, std::make_unique<TextHolder>("dropped"),
                                              std::make_unique<TextHolder>("unhandled")));
    EXPECT_EQ(pump.dispatchPending(), 2);
    EXPECT_EQ(seen, "dropped|unhandled");
    // A message still queued at close is freed with the queue (ASan would report a leak).
    pump.PostMessage(
        WindowMessage::withTexts(WM_KEEP_ALIVE, std::make_unique<TextHolder>("a"), std::make_unique<TextHolder>("b")));
    pump.close();
}
