#include "cli/terminal_client.h"

#include <chrono>

#include "cli/run_report.h"
#include "cli/terminal_text.h"
#include "wiring/engine_root.h"

namespace kivota {

namespace {
constexpr auto kLoopTurn = std::chrono::milliseconds(200);
// Threads still running after the end are not waited for longer: an interrupted run ends
// within a second in every state.
constexpr auto kThreadEndBound = std::chrono::seconds(10);
constexpr auto kInterruptedEndBound = std::chrono::milliseconds(700);
}  // namespace

TerminalClient::TerminalClient(std::shared_ptr<IRunServices> services, TerminalOptions options, TerminalStreams streams)
    : options_(std::move(options)),
      streams_(streams),
      loop_(makePollLoop()),
      controller_(std::move(services), *loop_, *this),
      prompt_(*loop_, streams_.input, streams_.err),
      progress_(streams_.err, streams_.progress) {}

TerminalClient::~TerminalClient() { controller_.stop(); }

void TerminalClient::interrupt(int signal) {
    int none = 0;
    signal_.compare_exchange_strong(none, signal);
    loop_->wake();
}

void TerminalClient::vNote(const std::string& text) {
    progress_.clear();
    std::fprintf(streams_.err, "kivota-cli: %s\n", szPrintable(text).c_str());
    std::fflush(streams_.err);
}

int TerminalClient::run() {
    controller_.start();
    while (!result_) {
        loop_->runOnce(kLoopTurn);
        if (signal_.load() != 0) controller_.interrupt();
    }
    const bool interrupted = result_->outcome.kind == EndKind::Interrupted;
    prompt_.cancel();
    progress_.clear();
    controller_.stop();
    controller_.logEnd();
    if (!controller_.waitThreads(interrupted ? kInterruptedEndBound : kThreadEndBound)) {
        vNote("a worker thread did not end in time");
    }
    return iPrintOutcome();
}

void TerminalClient::onStartPage(StartPage page, const ServerTexts& texts) {
    announcement_ = texts.announcement;
    switch (page) {
        case StartPage::Agreement: vAsk(texts.agreement); break;
        case StartPage::UpdateOffered:
            vNote("a newer version is available: " + texts.updateUrl);
            vAsk(texts.agreement);
            break;
        case StartPage::UpdateRequired:
            vNote("this version must be updated before it can test: " + texts.updateUrl);
            controller_.decline();
            break;
        case StartPage::Testing: controller_.testingPageShown(); break;
    }
}

void TerminalClient::onGuestTest() { vNote("the test parameters could not be fetched; a guest test runs instead"); }

void TerminalClient::vAsk(const std::string& text) {
    if (options_.agree) {
        vAgree();
        return;
    }
    progress_.clear();
    prompt_.ask(szPrintable(text) + "\n\nDo you accept the terms above?", [this](bool yes, bool inputEnded) {
        if (yes) {
            vAgree();
            return;
        }
        if (inputEnded) vNote("no answer (the input ended); use --agree to accept in scripts");
        controller_.decline();
    });
}

void TerminalClient::vAgree() {
    controller_.agree();
    if (!announcement_.empty()) vNote("announcement: " + announcement_);
    controller_.testingPageShown();
}

void TerminalClient::onFinished(const RunResult& result) { result_ = result; }

int TerminalClient::iPrintOutcome() {
    const RunResult& r = *result_;
    int status = iExitStatus(r.outcome.kind, signal_.load() != 0 ? signal_.load() : SIGINT);
    if (const std::string note = szEndNote(r); !note.empty()) vNote(note);
    if (options_.json) {
        std::fprintf(streams_.out, "%s\n", jsonOfResult(r, status).dump().c_str());
    } else {
        RunResult shown = r;
        for (std::string* text : {&shown.resultUrl, &shown.serial, &shown.serverTime, &shown.roundTripText}) {
            *text = szPrintable(*text);
        }
        vPrintSummary(streams_.out, shown);
    }
    // Output that did not arrive is a failure of the run's one product here.
    if (std::fflush(streams_.out) != 0 || std::ferror(streams_.out)) {
        std::fprintf(streams_.err, "kivota-cli: the output could not be written\n");
        status = ExitOutputFailed;
    }
    return status;
}

}  // namespace kivota
