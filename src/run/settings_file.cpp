#include "run/settings_file.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "net/charset.h"
#include "run/run_rules.h"

namespace kivota {

namespace {

std::vector<std::string_view> tokens(std::string_view line) {
    constexpr std::string_view kDelimiters = " \t\r\n";
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while ((pos = line.find_first_not_of(kDelimiters, pos)) != std::string_view::npos) {
        const std::size_t end = line.find_first_of(kDelimiters, pos);
        out.push_back(line.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        if (end == std::string_view::npos) break;
        pos = end;
    }
    return out;
}

std::optional<int> optDecimal(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "u,d" as two decimal integers; nullopt when there is no comma or a part is not a number.
std::optional<std::pair<int, int>> optNumberPair(std::string_view text) {
    const auto comma = text.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    std::string_view second = text.substr(comma + 1);
    second = second.substr(0, second.find(','));  // a third part, if any, is not read
    const auto u = optDecimal(text.substr(0, comma));
    const auto d = optDecimal(second);
    if (!u || !d) return std::nullopt;
    return std::pair{*u, *d};
}

// Applies one key and value; false when the line stops the reading.
bool bApplySetting(RunState& rs, std::string_view key, std::string_view value) {
    if (key == "AutoTest") {
        if (value != "Y" && value != "y") return false;
        rs.autoTestEnabled = true;
    } else if (key == "Testtype") {
        if (value != "jMOVA") return false;
        rs.autoTestMode = true;
    } else if (key == "FtpServer") {
        rs.autoFtpServer = value;
    } else if (key == "FtpUser") {
        rs.autoFtpUser = value;
    } else if (key == "FtpPassword") {
        rs.autoFtpPassword = value;
    } else if (key == "UploadPath") {
        rs.autoUploadPath = value;
    } else if (key == "DownloadFile") {
        rs.autoDownloadFile = value;  // the run puts "/" in front of it
    } else if (key == "TestSec") {
        // A malformed line, or a phase of 0 s or less (nothing to measure, and the phase
        // verdict divides by its length), is ignored: the lengths stay as they were.
        const auto seconds = optNumberPair(value);
        if (seconds && seconds->first > 0 && seconds->second > 0) {
            rs.autoUlSeconds = seconds->first;
            rs.autoDlSeconds = seconds->second;
        }
    } else if (key == "Session") {
        // 0 means "no override"; a malformed line or a negative count is ignored.
        const auto sessions = optNumberPair(value);
        if (sessions && sessions->first >= 0 && sessions->second >= 0) {
            // As many connections as the server may ask for, and no more.
            rs.ulSessionsSetting = std::min(sessions->first, kMaxSessions);
            rs.dlSessionsSetting = std::min(sessions->second, kMaxSessions);
        }
    }
    return true;
}

}  // namespace

void vReadSettingsFile(RunState& rs, const std::string& path) {
    rs.autoTestMode = false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    vReadSettings(rs, in);
}

void vReadSettings(RunState& rs, std::istream& in) {
    rs.autoTestMode = false;
    std::string raw;
    while (std::getline(in, raw)) {
        // A line code page 950 cannot read carries no key the program knows: skip it.
        const auto line = toUtf8(raw, kCharsetCp950);
        if (!line) continue;
        const auto words = tokens(*line);
        if (words.empty() || words.front().front() == '/') continue;  // empty line or comment
        const std::string_view value = words.size() > 1 ? words[1] : std::string_view{};
        if (!bApplySetting(rs, words.front(), value)) return;
    }
}

}  // namespace kivota
