#include "history/history_time.h"

#include <cstdio>
#include <ctime>

namespace kivota {

namespace {

std::string szUtcText(std::time_t t) {
    std::tm utc{};
    if (gmtime_r(&t, &utc) == nullptr) return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// "YYYY-MM-DDTHH:MM:SSZ" as seconds since the epoch.
std::optional<std::time_t> optParseUtc(const std::string& text) {
    std::tm tm{};
    char zone = 0;
    int consumed = 0;
    // The field widths bound every number, so none can overflow.
    // NOLINTNEXTLINE(cert-err34-c)
    const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                                   &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &zone, &consumed);
    if (fields != 7 || zone != 'Z' || static_cast<std::size_t>(consumed) != text.size()) {
        return std::nullopt;
    }
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return timegm(&tm);
}

}  // namespace

void vStampRunTime(HistoryRun& run, std::int64_t unixSeconds) {
    const auto t = static_cast<std::time_t>(unixSeconds);
    run.timeUtc = szUtcText(t);
    std::tm local{};
    run.utcOffsetMinutes = localtime_r(&t, &local) != nullptr ? static_cast<int>(local.tm_gmtoff / 60) : 0;
}

std::string szRunLocalTime(const HistoryRun& run) {
    const auto utc = optParseUtc(run.timeUtc);
    if (!utc) return {};
    const std::time_t shifted = *utc + static_cast<std::time_t>(run.utcOffsetMinutes) * 60;
    std::tm local{};
    if (gmtime_r(&shifted, &local) == nullptr) return {};
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const int offset = run.utcOffsetMinutes < 0 ? -run.utcOffsetMinutes : run.utcOffsetMinutes;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", run.utcOffsetMinutes < 0 ? '-' : '+', offset / 60 % 100,
                  offset % 60);
    return std::string(text) + zone;
}

std::optional<std::string> optSinceUtc(const std::string& localText, std::string& error) {
    // 'd' a digit, 'T' the date-time separator (a space or T), any other character itself.
    static constexpr const char* kShapes[] = {"dddd-dd-dd", "dddd-dd-ddTdd:dd", "dddd-dd-ddTdd:dd:dd"};
    bool shaped = false;
    for (const std::string shape : kShapes) {
        if (shape.size() != localText.size()) continue;
        shaped = true;
        for (std::size_t i = 0; i < shape.size() && shaped; ++i) {
            const char c = localText[i];
            shaped = shape[i] == 'd'   ? (c >= '0' && c <= '9')
                     : shape[i] == 'T' ? (c == 'T' || c == ' ')
                                       : c == shape[i];
        }
        if (shaped) break;
    }
    if (!shaped) {
        error = "not a date (YYYY-MM-DD) or date-time (YYYY-MM-DD HH:MM[:SS]): " + localText;
        return std::nullopt;
    }
    const auto field = [&](std::size_t at, std::size_t length) {
        return at + length <= localText.size() ? std::stoi(localText.substr(at, length)) : 0;
    };
    const int year = field(0, 4), month = field(5, 2), day = field(8, 2);
    const int hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::tm asked = tm;
    const std::time_t t = std::mktime(&tm);
    // mktime carries an impossible field into the next one (31 April becomes 1 May); a day or
    // time that changed was not a real one. A local time skipped by a clock change moves by
    // the change and is taken as moved.
    if (t == static_cast<std::time_t>(-1) || tm.tm_year != asked.tm_year || tm.tm_mon != asked.tm_mon ||
        tm.tm_mday != asked.tm_mday || hour > 23 || minute > 59 || second > 59) {
        error = "no such day or time: " + localText;
        return std::nullopt;
    }
    return szUtcText(t);
}

}  // namespace kivota
