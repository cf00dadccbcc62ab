#include "profile/command_output.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <vector>

extern char** environ;

namespace kivota {

namespace {

// Closes a descriptor once, whatever path leaves the scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

}  // namespace

std::optional<std::string> runCommandOutput(const std::string& commandLine, const std::string& dir,
                                            std::size_t maxBytes) {
    std::vector<std::string> words;
    {
        std::istringstream in(commandLine);
        for (std::string w; in >> w;) words.push_back(w);
    }
    if (words.empty() || dir.empty() || words.front().find('/') != std::string::npos) return std::nullopt;
    const std::string program = dir + "/" + words.front();
    if (::access(program.c_str(), X_OK) != 0) return std::nullopt;

    // Close-on-exec, so that no other child started meanwhile holds the write end open.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    Fd readEnd(ends[0]), writeEnd(ends[1]);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);

    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    pid_t child = -1;
    const int rc = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (rc != 0) return std::nullopt;

    std::string output;
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const std::size_t room = maxBytes > output.size() ? maxBytes - output.size() : 0;
        output.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return output;
}

}  // namespace kivota
