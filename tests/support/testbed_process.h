#pragma once
// The operator testbed (testbed/kivota_testbed.py) as a child process of a test: a fresh state
// directory, HTTP and FTP servers on free loopback ports, and readers for what the servers
// recorded. The destructor stops the child and removes the state directory; a test that dies
// without it takes the child along (it ends, and removes the directory, when the thread that
// started it ends: start it on the test's own thread).

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kivota::test {

// One line of requests.log.
struct TestbedRequest {
    std::string method;
    std::string path;                   // with the query, as requested
    std::optional<std::string> cookie;  // the Cookie header exactly as received; none when absent
    std::size_t bodyLength = 0;
};

// One stored result upload (results/<n>.txt).
struct TestbedResult {
    bool authOk = false;                                      // auth_code matched the address and the cookie
    bool prefixOk = false;                                    // the text began with Null=<digits>&
    std::string cookie;                                       // the cookie value the server descrambled with
    std::string error;                                        // why the body could not be read; empty when it could
    std::string serial, itime;                                // what the server answered as flags and itime
    std::vector<std::pair<std::string, std::string>> fields;  // query items in order

    bool has(std::string_view key) const;
    // The value of the first item named key; empty when there is none.
    std::string field(std::string_view key) const;
};

// Reads a stored result file (<state>/results/<n>.txt); throws std::runtime_error when absent.
TestbedResult readTestbedResult(const std::string& path);

class TestbedProcess {
public:
    // Throws std::runtime_error when the testbed does not come up within the time limit.
    TestbedProcess();
    ~TestbedProcess();
    TestbedProcess(const TestbedProcess&) = delete;
    TestbedProcess& operator=(const TestbedProcess&) = delete;

    pid_t pid() const { return pid_; }
    int httpPort() const { return httpPort_; }
    int ftpPort() const { return ftpPort_; }
    const std::string& stateDir() const { return stateDir_; }
    std::string ftpRoot() const { return stateDir_ + "/ftproot"; }
    // "http://127.0.0.1:<port><path>"
    std::string url(std::string_view path) const;
    // "127.0.0.1:<ftp port>", as the test parameters name an FTP server.
    std::string ftpServer() const;

    // Replaces the scenario file atomically; the next request sees the whole new text.
    void setScenario(std::string_view text) const;
    std::vector<TestbedRequest> requests() const;
    // Result n (from 1); throws std::runtime_error when it was not stored.
    TestbedResult result(int n) const;
    std::vector<std::string> ftpLog() const;

private:
    void waitUntilReady();
    void stop() noexcept;

    std::string stateDir_;
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    int httpPort_ = 0;
    int ftpPort_ = 0;
};

}  // namespace kivota::test
