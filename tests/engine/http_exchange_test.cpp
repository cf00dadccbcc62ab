// The parts of the HTTP exchange that need no server: the time-out choice, the cookie taken
// from Set-Cookie, the reply's charset, and a request that is not waited for.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/charset.h"
#include "net/http_exchange.h"
#include "support/refused_port.h"

using namespace kivota;

namespace {}  // namespace

TEST(HttpTimeouts, PostWaitsLongerOnlyAboveOneHundredFiftyMilliseconds) {
    EXPECT_EQ(postTimeouts(150.0f), (HttpTimeouts{3000, 10000, 10000, 10000}));
    EXPECT_EQ(postTimeouts(150.1f), (HttpTimeouts{3000, 15000, 15000, 15000}));
    EXPECT_EQ(postTimeouts(-1.0f), (HttpTimeouts{3000, 10000, 10000, 10000}));
}

TEST(HttpTimeouts, ResolveAndConnectBoundTheConnectPhaseAllFourTheExchange) {
    EXPECT_EQ(connectLimitMs(kRequestTimeouts), 13000);
    EXPECT_EQ(exchangeLimitMs(kRequestTimeouts), 33000);
    EXPECT_EQ(connectLimitMs(kKeepAliveTimeouts), 13000);
    EXPECT_EQ(exchangeLimitMs(kKeepAliveTimeouts), 19000);
    EXPECT_EQ(exchangeLimitMs(postTimeouts(200.0f)), 48000);
    // Silence: the send limit while the request goes out, the receive limit after it.
    EXPECT_EQ(silenceLimitMs(HttpTimeouts{3000, 10000, 1500, 200}, false), 1500);
    EXPECT_EQ(silenceLimitMs(HttpTimeouts{3000, 10000, 1500, 200}, true), 200);
    EXPECT_EQ(silenceLimitMs(kKeepAliveTimeouts, true), 3000);
}

TEST(SetCookie, FirstTokenBeforeSemicolonVerbatim) {
    EXPECT_EQ(szCookieFromSetCookie("KVSID=abc; path=/"), "KVSID=abc");
    EXPECT_EQ(szCookieFromSetCookie("KVSID=abc"), "KVSID=abc");
    EXPECT_EQ(szCookieFromSetCookie(";;KVSID=abc;x"), "KVSID=abc");
    EXPECT_EQ(szCookieFromSetCookie(";;"), "");
    const std::string longValue = "KVSID=" + std::string(600, 'z');  // never cut at 511 bytes
    EXPECT_EQ(szCookieFromSetCookie(longValue + "; path=/"), longValue);
}

TEST(Charset, ContentTypeParameter) {
    EXPECT_EQ(charsetOfContentType("text/plain; charset=big5"), "big5");
    EXPECT_EQ(charsetOfContentType("text/plain;charset=\"UTF-8\""), "UTF-8");
    EXPECT_EQ(charsetOfContentType("text/html; Charset=CP950; q=1"), "CP950");
    EXPECT_EQ(charsetOfContentType("text/plain"), "");
    EXPECT_EQ(charsetOfContentType("text/plain; xcharset=big5"), "");
}

TEST(Charset, DecodesBig5AndCp950AndRefusesInvalidBytes) {
    const std::string big5 = "\xb4\xfa\xb3\x74";          // 測速 in Big5 / CP950
    const std::string utf8 = "\xe6\xb8\xac\xe9\x80\x9f";  // 測速 in UTF-8
    EXPECT_EQ(toUtf8(big5, "big5"), utf8);
    EXPECT_EQ(toUtf8(big5, kCharsetCp950), utf8);
    EXPECT_EQ(fromUtf8(utf8, kCharsetCp950), big5);
    EXPECT_EQ(toUtf8("", kCharsetCp950), "");
    EXPECT_FALSE(toUtf8("\xff\xfe\xc3", kCharsetUtf8).has_value());
    // iconv itself lets a code point beyond U+10FFFF through; the conversion does not.
    EXPECT_FALSE(toUtf8("ok\xf6\x9e\x86\x92", kCharsetUtf8).has_value());
    EXPECT_FALSE(toUtf8("\xf4\x90\x80\x80", "utf-8").has_value());
    EXPECT_FALSE(toUtf8("abc", "no-such-charset").has_value());
    const std::string large(100000, 'x');  // longer than one conversion chunk
    EXPECT_EQ(toUtf8(large, "big5"), large);
}

TEST(HttpRequest, UnreadReplyCountsAsSentEvenWhenRefused) {
    const std::string url = "http://127.0.0.1:" + std::to_string(test::refusedPort()) + "/kivota/notify1";
    std::string cookie = "KVSID=x";
    std::string reply = "untouched";
    EXPECT_TRUE(httpRequest(url, true, false, false, cookie, reply));
    EXPECT_EQ(reply, "untouched");
    EXPECT_EQ(cookie, "KVSID=x ");  // the request was opened, so the cookie grew its space

    EXPECT_FALSE(httpRequest(url, true, true, false, cookie, reply));
    EXPECT_EQ(reply, "untouched");
}

TEST(HttpRequest, UnopenableUrlFailsWithoutTouchingTheCookie) {
    std::string cookie = "KVSID=x";
    std::string reply;
    EXPECT_FALSE(httpRequest("not a url", true, false, false, cookie, reply));
    EXPECT_FALSE(httpRequest("ftp://127.0.0.1/x", true, true, false, cookie, reply));
    EXPECT_EQ(cookie, "KVSID=x");
}
