#include "net/ftp_reply.h"

namespace kivota {

int iFinalReplyCode(std::string_view line) {
    if (line.size() < 4 || line[3] != ' ') return 0;
    int code = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

bool FtpAbortAnswer::bFeed(std::string_view bytes) {
    for (char c : bytes) {
        // A line ends at CR LF; a CR alone is part of the line.
        if (c == '\n' && !line_.empty() && line_.back() == '\r') {
            line_.pop_back();
            const int code = overlong_ ? 0 : iFinalReplyCode(line_);
            if (code >= 200 && code != 426) answered_ = true;
            line_.clear();
            overlong_ = false;
            continue;
        }
        if (overlong_) {
            line_.assign(1, c);  // only whether the line ends is of interest now
            continue;
        }
        line_.push_back(c);
        if (line_.size() > kMaxLine + 1) {  // + 1: room for the CR of a line of kMaxLine
            overlong_ = true;
            line_.assign(1, c);
        }
    }
    return answered_;
}

}  // namespace kivota
