// Datagrams from the ICMP socket, built byte by byte: replies and errors that belong to our
// echoes complete them; other programs' echoes and cut or malformed packets do not.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "net/icmp_echo.h"
#include "net/icmp_reply.h"

using namespace kivota;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint16_t kOurs = 0x1234;

// An IPv4 header of `ihl` (5 or more) words with time to live `ttl` (the other fields do not
// matter here).
Bytes ipHeader(std::uint8_t ttl, std::uint8_t ihl = 5) {
    Bytes b(static_cast<std::size_t>(ihl) * 4, 0);
    b[0] = static_cast<std::uint8_t>(0x40 | ihl);
    b[8] = ttl;
    b[9] = 1;  // ICMP
    return b;
}

Bytes icmp(std::uint8_t type, std::uint8_t code, std::uint16_t id, std::uint16_t seq, std::size_t payload = 0) {
    Bytes b = {type,
               code,
               0,
               0,
               static_cast<std::uint8_t>(id >> 8),
               static_cast<std::uint8_t>(id),
               static_cast<std::uint8_t>(seq >> 8),
               static_cast<std::uint8_t>(seq)};
    b.resize(8 + payload, '*');
    return b;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::optional<EchoDatagram> raw(const Bytes& b) { return optParseRawDatagram(b.data(), b.size(), kOurs); }

TEST(IcmpReply, RawReplyOfOursGivesSequenceTtlAndDataSize) {
    const auto r = raw(join({ipHeader(57), icmp(0, 0, kOurs, 9, 32)}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->sequence, 9);
    EXPECT_EQ(r->status, kEchoSuccess);
    EXPECT_EQ(r->ttl, 57);
    EXPECT_EQ(r->dataSize, 32);
    // Options in the IP header move the ICMP message.
    const auto withOptions = raw(join({ipHeader(12, 7), icmp(0, 0, kOurs, 10, 4)}));
    ASSERT_TRUE(withOptions);
    EXPECT_EQ(withOptions->sequence, 10);
    EXPECT_EQ(withOptions->dataSize, 4);
}

TEST(IcmpReply, RawErrorsQuotingOurEchoCompleteItAsFailures) {
    const Bytes quoted = join({ipHeader(64), icmp(8, 0, kOurs, 21)});
    const auto net = raw(join({ipHeader(250), icmp(3, 0, 0, 0), quoted}));
    ASSERT_TRUE(net);
    EXPECT_EQ(net->sequence, 21);
    EXPECT_EQ(net->status, kEchoDestNetUnreachable);
    EXPECT_EQ(net->ttl, 0);
    EXPECT_EQ(net->dataSize, 0);
    EXPECT_EQ(raw(join({ipHeader(250), icmp(3, 1, 0, 0), quoted}))->status, kEchoDestHostUnreachable);
    EXPECT_EQ(raw(join({ipHeader(250), icmp(11, 0, 0, 0), quoted}))->status, kEchoTtlExpired);
}

struct Ignored {
    const char* name;
    Bytes packet;
};
class IcmpReplyIgnored : public testing::TestWithParam<Ignored> {};

TEST_P(IcmpReplyIgnored, CompletesNothing) { EXPECT_FALSE(raw(GetParam().packet)); }

const Bytes kQuotedOurs = join({ipHeader(64), icmp(8, 0, kOurs, 21)});

INSTANTIATE_TEST_SUITE_P(
    Packets, IcmpReplyIgnored,
    testing::Values(
        Ignored{"AnotherProgramsReply", join({ipHeader(64), icmp(0, 0, 0x4321, 1)})},
        Ignored{"AnEchoRequest", join({ipHeader(64), icmp(8, 0, kOurs, 1)})},
        Ignored{"ShorterThanAnIpHeader", Bytes(19, 0x45)},
        Ignored{"CutInsideTheIcmpHeader", join({ipHeader(64), Bytes{0, 0, 0x12, 0x34}})},
        Ignored{"HeaderLengthBelowTwentyBytes", join({Bytes{0x42, 0, 0, 0, 0, 0, 0, 0}, icmp(0, 0, kOurs, 1, 16)})},
        Ignored{"HeaderLengthBeyondThePacket", join({Bytes{0x4F}, Bytes(19, 0), icmp(0, 0, kOurs, 1)})},
        Ignored{"ErrorQuotingAnotherProgram",
                join({ipHeader(64), icmp(3, 1, 0, 0), ipHeader(64), icmp(8, 0, 0x4321, 1)})},
        Ignored{"ErrorQuotingAReply", join({ipHeader(64), icmp(3, 1, 0, 0), ipHeader(64), icmp(0, 0, kOurs, 1)})},
        Ignored{"ErrorCutInTheQuotedHeader",
                join({ipHeader(64), icmp(11, 0, 0, 0), Bytes(kQuotedOurs.begin(), kQuotedOurs.begin() + 12)})},
        Ignored{"ErrorCutInTheQuotedEcho",
                join({ipHeader(64), icmp(11, 0, 0, 0), Bytes(kQuotedOurs.begin(), kQuotedOurs.end() - 1)})},
        Ignored{"ErrorQuotingAShortHeader",
                join({ipHeader(64), icmp(3, 0, 0, 0), Bytes{0x41, 0, 0, 0}, icmp(8, 0, kOurs, 1), Bytes(8, 0)})}),
    [](const testing::TestParamInfo<Ignored>& c) { return std::string(c.param.name); });

TEST(IcmpReply, PingSocketReplyTakesTheKernelsTtl) {
    const Bytes reply = icmp(0, 0, 0x9999, 3, 32);  // the kernel chose the identifier
    const auto r = optParsePingDatagram(reply.data(), reply.size(), 61);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->sequence, 3);
    EXPECT_EQ(r->ttl, 61);
    EXPECT_EQ(r->dataSize, 32);
    const Bytes request = icmp(8, 0, 0x9999, 3);
    EXPECT_FALSE(optParsePingDatagram(request.data(), request.size(), 61));
    EXPECT_FALSE(optParsePingDatagram(reply.data(), 7, 61));
}

}  // namespace
