#include "net/icmp_echo.h"

#include "net/icmp_reply.h"
#include "platform/error_text.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kivota {

namespace {

std::uint16_t checksum(const std::uint8_t* data, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2) sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::int64_t iNanoseconds(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

std::int64_t iWallNowNs() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return iNanoseconds(t);
}

}  // namespace

EchoService::EchoService(std::shared_ptr<IClock> clock, std::function<void(int)> timerControl)
    : clock_(std::move(clock)), timerControl_(std::move(timerControl)) {
    openSocket();
}

EchoService::~EchoService() {
    for (auto* p : active_) p->m_bActive = false;
    if (timerRunning_ && timerControl_) timerControl_(0);
    if (fd_ >= 0) ::close(fd_);
}

void EchoService::openSocket() {
    const int on = 1;
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ >= 0) {
        pingSocket_ = true;
        ::setsockopt(fd_, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    } else {
        const int pingErrno = errno;
        fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd_ < 0) {
            // Said once per process, where an operator looks for it.
            static bool reported = false;
            if (!reported) {
                reported = true;
                std::fprintf(stderr,
                             "kivota: cannot open an ICMP socket: ping socket: %s, raw socket: %s; "
                             "no round trip can be measured\n",
                             szErrnoText(pingErrno).c_str(), szErrnoText(errno).c_str());
            }
            return;
        }
        // Only the replies and errors that can belong to our echoes.
        icmp_filter filter{};
        filter.data = ~((1U << kEchoReply) | (1U << kDestUnreachable) | (1U << kTimeExceeded));
        ::setsockopt(fd_, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        // A raw socket sees every echo reply the host receives: each service of the process
        // takes an id of its own, or two would complete each other's echoes.
        static std::atomic<std::uint16_t> servicesOpened{0};
        identifier_ = static_cast<std::uint16_t>((::getpid() + servicesOpened.fetch_add(1)) & 0xFFFF);
    }
    ::setsockopt(fd_, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    // The kernel stamps each reply as it arrives, so the round trip does not include the time
    // the event loop took to read it.
    ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

void EchoService::add(TICMPSENDECHO2* p) {
    if (!timerRunning_) {
        timerRunning_ = true;
        if (timerControl_) timerControl_(p->m_nInterval);
    }
    active_.push_back(p);
}

void EchoService::remove(TICMPSENDECHO2* p) {
    // Stopping kills the shared timer, whichever prober it was started for.
    if (timerRunning_) {
        timerRunning_ = false;
        if (timerControl_) timerControl_(0);
    }
    active_.remove(p);
    forget(p);
}

void EchoService::forget(TICMPSENDECHO2* p) {
    for (auto& [seq, ctx] : pending_) {
        if (ctx.prober == p) ctx.prober = nullptr;
    }
}

void EchoService::tick() {
    // Only the probers that were active when the tick came send: one started by a completion
    // inside this tick (the owner's next echo) waits a whole interval from that completion.
    const std::vector<TICMPSENDECHO2*> probers(active_.begin(), active_.end());
    // Replies already waiting complete before the tick judges what has expired.
    onReadable();
    expire();
    for (auto* p : probers) {
        if (p->m_bActive && std::find(active_.begin(), active_.end(), p) != active_.end()) sendEcho(p);
    }
}

void EchoService::sendEcho(TICMPSENDECHO2* p) {
    if (fd_ < 0) return;
    std::uint16_t seq = nextSequence_++;
    while (pending_.count(seq) || seq == 0) seq = nextSequence_++;

    const std::size_t size = std::min<std::size_t>(p->m_nRequestSize, p->m_pRequestData.size());
    std::vector<std::uint8_t> packet(kIcmpHeader + size, 0);
    packet[0] = kEchoRequest;
    packet[4] = static_cast<std::uint8_t>(identifier_ >> 8);
    packet[5] = static_cast<std::uint8_t>(identifier_ & 0xFF);
    packet[6] = static_cast<std::uint8_t>(seq >> 8);
    packet[7] = static_cast<std::uint8_t>(seq & 0xFF);
    std::copy_n(p->m_pRequestData.begin(), size, packet.begin() + kIcmpHeader);
    const std::uint16_t sum = checksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum & 0xFF);

    const int ttl = p->m_nTtl;
    ::setsockopt(fd_, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = p->m_nAddress;

    const LocalTime t = clock_->localTime();
    char sendTime[16];
    std::snprintf(sendTime, sizeof sendTime, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    const IClock::Mark sentAt = clock_->now();
    const std::int64_t sentWallNs = iWallNowNs();
    if (::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        return;  // refused at once: this echo ends here
    }
    pending_.emplace(seq, EchoContext{p, p->m_nAddress, p->m_szHost, sendTime, sentAt, sentWallNs});
}

void EchoService::expire() {
    const IClock::Mark now = clock_->now();
    std::vector<std::uint16_t> due;
    for (const auto& [seq, ctx] : pending_) {
        if (clock_->secondsBetween(now, ctx.sentAt) * 1000.0 >= limitMs_) due.push_back(seq);
    }
    for (auto seq : due) complete(seq, kEchoTimedOut, 0, 0);
}

void EchoService::complete(std::uint16_t sequence, int status, int ttl, int dataSize, std::int64_t receivedWallNs) {
    auto it = pending_.find(sequence);
    if (it == pending_.end()) return;
    EchoContext ctx = std::move(it->second);
    pending_.erase(it);
    int rtt = 0;
    double exactMs = 0;
    if (status == kEchoSuccess) {
        // The kernel's stamp where there is one (a wall clock set back in between makes it
        // useless); the nearest whole millisecond.
        double ms = clock_->secondsBetween(clock_->now(), ctx.sentAt) * 1000.0;
        const std::int64_t stamped = receivedWallNs - ctx.sentWallNs;
        if (receivedWallNs != 0 && stamped >= 0 && stamped <= static_cast<std::int64_t>(limitMs_) * 1'000'000) {
            ms = static_cast<double>(stamped) / 1e6;
        }
        exactMs = ms;
        rtt = static_cast<int>(std::lround(ms));
    } else {
        ttl = dataSize = 0;
    }
    // A completion of a stopped or destroyed prober is dropped.
    if (ctx.prober == nullptr || !ctx.prober->m_bActive) return;
    TICMPSENDECHO2& prober = *ctx.prober;
    if (prober.OnEchoExact) {
        prober.OnEchoExact(prober, status, exactMs, ctx.sentAt);
    } else if (prober.OnEcho) {
        prober.OnEcho(prober, ctx.host, ttl, dataSize, rtt, status, ctx.sendTime);
    }
}

void EchoService::onReadable() {
    if (fd_ < 0) return;
    for (;;) {
        std::uint8_t buffer[1600];
        std::uint8_t control[512];
        sockaddr_in from{};
        iovec iov{buffer, sizeof buffer};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;

        bool fromErrorQueue = false;
        ssize_t n = ::recvmsg(fd_, &msg, MSG_DONTWAIT);
        if (n < 0 && pingSocket_) {
            msg.msg_controllen = sizeof control;
            n = ::recvmsg(fd_, &msg, MSG_DONTWAIT | MSG_ERRQUEUE);
            fromErrorQueue = n >= 0;
        }
        if (n < 0) return;

        int ttl = 0;
        std::int64_t receivedNs = 0;
        const sock_extended_err* ee = nullptr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp{};
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                receivedNs = iNanoseconds(stamp);
            } else if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
                std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            } else if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) {
                ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
            }
        }
        const auto size = static_cast<std::size_t>(n);

        if (pingSocket_) {
            // The kernel hands us the ICMP message without the IP header; on the error queue,
            // the echo we sent that caused the error.
            if (fromErrorQueue) {
                if (size >= kIcmpHeader && ee != nullptr && ee->ee_origin == SO_EE_ORIGIN_ICMP) {
                    complete(read16(buffer + 6), iEchoStatusOf(ee->ee_type, ee->ee_code), 0, 0);
                }
            } else if (const auto reply = optParsePingDatagram(buffer, size, ttl)) {
                complete(reply->sequence, reply->status, reply->ttl, reply->dataSize, receivedNs);
            }
            continue;
        }

        // Raw socket: an IP header, then the ICMP message.
        if (const auto echo = optParseRawDatagram(buffer, size, identifier_)) {
            complete(echo->sequence, echo->status, echo->ttl, echo->dataSize,
                     echo->status == kEchoSuccess ? receivedNs : 0);
        }
    }
}

TICMPSENDECHO2::TICMPSENDECHO2(EchoService& service) : service_(service) {
    static const char pattern[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    m_pRequestData.resize(1500);
    for (std::size_t i = 0; i < m_pRequestData.size(); ++i) {
        m_pRequestData[i] = static_cast<std::uint8_t>(pattern[i % 36]);
    }
}

TICMPSENDECHO2::~TICMPSENDECHO2() {
    if (m_bActive) Stop();
    service_.forget(this);
}

void TICMPSENDECHO2::Start() {
    if (m_bActive) return;
    in_addr address{};
    if (::inet_pton(AF_INET, m_szHost.c_str(), &address) != 1) return;  // not a dotted address
    m_nAddress = address.s_addr;
    service_.add(this);
    m_bActive = true;
}

void TICMPSENDECHO2::Stop() {
    if (!m_bActive) return;
    m_bActive = false;
    service_.remove(this);
}

}  // namespace kivota
