#pragma once
// The one record through which the window, the worker and the transfer callbacks share what a
// run has learned and decided. There is one instance per process, owned by shared_ptr: the
// window creates it, and every thread that touches it holds a reference, so it outlives them all.
//
// No lock guards it: each field has one writer at a time by the order of the run. Flags and
// codes that one thread sets while another polls them are atomics; the resource samples, added
// by the window while the worker may read them, keep their own lock. Texts are UTF-8 internally.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "profile/machine_profile.h"

namespace kivota {

// Run error codes (errorCode).
enum ErrorCode : std::int8_t {
    ErrNone = 0,
    ErrUploadTooShort = 1,       // upload measured too little
    ErrDownloadTooShort = 2,     // download measured under 30 % of the phase
    ErrImplausibleResult = 4,    // a final speed out of range (set by the window)
    ErrResultUpload = 5,         // result upload failed or no result_url
    ErrConfigFetch = 6,          // first configuration fetch failed
    ErrPhaseStart = 7,           // the connections of a phase failed to start twice
    ErrNoAdapter = 8,            // no connected network adapter (set by the window)
    ErrTestParamFetch = 9,       // second configuration fetch failed; guest test follows
    ErrRefused = 10,             // test_permission not "T"
    ErrEchoTimeout = 11,         // echo probe not finished within 15 s
    ErrUploadNoneLargeMtu = 12,  // no upload measurement, PPPoE with MTU above 1460
    ErrUploadNoneOther = 13,     // no upload measurement, not PPPoE
    ErrAutoRunning = 14,         // automatic run in progress
};

struct RunState {
    // Echo probe (window thread)
    int probeTarget = 0;
    int echoCount = 0;
    int echoLost = 0;
    int rttMax = -1;
    int rttMin = 1000000;
    int rttSum = 0;

    // Run flags
    std::atomic<bool> freshStart{false};
    std::atomic<bool> factsPending{false};
    std::atomic<bool> userGo{false};
    std::atomic<bool> noticeAccepted{false};
    std::atomic<bool> autoTestEnabled{false};
    std::atomic<bool> dlDone{false};
    std::atomic<bool> ulDone{false};

    // Texts fetched or composed for the run
    std::string appVer;
    std::string announcementText;
    std::string adUrl1, adUrl2, adEndUrl;
    std::string infoUrl;
    std::string updateUrl;
    std::string resultFlags, resultITime;

    // Echo average and its text ("min,avg,max"), and user input
    float rttAvg = -1.0f;
    std::string rttText;
    std::string completionCode;

    // What the profile steps learned of the machine
    MachineProfile profile;

    // Results and status
    double dlFtpKbps = 0.0;
    double ulFtpKbps = 0.0;
    std::string agreementText;
    std::atomic<std::int8_t> errorCode{ErrNone};

    // Automatic-mode settings
    std::string autoFtpServer;
    std::string autoFtpUser;
    std::string autoFtpPassword;
    std::string autoUploadPath;
    std::string autoDownloadFile;
    int ulSessionsSetting = 0;  // Session override, then the number of upload objects created
    int dlSessionsSetting = 0;
    int autoUlSeconds = 0;
    int autoDlSeconds = 0;
    std::atomic<bool> autoTestMode{false};

    // The measured FTP rates in bit/s
    double dlFtpBps = 0.0, ulFtpBps = 0.0;
};

}  // namespace kivota
