#include "run/run_rules.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "net/reply_parser.h"

namespace kivota {

std::optional<std::string> optNormaliseVersion(const std::string& serverVersion) {
    const std::size_t first = serverVersion.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const std::size_t last = serverVersion.find_last_not_of(" \t");
    const char* begin = serverVersion.data() + first;
    const char* end = serverVersion.data() + last + 1;
    if (*begin == '+') ++begin;  // from_chars does not take a plus sign
    double value = 0.0;
    const auto parsed = std::from_chars(begin, end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end || !std::isfinite(value)) return std::nullopt;
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

int iVersionDecision(const std::string& appVer, const std::string& verMin, const std::string& verServer) {
    // std::string compares bytes as unsigned values, a prefix first: the ordinal order.
    if (appVer < verMin) return 1;
    if (appVer < verServer) return 2;
    return 3;
}

void vApplyRateRules(int downKbps, int upKbps, SessionPlan& plan) {
    if (upKbps < 128) {
        plan.ulSessions = 1;
        plan.userSendBuf = 4096;
    } else if (upKbps < 640) {
        plan.ulSessions = 1;
        plan.userSendBuf = 8192;
    } else if (upKbps < 5120) {
        plan.userSendBuf = 16384;
    } else if (upKbps < 20480) {
        plan.userSendBuf = 32768;
    } else {
        plan.userSendBuf = 131072;
    }

    if (downKbps < 8192) {
        plan.dlSessions = 1;
        plan.userRecvBuf = 8192;
    } else if (downKbps < 102400) {
        plan.userRecvBuf = 131072;
    } else {
        plan.userRecvBuf = 262144;
    }
}

std::optional<RateParts> optParseUserRate(const std::string& userRate) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = userRate.find(',', start);
        parts.push_back(userRate.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    RateParts rate;
    if (parts.size() != 2) return rate;
    const auto down = optStrictInt(parts[0]);
    const auto up = optStrictInt(parts[1]);
    if (!down || !up) return std::nullopt;
    rate.applies = true;
    rate.downKbps = *down;
    rate.upKbps = *up;
    return rate;
}

}  // namespace kivota
