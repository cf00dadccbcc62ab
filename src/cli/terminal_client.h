#pragma once
// The terminal client's stand-in for the window: it starts the run sequence of the engine,
// answers the worker's messages as the window does (agreement, testing page with the system
// profile, probe rounds, keep-alive samples, go-ahead of the guest test), shows progress on a
// terminal, and ends with a report and an exit status that says how the run ended. Everything
// runs on the calling thread's poll loop; the worker runs on its own thread.

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/run_report.h"
#include "cli/terminal_options.h"
#include "platform/clock.h"
#include "platform/linux/poll_loop.h"
#include "platform/message_pump.h"
#include "run/run_state.h"

namespace kivota {

class CWorkThread;
class EngineRoot;
class PolledProbeRounds;

// Exit statuses (szTerminalUsage lists them for the user).
enum TerminalExit : int {
    ExitReported = 0,
    ExitNotReported = 1,
    ExitUsage = 2,
    ExitMeasurementFailed = 3,
    ExitImplausible = 4,
    ExitServerFailed = 5,
    ExitRefused = 6,
    ExitUpdateRequired = 7,
    ExitDeclined = 8,
    ExitNoAdapter = 9,
    ExitInterrupted = 130,
};

struct TerminalStreams {
    std::FILE* out = stdout;  // the summary, or the JSON object
    std::FILE* err = stderr;  // prompts, notes, error texts, the progress line
    int input = 0;            // the answer to the agreement is read here
    bool progress = false;    // draw the live progress line on `err` (it is a terminal)
};

class TerminalClient {
public:
    TerminalClient(EngineRoot& engine, TerminalOptions options, TerminalStreams streams);
    ~TerminalClient();
    TerminalClient(const TerminalClient&) = delete;
    TerminalClient& operator=(const TerminalClient&) = delete;

    // Runs one test to its end and prints the outcome; returns the exit status.
    int run();
    // Any thread, also a signal handler: ends the run as soon as the loop sees it; the worker
    // is told to stop and waited for, and nothing more is reported.
    void interrupt();

    const RunReport& report() const { return report_; }
    const RunState& state() const { return *state_; }

private:
    void vDispatch(WindowMessage& message);
    void vStartDecision(const WindowMessage& message);
    void vTestFinished(const WindowMessage& message);
    void vTestProgress(const WindowMessage& message);
    void vKeepAlive(const WindowMessage& message);

    void vAskAgreement(const std::string& text);
    void vOnAnswerReadable();
    void vAgree();
    void vShowTesting();
    void vExecute();
    void vLogAutoError();
    void vClearProgress();
    // The closing path: the worker is told to stop and every thread is waited for (bounded).
    void vFinish(int status);
    void vBuildReport();
    void vPrintOutcome();
    void vNote(const std::string& text);

    EngineRoot& engine_;
    TerminalOptions options_;
    TerminalStreams streams_;
    std::shared_ptr<RunState> state_;
    PollLoop loop_;
    std::shared_ptr<MessagePump> pump_;
    std::unique_ptr<PolledProbeRounds> probe_;
    std::shared_ptr<CWorkThread> worker_;      // the current worker, until the closing path
    std::shared_ptr<CWorkThread> lastWorker_;  // read for the report once every thread ended
    PollLoop::TimerId executeTimer_ = 0;

    std::atomic<bool> interrupted_{false};
    bool closing_ = false;
    bool done_ = false;
    int status_ = ExitReported;
    int outcome_ = 0;  // wParam of WM_TEST_FINISHED, 0 when the run ended otherwise
    std::string resultUrl_;
    std::string answer_;
    bool asking_ = false;

    bool progressShown_ = false;
    int lastPhase_ = -1;
    std::int64_t rateBytes_ = 0;
    IClock::Mark rateMark_ = 0;
    double rateKbps_ = -1;

    RunReport report_;
};

}  // namespace kivota
