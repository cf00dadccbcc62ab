#pragma once
// ICMP echo prober. Each TICMPSENDECHO2 sends one echo request to one IPv4 address per tick of
// a timer shared by all active probers, and reports each completion through OnEcho.
//
// Everything runs on the thread that owns the probers (the window's thread): the owner's event
// loop calls EchoService::tick() when the shared timer fires and EchoService::onReadable() when
// the ICMP socket has data. The service tells the loop when to start and stop the timer.
//
// On Linux an echo goes out on a ping socket (SOCK_DGRAM, IPPROTO_ICMP) where
// net.ipv4.ping_group_range allows it, else on a raw socket. Without either no echo can be sent:
// the service says so once on stderr and the owner's own time limit applies.

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace kivota {

class TICMPSENDECHO2;

// Status codes of a completed echo (the system's echo status values).
constexpr int kEchoSuccess = 0;
constexpr int kEchoDestNetUnreachable = 11002;
constexpr int kEchoDestHostUnreachable = 11003;
constexpr int kEchoTtlExpired = 11013;
constexpr int kEchoTimedOut = 11010;
constexpr int kEchoGeneralFailure = 11050;

constexpr int kEchoLimitMs = 2000;

// Module-wide state of the probers: the socket, the active list, the in-flight echoes.
class EchoService {
public:
    // `timerControl(intervalMs)` starts the shared timer with that period; (0) kills it.
    EchoService(std::shared_ptr<IClock> clock, std::function<void(int intervalMs)> timerControl);
    ~EchoService();
    EchoService(const EchoService&) = delete;
    EchoService& operator=(const EchoService&) = delete;

    // The socket the event loop watches for replies; -1 when no ICMP socket could be opened.
    int fd() const { return fd_; }
    bool usesPingSocket() const { return pingSocket_; }
    // The shared timer fired: completes the echoes whose replies wait and those that expired,
    // then sends one echo per prober that was active when the tick came and still is.
    void tick();
    // The socket is readable: completes the echoes whose replies or errors arrived.
    void onReadable();

    // Completes the echoes that have waited longer than the limit, without sending any: for an
    // owner that drives the service without the shared timer and pauses its sends.
    void expire();
    // The time after which an echo completes as timed out (kEchoLimitMs unless set).
    void setEchoLimitMs(int ms) { limitMs_ = ms; }

    int activeCount() const { return static_cast<int>(active_.size()); }
    int inFlight() const { return static_cast<int>(pending_.size()); }

private:
    friend class TICMPSENDECHO2;
    struct EchoContext {
        TICMPSENDECHO2* prober;  // cleared when the prober stops or goes away
        std::uint32_t address;   // network order
        std::string host;
        std::string sendTime;  // "%02d:%02d:%02d"
        IClock::Mark sentAt;
        std::int64_t sentWallNs;  // CLOCK_REALTIME, the clock of the kernel's receive stamps
    };

    void openSocket();
    void add(TICMPSENDECHO2* p);
    void remove(TICMPSENDECHO2* p);
    void forget(TICMPSENDECHO2* p);  // its echoes in flight complete without a call
    void sendEcho(TICMPSENDECHO2* p);
    // receivedWallNs: the kernel's receive stamp of the reply (CLOCK_REALTIME), 0 when none.
    void complete(std::uint16_t sequence, int status, int ttl, int dataSize, std::int64_t receivedWallNs = 0);

    std::shared_ptr<IClock> clock_;
    std::function<void(int)> timerControl_;
    int fd_ = -1;
    bool pingSocket_ = false;
    bool timerRunning_ = false;
    int limitMs_ = kEchoLimitMs;
    std::uint16_t identifier_ = 0;  // raw sockets only: this service's echo id
    std::uint16_t nextSequence_ = 1;
    std::list<TICMPSENDECHO2*> active_;
    std::map<std::uint16_t, EchoContext> pending_;
};

class TICMPSENDECHO2 {
public:
    // Arguments: sender, host text, reply TTL, reply data size, round trip in whole ms,
    // status (0 success), local send time text. TTL, size and time are 0 on failure.
    using EchoHandler = std::function<void(TICMPSENDECHO2& sender, const std::string& host, int ttl, int dataSize,
                                           int rttMs, int status, const std::string& sendTime)>;
    // The same completion for an owner that needs more than whole milliseconds: the round trip
    // unrounded (0 on failure) and the clock mark taken as the echo left.
    using ExactEchoHandler = std::function<void(TICMPSENDECHO2& sender, int status, double rttMs, IClock::Mark sentAt)>;

    explicit TICMPSENDECHO2(EchoService& service);
    ~TICMPSENDECHO2();
    TICMPSENDECHO2(const TICMPSENDECHO2&) = delete;
    TICMPSENDECHO2& operator=(const TICMPSENDECHO2&) = delete;

    // Starts sending when m_szHost is a dotted IPv4 address; does nothing when already active
    // or when the host is not an address (host names are not resolved).
    void Start();
    void Stop();
    bool active() const { return m_bActive; }

    std::string m_szHost;
    std::uint32_t m_nAddress = 0;  // network order, set by Start
    std::vector<std::uint8_t> m_pRequestData;
    std::uint16_t m_nRequestSize = 32;
    std::uint8_t m_nTtl = 255;
    int m_nInterval = 500;
    EchoHandler OnEcho;
    ExactEchoHandler OnEchoExact;  // when set, called instead of OnEcho

private:
    friend class EchoService;
    EchoService& service_;
    bool m_bActive = false;
};

}  // namespace kivota
