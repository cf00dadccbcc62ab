// The unattended run's own steps around the measurement, without a server: the echo-probe wait
// with its limit, the parameters taken from the settings, and no result line after a failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "support/scoped_work_dir.h"
#include "support/worker_rig.h"

namespace kivota {
namespace {

struct AutoRig : test::WorkerRig {
    std::shared_ptr<CWorkThread> worker() {
        state->autoTestMode = true;
        return makeWorker();
    }
};

using test::ScopedWorkDir;

bool isMessage(const test::RecordedMessage& m, unsigned msg, std::intptr_t w, std::intptr_t l) {
    return m.msg == msg && m.wParam == w && m.lParam == l;
}

TEST(AutoRun, EchoProbeTimeOutThenTerminate) {
    AutoRig rig;
    auto worker = rig.worker();
    std::weak_ptr<CWorkThread> weak = worker;
    // The window answers code 11 by terminating the worker, and sets the go-ahead as it halts.
    auto state = rig.state;
    rig.window->setReaction([weak, state](const test::RecordedMessage& m) {
        if (m.msg == WM_START_DECISION && m.wParam == 0)
            if (auto w = weak.lock()) {
                w->Terminate();
                state->userGo = true;
            }
    });
    worker->Resume();
    worker->WaitFor();

    EXPECT_EQ(rig.state->errorCode, ErrEchoTimeout);
    EXPECT_GT(rig.clock->elapsedSec(), 15.0);
    const auto messages = rig.window->messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(isMessage(messages[0], WM_START_DECISION, 3, 0));
    EXPECT_TRUE(isMessage(messages[1], WM_TEST_PROGRESS, 2, 0));
    EXPECT_TRUE(isMessage(messages[2], WM_START_DECISION, 0, 0));
}

TEST(AutoRun, FailedRunWritesNoResultLine) {
    ScopedWorkDir workDir("kv_autorun");
    AutoRig rig;
    rig.state->autoDownloadFile = "test_2048m.zip";
    rig.state->autoUploadPath = "/uploads";
    rig.state->autoFtpServer = "";  // no server: the phases cannot start
    auto worker = rig.worker();
    // The probe never finishes; after the limit the window lets the run go on.
    rig.window->setReaction([state = rig.state](const test::RecordedMessage& m) {
        if (m.msg == WM_START_DECISION && m.wParam == 0) state->userGo = true;
    });
    worker->Resume();
    worker->WaitFor();

    // A phase length the settings left at 0 does not run as a phase of no length.
    EXPECT_EQ(worker->params.dlDurationSec, 10);
    EXPECT_EQ(worker->params.ulDurationSec, 10);
    EXPECT_EQ(worker->params.timeoutSec, 30);
    EXPECT_EQ(worker->params.dlPath, "/test_2048m.zip");
    EXPECT_EQ(worker->params.ulPath, "/uploads");
    EXPECT_NE(rig.state->errorCode, ErrAutoRunning);
    const auto finished = rig.window->messages(WM_TEST_FINISHED);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_TRUE(isMessage(finished[0], WM_TEST_FINISHED, 3, 0));
    EXPECT_EQ(rig.window->count(WM_ANALYSIS_START), 0u);
    EXPECT_FALSE(std::filesystem::exists("KivotaResult.txt"));
}

}  // namespace
}  // namespace kivota
