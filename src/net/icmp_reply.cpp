#include "net/icmp_reply.h"

#include "net/icmp_echo.h"

namespace kivota {

namespace {

constexpr std::size_t kMinIpHeader = 20;

// The length of the IPv4 header at `p` (from its IHL field), 0 when it cannot be one.
std::size_t iIpHeaderLength(const std::uint8_t* p) {
    const std::size_t length = static_cast<std::size_t>(p[0] & 0x0F) * 4;
    return length < kMinIpHeader ? 0 : length;
}

}  // namespace

int iEchoStatusOf(std::uint8_t type, std::uint8_t code) {
    if (type == kTimeExceeded) return kEchoTtlExpired;
    if (type == kDestUnreachable) return code == 0 ? kEchoDestNetUnreachable : kEchoDestHostUnreachable;
    return kEchoGeneralFailure;
}

std::optional<EchoDatagram> optParseRawDatagram(const std::uint8_t* data, std::size_t size, std::uint16_t identifier) {
    if (size < kMinIpHeader) return std::nullopt;
    const std::size_t ipLength = iIpHeaderLength(data);
    if (ipLength == 0 || size < ipLength + kIcmpHeader) return std::nullopt;
    const std::uint8_t* icmp = data + ipLength;
    if (icmp[0] == kEchoReply) {
        if (read16(icmp + 4) != identifier) return std::nullopt;
        return EchoDatagram{read16(icmp + 6), kEchoSuccess, data[8], static_cast<int>(size - ipLength - kIcmpHeader)};
    }
    if (icmp[0] != kDestUnreachable && icmp[0] != kTimeExceeded) return std::nullopt;
    // The error quotes the IP header and the first 8 bytes of our echo.
    const std::uint8_t* inner = icmp + kIcmpHeader;
    if (size < ipLength + kIcmpHeader + kMinIpHeader) return std::nullopt;
    const std::size_t innerLength = iIpHeaderLength(inner);
    if (innerLength == 0 || size < ipLength + kIcmpHeader + innerLength + kIcmpHeader) return std::nullopt;
    const std::uint8_t* echo = inner + innerLength;
    if (echo[0] != kEchoRequest || read16(echo + 4) != identifier) return std::nullopt;
    return EchoDatagram{read16(echo + 6), iEchoStatusOf(icmp[0], icmp[1]), 0, 0};
}

std::optional<EchoDatagram> optParsePingDatagram(const std::uint8_t* data, std::size_t size, int ttl) {
    if (size < kIcmpHeader || data[0] != kEchoReply) return std::nullopt;
    return EchoDatagram{read16(data + 6), kEchoSuccess, ttl, static_cast<int>(size - kIcmpHeader)};
}

}  // namespace kivota
