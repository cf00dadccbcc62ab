#include "run/work_thread.h"

#include <algorithm>
#include <optional>

#include "net/http_exchange.h"
#include "net/letter_code.h"
#include "net/reply_parser.h"
#include "run/run_rules.h"

namespace kivota {

namespace {

constexpr int kPollMs = 10;
constexpr double kEchoWaitLimitSec = 15.0;
constexpr int kNotifySpacingMs = 500;
constexpr int kBeforeMeasurementMs = 2000;
constexpr int kBeforeResultMs = 500;

void vPost(CWorkThread& w, unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    w.svc.window->PostMessage(WindowMessage::make(msg, wParam, lParam));
}

void vPostText(CWorkThread& w, unsigned msg, std::intptr_t wParam, const std::string& text) {
    WindowMessage m = WindowMessage::withTexts(msg, nullptr, std::make_unique<TextHolder>(text));
    m.wParam = wParam;
    w.svc.window->PostMessage(std::move(m));
}

// Polls a flag another thread sets; false when the worker was told to terminate, also when the
// flag was set together with the request (the window may do both when it halts the run).
bool bWaitForFlag(CWorkThread& w, const std::atomic<bool>& flag) {
    for (;;) {
        if (w.Terminated()) return false;
        if (flag.load()) return true;
        w.svc.clock->sleepMs(kPollMs);
    }
}

void vFailBeforeMeasurement(CWorkThread& w, ErrorCode code) {
    w.rs.freshStart = false;
    w.running = false;
    w.rs.errorCode = code;
    vPost(w, WM_START_DECISION, 0, 0);
}

// The test parameters could not be had: tell the window, wait for its go-ahead and the
// profile, and measure against the built-in guest server. No result is uploaded.
void vGuestTestAfterFailedFetch(CWorkThread& w) {
    RunState& rs = w.rs;
    rs.userGo = false;
    rs.freshStart = false;
    rs.errorCode = ErrTestParamFetch;
    vPost(w, WM_GO_REQUEST, 0, 0);
    if (!bWaitForFlag(w, rs.userGo) || !bWaitForFlag(w, w.sysInfoReady)) {
        w.vCleanUp();
        return;
    }

    w.guestTest = true;
    w.params = guestParameters(szDecode(w.svc.addresses->guestFtpServer));
    w.vStartLatency(w.params);
    if (w.bDownloadPhase(w.params)) w.bUploadPhase(w.params, false);
    w.vEndLatency();
    if (w.bEndedByTerminate()) return;
    // Still 9: both phases ran and measured; a phase's own code means it did not.
    vPost(w, WM_TEST_FINISHED, rs.errorCode == ErrTestParamFetch ? 2 : 3, 0);
    w.vCleanUp();
}

}  // namespace

CWorkThread::CWorkThread(WorkerServices services) : svc(std::move(services)), rs(*svc.state) {
    phaseStart = keepaliveLast = keepaliveNow = svc.clock->now();
}

CWorkThread::~CWorkThread() = default;

bool CWorkThread::bHttpRequest(const std::string& url, bool isGet, bool readReply, bool takeCookie,
                               std::string& reply) {
    return httpRequest(url, isGet, readReply, takeCookie, m_szCookie, reply, [this] { return Terminated(); });
}

bool CWorkThread::bHttpPost(const std::string& url, const std::string& body, bool isGet, bool readReply,
                            bool takeCookie, std::string& reply) {
    return httpPost(
        url, body, isGet, readReply, takeCookie, m_szCookie, rs.rttAvg, reply, [this] { return Terminated(); },
        [this] { resultSent = true; });
}

void CWorkThread::Execute() {
    // Step 1: a fresh start of the run's results.
    const std::string configUrl = szDecode(svc.addresses->configUrl);
    rs.dlDone = false;
    rs.ulDone = false;
    rs.dlFtpKbps = 0.0;
    rs.ulFtpKbps = 0.0;
    rs.errorCode = ErrNone;
    running = true;

    if (rs.factsPending) {
        vGatherWmiFacts();
        rs.factsPending = false;
    }
    if (rs.autoTestMode) {
        rs.errorCode = ErrAutoRunning;
        vRunAutoTest();
        return;
    }

    // First configuration, capturing the session cookie.
    std::string reply;
    if (!bHttpRequest(configUrl, true, true, true, reply)) {
        vFailBeforeMeasurement(*this, ErrConfigFetch);
        vCleanUp();
        return;
    }
    ReplyLists config;
    vParseReply(reply, config);
    verServer = szGetValue("ver_server", config);
    verMin = szGetValue("ver_min", config);
    rs.updateUrl = szGetValue("Update_URL", config);
    rs.adUrl1 = szGetValue("Ad_URL1", config);
    rs.adUrl2 = szGetValue("Ad_URL2", config);
    rs.adEndUrl = szGetValue("Ad_End_URL", config);
    rs.infoUrl = szGetValue("Info_URL", config);
    announcement = szGetValue("announcement", config);
    agreement = szGetValue("agreement", config);
    vPost(*this, WM_CONFIG_LOADED, 0, 0);

    if (rs.freshStart || !rs.noticeAccepted) {
        rs.announcementText = (announcement == "EMPTY") ? std::string() : announcement;
        const auto minimum = optNormaliseVersion(verMin);
        const auto current = optNormaliseVersion(verServer);
        if (!minimum || !current) {
            // A version that is no number cannot be gated on: the configuration is unusable.
            vFailBeforeMeasurement(*this, ErrConfigFetch);
            vCleanUp();
            return;
        }
        const int decision = iVersionDecision(rs.appVer, *minimum, *current);
        if (decision == 1) {
            vPostText(*this, WM_START_DECISION, 1, rs.updateUrl);
        } else {
            rs.agreementText = agreement;
            vPostText(*this, WM_START_DECISION, decision, decision == 2 ? rs.updateUrl : agreement);
        }
        if (!bWaitForFlag(*this, sysInfoReady)) {
            vCleanUp();
            return;
        }
    } else {
        vPost(*this, WM_START_DECISION, 3, 0);
    }

    // Echo-probe wait: the window reports when its probe rounds are done.
    vPost(*this, WM_TEST_PROGRESS, 2, 0);
    const IClock::Mark echoWaitStart = svc.clock->now();
    for (;;) {
        if (bEndedByTerminate()) return;
        if (echoDone.load()) break;
        if (svc.clock->secondsBetween(svc.clock->now(), echoWaitStart) > kEchoWaitLimitSec) {
            rs.userGo = false;  // cleared before the message, so the window's answer cannot be lost
            vFailBeforeMeasurement(*this, ErrEchoTimeout);
            if (!bWaitForFlag(*this, rs.userGo)) {
                vCleanUp();
                return;
            }
            break;  // the code stays: the run ends after the phases without a result
        }
        svc.clock->sleepMs(kPollMs);
    }

    if (bEndedByTerminate()) return;
    vPost(*this, WM_TEST_PROGRESS, 2, 50);
    {
        std::lock_guard lock(measureLock);
        dlSeries.clear();
        ulSeries.clear();
    }

    // Second configuration: the test parameters.
    if (!bHttpRequest(szDecode(svc.addresses->testParamUrl), true, true, false, reply)) {
        vGuestTestAfterFailedFetch(*this);
        return;
    }
    ReplyLists paramReply;
    vParseReply(reply, paramReply);
    permitted = szGetValue("test_permission", paramReply) == "T";
    if (!permitted) {
        rs.errorCode = ErrRefused;
        vPost(*this, WM_TEST_REFUSED, 0, 0);
        vCleanUp();
        return;
    }
    const std::optional<TestParameters> parameters =
        optServerParameters(paramReply, PlanInputs{rs.ulSessionsSetting, rs.dlSessionsSetting, rs.rttMin, rs.rttMax});
    if (!parameters) {
        // A missing or malformed number makes the parameters unusable, as if not fetched.
        vGuestTestAfterFailedFetch(*this);
        return;
    }
    params = *parameters;
    userRate = szGetValue("user_rate", paramReply);
    reportUrl = szGetValue("report_url", paramReply);
    hotfixQuery = szGetValue("HotFix", paramReply);
    vStartLatency(params);

    if (bEndedByTerminate()) return;
    // Tell the server the measurement is about to begin.
    std::string unused;
    bHttpRequest(szDecode(svc.addresses->notifyUrl1), true, false, false, unused);
    vPause(kNotifySpacingMs);
    bHttpRequest(szDecode(svc.addresses->notifyUrl2), true, false, false, unused);
    vPost(*this, WM_TEST_PROGRESS, 2, 100);
    vPause(kBeforeMeasurementMs);
    if (bEndedByTerminate()) return;

    if (bDownloadPhase(params)) bUploadPhase(params, false);
    vEndLatency();
    // A terminated run ends without a word: its figures are not a measurement.
    if (bEndedByTerminate()) return;
    if (rs.errorCode != ErrNone) {
        vCleanUp();
        vPost(*this, WM_TEST_FINISHED, 3, 0);
        return;
    }
    vPause(kBeforeResultMs);
    vUploadResult();  // posts nothing for a worker told to terminate
}

void CWorkThread::vStartLatency(const TestParameters& p) {
    // The round trip is watched toward the target the probe rounds ended on.
    const std::string& target = rs.probeTarget > 1 ? svc.addresses->probeTarget2 : svc.addresses->probeTarget1;
    latencyMonitor = std::make_unique<LatencyMonitor>(svc.clock, szDecode(target), p.ftpUrl);
    latencyMonitor->start();
    latencyStart = svc.clock->now();
    latencyMonitor->setStage(LatencyStage::Idle);
}

void CWorkThread::vLatencyStage(std::optional<LatencyStage> stage) {
    if (!latencyMonitor) return;
    if (stage == LatencyStage::Download || stage == LatencyStage::Upload) {
        const double at = svc.clock->secondsBetween(svc.clock->now(), latencyStart);
        (stage == LatencyStage::Download ? latency.downloadStartSec : latency.uploadStartSec) = at;
    }
    latencyMonitor->setStage(stage);
}

void CWorkThread::vEndLatency() {
    if (!latencyMonitor) return;
    const LatencyFigures figures = latencyMonitor->stop();
    const auto downloadStart = latency.downloadStartSec, uploadStart = latency.uploadStartSec;
    latency = figures;
    latency.downloadStartSec = downloadStart;
    latency.uploadStartSec = uploadStart;
}

void CWorkThread::vPause(int ms) {
    while (ms > 0 && !Terminated()) {
        const int step = std::min(ms, kPollMs);
        svc.clock->sleepMs(step);
        ms -= step;
    }
}

bool CWorkThread::bEndedByTerminate() {
    if (!Terminated()) return false;
    vCleanUp();
    return true;
}

void CWorkThread::vCleanUp() {
    // Freeing a connection stops its transfer; nothing is reported from here.
    try {
        dlConns.clear();
        if (ulConnsCreated) {
            ulConns.clear();
            ulConnsCreated = false;
        }
    } catch (...) {
    }
}

}  // namespace kivota
