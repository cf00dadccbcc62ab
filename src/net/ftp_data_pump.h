#pragma once
// Moves a transfer's data on its data connection in the client's own loop, while libcurl's
// transfer is paused, so that no byte passes through user space: a download's bytes are taken
// off the socket and discarded by the kernel (MSG_TRUNC), an upload's block is spliced from a
// memory file into the socket (sendfile). libcurl keeps the control connection. When the pump
// hands the data connection back (it ended or failed, or the upload has nothing more to send),
// libcurl resumes its transfer, meets the same end itself and finishes the command as usual.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kivota {

class FtpDataPump {
public:
    FtpDataPump() = default;
    ~FtpDataPump();
    FtpDataPump(const FtpDataPump&) = delete;
    FtpDataPump& operator=(const FtpDataPump&) = delete;

    // How a pass over the data connection ended.
    enum class Pass {
        Going,    // more to move: call again
        Ended,    // the connection ended or failed, or the upload is to end: libcurl takes over
        Refused,  // the download's handler took no more: the transfer must be ended
    };

    // Takes over the reading of connected socket `fd`. Each read takes at most `readSize`
    // bytes, and `onReceived` is told of it; it returns false to refuse more.
    bool bStartDownload(int fd, std::size_t readSize, std::function<bool(std::size_t)> onReceived);
    // Takes over the writing of connected socket `fd`: `block` over and over, starting at
    // `offset` within it, one block (or the rest of one) per write, while `goesOn()` holds.
    bool bStartUpload(int fd, const std::string& block, std::size_t offset, std::function<bool()> goesOn);

    // Waits up to `waitMs` for the socket to be ready, then moves what it can without waiting.
    Pass ePass(int waitMs);
    // Leaves the socket (to libcurl, or because it closes).
    void vStop();

    bool bActive() const { return fd_ >= 0; }
    int iSocket() const { return fd_; }
    bool bUpload() const { return upload_; }
    // Bytes moved since the last start.
    std::int64_t iMoved() const { return moved_; }
    void vClearMoved() { moved_ = 0; }

private:
    Pass eReceive();
    Pass eSend();
    bool bHoldBlock(const std::string& block);

    int fd_ = -1;
    bool upload_ = false;
    std::int64_t moved_ = 0;

    // Download: the kernel writes nothing into this buffer; it is only the size of a read,
    // given as real memory so that tools that watch the reads see a valid one.
    std::unique_ptr<char[]> readBuffer_;
    std::size_t readSize_ = 0;
    std::function<bool(std::size_t)> onReceived_;

    // Upload: the block in a memory file, and where the next write starts within it.
    int blockFile_ = -1;
    std::string heldBlock_;
    std::size_t blockOffset_ = 0;
    std::function<bool()> goesOn_;
};

}  // namespace kivota
