#pragma once
// The front end's share of a run, written once for the window and the terminal client alike:
// it starts the worker of each run, answers the worker's messages (the probe rounds and their
// go-ahead, the machine profile of the testing page, the keep-alive requests with their load
// samples, the out-of-range rule, the go-ahead after the echo time-out), writes the automatic
// mode's log lines, and tells the front end what happened as typed reports. The front end only
// draws, prints and asks, and hands the user's decisions back by the calls below.
//
// Everything runs on the event loop's thread; the worker's messages arrive there through the
// controller's own queue.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/event_loop.h"
#include "platform/message_pump.h"
#include "run/run_reporter.h"
#include "run/run_services.h"
#include "run/run_state.h"

namespace kivota {

class CWorkThread;
class ProbeRounds;

class RunController {
public:
    RunController(std::shared_ptr<IRunServices> services, IEventLoop& loop, IRunReporter& reporter);
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // The program's start: the settings file, the adapter check, and the first run.
    void start();
    // A new run from the results page (or the retry of a failed configuration fetch).
    void retest();
    // The user accepted the agreement.
    void agree();
    // The testing page is on screen: the CPU-load queries open, the machine profile follows
    // 100 ms later and releases the worker.
    void testingPageShown();
    // The completion code the user entered goes with the result.
    void setCompletionCode(const std::string& code);
    // The user does not go on from the page the run waits on (the agreement, or an update the
    // program cannot make itself): the run ends as declined or as update required.
    void decline();
    // The user ends the run before its end: it ends as interrupted, saying whether the result
    // had already gone out to the operator.
    void interrupt();

    // The closing path, in two steps around the front end's own: stop() closes the CPU-load
    // queries, stops the probe rounds and the timers, tells the worker to stop and drops its
    // queued messages; end() writes the automatic mode's closing log line (true when it did)
    // and waitThreads() waits, bounded, for every thread to end.
    void stop();
    bool logEnd();
    bool waitThreads(std::chrono::milliseconds bound);

    // The server's end-of-program page ("NULL" or empty: none).
    const std::string& endPageUrl() const;
    // The clock of the run, for the front end's own marks.
    IClock& clock() const { return *clock_; }
    bool automatic() const;
    bool stopped() const { return stopped_; }

    // For tests and the rigs that play the worker's part: where the worker's messages go,
    // the run's record and the probe rounds.
    const std::shared_ptr<MessagePump>& workerAddress() const { return pump_; }
    RunState& state() { return *state_; }
    const ProbeRounds& probeRounds() const { return *probe_; }
    const std::shared_ptr<CWorkThread>& worker() const { return worker_; }

private:
    void vDispatch(WindowMessage& message);
    void vStartDecision(const WindowMessage& message);
    void vTestFinished(const WindowMessage& message);
    void vTestProgress(const WindowMessage& message);
    void vKeepAlive(const WindowMessage& message);

    void vConnect();
    void vStartWorker();
    void vDropWorker();
    void vExecute();
    void vNoAdapter();
    // Appends the current error code's text to the daily log in the unattended mode.
    void vLogAutoError();
    bool bLog(const std::string& text, const std::string& fileName, std::string* error = nullptr);
    bool bUnattended() const;
    void vFinish(RunOutcome outcome, std::string resultUrl = {});
    RunResult resultOf(RunOutcome outcome, std::string resultUrl) const;

    std::shared_ptr<IRunServices> services_;
    std::shared_ptr<IClock> clock_;
    IEventLoop& loop_;
    IRunReporter& reporter_;
    std::shared_ptr<RunState> state_;
    std::shared_ptr<MessagePump> pump_;
    std::unique_ptr<ProbeRounds> probe_;
    std::shared_ptr<CWorkThread> worker_;
    IEventLoop::TimerId executeTimer_ = 0;
    std::optional<StartPage> waitingOn_;  // the page the run waits on the user at
    bool finished_ = false;               // this run's end was reported
    std::int64_t startedAt_ = 0;          // when the run began, seconds since 1970
    int reportedSeconds_[2] = {0, 0};     // accepted seconds reported so far, upload and download
    bool stopped_ = false;
};

}  // namespace kivota
