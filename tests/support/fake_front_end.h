#pragma once
// The one front end of the tests: it plays the user of a run through the run controller, on a
// poll loop of the test's thread, the way the window and the terminal client do. It answers
// the pages by a script (agree or decline, retry a halted run or not), records every report,
// and turns the loop until the run has finished.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/event_loop.h"
#include "run/run_controller.h"
#include "run/run_reporter.h"
#include "run/run_services.h"
#include "run/work_thread.h"

namespace kivota::test {

struct FrontEndScript {
    bool agree = true;  // accept the agreement (else decline it)
    int retries = 0;    // how many halted runs to retry before giving up
    // Called on the loop's thread after every report; a test may interrupt or stop there.
    std::function<void(RunController&)> onReport;
};

class FakeFrontEnd final : public IRunReporter {
public:
    explicit FakeFrontEnd(std::shared_ptr<IRunServices> services, FrontEndScript script = {});
    ~FakeFrontEnd() override;

    // Starts the program's run and turns the loop until a run ends without a retry, or `bound`
    // passes; then closes as a front end does. The last finished run, if any.
    std::optional<RunResult> run(std::chrono::milliseconds bound);
    // Turns the loop until `done` or `bound`.
    bool loopUntil(const std::function<bool()>& done, std::chrono::milliseconds bound);

    RunController& controller() { return *controller_; }
    IPolledEventLoop& loop() { return *loop_; }

    // What was reported, in order.
    std::vector<StartPage> pages;
    std::vector<Progress> progress;
    std::vector<MeasuredSecond> seconds;
    std::vector<RunResult> finished;
    std::shared_ptr<CWorkThread> lastWorker;  // the worker of the last finished run
    int connecting = 0, guestTests = 0, analysisStarts = 0;
    std::string infoUrl, adUrl;
    ServerTexts texts;

private:
    void onConnecting() override;
    void onConfigLoaded(const std::string& info, const std::string& ad) override;
    void onStartPage(StartPage page, const ServerTexts& serverTexts) override;
    void onGuestTest() override;
    void onProgress(const Progress& p) override;
    void onSecond(const MeasuredSecond& second) override;
    void onAnalysisStart() override;
    void onFinished(const RunResult& result) override;
    void vReported();

    FrontEndScript script_;
    std::unique_ptr<IPolledEventLoop> loop_;
    std::unique_ptr<RunController> controller_;
    bool ended_ = false;
};

}  // namespace kivota::test
