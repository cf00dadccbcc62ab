#include "history/history_path.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/error_text.h"

namespace kivota {

namespace {

std::string szHomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        entry.pw_dir != nullptr) {
        return entry.pw_dir;
    }
    return "/";
}

}  // namespace

std::string szDefaultHistoryPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base = data != nullptr && data[0] == '/' ? std::string(data) : szHomeFolder() + "/.local/share";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/kivota/history.db";
}

std::string szEnsureHistoryFolder(const std::string& folder) {
    // Each component in turn, so that every folder this creates gets 0700.
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) == 0 || errno == EEXIST) continue;
        return "cannot create the folder " + part + ": " + szErrnoText(errno);
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return folder + " is not a folder";
    return {};
}

}  // namespace kivota
