#include "net/ftp_data_pump.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>  // NOLINT(modernize-deprecated-headers): the POSIX functions beside the C ones
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace kivota {

namespace {

// Reads or writes in one pass at most, so that the caller's loop (libcurl's timers, the
// progress callback with its stop checks) runs often on a line that never makes the socket wait.
constexpr int kMovesPerPass = 64;

bool bConnectedStream(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    int type = 0;
    socklen_t typeLength = sizeof type;
    return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
           ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type == SOCK_STREAM;
}

// A write to a connection the peer closed raises SIGPIPE, which would end the program; sendfile
// has no flag against it. The signal is held back on this thread while the pump writes, and
// one raised meanwhile is taken off again: the write's EPIPE says the same.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
        held_ = ::pthread_sigmask(SIG_BLOCK, &pipe_, &before_) == 0;
    }
    ~SigpipeHeld() {
        if (!held_) return;
        if (raised_ && !alreadyPending_) {
            const timespec now{0, 0};
            while (::sigtimedwait(&pipe_, nullptr, &now) == -1 && errno == EINTR) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;
    void vRaised() { raised_ = true; }

private:
    sigset_t pipe_{};
    sigset_t before_{};
    bool alreadyPending_ = false;
    bool held_ = false;
    bool raised_ = false;
};

}  // namespace

FtpDataPump::~FtpDataPump() {
    if (blockFile_ >= 0) ::close(blockFile_);
}

bool FtpDataPump::bStartDownload(int fd, std::size_t readSize, std::function<bool(std::size_t)> onReceived) {
    if (fd < 0 || readSize == 0 || !bConnectedStream(fd)) return false;
    if (readSize_ != readSize || !readBuffer_) {
        readBuffer_.reset(new char[readSize]);  // never written: left uninitialised
        readSize_ = readSize;
    }
    onReceived_ = std::move(onReceived);
    fd_ = fd;
    upload_ = false;
    moved_ = 0;
    return true;
}

bool FtpDataPump::bStartUpload(int fd, const std::string& block, std::size_t offset, std::function<bool()> goesOn) {
    if (fd < 0 || block.empty() || !bConnectedStream(fd) || !bHoldBlock(block)) return false;
    blockOffset_ = offset % block.size();
    goesOn_ = std::move(goesOn);
    fd_ = fd;
    upload_ = true;
    moved_ = 0;
    return true;
}

// The block goes into a memory file once; later uploads of the same block use it again. Its
// pages are only ever read, so the socket may hold references to them.
bool FtpDataPump::bHoldBlock(const std::string& block) {
    if (blockFile_ >= 0 && heldBlock_ == block) return true;
    if (blockFile_ >= 0) ::close(blockFile_);
    heldBlock_.clear();
    blockFile_ = ::memfd_create("kivota-upload-block", MFD_CLOEXEC);
    if (blockFile_ < 0) return false;
    std::size_t written = 0;
    while (written < block.size()) {
        const ssize_t n =
            ::pwrite(blockFile_, block.data() + written, block.size() - written, static_cast<off_t>(written));
        if (n <= 0 && errno != EINTR) {
            ::close(blockFile_);
            blockFile_ = -1;
            return false;
        }
        if (n > 0) written += static_cast<std::size_t>(n);
    }
    heldBlock_ = block;
    return true;
}

void FtpDataPump::vStop() {
    fd_ = -1;
    onReceived_ = nullptr;
    goesOn_ = nullptr;
}

FtpDataPump::Pass FtpDataPump::ePass(int waitMs) {
    if (fd_ < 0) return Pass::Ended;
    if (upload_ && !goesOn_()) return Pass::Ended;
    pollfd p{fd_, static_cast<short>(upload_ ? POLLOUT : POLLIN), 0};
    const int ready = ::poll(&p, 1, waitMs);
    if (ready < 0 && errno != EINTR) return Pass::Ended;
    if (ready <= 0) return Pass::Going;
    return upload_ ? eSend() : eReceive();
}

FtpDataPump::Pass FtpDataPump::eReceive() {
    for (int moves = 0; moves < kMovesPerPass;) {
        const ssize_t n = ::recv(fd_, readBuffer_.get(), readSize_, MSG_TRUNC | MSG_DONTWAIT);
        if (n > 0) {
            ++moves;
            moved_ += n;
            if (!onReceived_(static_cast<std::size_t>(n))) return Pass::Refused;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Pass::Going;
        return Pass::Ended;  // the server closed the connection, or it failed: libcurl sees the same
    }
    return Pass::Going;
}

FtpDataPump::Pass FtpDataPump::eSend() {
    SigpipeHeld held;
    const std::size_t blockSize = heldBlock_.size();
    for (int moves = 0; moves < kMovesPerPass;) {
        if (!goesOn_()) return Pass::Ended;
        off_t at = static_cast<off_t>(blockOffset_);
        const ssize_t n = ::sendfile(fd_, blockFile_, &at, blockSize - blockOffset_);
        if (n > 0) {
            ++moves;
            moved_ += n;
            blockOffset_ = (blockOffset_ + static_cast<std::size_t>(n)) % blockSize;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Pass::Going;
        if (n < 0 && errno == EPIPE) held.vRaised();
        return Pass::Ended;  // libcurl's next write on the connection meets the same failure
    }
    return Pass::Going;
}

}  // namespace kivota
