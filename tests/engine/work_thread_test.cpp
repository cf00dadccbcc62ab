// The worker's exit that needs no server: an unreachable configuration server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "run/work_thread.h"
#include "support/fake_clock.h"
#include "support/no_counters.h"
#include "support/letter_encode.h"
#include "support/recording_window.h"
#include "support/refused_port.h"

using namespace kivota;

namespace {

struct Rig {
    std::shared_ptr<RunState> state = std::make_shared<RunState>();
    std::shared_ptr<test::RecordingWindow> window = std::make_shared<test::RecordingWindow>();
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();

    std::shared_ptr<CWorkThread> worker() {
        auto addresses = std::make_shared<StoredAddresses>();
        const std::string base = "http://127.0.0.1:" + std::to_string(test::refusedPort());
        addresses->configUrl = test::szEncode(base + "/kivota/config");
        addresses->testParamUrl = test::szEncode(base + "/kivota/testparam");
        WorkerServices svc;
        svc.state = state;
        svc.window = window;
        svc.clock = clock;
        svc.addresses = addresses;
        svc.counters = std::make_shared<test::NoCounters>();
        return std::make_shared<CWorkThread>(std::move(svc));
    }
};

}  // namespace

TEST(WorkThread, UnreachableServerHaltsWithCodeSixAndOneMessage) {
    Rig rig;
    rig.state->freshStart = true;
    rig.state->errorCode = ErrRefused;  // left from a previous run
    rig.state->userSendBuf = 4096;
    auto worker = rig.worker();
    worker->Resume();
    worker->WaitFor();

    EXPECT_EQ(rig.state->errorCode, ErrConfigFetch);
    EXPECT_FALSE(rig.state->freshStart);
    EXPECT_FALSE(worker->running);
    EXPECT_EQ(rig.state->userSendBuf, 0);
    const auto messages = rig.window->messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].msg, WM_START_DECISION);
    EXPECT_EQ(messages[0].wParam, 0);
    EXPECT_EQ(messages[0].lParam, 0);
    EXPECT_FALSE(messages[0].hasLText);
}
