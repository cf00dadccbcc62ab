#pragma once
// Reading kernel settings from /proc/sys and small text files from /proc and /sys.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivota {

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readTextFile(const std::string& path);
// The whole file, empty when it cannot be read.
std::string readSmallFile(const std::string& path);

// A sysctl by its dotted name ("net.ipv4.tcp_ecn"), without the final line break;
// its fields split on blanks and tabs (for vector-valued settings such as tcp_rmem).
std::optional<std::string> readSysctl(const std::string& name);
std::optional<std::vector<std::string>> readSysctlFields(const std::string& name);
// The first field as an integer; nothing when it is not a decimal integer.
std::optional<std::int64_t> readSysctlInteger(const std::string& name);

std::optional<std::int64_t> parseDecimal(const std::string& text);

// The processor's "model name" from /proc/cpuinfo.
std::optional<std::string> cpuModelName();

}  // namespace kivota
