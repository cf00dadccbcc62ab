#include "run/test_parameters.h"

#include <algorithm>

#include "run/run_rules.h"

namespace kivota {

namespace {

// The guest test: one connection each way for 10 s against the built-in server.
constexpr const char* kGuestFtpUser = "ftp";
constexpr const char* kGuestFtpPassword = "jxq";
constexpr int kGuestPhaseSec = 10;
constexpr int kGuestTimeoutSec = 30;
constexpr const char* kGuestDownloadPath = "/test_2048m.zip";
constexpr const char* kGuestUploadPath = "/uploads";

constexpr int kAutoTimeoutSec = 30;
// A phase length the settings left unset (0) would measure nothing; such a phase runs as long
// as the guest test's phases do.
int iPhaseSeconds(int configured) { return configured > 0 ? configured : kGuestPhaseSec; }

}  // namespace

std::optional<TestParameters> optServerParameters(const ReplyLists& reply, const PlanInputs& inputs) {
    const auto ul = optStrictInt(szGetValue("ul_duration", reply));
    const auto dl = optStrictInt(szGetValue("dl_duration", reply));
    const auto timeout = optStrictInt(szGetValue("timeout", reply));
    const auto ulSessions = optStrictInt(szGetValue("ul_session", reply));
    const auto dlSessions = optStrictInt(szGetValue("dl_session", reply));
    const std::string userRate = szGetValue("user_rate", reply);
    std::optional<RateParts> rate = RateParts{};
    if (!userRate.empty()) rate = optParseUserRate(userRate);
    if (!ul || !dl || !timeout || !ulSessions || !dlSessions || !rate) return std::nullopt;
    // A phase of no length measures nothing and would later divide by zero.
    if (*ul <= 0 || *dl <= 0) return std::nullopt;

    SessionPlan plan;
    plan.ulSessions = *ulSessions;
    plan.dlSessions = *dlSessions;
    if (rate->applies) vApplyRateRules(rate->downKbps, rate->upKbps, plan);
    // A Session override (or, on a retry, the previous run's connection counts) wins.
    if (inputs.ulSessionsSetting != 0) plan.ulSessions = inputs.ulSessionsSetting;
    if (inputs.dlSessionsSetting != 0) plan.dlSessions = inputs.dlSessionsSetting;
    plan.dlSessions = std::min(plan.dlSessions, kMaxSessions);
    plan.ulSessions = std::min(plan.ulSessions, kMaxSessions);
    if (bLongRoundTrip(inputs.rttMaxMs, inputs.rttMinMs)) plan.ulSessions = 1;

    TestParameters p;
    p.ftpUrl = szGetValue("url", reply);
    p.ftpUid = szGetValue("uid", reply);
    p.ftpPwd = szGetValue("pwd", reply);
    p.dlPath = szGetValue("dl_path", reply);
    p.ulPath = szGetValue("ul_path", reply);
    p.ulDurationSec = *ul;
    p.dlDurationSec = *dl;
    p.timeoutSec = *timeout;
    p.ulSessions = plan.ulSessions;
    p.dlSessions = plan.dlSessions;
    p.userSendBuf = plan.userSendBuf;
    p.userRecvBuf = plan.userRecvBuf;
    return p;
}

TestParameters guestParameters(const std::string& guestFtpServer) {
    TestParameters p;
    p.ftpUrl = guestFtpServer;
    p.ftpUid = kGuestFtpUser;
    p.ftpPwd = kGuestFtpPassword;
    p.ulDurationSec = p.dlDurationSec = kGuestPhaseSec;
    p.timeoutSec = kGuestTimeoutSec;
    p.ulSessions = p.dlSessions = 1;
    p.dlPath = kGuestDownloadPath;
    p.ulPath = kGuestUploadPath;
    return p;
}

TestParameters automaticParameters(const AutomaticSettings& s) {
    TestParameters p;
    p.ftpUrl = s.ftpServer;
    p.ftpUid = s.ftpUser;
    p.ftpPwd = s.ftpPassword;
    p.ulDurationSec = iPhaseSeconds(s.ulSeconds);
    p.dlDurationSec = iPhaseSeconds(s.dlSeconds);
    p.timeoutSec = kAutoTimeoutSec;
    p.ulSessions = s.ulSessions;
    p.dlSessions = s.dlSessions;
    p.dlPath = "/" + s.downloadFile;
    p.ulPath = s.uploadPath;
    return p;
}

}  // namespace kivota
