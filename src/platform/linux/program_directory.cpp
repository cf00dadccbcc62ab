#include "platform/linux/program_directory.h"

#include <filesystem>

namespace kivota {

std::string programDirectory() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path().string();
}

}  // namespace kivota
