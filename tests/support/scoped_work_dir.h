#pragma once
// Runs a test in a fresh working directory (<temp>/<tag>_<pid>) and returns to the previous
// one on every exit, removing the directory.

#include <unistd.h>

#include <filesystem>
#include <string>

namespace kivota::test {

class ScopedWorkDir {
public:
    explicit ScopedWorkDir(const std::string& tag)
        : previous_(std::filesystem::current_path()),
          dir_(std::filesystem::temp_directory_path() / (tag + "_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    ~ScopedWorkDir() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

private:
    std::filesystem::path previous_, dir_;
};

}  // namespace kivota::test
