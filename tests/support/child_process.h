#pragma once
// A program of the build run as a child process: its standard output and error captured in
// files, its standard input /dev/null, a signal sent while it runs, its exit status.

#include <sys/types.h>

#include <string>
#include <vector>

namespace kivota::test {

class ChildProcess {
public:
    // Starts `argv[0]` with the arguments; throws std::runtime_error when it cannot start.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();  // a child still running is killed and reaped
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void signal(int sig) const;
    // Waits for the end; the exit status, or 128 + the signal that ended it.
    int wait();
    // What it wrote so far.
    std::string out() const;
    std::string err() const;

private:
    pid_t pid_ = -1;
    std::string outPath_, errPath_;
    int status_ = -1;
};

}  // namespace kivota::test
