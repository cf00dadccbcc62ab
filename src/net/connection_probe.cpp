#include "net/connection_probe.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kivota {

namespace {

// Ethernet, IPv4 and TCP with the timestamp option: the headers of every segment.
constexpr std::int64_t kSegmentHeaderBytes = 14 + 20 + 32;
// More than any greeting; a longer line without its end is not a reply line.
constexpr std::size_t kLongestLine = 1024;

}  // namespace

std::unique_ptr<ConnectionProbe> ConnectionProbe::start(IClock& clock, std::uint32_t address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    std::unique_ptr<ConnectionProbe> probe(new ConnectionProbe(clock, fd));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    probe->startedAt_ = clock.now();
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        probe->vConnected();
    } else if (errno != EINPROGRESS) {
        return nullptr;
    }
    return probe;
}

ConnectionProbe::ConnectionProbe(IClock& clock, int fd) : clock_(clock), fd_(fd) {}

ConnectionProbe::~ConnectionProbe() {
    if (fd_ >= 0) ::close(fd_);
}

short ConnectionProbe::events() const { return state_ == State::Connecting ? POLLOUT : POLLIN; }

double ConnectionProbe::dMsSince(IClock::Mark earlier) { return clock_.secondsBetween(clock_.now(), earlier) * 1000.0; }

void ConnectionProbe::onEvents(short revents) {
    if (state_ == State::Done || revents == 0) return;
    if (state_ == State::Connecting) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            vFinish();  // refused or unreachable: no result
            return;
        }
        if ((revents & POLLOUT) == 0) return;
        vConnected();
        // The greeting may already wait.
    }
    vRead();
}

void ConnectionProbe::vConnected() {
    connectedAt_ = clock_.now();
    tcpConnectMs_ = clock_.secondsBetween(connectedAt_, startedAt_) * 1000.0;
    state_ = State::AwaitingReply;
}

void ConnectionProbe::vRead() {
    for (;;) {
        char buffer[512];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        if (n <= 0) {
            vFinish();  // the server closed (or the connection broke)
            return;
        }
        if (state_ != State::AwaitingReply) continue;  // what follows QUIT ("221 ...") is not read
        const IClock::Mark at = clock_.now();
        line_.append(buffer, static_cast<std::size_t>(n));
        const auto end = line_.find('\n');
        if (end == std::string::npos) {
            if (line_.size() > kLongestLine) vFinish();
            continue;
        }
        line_.resize(end > 0 && line_[end - 1] == '\r' ? end - 1 : end);
        result_ = Result{tcpConnectMs_, clock_.secondsBetween(at, connectedAt_) * 1000.0};
        static constexpr char kQuit[] = "QUIT\r\n";
        ::send(fd_, kQuit, sizeof kQuit - 1, MSG_NOSIGNAL);
        ::shutdown(fd_, SHUT_WR);
        closingAt_ = clock_.now();
        state_ = State::Closing;
    }
}

void ConnectionProbe::onTime() {
    if (state_ == State::Connecting || state_ == State::AwaitingReply) {
        if (dMsSince(startedAt_) >= kReplyLimitMs) vFinish();
    } else if (state_ == State::Closing) {
        if (dMsSince(closingAt_) >= kCloseLimitMs) vFinish();
    }
}

void ConnectionProbe::vFinish() {
    if (state_ == State::Done) return;
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
        length >= offsetof(tcp_info, tcpi_bytes_sent) + sizeof info.tcpi_bytes_sent) {
        traffic_.frames = static_cast<std::int64_t>(info.tcpi_segs_out) + info.tcpi_segs_in;
        traffic_.bytes = traffic_.frames * kSegmentHeaderBytes + static_cast<std::int64_t>(info.tcpi_bytes_sent) +
                         static_cast<std::int64_t>(info.tcpi_bytes_received);
    }
    ::close(fd_);
    fd_ = -1;
    state_ = State::Done;
}

}  // namespace kivota
