#include "run/run_controller.h"

#include <ctime>

#include "run/error_texts.h"
#include "run/probe_rounds.h"
#include "run/work_thread.h"

namespace kivota {

namespace {

constexpr const char* kAppVersion = "0.93";
constexpr int kExecuteDelayMs = 100;  // the testing page is up before the profile is gathered
constexpr double kSpeedLimitKbps = 1'000'000.0;
constexpr const char* kStartLogLine = "啟動測試";
constexpr const char* kEndLogLine = "結束測試";

// A final speed out of range: a million kbit/s or more, or 1 kbit/s or less.
bool bOutOfRange(double kbps) { return kbps >= kSpeedLimitKbps || kbps <= 1.0; }

std::string szText(const std::unique_ptr<TextHolder>& text) { return text ? *text : std::string(); }

}  // namespace

RunController::RunController(std::shared_ptr<IRunServices> services, IEventLoop& loop, IRunReporter& reporter)
    : services_(std::move(services)),
      clock_(services_->clock()),
      loop_(loop),
      reporter_(reporter),
      state_(std::make_shared<RunState>()) {
    // The worker's messages are queued and drained on the loop's thread; a wake-up from the
    // worker posts one drain, which finds the queue gone once this controller is.
    auto holder = std::make_shared<std::weak_ptr<MessagePump>>();
    pump_ = std::make_shared<MessagePump>([this](WindowMessage& m) { vDispatch(m); },
                                          [holder, &loop] {
                                              loop.post([holder] {
                                                  if (auto pump = holder->lock()) pump->dispatchPending();
                                              });
                                          });
    *holder = pump_;
    probe_ = std::make_unique<ProbeRounds>(state_, loop_, clock_, [this] {
        if (worker_) worker_->echoDone = true;
    });
}

RunController::~RunController() {
    pump_->close();
    loop_.stopTimer(executeTimer_);
    if (worker_) worker_->Terminate();
    probe_.reset();
}

bool RunController::bUnattended() const { return state_->autoTestEnabled && state_->autoTestMode; }

bool RunController::automatic() const { return state_->autoTestEnabled; }

const std::string& RunController::endPageUrl() const { return state_->adEndUrl; }

bool RunController::bLog(const std::string& text, const std::string& fileName, std::string* error) {
    std::string why;
    if (services_->bAppendLog(text, fileName, why)) return true;
    if (error != nullptr) *error = why;
    return false;
}

void RunController::vLogAutoError() {
    if (bUnattended()) bLog(szErrorText(state_->errorCode.load()), "");
}

void RunController::start() {
    RunState& s = *state_;
    s.ulSessionsSetting = 0;
    s.dlSessionsSetting = 0;
    s.appVer = kAppVersion;
    s.autoTestEnabled = false;
    s.autoTestMode = false;
    services_->vReadSettings(s);
    if (bUnattended()) bLog(kStartLogLine, "");
    if (services_->iConnectedAdapters() <= 0) {
        vNoAdapter();
        return;
    }
    s.freshStart = true;
    s.factsPending = true;
    s.noticeAccepted = false;
    s.profile.systemDrive.clear();
    s.completionCode.clear();
    vConnect();
}

void RunController::retest() {
    if (stopped_) return;
    if (services_->iConnectedAdapters() > 0) {
        vConnect();
    } else {
        vNoAdapter();
    }
}

void RunController::vNoAdapter() {
    startedAt_ = std::time(nullptr);
    state_->errorCode = ErrNoAdapter;
    vLogAutoError();
    vFinish({ErrNoAdapter, EndKind::NoAdapter});
}

void RunController::vConnect() {
    finished_ = false;
    startedAt_ = std::time(nullptr);
    waitingOn_.reset();
    reporter_.onConnecting();
    services_->vResetProfile();
    probe_->start(services_->szProbeTarget1(), services_->szProbeTarget2());
    vStartWorker();
}

void RunController::vStartWorker() {
    vDropWorker();
    reportedSeconds_[0] = reportedSeconds_[1] = 0;
    std::shared_ptr<CWorkThread> worker = services_->pCreateWorker(state_, pump_);
    if (!worker) return;
    worker->SetFreeOnTerminate(true);
    worker->sysInfoReady = false;
    worker->echoDone = false;
    worker_ = worker;
    worker->Resume();
}

void RunController::vDropWorker() {
    // Told to stop and let go: it frees itself when it ends, and this side never waits for it.
    if (!worker_) return;
    worker_->Terminate();
    worker_.reset();
}

void RunController::agree() {
    state_->noticeAccepted = true;
    waitingOn_.reset();
}

void RunController::testingPageShown() {
    waitingOn_.reset();
    loop_.stopTimer(executeTimer_);
    executeTimer_ = loop_.startTimer(kExecuteDelayMs, false, [this] { vExecute(); });
    services_->vOpenCpuQueries(state_->profile);
}

void RunController::vExecute() {
    if (stopped_) return;
    services_->vGetSystemInfo(state_->profile);
    if (worker_) worker_->sysInfoReady = true;
}

void RunController::setCompletionCode(const std::string& code) { state_->completionCode = code; }

void RunController::decline() {
    if (finished_ || stopped_) return;
    const bool update = waitingOn_ == StartPage::UpdateRequired;
    vFinish({static_cast<ErrorCode>(state_->errorCode.load()), update ? EndKind::UpdateRequired : EndKind::Declined});
}

void RunController::interrupt() {
    if (finished_ || stopped_) return;
    vFinish({static_cast<ErrorCode>(state_->errorCode.load()), EndKind::Interrupted});
}

void RunController::stop() {
    if (stopped_) return;
    stopped_ = true;
    services_->vCloseCpuQueries();
    loop_.stopTimer(executeTimer_);
    probe_->stop();
    vDropWorker();
    // Drops what is still queued (freeing its texts) and releases a worker blocked in a send,
    // so that it sees the request to stop.
    pump_->close();
}

bool RunController::logEnd() {
    if (!bUnattended()) return false;
    bLog(kEndLogLine, "");
    return true;
}

bool RunController::waitThreads(std::chrono::milliseconds bound) { return services_->bWaitThreadsEnded(bound); }

void RunController::vDispatch(WindowMessage& message) {
    if (stopped_) return;
    switch (message.msg) {
        case WM_START_DECISION: vStartDecision(message); break;
        case WM_TEST_FINISHED: vTestFinished(message); break;
        case WM_TEST_PROGRESS: vTestProgress(message); break;
        case WM_TEST_REFUSED:
            vLogAutoError();
            vFinish({static_cast<ErrorCode>(state_->errorCode.load()), EndKind::Refused});
            break;
        case WM_KEEP_ALIVE: vKeepAlive(message); break;
        case WM_CONFIG_LOADED: reporter_.onConfigLoaded(state_->infoUrl, state_->adUrl1); break;
        case WM_ANALYSIS_START: reporter_.onAnalysisStart(); break;
        case WM_GO_REQUEST:
            state_->userGo = true;
            reporter_.onGuestTest();
            break;
        default: break;
    }
}

void RunController::vStartDecision(const WindowMessage& message) {
    RunState& s = *state_;
    const ServerTexts texts{s.agreementText, s.announcementText, s.updateUrl};
    auto waitOn = [&](StartPage page) {
        waitingOn_ = page;
        reporter_.onStartPage(page, texts);
    };
    switch (message.wParam) {
        case 3:
            if ((s.freshStart || !s.noticeAccepted) && !s.autoTestEnabled) {
                waitOn(StartPage::Agreement);
            } else {
                if (s.autoTestEnabled) s.noticeAccepted = true;
                reporter_.onStartPage(StartPage::Testing, texts);
            }
            break;
        case 1: waitOn(StartPage::UpdateRequired); break;
        case 2:
            if (!s.autoTestEnabled) {
                waitOn(StartPage::UpdateOffered);
            } else {
                s.noticeAccepted = true;
                reporter_.onStartPage(StartPage::Testing, texts);
            }
            break;
        case 0: {
            // The run halted before its measurement: the worker is let go; after the echo
            // time-out its go-ahead is given as well.
            vDropWorker();
            const auto code = static_cast<ErrorCode>(s.errorCode.load());
            if (code == ErrEchoTimeout) s.userGo = true;
            vFinish({code, code == ErrEchoTimeout ? EndKind::NoRoundTrip : EndKind::ServerFailed});
            break;
        }
        default: break;
    }
}

void RunController::vTestFinished(const WindowMessage& message) {
    RunState& s = *state_;
    s.freshStart = false;
    const auto outcome = message.wParam;
    if (outcome == 1 || outcome == 2) {
        if (bOutOfRange(s.dlFtpKbps) || bOutOfRange(s.ulFtpKbps)) s.errorCode = ErrImplausibleResult;
        const auto code = static_cast<ErrorCode>(s.errorCode.load());
        if (code == ErrImplausibleResult) {
            vLogAutoError();
            vFinish({code, EndKind::OutOfRange}, szText(message.lText));
        } else if (outcome == 1) {
            vFinish({code, EndKind::Reported}, szText(message.lText));
        } else if (s.autoTestEnabled && code == ErrAutoRunning) {
            const bool written = !worker_ || worker_->resultFileError.empty();
            vFinish({code, written ? EndKind::Recorded : EndKind::NotRecorded});
        } else {
            vFinish({code, EndKind::NotReported});
        }
        return;
    }
    vLogAutoError();
    const auto code = static_cast<ErrorCode>(s.errorCode.load());
    vFinish({code, code == ErrPhaseStart ? EndKind::PhasesNotStarted : EndKind::MeasurementFailed});
}

void RunController::vTestProgress(const WindowMessage& message) {
    Progress progress;
    progress.phase = static_cast<RunPhase>(message.wParam);
    progress.percent = static_cast<int>(message.lParam);
    if (worker_ && progress.phase != RunPhase::Preparation) {
        const bool download = progress.phase == RunPhase::Download;
        const PhaseSeries series = worker_->seriesSnapshot(download);
        int& reported = reportedSeconds_[download ? 1 : 0];
        for (; reported < static_cast<int>(series.size()); ++reported) {
            reporter_.onSecond({progress.phase, reported, series[static_cast<std::size_t>(reported)]});
        }
        if (!series.empty()) {
            progress.ftpKbps = series.back().ftpKbps;
            progress.adapterKbps = series.back().adapterKbps;
        }
    }
    reporter_.onProgress(progress);
}

void RunController::vKeepAlive(const WindowMessage& message) {
    services_->vGetSystemResource(state_->profile);
    services_->vStartKeepAlive(szText(message.wText), szText(message.lText));
}

void RunController::vFinish(RunOutcome outcome, std::string resultUrl) {
    finished_ = true;
    waitingOn_.reset();
    const RunResult result = resultOf(outcome, std::move(resultUrl));
    services_->vRecordRun(result);
    reporter_.onFinished(result);
}

RunResult RunController::resultOf(RunOutcome outcome, std::string resultUrl) const {
    const RunState& s = *state_;
    RunResult r;
    r.outcome = outcome;
    r.startedAt = startedAt_;
    r.automatic = s.autoTestEnabled;
    r.resultsAdUrl = s.adUrl2;
    r.completionCode = !s.completionCode.empty();
    r.roundTripText = s.rttText;
    if (s.rttMax >= 0) r.roundTrip = RoundTrip{s.rttMin, static_cast<double>(s.rttAvg), s.rttMax};
    if (const CWorkThread* w = worker_.get()) {
        // The worker posted the end after its last write; the queue orders the two. A worker
        // that is still running (an interrupted run) is only asked what it has sent.
        r.resultSent = w->resultSent.load();
        if (outcome.kind != EndKind::Interrupted) {
            r.guest = w->guestTest;
            r.downloadConnections = w->dlStarted;
            r.uploadConnections = w->ulStarted;
            if (w->dlMeasured) r.downloadKbps = s.dlFtpKbps;
            if (w->ulMeasured) r.uploadKbps = s.ulFtpKbps;
            r.adapter = {w->dlNicKbps, w->ulNicKbps, w->ulAtDlKbps, w->dlAtUlKbps};
            r.downloadSeries = w->seriesSnapshot(true);
            r.uploadSeries = w->seriesSnapshot(false);
            r.detail = w->resultFileError;
            r.latency = w->latency;
        }
    }
    if (outcome.kind == EndKind::Reported || outcome.kind == EndKind::OutOfRange) {
        r.resultUrl = std::move(resultUrl);
        if (!r.resultUrl.empty()) {
            r.serial = s.resultFlags;
            r.serverTime = s.resultITime;
        }
    }
    return r;
}

}  // namespace kivota
