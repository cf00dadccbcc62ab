// Datagrams from the ICMP socket, raw (IP header first) and from a ping socket: whatever any
// host sends, an echo is completed only by a reply or an error that names our identifier, with
// figures taken from inside the datagram.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "net/icmp_echo.h"
#include "net/icmp_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes are our identifier; the rest is the datagram.
    const auto identifier = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    const std::uint8_t* datagram = data + 2;
    const std::size_t length = size - 2;

    if (const auto raw = kivota::optParseRawDatagram(datagram, length, identifier)) {
        const std::size_t ipLength = static_cast<std::size_t>(datagram[0] & 0x0F) * 4;
        FUZZ_CHECK(ipLength >= 20 && length >= ipLength + 8);
        const std::uint8_t* icmp = datagram + ipLength;
        if (raw->status == kivota::kEchoSuccess) {
            FUZZ_CHECK(icmp[0] == 0);
            FUZZ_CHECK((icmp[4] << 8 | icmp[5]) == identifier);
            FUZZ_CHECK(raw->sequence == (icmp[6] << 8 | icmp[7]));
            FUZZ_CHECK(raw->ttl == datagram[8]);
            FUZZ_CHECK(raw->dataSize == static_cast<int>(length - ipLength - 8));
        } else {
            FUZZ_CHECK(icmp[0] == 3 || icmp[0] == 11);
            FUZZ_CHECK(raw->status == kivota::kEchoTtlExpired || raw->status == kivota::kEchoDestNetUnreachable ||
                       raw->status == kivota::kEchoDestHostUnreachable);
            FUZZ_CHECK(raw->ttl == 0 && raw->dataSize == 0);
            const std::size_t innerLength = static_cast<std::size_t>(icmp[8] & 0x0F) * 4;
            FUZZ_CHECK(innerLength >= 20 && length >= ipLength + 8 + innerLength + 8);
            const std::uint8_t* echo = icmp + 8 + innerLength;
            FUZZ_CHECK(echo[0] == 8 && (echo[4] << 8 | echo[5]) == identifier);
            FUZZ_CHECK(raw->sequence == (echo[6] << 8 | echo[7]));
        }
    }

    if (const auto ping = kivota::optParsePingDatagram(datagram, length, 64)) {
        FUZZ_CHECK(length >= 8 && datagram[0] == 0);
        FUZZ_CHECK(ping->status == kivota::kEchoSuccess && ping->ttl == 64);
        FUZZ_CHECK(ping->dataSize == static_cast<int>(length - 8));
        FUZZ_CHECK(ping->sequence == (datagram[6] << 8 | datagram[7]));
    }
    return 0;
}
