// The worker's exit that needs no server: an unreachable configuration server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/letter_encode.h"
#include "support/refused_port.h"
#include "support/worker_rig.h"

using namespace kivota;

namespace {

struct Rig : test::WorkerRig {
    std::shared_ptr<CWorkThread> worker() {
        StoredAddresses addresses;
        const std::string base = "http://127.0.0.1:" + std::to_string(test::refusedPort());
        addresses.configUrl = test::szEncode(base + "/kivota/config");
        addresses.testParamUrl = test::szEncode(base + "/kivota/testparam");
        return makeWorker(std::move(addresses));
    }
};

}  // namespace

TEST(WorkThread, UnreachableServerHaltsWithCodeSixAndOneMessage) {
    Rig rig;
    rig.state->freshStart = true;
    rig.state->errorCode = ErrRefused;  // left from a previous run
    auto worker = rig.worker();
    worker->Resume();
    worker->WaitFor();

    EXPECT_EQ(rig.state->errorCode, ErrConfigFetch);
    EXPECT_FALSE(rig.state->freshStart);
    EXPECT_FALSE(worker->running);
    const auto messages = rig.window->messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].msg, WM_START_DECISION);
    EXPECT_EQ(messages[0].wParam, 0);
    EXPECT_EQ(messages[0].lParam, 0);
    EXPECT_FALSE(messages[0].hasLText);
}
