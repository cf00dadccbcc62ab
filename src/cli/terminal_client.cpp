#include "cli/terminal_client.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>

#include "cli/progress_line.h"
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
      controller_(std::move(services), *loop_, *this) {}

TerminalClient::~TerminalClient() { controller_.stop(); }

void TerminalClient::interrupt(int signal) {
    int none = 0;
    signal_.compare_exchange_strong(none, signal);
    loop_->wake();
}

void TerminalClient::vNote(const std::string& text) {
    vClearProgress();
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
    if (asking_) loop_->unwatch(streams_.input);
    vClearProgress();
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
    vClearProgress();
    std::fprintf(streams_.err, "%s\n\nDo you accept the terms above? [y/N] ", szPrintable(text).c_str());
    std::fflush(streams_.err);
    asking_ = true;
    answer_.clear();
    loop_->watch(streams_.input, [this] { vOnAnswerReadable(); });
}

void TerminalClient::vOnAnswerReadable() {
    char buffer[256];
    const ssize_t n = ::read(streams_.input, buffer, sizeof buffer);
    if (n > 0) {
        answer_.append(buffer, static_cast<std::size_t>(n));
        if (answer_.find('\n') == std::string::npos && answer_.size() < 1024) return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // A line, the end of the input or an error: the answer is complete.
    loop_->unwatch(streams_.input);
    asking_ = false;
    const std::size_t first = answer_.find_first_not_of(" \t\r\n");
    const char c = first == std::string::npos ? '\0' : answer_[first];
    if (c == 'y' || c == 'Y') {
        vAgree();
        return;
    }
    if (n == 0 && answer_.empty()) {
        std::fputc('\n', streams_.err);
        vNote("no answer (the input ended); use --agree to accept in scripts");
    }
    controller_.decline();
}

void TerminalClient::vAgree() {
    controller_.agree();
    if (!announcement_.empty()) vNote("announcement: " + announcement_);
    controller_.testingPageShown();
}

void TerminalClient::onProgress(const Progress& p) {
    if (!streams_.progress) return;
    const double rate = p.ftpKbps ? static_cast<double>(*p.ftpKbps) : -1.0;
    const auto phase = static_cast<int>(p.phase);
    std::fprintf(streams_.err, "\r%s\x1b[K", szProgressLine(phase, p.percent, rate).c_str());
    progressShown_ = true;
    if (p.percent >= 95 && p.phase != RunPhase::Preparation) {
        // The phase is done (the bar rounds to 100 % from 95 on): keep its line.
        std::fputc('\n', streams_.err);
        progressShown_ = false;
    }
    std::fflush(streams_.err);
}

void TerminalClient::vClearProgress() {
    if (!progressShown_) return;
    std::fputs("\r\x1b[K", streams_.err);
    std::fflush(streams_.err);
    progressShown_ = false;
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
