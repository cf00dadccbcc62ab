// The automatic mode's settings file, read from its bytes.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "run/run_rules.h"
#include "run/run_state.h"
#include "run/settings_file.h"

namespace {

// A value is one token: the reader splits lines at blanks, tabs and line ends.
bool isToken(const std::string& value) { return value.find_first_of(" \t\r\n") == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    kivota::RunState rs;
    rs.autoTestMode = true;  // the reading clears it first
    kivota::vReadSettings(rs, in);

    // Phase lengths are either untouched or both positive; connection counts never negative.
    FUZZ_CHECK((rs.autoUlSeconds == 0 && rs.autoDlSeconds == 0) || (rs.autoUlSeconds > 0 && rs.autoDlSeconds > 0));
    FUZZ_CHECK(rs.ulSessionsSetting >= 0 && rs.dlSessionsSetting >= 0);
    // No more connections than the server's parameters may ask for.
    FUZZ_CHECK(rs.ulSessionsSetting <= kivota::kMaxSessions && rs.dlSessionsSetting <= kivota::kMaxSessions);
    FUZZ_CHECK(isToken(rs.autoFtpServer) && isToken(rs.autoFtpUser) && isToken(rs.autoFtpPassword));
    FUZZ_CHECK(isToken(rs.autoUploadPath) && isToken(rs.autoDownloadFile));
    // The mode is on only when the input names it.
    if (rs.autoTestMode)
        FUZZ_CHECK(std::string(reinterpret_cast<const char*>(data), size).find("jMOVA") != std::string::npos);
    return 0;
}
