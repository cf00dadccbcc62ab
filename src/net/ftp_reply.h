#pragma once
// The server's lines on an FTP control connection, as far as the client reads them itself:
// the answer to ABOR after a download is stopped (libcurl reads every other reply). The bytes
// come from the server, in whatever pieces the network delivers them.

#include <string>
#include <string_view>

namespace kivota {

// The code of a final reply line "ddd text" (three digits and a space), else 0.
int iFinalReplyCode(std::string_view line);

// Collects the control connection's lines after an ABOR and tells when the server has
// answered it: a final reply of 200 or more other than the 426 that ends the transfer.
class FtpAbortAnswer {
public:
    // Lines longer than this are no reply of the server's: they are passed over whole, so
    // that a part of one is never read as a line of its own and memory stays bounded.
    static constexpr std::size_t kMaxLine = 4096;

    // Takes bytes as they arrived; true once the answer was among the lines seen so far.
    bool bFeed(std::string_view bytes);
    bool bAnswered() const { return answered_; }

private:
    std::string line_;  // the line begun, without its end
    bool overlong_ = false;
    bool answered_ = false;
};

}  // namespace kivota
