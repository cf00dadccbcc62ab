// The control connection's lines after an ABOR, in whatever pieces the network delivers them:
// the answer is seen exactly when one complete line of at most kMaxLine bytes is a final reply
// of 200 or more other than 426, however the bytes are split. The first input byte chooses the
// splits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "net/ftp_reply.h"

namespace {

// The answer, found by splitting the whole text at CR LF.
bool bReferenceAnswer(std::string_view text) {
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) return false;
        const std::string_view line = text.substr(start, end - start);
        start = end + 2;
        if (line.size() > kivota::FtpAbortAnswer::kMaxLine || line.size() < 4 || line[3] != ' ') continue;
        bool digits = true;
        for (std::size_t i = 0; i < 3; ++i) digits = digits && line[i] >= '0' && line[i] <= '9';
        if (!digits) continue;
        const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        FUZZ_CHECK(kivota::iFinalReplyCode(line) == code);
        if (code >= 200 && code != 426) return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = 1 + data[0] % 64;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool expected = bReferenceAnswer(text);

    kivota::FtpAbortAnswer whole;
    FUZZ_CHECK(whole.bFeed(text) == expected);

    kivota::FtpAbortAnswer pieces;
    bool answered = false;
    for (std::size_t at = 0; at < text.size(); at += step) answered = pieces.bFeed(text.substr(at, step));
    FUZZ_CHECK(answered == expected && pieces.bAnswered() == expected);
    return 0;
}
