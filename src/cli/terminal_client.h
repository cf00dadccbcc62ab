#pragma once
// The terminal front end: it renders the run controller's reports on a terminal (the agreement
// as a prompt, a live progress line, the summary or one JSON object at the end) and answers the
// user's decisions, on a poll loop of the calling thread. The run itself is the controller's.

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/answer_prompt.h"
#include "cli/progress_line.h"
#include "cli/terminal_options.h"
#include "platform/event_loop.h"
#include "run/run_controller.h"
#include "run/run_reporter.h"

namespace kivota {

struct TerminalStreams {
    std::FILE* out = stdout;  // the summary, or the JSON object
    std::FILE* err = stderr;  // prompts, notes, error texts, the progress line
    int input = 0;            // the answer to the agreement is read here
    bool progress = false;    // draw the live progress line on `err` (it is a terminal)
};

class TerminalClient final : public IRunReporter {
public:
    TerminalClient(std::shared_ptr<IRunServices> services, TerminalOptions options, TerminalStreams streams);
    ~TerminalClient() override;
    TerminalClient(const TerminalClient&) = delete;
    TerminalClient& operator=(const TerminalClient&) = delete;

    // Runs one test to its end and prints the outcome; returns the exit status.
    int run();
    // Any thread, also a signal handler: ends the run as soon as the loop sees it.
    void interrupt(int signal);
    // The finished run, once run() returned.
    const std::optional<RunResult>& result() const { return result_; }

private:
    void onConnecting() override {}
    void onConfigLoaded(const std::string&, const std::string&) override {}
    void onStartPage(StartPage page, const ServerTexts& texts) override;
    void onGuestTest() override;
    void onProgress(const Progress& progress) override { progress_.draw(progress); }
    void onSecond(const MeasuredSecond&) override {}
    void onAnalysisStart() override { progress_.clear(); }
    void onFinished(const RunResult& result) override;

    void vAsk(const std::string& text);
    void vAgree();
    void vNote(const std::string& text);
    int iPrintOutcome();

    TerminalOptions options_;
    TerminalStreams streams_;
    std::unique_ptr<IPolledEventLoop> loop_;
    RunController controller_;
    std::optional<RunResult> result_;
    std::atomic<int> signal_{0};
    AnswerPrompt prompt_;
    ProgressLine progress_;
    std::string announcement_;
};

}  // namespace kivota
