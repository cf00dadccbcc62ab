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

// Fixed parameters of the guest test, run when the server's test parameters cannot be had.
constexpr const char* kGuestFtpUser = "ftp";
constexpr const char* kGuestFtpPassword = "jxq";
constexpr int kGuestPhaseSec = 10;
constexpr int kGuestTimeoutSec = 30;
constexpr const char* kGuestDownloadPath = "/test_2048m.zip";
constexpr const char* kGuestUploadPath = "/uploads";

// The numeric test parameters, all present and well-formed.
struct NumericParameters {
    int ulDurationSec = 0, dlDurationSec = 0, timeoutSec = 0;
    int ulSessions = 0, dlSessions = 0;
    RateParts rate;
};

std::optional<NumericParameters> optReadNumericParameters(const ReplyLists& lists) {
    NumericParameters p;
    const auto ul = optStrictInt(szGetValue("ul_duration", lists));
    const auto dl = optStrictInt(szGetValue("dl_duration", lists));
    const auto timeout = optStrictInt(szGetValue("timeout", lists));
    const auto ulSessions = optStrictInt(szGetValue("ul_session", lists));
    const auto dlSessions = optStrictInt(szGetValue("dl_session", lists));
    const std::string userRate = szGetValue("user_rate", lists);
    std::optional<RateParts> rate = RateParts{};
    if (!userRate.empty()) rate = optParseUserRate(userRate);
    if (!ul || !dl || !timeout || !ulSessions || !dlSessions || !rate) return std::nullopt;
    // A phase of no length measures nothing and would later divide by zero.
    if (*ul <= 0 || *dl <= 0) return std::nullopt;
    p.ulDurationSec = *ul;
    p.dlDurationSec = *dl;
    p.timeoutSec = *timeout;
    p.ulSessions = *ulSessions;
    p.dlSessions = *dlSessions;
    p.rate = *rate;
    return p;
}

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
    rs.ftpUrl = szDecode(w.svc.addresses->guestFtpServer);
    rs.ftpUid = kGuestFtpUser;
    rs.ftpPwd = kGuestFtpPassword;
    rs.ulDurationSec = rs.dlDurationSec = kGuestPhaseSec;
    rs.timeoutSec = kGuestTimeoutSec;
    rs.ulSessions = rs.dlSessions = 1;
    rs.dlPath = kGuestDownloadPath;
    rs.ulPath = kGuestUploadPath;

    if (w.bDownloadPhase()) w.bUploadPhase(false);
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
    rs.ulSessions = rs.dlSessions = 0;
    rs.userSendBuf = rs.userRecvBuf = 0;
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
    ReplyLists params;
    vParseReply(reply, params);
    permitted = szGetValue("test_permission", params) == "T";
    if (!permitted) {
        rs.errorCode = ErrRefused;
        vPost(*this, WM_TEST_REFUSED, 0, 0);
        vCleanUp();
        return;
    }
    const std::optional<NumericParameters> numbers = optReadNumericParameters(params);
    if (!numbers) {
        // A missing or malformed number makes the parameters unusable, as if not fetched.
        vGuestTestAfterFailedFetch(*this);
        return;
    }

    rs.ftpUrl = szGetValue("url", params);
    rs.ftpUid = szGetValue("uid", params);
    rs.ftpPwd = szGetValue("pwd", params);
    rs.ulDurationSec = numbers->ulDurationSec;
    rs.dlDurationSec = numbers->dlDurationSec;
    rs.timeoutSec = numbers->timeoutSec;

    SessionPlan plan;
    plan.ulSessions = numbers->ulSessions;
    plan.dlSessions = numbers->dlSessions;
    userRate = szGetValue("user_rate", params);
    if (numbers->rate.applies) vApplyRateRules(numbers->rate.downKbps, numbers->rate.upKbps, plan);
    // A Session override (or, on a retry, the previous run's connection counts) wins.
    if (rs.ulSessionsSetting != 0) plan.ulSessions = rs.ulSessionsSetting;
    if (rs.dlSessionsSetting != 0) plan.dlSessions = rs.dlSessionsSetting;
    if (plan.dlSessions > kMaxSessions) plan.dlSessions = kMaxSessions;
    if (plan.ulSessions > kMaxSessions) plan.ulSessions = kMaxSessions;

    rs.dlPath = szGetValue("dl_path", params);
    rs.ulPath = szGetValue("ul_path", params);
    reportUrl = szGetValue("report_url", params);
    hotfixQuery = szGetValue("HotFix", params);

    // A long and jittery round trip starves parallel uploads: use one.
    if (rs.rttMax > 30 && rs.rttMin > 20) plan.ulSessions = 1;
    rs.ulSessions = plan.ulSessions;
    rs.dlSessions = plan.dlSessions;
    rs.userSendBuf = plan.userSendBuf;
    rs.userRecvBuf = plan.userRecvBuf;

    if (bEndedByTerminate()) return;
    // Tell the server the measurement is about to begin.
    std::string unused;
    bHttpRequest(szDecode(svc.addresses->notifyUrl1), true, false, false, unused);
    vPause(kNotifySpacingMs);
    bHttpRequest(szDecode(svc.addresses->notifyUrl2), true, false, false, unused);
    vPost(*this, WM_TEST_PROGRESS, 2, 100);
    vPause(kBeforeMeasurementMs);
    if (bEndedByTerminate()) return;

    if (bDownloadPhase()) bUploadPhase(false);
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
