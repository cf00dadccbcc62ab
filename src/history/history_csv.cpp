#include <charconv>
#include <cmath>

#include "history/history_columns.h"
#include "history/history_formats.h"
#include "history/history_time.h"
#include "history/utf8_text.h"

namespace kivota {

namespace {

std::string szCsvField(const std::string& raw) {
    std::string text = szValidUtf8(raw);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string szValueText(const HistoryValue& value) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    if (const auto* real = std::get_if<double>(&value)) return szShortestNumber(*real);
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return {};
}

}  // namespace

std::string szShortestNumber(double value) {
    if (!std::isfinite(value)) return {};
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

std::string szHistoryCsv(const std::vector<HistoryRun>& runs) {
    const auto& columns = historyColumns();
    std::string csv = "id,time_local";
    for (const HistoryColumn& c : columns) csv += "," + c.name;
    csv += "\r\n";
    for (const HistoryRun& run : runs) {
        csv += std::to_string(run.id) + "," + szCsvField(szRunLocalTime(run));
        for (const HistoryColumn& c : columns) csv += "," + szCsvField(szValueText(c.get(run)));
        csv += "\r\n";
    }
    return csv;
}

}  // namespace kivota
