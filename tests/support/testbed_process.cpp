#include "testbed_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kivota::test {

namespace {

constexpr auto kReadyLimit = std::chrono::seconds(10);
constexpr int kStopLimitMs = 5000;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        out.push_back(line.substr(start, tab - start));
    }
    out.push_back(line.substr(start));
    return out;
}

// Undoes the testbed's log escapes (\\, \t, \r, \n).
std::string unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char c = field[++i];
        out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
    return out;
}

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

bool TestbedResult::has(std::string_view key) const {
    for (const auto& [k, v] : fields) {
        if (k == key) return true;
    }
    return false;
}

std::string TestbedResult::field(std::string_view key) const {
    for (const auto& [k, v] : fields) {
        if (k == key) return v;
    }
    return {};
}

TestbedProcess::TestbedProcess() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kivota-testbed-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error(errnoText("testbed: mkdtemp"));
    stateDir_ = pattern;

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::filesystem::remove_all(stateDir_);
        throw std::runtime_error(errnoText("testbed: pipe"));
    }
    stdoutFd_ = fds[0];

    const std::string script = std::string(KIVOTA_SOURCE_DIR) + "/testbed/kivota_testbed.py";
    // --parent: the testbed ends with this process and removes its state directory, also when
    // the test is killed or crashes (the kernel signals it when the spawning thread ends).
    std::vector<std::string> args = {"/usr/bin/python3", "-E",      "-s",          script,
                                     "--state",          stateDir_, "--http-port", "0",
                                     "--ftp-port",       "0",       "--parent",    std::to_string(getpid())};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);  // dup2 clears CLOEXEC
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        pid_ = -1;
        stop();
        throw std::runtime_error(std::string("testbed: cannot start /usr/bin/python3: ") + std::strerror(rc));
    }
    try {
        waitUntilReady();
    } catch (...) {
        stop();
        throw;
    }
}

TestbedProcess::~TestbedProcess() { stop(); }

void TestbedProcess::waitUntilReady() {
    const auto deadline = std::chrono::steady_clock::now() + kReadyLimit;
    const std::regex ready(R"(READY http=(\d+) ftp=(\d+))");
    std::string output;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            throw std::runtime_error("testbed: no READY line within 10 s (output so far: \"" + output + "\")");
        }
        pollfd p{stdoutFd_, POLLIN, 0};
        const int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw std::runtime_error(errnoText("testbed: poll"));
        if (n == 0) continue;
        char buf[512];
        const ssize_t got = read(stdoutFd_, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            throw std::runtime_error("testbed: " + std::string(KIVOTA_SOURCE_DIR) +
                                     "/testbed/kivota_testbed.py ended before it was ready (see its stderr above)");
        }
        output.append(buf, static_cast<std::size_t>(got));
        std::smatch m;
        const auto eol = output.find('\n');
        if (eol == std::string::npos) continue;
        const std::string first = output.substr(0, eol);
        if (!std::regex_match(first, m, ready)) {
            throw std::runtime_error("testbed: unexpected first line \"" + first + "\"");
        }
        httpPort_ = std::stoi(m[1].str());
        ftpPort_ = std::stoi(m[2].str());
        return;
    }
}

void TestbedProcess::stop() noexcept {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        // A pidfd turns "wait for the child, at most this long" into one poll.
        const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        bool ended = false;
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            int n;
            do {
                n = poll(&p, 1, kStopLimitMs);
            } while (n < 0 && errno == EINTR);
            ended = n > 0;
            close(pidfd);
        }
        if (!ended) kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    if (stdoutFd_ >= 0) {
        close(stdoutFd_);
        stdoutFd_ = -1;
    }
    if (!stateDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(stateDir_, ignored);
    }
}

std::string TestbedProcess::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(httpPort_) + std::string(path);
}

std::string TestbedProcess::ftpServer() const { return "127.0.0.1:" + std::to_string(ftpPort_); }

void TestbedProcess::setScenario(std::string_view text) const {
    const std::string path = stateDir_ + "/scenario";
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) throw std::runtime_error("testbed: cannot write " + temp);
    }
    std::filesystem::rename(temp, path);
}

std::vector<TestbedRequest> TestbedProcess::requests() const {
    std::vector<TestbedRequest> out;
    for (const auto& line : lines(readFile(stateDir_ + "/requests.log"))) {
        const auto f = splitTabs(line);
        if (f.size() != 4) continue;
        TestbedRequest r;
        r.method = f[0];
        r.path = unescape(f[1]);
        if (f[2] != "-") r.cookie = unescape(f[2]);
        r.bodyLength = static_cast<std::size_t>(std::stoull(f[3]));
        out.push_back(std::move(r));
    }
    return out;
}

TestbedResult readTestbedResult(const std::string& path) {
    if (!std::filesystem::exists(path)) throw std::runtime_error("testbed: no stored result " + path);
    TestbedResult r;
    for (const auto& line : lines(readFile(path))) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "auth_ok") {
            r.authOk = rest == "1";
        } else if (key == "prefix_ok") {
            r.prefixOk = rest == "1";
        } else if (key == "cookie") {
            r.cookie = rest;
        } else if (key == "error") {
            r.error = rest;
        } else if (key == "serial") {
            r.serial = rest;
        } else if (key == "itime") {
            r.itime = rest;
        } else if (key == "field") {
            const auto sep = rest.find(' ');
            r.fields.emplace_back(rest.substr(0, sep),
                                  sep == std::string::npos ? std::string() : unescape(rest.substr(sep + 1)));
        }
    }
    return r;
}

TestbedResult TestbedProcess::result(int n) const {
    return readTestbedResult(stateDir_ + "/results/" + std::to_string(n) + ".txt");
}

std::vector<std::string> TestbedProcess::ftpLog() const { return lines(readFile(stateDir_ + "/ftp.log")); }

}  // namespace kivota::test
