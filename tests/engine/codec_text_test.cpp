// The encodings of the result upload and the completion-code dialog, against published MD5
// vectors and hand-worked examples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/text_codecs.h"

namespace kivota {
namespace {

TEST(Md5, PublishedVectors) {
    // RFC 1321, appendix A.5.
    EXPECT_EQ(szMD5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(szMD5("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(szMD5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(szMD5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(szMD5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(szMD5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(szMD5("1234567890123456789012345678901234567890123456789012345678901234567890123456789"
                    "0"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, HashesBytesNotTextUpToANul) {
    const std::string withNul("a\0b", 3);
    EXPECT_NE(szMD5(withNul), szMD5("a"));
}

TEST(UnicodeBytes, LittleEndianCodeUnits) {
    std::vector<unsigned char> bytes;
    EXPECT_EQ(iToUnicodeBytes("A", bytes), 2);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{0x41, 0x00}));

    bytes.clear();
    // 測 is U+6E2C; U+1F600 needs the surrogate pair D83D DE00.
    EXPECT_EQ(iToUnicodeBytes("\xE6\xB8\xAC\xF0\x9F\x98\x80", bytes), 6);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{0x2C, 0x6E, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(UnicodeBytes, MalformedInputBecomesReplacementCharacter) {
    std::vector<unsigned char> bytes;
    // A stray continuation byte and a truncated three-byte sequence.
    EXPECT_EQ(iToUnicodeBytes("\x80x\xE6\xB8", bytes), 8);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{0xFD, 0xFF, 'x', 0x00, 0xFD, 0xFF, 0xFD, 0xFF}));
}

TEST(UnicodeBytes, LongTextIsNotCut) {
    const std::string text(5000, 'z');
    std::vector<unsigned char> bytes;
    EXPECT_EQ(iToUnicodeBytes(text, bytes), 10000);
    ASSERT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(bytes[9998], 'z');
    EXPECT_EQ(bytes[9999], 0x00);
}

TEST(Hex, UpperCasePairs) {
    std::string hex = "stale";
    EXPECT_EQ(iToHex({0x00, 0xAB}, hex), 4);
    EXPECT_EQ(hex, "00AB");
    EXPECT_EQ(iToHex({}, hex), 0);
    EXPECT_EQ(hex, "");
}

TEST(PickKey, EveryThirdFromTheFourth) {
    EXPECT_EQ(szPickKey("abcdefghij"), "dgj");
    EXPECT_EQ(szPickKey("abcd"), "d");
    EXPECT_EQ(szPickKey("abc"), "");
}

TEST(XorHex, CyclicKeyLowerCaseOutput) {
    EXPECT_EQ(szXorHex("A", "41"), "00");
    EXPECT_EQ(szXorHex("A", "4142FF"), "0003be");
    // Key "ab" (0x61 0x62) repeats from its first character.
    EXPECT_EQ(szXorHex("ab", "000000"), "616261");
}

TEST(XorHex, LooseDigitRuleAndNoKey) {
    // Lower-case letters count as code - 55 too: 'a' is 42, so "0a" is the byte 42 (0x2A).
    EXPECT_EQ(szXorHex("\x01", "0a"), "2b");
    EXPECT_EQ(szXorHex("", "4142"), "");    // nothing to scramble with
    EXPECT_EQ(szXorHex("A", "414"), "00");  // a lone trailing digit is no byte
}

TEST(AuthCode, AddressLettersLengthAndCookie) {
    // 10.0.0.1 maps to BKAKAKAB, then its length 8, then the cookie value.
    EXPECT_EQ(szAuthCode("10.0.0.1", ""), "b4903f1bd701627c51cf022e0f47db50");  // md5("BKAKAKAB8")
    EXPECT_EQ(szAuthCode("10.0.0.1", "Ab3dE6gH9jK2"), "9ac49d3f6fc2df3fb08d15957e8ee7f0");
    EXPECT_EQ(szAuthCode("198.18.0.1", "Ab3dE6gH9jK2"), "7ae5363f7c86d516cd78beb2bda5e4f9");
}

TEST(Base64, LeadingSpaceAndPadding) {
    EXPECT_EQ(szBase64Decode("YWJj"), " abc");
    EXPECT_EQ(szBase64Decode("YQ=="), " a");
    EXPECT_EQ(szBase64Decode("YWI="), " ab");
    EXPECT_EQ(szBase64Decode("YWJjZA"), " abc");  // incomplete last group ignored
    EXPECT_EQ(szBase64Decode(""), " ");
}

TEST(Base64, PadEndsTheWholeDecoding) {
    EXPECT_EQ(szBase64Decode("YQ==YWJj"), " a");
    // A character outside the alphabet has the value 255: '*' as w gives (255*4 + 0) & 0xFF.
    const std::string out = szBase64Decode("*A==");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(out[1]), (255 * 4) & 0xFF);
}

}  // namespace
}  // namespace kivota
