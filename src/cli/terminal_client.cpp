#include "cli/terminal_client.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>

#include "cli/progress_line.h"
#include "net/ftp_shared_counters.h"
#include "net/http_thread.h"
#include "platform/thread.h"
#include "profile/machine_profiler.h"
#include "run/error_texts.h"
#include "run/polled_probe_rounds.h"
#include "run/run_log.h"
#include "run/settings_file.h"
#include "run/work_thread.h"
#include "wiring/engine_root.h"

namespace kivota {

namespace {

constexpr auto kLoopTurn = std::chrono::milliseconds(200);
constexpr int kExecuteDelayMs = 100;  // the testing page is up before the profile is gathered
constexpr auto kThreadEndBound = std::chrono::seconds(10);
constexpr double kSpeedLimitKbps = 1'000'000.0;

// What a code means where the error table has no text for it (the window shows nothing then).
std::string szDescribeError(int code) {
    std::string text = szErrorText(code);
    if (!text.empty()) return text;
    switch (code) {
        case ErrResultUpload: return "the result could not be reported to the operator";
        case ErrTestParamFetch: return "the test parameters could not be fetched; a guest test ran instead";
        case ErrEchoTimeout: return "the round trip to the probe targets was not measured within 15 seconds";
        default: return {};
    }
}

bool bMeasuredDespite(int code) {
    return code == ErrUploadTooShort || code == ErrDownloadTooShort || code == 3 || code == ErrUploadNoneLargeMtu ||
           code == ErrUploadNoneOther;
}

const char* szOutcomeName(int status) {
    switch (status) {
        case ExitReported: return "reported";
        case ExitNotReported: return "not-reported";
        case ExitMeasurementFailed: return "measurement-failed";
        case ExitImplausible: return "implausible";
        case ExitServerFailed: return "server-failed";
        case ExitRefused: return "refused";
        case ExitUpdateRequired: return "update-required";
        case ExitDeclined: return "declined";
        case ExitNoAdapter: return "no-adapter";
        case ExitInterrupted: return "interrupted";
        default: return "usage";
    }
}

}  // namespace

TerminalClient::TerminalClient(EngineRoot& engine, TerminalOptions options, TerminalStreams streams)
    : engine_(engine), options_(std::move(options)), streams_(streams), state_(std::make_shared<RunState>()) {
    pump_ = std::make_shared<MessagePump>([this](WindowMessage& m) { vDispatch(m); }, [this] { loop_.wake(); });
    probe_ = std::make_unique<PolledProbeRounds>(state_, loop_, engine_.clock(), [this] {
        if (worker_) worker_->echoDone = true;
    });
}

TerminalClient::~TerminalClient() {
    pump_->close();
    if (worker_) worker_->Terminate();
    probe_.reset();
}

void TerminalClient::interrupt() {
    interrupted_.store(true);
    loop_.wake();
}

void TerminalClient::vNote(const std::string& text) {
    vClearProgress();
    std::fprintf(streams_.err, "kivota-cli: %s\n", text.c_str());
    std::fflush(streams_.err);
}

int TerminalClient::run() {
    RunState& s = *state_;
    s.ulSessionsSetting = 0;
    s.dlSessionsSetting = 0;
    s.appVer = "0.93";
    s.autoTestEnabled = false;
    s.autoTestMode = false;
    if (!options_.autoFile.empty()) {
        if (::access(options_.autoFile.c_str(), R_OK) != 0) {
            vNote("cannot read the settings file " + options_.autoFile);
            return ExitUsage;
        }
        vReadSettingsFile(s, options_.autoFile);
        if (!(s.autoTestEnabled && s.autoTestMode)) {
            vNote(options_.autoFile + " does not turn the automatic mode on (AutoTest Y, Testtype jMOVA)");
            return ExitUsage;
        }
        vAppendLog(*engine_.clock(), "啟動測試", "");
    }

    if (engine_.iConnectedAdapters() <= 0) {
        s.errorCode = ErrNoAdapter;
        vLogAutoError();
        vFinish(ExitNoAdapter);
    } else {
        s.freshStart = true;
        s.factsPending = true;
        s.noticeAccepted = false;
        s.systemDrive.clear();
        s.completionCode.clear();
        // The connecting page: the probe rounds start, and the worker with them.
        engine_.profiler().isVistaOrLater = false;
        probe_->start(engine_.szProbeTarget1(), engine_.szProbeTarget2());
        worker_ = engine_.pCreateWorker(state_, pump_);
        lastWorker_ = worker_;
        worker_->Resume();
    }

    while (!done_) {
        loop_.runOnce(kLoopTurn);
        pump_->dispatchPending();
        if (interrupted_.load() && !closing_) vFinish(ExitInterrupted);
    }
    vBuildReport();
    vPrintOutcome();
    return status_;
}

void TerminalClient::vDispatch(WindowMessage& message) {
    if (closing_) return;
    switch (message.msg) {
        case WM_START_DECISION: vStartDecision(message); break;
        case WM_TEST_FINISHED: vTestFinished(message); break;
        case WM_TEST_PROGRESS: vTestProgress(message); break;
        case WM_TEST_REFUSED:
            vLogAutoError();
            vFinish(ExitRefused);
            break;
        case WM_KEEP_ALIVE: vKeepAlive(message); break;
        case WM_ANALYSIS_START: vClearProgress(); break;
        case WM_GO_REQUEST:
            state_->userGo = true;
            vNote(szDescribeError(ErrTestParamFetch));
            break;
        default: break;  // WM_CONFIG_LOADED: there are no browser panes here
    }
}

void TerminalClient::vStartDecision(const WindowMessage& message) {
    RunState& s = *state_;
    switch (message.wParam) {
        case 3:
            if ((s.freshStart || !s.noticeAccepted) && !s.autoTestEnabled) {
                vAskAgreement(message.lText ? *message.lText : s.agreementText);
            } else {
                if (s.autoTestEnabled) s.noticeAccepted = true;
                vShowTesting();
            }
            break;
        case 1:
            resultUrl_ = message.lText ? *message.lText : std::string();
            vNote("this version must be updated before it can test: " + resultUrl_);
            vFinish(ExitUpdateRequired);
            break;
        case 2:
            if (!s.autoTestEnabled) {
                vNote("a newer version is available: " + (message.lText ? *message.lText : std::string()));
                vAskAgreement(s.agreementText);
            } else {
                s.noticeAccepted = true;
                vShowTesting();
            }
            break;
        case 0:
            // The run halted before the measurement (the configuration fetch failed, or the
            // round trip was not measured in time): the worker is stopped, as the window does.
            if (s.errorCode == ErrEchoTimeout) s.userGo = true;
            vLogAutoError();
            vFinish(ExitServerFailed);
            break;
        default: break;
    }
}

void TerminalClient::vAskAgreement(const std::string& text) {
    if (options_.agree) {
        vAgree();
        return;
    }
    vClearProgress();
    std::fprintf(streams_.err, "%s\n\nDo you accept the terms above? [y/N] ", text.c_str());
    std::fflush(streams_.err);
    asking_ = true;
    answer_.clear();
    loop_.watch(streams_.input, [this] { vOnAnswerReadable(); });
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
    loop_.unwatch(streams_.input);
    asking_ = false;
    std::size_t first = 0;
    while (first < answer_.size() && std::isspace(static_cast<unsigned char>(answer_[first]))) ++first;
    const char c = first < answer_.size() ? answer_[first] : '\0';
    if (c == 'y' || c == 'Y') {
        vAgree();
        return;
    }
    if (n == 0 && answer_.empty()) std::fputc('\n', streams_.err);
    vNote(n == 0 && answer_.empty() ? "no answer (the input ended); use --agree to accept in scripts"
                                    : "the agreement was not accepted");
    vFinish(ExitDeclined);
}

void TerminalClient::vAgree() {
    RunState& s = *state_;
    s.noticeAccepted = true;
    if (!s.announcementText.empty()) vNote("announcement: " + s.announcementText);
    vShowTesting();
}

void TerminalClient::vShowTesting() {
    engine_.profiler().vOpenCpuQueries(*state_);
    loop_.stopTimer(executeTimer_);
    executeTimer_ = loop_.startTimer(kExecuteDelayMs, false, [this] { vExecute(); });
}

void TerminalClient::vExecute() {
    if (closing_) return;
    engine_.profiler().vGetSystemInfo(*state_);
    if (worker_) worker_->sysInfoReady = true;
}

void TerminalClient::vTestProgress(const WindowMessage& message) {
    const int phase = static_cast<int>(message.wParam);
    const int percent = static_cast<int>(message.lParam);
    IClock& clock = *engine_.clock();
    const std::int64_t bytes = ftpSharedCounters().iTotal();
    if (phase != lastPhase_ || percent == 0) {
        // A phase begins: its rate is known from its second report on.
        lastPhase_ = phase;
        rateKbps_ = -1;
    } else {
        const double seconds = clock.secondsBetween(clock.now(), rateMark_);
        if (seconds > 0 && bytes >= rateBytes_)
            rateKbps_ = static_cast<double>(bytes - rateBytes_) * 8 / 1000 / seconds;
    }
    rateBytes_ = bytes;
    rateMark_ = clock.now();
    if (!streams_.progress) return;
    std::fprintf(streams_.err, "\r%s\x1b[K", szProgressLine(phase, percent, rateKbps_).c_str());
    progressShown_ = true;
    if (percent >= 95 && phase != 2) {
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

void TerminalClient::vKeepAlive(const WindowMessage& message) {
    RunState& s = *state_;
    engine_.profiler().vGetSystemResource(s);
    CHttpThread::vStart(message.wText ? *message.wText : std::string(), message.lText ? *message.lText : std::string());
}

void TerminalClient::vTestFinished(const WindowMessage& message) {
    RunState& s = *state_;
    s.freshStart = false;
    outcome_ = static_cast<int>(message.wParam);
    if (outcome_ == 1 || outcome_ == 2) {
        if (s.dlFtpKbps >= kSpeedLimitKbps || s.ulFtpKbps >= kSpeedLimitKbps || s.dlFtpKbps <= 1.0 ||
            s.ulFtpKbps <= 1.0) {
            s.errorCode = ErrImplausibleResult;
        }
        if (s.errorCode == ErrImplausibleResult) {
            vLogAutoError();
            vFinish(ExitImplausible);
            return;
        }
        if (outcome_ == 1) {
            resultUrl_ = message.lText ? *message.lText : std::string();
            vFinish(ExitReported);
        } else {
            // The automatic mode's normal end: its line is in the result file.
            vFinish(s.autoTestEnabled && s.errorCode == ErrAutoRunning ? ExitReported : ExitNotReported);
        }
        return;
    }
    vLogAutoError();
    vFinish(s.errorCode == ErrConfigFetch ? ExitServerFailed : ExitMeasurementFailed);
}

void TerminalClient::vLogAutoError() {
    const RunState& s = *state_;
    if (s.autoTestEnabled && s.autoTestMode) vAppendLog(*engine_.clock(), szErrorText(s.errorCode), "");
}

void TerminalClient::vFinish(int status) {
    if (closing_) return;
    closing_ = true;
    status_ = status;
    vClearProgress();
    engine_.profiler().vCloseCpuQueries();
    loop_.stopTimer(executeTimer_);
    if (asking_) loop_.unwatch(streams_.input);
    probe_->stop();
    if (worker_) {
        worker_->Terminate();
        worker_.reset();
    }
    // Drops what is still queued and releases a worker blocked in a send.
    pump_->close();
    const RunState& s = *state_;
    if (s.autoTestEnabled && s.autoTestMode) vAppendLog(*engine_.clock(), "結束測試", "");
    if (!ThreadTracker::waitAllEnded(kThreadEndBound)) {
        vNote("a worker thread did not end in time");
        lastWorker_.reset();  // still running: its fields are not read
    }
    done_ = true;
}

void TerminalClient::vBuildReport() {
    const RunState& s = *state_;
    RunReport& r = report_;
    r.status = status_;
    r.outcome = szOutcomeName(status_);
    r.errorCode = s.errorCode;
    if (status_ == ExitInterrupted) {
        r.errorText = "interrupted; nothing was reported";
    } else if (status_ == ExitDeclined) {
        r.errorText = "the agreement was not accepted";
    } else if (status_ == ExitUpdateRequired) {
        r.errorText = "this version must be updated: " + resultUrl_;
    } else if (s.errorCode != ErrNone && s.errorCode != ErrAutoRunning) {
        r.errorText = szDescribeError(s.errorCode);
    }
    r.measured = status_ == ExitReported || status_ == ExitNotReported ||
                 (status_ == ExitMeasurementFailed && bMeasuredDespite(s.errorCode));
    r.downloadKbps = s.dlFtpKbps;
    r.uploadKbps = s.ulFtpKbps;
    r.rttMinMs = s.rttMin;
    r.rttMaxMs = s.rttMax;
    r.rttAvgMs = static_cast<double>(s.rttAvg);
    r.rttText = s.rttText;
    r.downloadConnections = s.dlSessions;
    r.uploadConnections = s.ulSessions;
    if (status_ == ExitReported && outcome_ == 1) {
        r.resultUrl = resultUrl_;
        r.serial = s.resultFlags;
        r.resultTime = s.resultITime;
    }
    if (lastWorker_) {
        const CWorkThread& w = *lastWorker_;
        r.adapterDownloadKbps = w.dlNicKbps;
        r.adapterUploadKbps = w.ulNicKbps;
        r.adapterUploadDuringDownloadKbps = w.ulAtDlKbps;
        r.adapterDownloadDuringUploadKbps = w.dlAtUlKbps;
        r.downloadSeries = w.dlFtpIntervals;
        r.uploadSeries = w.ulFtpIntervals;
        r.adapterDownloadSeries = w.dlNicIntervals;
        r.adapterUploadSeries = w.ulNicIntervals;
    }
}

void TerminalClient::vPrintOutcome() {
    const RunReport& r = report_;
    if (!r.errorText.empty()) {
        const std::string caption = szErrorCaption(r.errorCode);
        vNote(caption.empty() || status_ == ExitInterrupted || status_ == ExitDeclined ? r.errorText
                                                                                       : caption + ": " + r.errorText);
    }
    if (options_.json) {
        std::fprintf(streams_.out, "%s\n", szRunReportJson(r).c_str());
    } else if (r.measured) {
        std::fprintf(streams_.out, "download  %10.2f kbit/s  (%.2f Mbit/s)\n", r.downloadKbps, r.downloadKbps / 1000);
        std::fprintf(streams_.out, "upload    %10.2f kbit/s  (%.2f Mbit/s)\n", r.uploadKbps, r.uploadKbps / 1000);
        std::fprintf(streams_.out, "round trip %s ms (min,avg,max)\n", r.rttText.c_str());
        if (!r.resultUrl.empty()) {
            std::fprintf(streams_.out, "result    %s\n", r.resultUrl.c_str());
            std::fprintf(streams_.out, "serial    %s  %s\n", r.serial.c_str(), r.resultTime.c_str());
        }
    }
    std::fflush(streams_.out);
}

}  // namespace kivota
