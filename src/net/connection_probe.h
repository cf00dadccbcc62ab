#pragma once
// One probe of a server's responsiveness on a fresh TCP connection: how long the connection
// takes to open, and how long from then until the server's first reply line (an FTP server
// greets every new connection with one). The probe then says QUIT, half-closes and waits for
// the server to close, so that it holds one of the server's connections no longer than needed.
//
// Non-blocking, driven by its owner's poll loop: poll fd() for events(), pass what poll
// returned to onEvents(), and call onTime() now and then so that the limits apply. Everything
// runs on the owner's thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace kivota {

class ConnectionProbe {
public:
    struct Result {
        double tcpConnectMs = 0;
        double firstReplyMs = 0;
    };
    // What the probe put on the wire both ways, as the adapter counts it (Ethernet header
    // included): read from the kernel's counts of the connection as it closes.
    struct Traffic {
        std::int64_t frames = 0;
        std::int64_t bytes = 0;
    };

    // Until the first reply line, and then until the server closes.
    static constexpr int kReplyLimitMs = 3000;
    static constexpr int kCloseLimitMs = 1000;

    // Starts connecting to an IPv4 address (network order) and port; nullptr when no socket
    // could be opened or the connection was refused at once.
    static std::unique_ptr<ConnectionProbe> start(IClock& clock, std::uint32_t address, std::uint16_t port);
    ~ConnectionProbe();
    ConnectionProbe(const ConnectionProbe&) = delete;
    ConnectionProbe& operator=(const ConnectionProbe&) = delete;

    int fd() const { return fd_; }
    // The poll events to wait for (POLLOUT while connecting, POLLIN after).
    short events() const;
    void onEvents(short revents);
    // Ends a probe whose limit passed: one without a reply line gives no result.
    void onTime();

    bool done() const { return state_ == State::Done; }
    // Both times, once the reply line came; nullopt for a probe that failed or ran out of time.
    const std::optional<Result>& result() const { return result_; }
    const std::string& replyLine() const { return line_; }
    IClock::Mark startedAt() const { return startedAt_; }
    // Valid once done().
    const Traffic& traffic() const { return traffic_; }

private:
    enum class State { Connecting, AwaitingReply, Closing, Done };
    ConnectionProbe(IClock& clock, int fd);
    void vConnected();
    void vRead();
    void vFinish();
    double dMsSince(IClock::Mark earlier);

    IClock& clock_;
    int fd_ = -1;
    State state_ = State::Connecting;
    IClock::Mark startedAt_ = 0, connectedAt_ = 0, closingAt_ = 0;
    double tcpConnectMs_ = 0;
    std::string line_;
    std::optional<Result> result_;
    Traffic traffic_;
};

}  // namespace kivota
