#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "history/history_formats.h"
#include "history/history_time.h"
#include "history/utf8_text.h"

namespace kivota {

namespace {

struct TableColumn {
    const char* header;
    bool number;  // right-aligned
};

constexpr TableColumn kColumns[] = {
    {"ID", true},          {"TIME", false},     {"PROGRAM", false}, {"MODE", false},   {"OUTCOME", false},
    {"DOWN Mbit/s", true}, {"UP Mbit/s", true}, {"RTT ms", true},   {"IDLE ms", true}, {"DL ms", true},
    {"UL ms", true},       {"DL RPM", true},    {"UL RPM", true},
};
constexpr std::size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

std::string szFixed(const std::optional<double>& value, double scale, int decimals) {
    if (!value || !std::isfinite(*value)) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, *value * scale);
    return text;
}

// "2025-03-01 13:34" of the run's own local time.
std::string szShortLocalTime(const HistoryRun& run) {
    std::string local = szRunLocalTime(run);
    if (local.size() < 16) return run.timeUtc.empty() ? "-" : run.timeUtc;
    local[10] = ' ';
    return local.substr(0, 16);
}

// A text field on one line: control characters (a line end in an error text) become spaces.
std::string szOrDash(const std::string& text) {
    if (text.empty()) return "-";
    std::string line = szValidUtf8(text);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return line;
}

}  // namespace

std::string szHistoryTable(const std::vector<HistoryRun>& runs) {
    if (runs.empty()) return "no runs in the history\n";
    std::vector<std::vector<std::string>> rows;
    rows.emplace_back();
    for (const TableColumn& c : kColumns) rows.back().push_back(c.header);
    for (const HistoryRun& r : runs) {
        const LatencyFigures& l = r.latency;
        rows.push_back({std::to_string(r.id), szShortLocalTime(r), szOrDash(r.program), szOrDash(r.mode),
                        szOrDash(r.outcome), szFixed(r.downloadKbps, 0.001, 2), szFixed(r.uploadKbps, 0.001, 2),
                        szFixed(r.rttAvgMs, 1, 1), szFixed(l.idle.medianMs, 1, 1), szFixed(l.download.medianMs, 1, 1),
                        szFixed(l.upload.medianMs, 1, 1), szFixed(l.downloadResponsiveness.rpm, 1, 0),
                        szFixed(l.uploadResponsiveness.rpm, 1, 0)});
    }
    std::size_t widths[kColumnCount] = {};
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < kColumnCount; ++i) widths[i] = std::max(widths[i], iCodePoints(row[i]));
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < kColumnCount; ++i) {
            const std::string pad(widths[i] - iCodePoints(row[i]), ' ');
            if (i > 0) line += "  ";
            line += kColumns[i].number ? pad + row[i] : row[i] + pad;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        table += line + '\n';
    }
    return table;
}

}  // namespace kivota
