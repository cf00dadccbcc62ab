#pragma once
// What a datagram read from the echo prober's ICMP socket says about one of its echoes. The
// bytes come from the network: any host on the path can send them, so every length and offset
// they hold is checked before it is used.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kivota {

// ICMP message types and the header's size.
inline constexpr std::uint8_t kEchoRequest = 8;
inline constexpr std::uint8_t kEchoReply = 0;
inline constexpr std::uint8_t kDestUnreachable = 3;
inline constexpr std::uint8_t kTimeExceeded = 11;
inline constexpr std::size_t kIcmpHeader = 8;

// The 16-bit field in network order at `p`.
inline std::uint16_t read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

struct EchoDatagram {
    std::uint16_t sequence = 0;  // of the echo it completes
    int status = 0;              // kEchoSuccess or the failure (see icmp_echo.h)
    int ttl = 0;                 // the reply's time to live; 0 for a failure
    int dataSize = 0;            // bytes of the reply after its ICMP header; 0 for a failure
};

// The echo status of an ICMP error of `type` and `code` (destination unreachable, time exceeded).
int iEchoStatusOf(std::uint8_t type, std::uint8_t code);

// A raw socket's datagram: an IPv4 header, then the ICMP message. An echo reply with our
// `identifier`, or an error that quotes one of our echo requests; nothing for anything else
// (another program's echoes, a truncated or malformed packet).
std::optional<EchoDatagram> optParseRawDatagram(const std::uint8_t* data, std::size_t size, std::uint16_t identifier);

// A ping socket's datagram: the ICMP message alone (the kernel matched its identifier), with
// the time to live the kernel gave beside it. An echo reply; nothing for anything else.
std::optional<EchoDatagram> optParsePingDatagram(const std::uint8_t* data, std::size_t size, int ttl);

}  // namespace kivota
