#include <string>

#include "run/result_line.h"
#include "run/run_log.h"
#include "run/work_thread.h"

namespace kivota {

namespace {

constexpr int kPollMs = 10;
constexpr double kEchoWaitLimitSec = 15.0;

void vPost(CWorkThread& w, unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    w.svc.window->PostMessage(WindowMessage::make(msg, wParam, lParam));
}

}  // namespace

bool CWorkThread::bEchoProbeWait() {
    vPost(*this, WM_TEST_PROGRESS, 2, 0);
    const IClock::Mark start = svc.clock->now();
    for (;;) {
        // The terminate request comes first: the window may also set the flags when it halts.
        if (Terminated()) return false;
        if (echoDone.load()) return true;
        if (svc.clock->secondsBetween(svc.clock->now(), start) > kEchoWaitLimitSec) {
            rs.freshStart = false;
            running = false;
            rs.errorCode = ErrEchoTimeout;
            rs.userGo = false;  // cleared before the message, so the window's answer cannot be lost
            vPost(*this, WM_START_DECISION, 0, 0);
            for (;;) {
                if (Terminated()) return false;
                if (rs.userGo.load()) return true;  // code 11 stays: the run ends without a result
                svc.clock->sleepMs(kPollMs);
            }
        }
        svc.clock->sleepMs(kPollMs);
    }
}

void CWorkThread::vRunAutoTest() {
    vPost(*this, WM_START_DECISION, 3, 0);
    if (!bEchoProbeWait()) {
        vCleanUp();
        return;
    }

    // The settings file names the server and the plan; no server rules apply.
    params = automaticParameters({rs.autoFtpServer, rs.autoFtpUser, rs.autoFtpPassword, rs.autoUploadPath,
                                  rs.autoDownloadFile, rs.autoUlSeconds, rs.autoDlSeconds, rs.ulSessionsSetting,
                                  rs.dlSessionsSetting});

    const std::string startTime = szTimeText(svc.clock->localTime());

    // The upload phase writes "Start upload" to the run log once its connections run, and
    // applies the unattended verdict; a failed phase leaves its own code in place of 14.
    vStartLatency(params);
    const bool measured = bDownloadPhase(params) && bUploadPhase(params, true);
    vEndLatency();
    if (bEndedByTerminate()) return;

    if (measured && rs.errorCode == ErrAutoRunning) {
        svc.window->SendMessage(WindowMessage::make(WM_ANALYSIS_START, 0, 0));
        // Written before the window hears of the end, so the line is on disk when it reacts.
        // The file is the automatic mode's only output: a line that could not be written is
        // part of how the run ended.
        bAppendLog(*svc.clock, szResultFileLine(*this, startTime), kResultFileName, &resultFileError);
        vCleanUp();
        vPost(*this, WM_TEST_FINISHED, 2, 0);
    } else {
        vCleanUp();
        vPost(*this, WM_TEST_FINISHED, 3, 0);
    }
}

}  // namespace kivota
