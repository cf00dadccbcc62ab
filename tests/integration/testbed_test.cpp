// The testbed fixture against the wire: reply bytes, cookie, scenario, the request and FTP logs.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>

#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "support/testbed_process.h"

namespace kivota::test {
namespace {

struct Reply {
    long status = 0;
    std::string body;
    std::vector<std::string> headers;

    std::string header(const std::string& name) const {
        for (const auto& h : headers) {
            if (h.size() > name.size() && strncasecmp(h.c_str(), name.c_str(), name.size()) == 0 &&
                h[name.size()] == ':') {
                auto value = h.substr(name.size() + 1);
                value.erase(0, value.find_first_not_of(' '));
                value.erase(value.find_last_not_of("\r\n") + 1);
                return value;
            }
        }
        return {};
    }
};

std::size_t appendBody(char* data, std::size_t size, std::size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

std::size_t appendHeader(char* data, std::size_t size, std::size_t n, void* out) {
    static_cast<std::vector<std::string>*>(out)->emplace_back(data, size * n);
    return size * n;
}

// One plain HTTP exchange; extraHeader (for example a Cookie line) is sent verbatim.
Reply fetch(const std::string& url, const std::string& extraHeader = {}, const std::string* postBody = nullptr) {
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_slist* headers = extraHeader.empty() ? nullptr : curl_slist_append(nullptr, extraHeader.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, appendHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    if (postBody != nullptr) curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody->c_str());
    EXPECT_EQ(curl_easy_perform(curl), CURLE_OK) << url;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}

// The reply's name 0x1F value 0x1E pairs, split by the wire bytes.
std::vector<std::pair<std::string, std::string>> pairsOf(const std::string& body) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t pos = 0;
    while (pos < body.size()) {
        const auto us = body.find('\x1f', pos);
        const auto rs = body.find('\x1e', us == std::string::npos ? pos : us);
        if (us == std::string::npos || rs == std::string::npos) {
            ADD_FAILURE() << "unterminated pair in " << body.substr(pos);
            break;
        }
        out.emplace_back(body.substr(pos, us - pos), body.substr(us + 1, rs - us - 1));
        pos = rs + 1;
    }
    return out;
}

std::vector<std::string> namesOf(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::vector<std::string> names;
    for (const auto& p : pairs) names.push_back(p.first);
    return names;
}

std::string valueOf(const std::vector<std::pair<std::string, std::string>>& pairs, const std::string& name) {
    for (const auto& [n, v] : pairs) {
        if (n == name) return v;
    }
    return "<absent>";
}

class TestbedTest : public testing::Test {
protected:
    TestbedProcess testbed;
};

TEST_F(TestbedTest, ConfigReplyHasTheKeysInOrderAndAFreshCookieEachTime) {
    const Reply first = fetch(testbed.url("/kivota/config"));
    const Reply second = fetch(testbed.url("/kivota/config"));
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(first.header("Content-Type"), "text/plain; charset=utf-8");
    const auto pairs = pairsOf(first.body);
    EXPECT_EQ(namesOf(pairs), (std::vector<std::string>{"ver_server", "ver_min", "Update_URL", "Ad_URL1", "Ad_URL2",
                                                        "Ad_End_URL", "Info_URL", "announcement", "agreement"}));
    EXPECT_EQ(valueOf(pairs, "ver_server"), "0.93");
    EXPECT_EQ(valueOf(pairs, "announcement"), "EMPTY");
    EXPECT_EQ(valueOf(pairs, "Info_URL"), testbed.url("/kivota/info"));  // built from the Host header
    EXPECT_NE(valueOf(pairs, "agreement").find("同意"), std::string::npos);

    const std::regex cookie("KVSID=[A-Za-z0-9]{24}; path=/");
    EXPECT_TRUE(std::regex_match(first.header("Set-Cookie"), cookie)) << first.header("Set-Cookie");
    EXPECT_TRUE(std::regex_match(second.header("Set-Cookie"), cookie));
    EXPECT_NE(first.header("Set-Cookie"), second.header("Set-Cookie"));
}

TEST_F(TestbedTest, TestParametersNameTheFixturesFtpServer) {
    const auto pairs = pairsOf(fetch(testbed.url("/kivota/testparam")).body);
    ASSERT_EQ(pairs.size(), 14u);
    EXPECT_EQ(pairs.front(), (std::pair<std::string, std::string>{"test_permission", "T"}));
    EXPECT_EQ(valueOf(pairs, "url"), testbed.ftpServer());
    EXPECT_EQ(valueOf(pairs, "dl_path"), "/test_2048m.zip");
    EXPECT_EQ(pairs.back(), (std::pair<std::string, std::string>{"HotFix", ""}));
}

TEST_F(TestbedTest, ScenarioOverridesOmitsFixesTheCookieAndForcesStatus) {
    testbed.setScenario("# a comment\nconfig.ver_min 0.95\nconfig.omit agreement,Ad_URL2\ncookie Fixed0123\n");
    Reply reply = fetch(testbed.url("/kivota/config"));
    auto pairs = pairsOf(reply.body);
    EXPECT_EQ(valueOf(pairs, "ver_min"), "0.95");
    EXPECT_EQ(valueOf(pairs, "agreement"), "<absent>");
    EXPECT_EQ(valueOf(pairs, "Ad_URL2"), "<absent>");
    EXPECT_EQ(reply.header("Set-Cookie"), "KVSID=Fixed0123; path=/");

    testbed.setScenario("cookie.none 1\ncharset big5\ntestparam.raw test_permission\\x1ft\\x1e\n");
    reply = fetch(testbed.url("/kivota/config"));
    EXPECT_EQ(reply.header("Set-Cookie"), "");
    EXPECT_EQ(reply.header("Content-Type"), "text/plain; charset=big5");
    EXPECT_NE(reply.body.find("\xa6\x50\xb7\x4e"), std::string::npos);  // 同意 in Big5
    EXPECT_EQ(fetch(testbed.url("/kivota/testparam")).body, "test_permission\x1ft\x1e");

    testbed.setScenario("config.status 500\n");
    reply = fetch(testbed.url("/kivota/config"));
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, "");
}

TEST_F(TestbedTest, RequestLogKeepsTheCookieHeaderVerbatim) {
    fetch(testbed.url("/kivota/keepalive"), "Cookie: KVSID=abc  ");
    fetch(testbed.url("/kivota/notify1?x=1"));
    const std::string body = "code=00";
    fetch(testbed.url("/kivota/result"), "Cookie: KVSID=abc ", &body);
    EXPECT_EQ(fetch(testbed.url("/elsewhere")).status, 404);

    const auto log = testbed.requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, "/kivota/keepalive");
    EXPECT_EQ(log[0].cookie, "KVSID=abc  ");
    EXPECT_EQ(log[1].path, "/kivota/notify1?x=1");
    EXPECT_FALSE(log[1].cookie.has_value());
    EXPECT_EQ(log[2].method, "POST");
    EXPECT_EQ(log[2].bodyLength, body.size());

    // A body that cannot be descrambled (cookie too short for a key) is stored as such.
    const TestbedResult stored = testbed.result(1);
    EXPECT_EQ(stored.cookie, "abc");
    EXPECT_FALSE(stored.authOk);
    EXPECT_NE(stored.error, "");
    EXPECT_THROW(testbed.result(2), std::runtime_error);
}

std::size_t discard(char*, std::size_t size, std::size_t n, void*) { return size * n; }

struct Filler {
    std::size_t left;
};

std::size_t fill(char* buffer, std::size_t size, std::size_t n, void* p) {
    auto* f = static_cast<Filler*>(p);
    const std::size_t count = std::min(size * n, f->left);
    std::fill_n(buffer, count, '*');
    f->left -= count;
    return count;
}

CURLcode ftp(const std::string& url, const char* user, Filler* upload) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_USERPWD, user);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    if (upload != nullptr) {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, fill);
        curl_easy_setopt(curl, CURLOPT_READDATA, upload);
    }
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return rc;
}

TEST_F(TestbedTest, FtpServesTheTestFileTakesUploadsAndLogsBoth) {
    const std::string base = "ftp://" + testbed.ftpServer();
    EXPECT_EQ(ftp(base + "/test.zip", "ftp:jxq", nullptr), CURLE_OK);
    Filler upload{300000};
    EXPECT_EQ(ftp(base + "/uploads/20260101120000123.txt", "kivota:kivota-pass", &upload), CURLE_OK);
    Filler refused{10};
    EXPECT_NE(ftp(base + "/outside.txt", "ftp:x", &refused), CURLE_OK);  // only uploads/ is writable
    EXPECT_NE(ftp(base + "/test.zip", "kivota:wrong", nullptr), CURLE_OK);

    EXPECT_EQ(std::filesystem::file_size(testbed.ftpRoot() + "/uploads/20260101120000123.txt"), 300000u);
    EXPECT_EQ(std::filesystem::file_size(testbed.ftpRoot() + "/test_2048m.zip"), 2147483648u);

    const auto log = testbed.ftpLog();
    auto logged = [&](const std::string& text) {
        for (const auto& line : log) {
            if (line.size() > text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0 &&
                line[line.size() - text.size() - 1] == '\t') {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(logged("USER ftp"));
    EXPECT_TRUE(logged("PASS ****"));
    EXPECT_FALSE(logged("PASS jxq"));
    EXPECT_TRUE(logged("END RETR 1048576 completed"));
    EXPECT_TRUE(logged("END STOR 300000 completed"));
}

}  // namespace
}  // namespace kivota::test

namespace kivota::test {

// A test killed with its testbed running leaves neither the testbed nor its state directory.
TEST(TestbedLifetime, EndsWithAKilledTest) {
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t test = ::fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        ::close(fds[0]);
        TestbedProcess testbed;
        const std::string line = std::to_string(testbed.pid()) + " " + testbed.stateDir() + "\n";
        (void)!::write(fds[1], line.data(), line.size());
        ::kill(::getpid(), SIGKILL);  // no destructor runs
    }
    ::close(fds[1]);
    std::string line;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) line.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(test, &status, 0), test);
    EXPECT_TRUE(WIFSIGNALED(status));
    const auto space = line.find(' ');
    ASSERT_NE(space, std::string::npos) << "the child reported nothing: " << line;
    const pid_t testbedPid = std::stoi(line.substr(0, space));
    const std::string stateDir = line.substr(space + 1, line.size() - space - 2);

    // As subreaper this test inherits the orphaned testbed and can wait for its end.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, testbedPid, 0));
    bool gone = pidfd < 0;  // already reaped
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        gone = ::poll(&p, 1, 10000) == 1;
        ::close(pidfd);
        if (gone) ::waitpid(testbedPid, &status, 0);
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_FALSE(std::filesystem::exists(stateDir));
    EXPECT_TRUE(gone) << "testbed " << testbedPid << " or " << stateDir << " outlived the test";
}

}  // namespace kivota::test
