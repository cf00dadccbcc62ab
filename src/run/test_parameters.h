#pragma once
// The parameters of one measurement as one value: the FTP server and account, the files, the
// phase lengths and the connection counts with their socket-buffer overrides. The server's
// test parameters, the guest test and the automatic mode's settings each give one; the phases
// read it and never change it.

#include <optional>
#include <string>

#include "net/reply_parser.h"

namespace kivota {

struct TestParameters {
    std::string ftpUrl, ftpUid, ftpPwd;  // server ("host" or "host:port"), user, password
    std::string dlPath;                  // the download's file, "/name"
    std::string ulPath;                  // the uploads' folder
    int dlDurationSec = 0, ulDurationSec = 0;
    int timeoutSec = 0;
    int dlSessions = 0, ulSessions = 0;    // connections asked for (0: one)
    int userSendBuf = 0, userRecvBuf = 0;  // socket buffers; 0: the phases' own sizes
    bool operator==(const TestParameters&) const = default;
};

// What besides the server's reply decides the plan: a Session override of the settings file
// (or, on a retry, the previous run's counts; 0: none) and the probe rounds' figures.
struct PlanInputs {
    int ulSessionsSetting = 0, dlSessionsSetting = 0;
    int rttMinMs = 1000000, rttMaxMs = -1;
};

// The server's test parameters with the connection-count rules applied; nullopt when a number
// is missing or malformed, or a phase has no length (the parameters are then unusable).
std::optional<TestParameters> optServerParameters(const ReplyLists& reply, const PlanInputs& inputs);

// The fixed parameters of the guest test against `guestFtpServer` (decoded).
TestParameters guestParameters(const std::string& guestFtpServer);

// The automatic mode's parameters from its settings (whose reader caps the connections); no
// server rules apply.
struct AutomaticSettings {
    std::string ftpServer, ftpUser, ftpPassword, uploadPath, downloadFile;
    int ulSeconds = 0, dlSeconds = 0;
    int ulSessions = 0, dlSessions = 0;
};
TestParameters automaticParameters(const AutomaticSettings& settings);

}  // namespace kivota
