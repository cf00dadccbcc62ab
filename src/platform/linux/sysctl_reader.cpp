#include "platform/linux/sysctl_reader.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kivota {

std::optional<std::string> readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

std::string readSmallFile(const std::string& path) { return readTextFile(path).value_or(""); }

std::optional<std::string> readSysctl(const std::string& name) {
    std::string path = "/proc/sys/";
    for (char c : name) path += (c == '.') ? '/' : c;
    auto text = readTextFile(path);
    if (!text) return std::nullopt;
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->pop_back();
    return text;
}

std::optional<std::vector<std::string>> readSysctlFields(const std::string& name) {
    auto text = readSysctl(name);
    if (!text) return std::nullopt;
    std::vector<std::string> fields;
    std::istringstream in(*text);
    for (std::string field; in >> field;) fields.push_back(field);
    return fields;
}

std::optional<std::int64_t> parseDecimal(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return std::nullopt;
    return static_cast<std::int64_t>(value);
}

std::optional<std::int64_t> readSysctlInteger(const std::string& name) {
    auto fields = readSysctlFields(name);
    if (!fields || fields->empty()) return std::nullopt;
    return parseDecimal(fields->front());
}

std::optional<std::string> cpuModelName() {
    const auto text = readTextFile("/proc/cpuinfo");
    if (!text) return std::nullopt;
    std::istringstream in(*text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const auto start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return std::nullopt;
}

}  // namespace kivota
