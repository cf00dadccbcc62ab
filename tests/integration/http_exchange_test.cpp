// The HTTP exchange against the operator testbed: what goes out on the wire (cookie with its
// growing trailing space, method, body) and how replies come back (pairs, charset, size,
// status), as the testbed saw and sent them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/http_exchange.h"
#include "net/http_thread.h"
#include "net/reply_parser.h"
#include "platform/thread.h"
#include "support/testbed_process.h"

using namespace kivota;

namespace {

class HttpExchangeTest : public ::testing::Test {
protected:
    test::TestbedProcess testbed;

    ReplyLists lists(const std::string& reply) {
        ReplyLists l;
        vParseReply(reply, l);
        return l;
    }

    std::vector<test::TestbedRequest> requestsTo(const std::string& path) {
        std::vector<test::TestbedRequest> out;
        for (const auto& r : testbed.requests()) {
            if (r.path == path) out.push_back(r);
        }
        return out;
    }

    // A request whose reply nobody awaits reaches the server's log a moment after the call
    // returned: wait for it, with a bound.
    std::vector<test::TestbedRequest> awaitRequestsTo(const std::string& path, std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        auto found = requestsTo(path);
        while (found.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            found = requestsTo(path);
        }
        return found;
    }
};

}  // namespace

TEST_F(HttpExchangeTest, ConfigurationCapturesCookieAndLaterRequestsGrowOneSpaceEach) {
    testbed.setScenario("cookie abcdefghij\n");
    std::string cookie, reply;
    ASSERT_TRUE(httpRequest(testbed.url("/kivota/config"), true, true, true, cookie, reply));
    EXPECT_EQ(cookie, "KVSID=abcdefghij");  // the part before "; path=/"
    EXPECT_EQ(szGetValue("ver_server", lists(reply)), "0.93");

    std::string unused;
    ASSERT_TRUE(httpRequest(testbed.url("/kivota/notify1"), true, true, false, cookie, unused));
    ASSERT_TRUE(httpRequest(testbed.url("/kivota/notify2"), true, false, false, cookie, unused));
    EXPECT_EQ(cookie, "KVSID=abcdefghij  ");

    awaitRequestsTo("/kivota/notify2", 1);
    const auto log = testbed.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_FALSE(log[0].cookie.has_value());  // the first request has no cookie yet
    EXPECT_EQ(log[1].cookie, "KVSID=abcdefghij ");
    EXPECT_EQ(log[2].cookie, "KVSID=abcdefghij  ");
    EXPECT_EQ(log[2].path, "/kivota/notify2");  // sent although its reply was not awaited
}

TEST_F(HttpExchangeTest, SetCookieOverFiveHundredElevenBytesIsKeptWhole) {
    const std::string value(700, 'q');
    testbed.setScenario("cookie " + value + "\n");
    std::string cookie, reply;
    ASSERT_TRUE(httpRequest(testbed.url("/kivota/config"), true, true, true, cookie, reply));
    EXPECT_EQ(cookie, "KVSID=" + value);
}

TEST_F(HttpExchangeTest, ValuesKeepEqualsSignsAndAreCutAtSemicolons) {
    testbed.setScenario(
        "config.Info_URL http://{host}/kivota/info?a=1&b=2\n"
        "config.announcement first;second\n");
    std::string cookie, reply;
    ASSERT_TRUE(httpRequest(testbed.url("/kivota/config"), true, true, true, cookie, reply));
    const ReplyLists l = lists(reply);
    EXPECT_EQ(szGetValue("Info_URL", l),
              "http://127.0.0.1:" + std::to_string(testbed.httpPort()) + "/kivota/info?a=1&b=2");
    EXPECT_EQ(szGetValue("announcement", l), "first");
}

TEST_F(HttpExchangeTest, ReplyOverTenThousandBytesIsReadWholeAndOverOneMebibyteRefused) {
    testbed.setScenario("config.pad 50000\n");
    std::string cookie, reply;
    ASSERT_TRUE(httpRequest(testbed.url("/kivota/config"), true, true, true, cookie, reply));
    EXPECT_GT(reply.size(), 50000u);
    const ReplyLists l = lists(reply);
    EXPECT_EQ(szGetValue("pad", l), std::string(50000, 'x'));
    EXPECT_FALSE(szGetValue("agreement", l).empty());

    testbed.setScenario("config.pad 1100000\n");
    std::string untouched = "before";
    std::string cookie2;
    EXPECT_FALSE(httpRequest(testbed.url("/kivota/config"), true, true, true, cookie2, untouched));
    EXPECT_EQ(untouched, "before");
    EXPECT_EQ(cookie2, "");  // a refused reply leaves the cookie alone too
}

TEST_F(HttpExchangeTest, Big5ReplyIsDecodedToTheSameText) {
    std::string cookie, utf8Reply, big5Reply;
    ASSERT_TRUE(httpRequest(testbed.url("/kivota/config"), true, true, false, cookie, utf8Reply));
    testbed.setScenario("charset big5\n");
    ASSERT_TRUE(httpRequest(testbed.url("/kivota/config"), true, true, false, cookie, big5Reply));
    const std::string agreement = szGetValue("agreement", lists(utf8Reply));
    ASSERT_FALSE(agreement.empty());
    EXPECT_EQ(szGetValue("agreement", lists(big5Reply)), agreement);
}

TEST_F(HttpExchangeTest, ErrorStatusIsAFailureWithReplyUntouched) {
    for (const char* status : {"404", "500"}) {
        testbed.setScenario(std::string("testparam.status ") + status + "\n");
        std::string cookie = "KVSID=s", reply = "before";
        EXPECT_FALSE(httpRequest(testbed.url("/kivota/testparam"), true, true, false, cookie, reply)) << status;
        EXPECT_EQ(reply, "before");
    }
    std::string cookie, reply = "before";
    EXPECT_FALSE(httpRequest(testbed.url("/kivota/no-such-page"), true, true, false, cookie, reply));
    EXPECT_EQ(reply, "before");
}

TEST_F(HttpExchangeTest, PostSendsTheFormBodyWithTheCookie) {
    std::string cookie = "KVSID=abcdefghij", reply;
    const std::string body = "code=00ff";
    httpPost(testbed.url("/kivota/result"), body, false, true, false, cookie, 150.1f, reply);
    const auto posts = requestsTo("/kivota/result");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].method, "POST");
    EXPECT_EQ(posts[0].bodyLength, body.size());
    EXPECT_EQ(posts[0].cookie, "KVSID=abcdefghij ");
}

TEST_F(HttpExchangeTest, KeepAliveSendsOnlyWithACookie) {
    const std::string url = testbed.url("/kivota/keepalive");
    CHttpThread::vStart("", url);
    ASSERT_TRUE(ThreadTracker::waitAllEnded(std::chrono::seconds(20)));
    CHttpThread::vStart("KVSID=k", url);
    ASSERT_TRUE(ThreadTracker::waitAllEnded(std::chrono::seconds(20)));
    const auto sent = awaitRequestsTo("/kivota/keepalive", 1);
    ASSERT_EQ(sent.size(), 1u);  // the one without a cookie sent nothing
    EXPECT_EQ(sent[0].method, "GET");
    EXPECT_EQ(sent[0].cookie, "KVSID=k ");
}

TEST_F(HttpExchangeTest, UnreadReplyDoesNotWaitForAStalledServer) {
    // The request must reach the server even though nobody waits for the answer.
    testbed.setScenario("notify1.stall 30\n");
    std::string cookie = "KVSID=n", reply = "before";
    EXPECT_TRUE(httpRequest(testbed.url("/kivota/notify1"), true, false, false, cookie, reply));
    EXPECT_EQ(reply, "before");
    const auto sent = awaitRequestsTo("/kivota/notify1", 1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cookie, "KVSID=n ");
}

// A server that accepts the request and then says nothing is given up after the receive limit
// of silence, not after the sum of all four limits; one that answers within it is read.
TEST_F(HttpExchangeTest, SilentServerFailsAfterTheReceiveLimit) {
    HttpExchange ex;
    ex.url = testbed.url("/kivota/config");
    ex.timeouts = HttpTimeouts{3000, 10000, 2000, 2000};  // all four summed: 17 s
    std::string cookie, reply = "before";

    testbed.setScenario("config.stall 30\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(bHttpExchange(ex, cookie, reply));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 6.0);
    EXPECT_EQ(reply, "before");

    testbed.setScenario("config.stall 1\n");
    ex.timeouts = HttpTimeouts{3000, 10000, 3000, 3000};
    EXPECT_TRUE(bHttpExchange(ex, cookie, reply));
    EXPECT_EQ(szGetValue("ver_server", lists(reply)), "0.93");
}

namespace {

// One exchange with a silent server: what it asks and when its last byte moved.
struct SilenceCase {
    const char* name;
    std::function<bool(const test::TestbedProcess&, std::string& reply)> exchange;
    double lastByteAt;  // seconds after the call, by the scenario (the request goes out at once)
    double limit;       // seconds of silence the exchange allows
    double took = 0;
    bool ok = true;
};

bool bStalledGet(const test::TestbedProcess& testbed, const std::string& path, HttpTimeouts limits,
                 std::string& reply) {
    HttpExchange ex;
    ex.url = testbed.url(path);
    ex.timeouts = limits;
    std::string cookie = "KVSID=abcdefghijklmnopqrstuvwx";
    return bHttpExchange(ex, cookie, reply);
}

bool bStalledResultPost(const test::TestbedProcess& testbed, float rttAvg, std::string& reply) {
    std::string cookie = "KVSID=abcdefghijklmnopqrstuvwx";
    const std::string body = "code=" + std::string(8000, 'a');  // a result body's size
    return httpPost(testbed.url("/kivota/result"), body, false, true, false, cookie, rttAvg, reply);
}

}  // namespace

// A server that reads the request and then goes silent is given up once the silence reaches
// the limit, counted from the last byte that moved (the request's, or the reply's headers),
// within half a second: for a GET and for the result POST, whose body does not delay the clock,
// at both the 10 s and the 15 s limits. The cases run side by side against one testbed.
TEST_F(HttpExchangeTest, SilenceEndsTheExchangeAtTheLimitFromTheLastByte) {
    testbed.setScenario(
        "config.stall 60\n"
        "result.stall 60\n"
        "testparam.stall 2\n"
        "testparam.stall_body 60\n");
    const HttpTimeouts longLimits{3000, 15000, 15000, 15000};
    std::vector<SilenceCase> cases = {
        {"GET, 10 s", [](auto& t, auto& r) { return bStalledGet(t, "/kivota/config", kRequestTimeouts, r); }, 0, 10},
        {"GET, 15 s", [&](auto& t, auto& r) { return bStalledGet(t, "/kivota/config", longLimits, r); }, 0, 15},
        {"POST, 10 s", [](auto& t, auto& r) { return bStalledResultPost(t, 100.0f, r); }, 0, 10},
        {"POST, 15 s", [](auto& t, auto& r) { return bStalledResultPost(t, 200.0f, r); }, 0, 15},
        {"GET, headers at 2 s, 10 s",
         [](auto& t, auto& r) { return bStalledGet(t, "/kivota/testparam", kRequestTimeouts, r); }, 2, 10},
    };
    std::vector<std::thread> threads;
    for (auto& c : cases) {
        threads.emplace_back([&c, this] {
            std::string reply = "before";
            const auto start = std::chrono::steady_clock::now();
            c.ok = c.exchange(testbed, reply);
            c.took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            c.ok = c.ok || reply != "before";
        });
    }
    for (auto& t : threads) t.join();
    for (const auto& c : cases) {
        const double silence = c.took - c.lastByteAt;
        std::printf("stalled %-26s ended %.3f s after the last byte (limit %.0f s)\n", c.name, silence, c.limit);
        EXPECT_FALSE(c.ok) << c.name;
        EXPECT_GE(silence, c.limit - 0.05) << c.name;
        EXPECT_LE(silence, c.limit + 0.5) << c.name;
    }
}
