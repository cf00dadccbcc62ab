#include "history/history_run.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kivota {

namespace {

std::vector<std::optional<double>> vecSeriesItems(const std::string& series) {
    std::vector<std::optional<double>> items;
    if (series.empty()) return items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = series.find(',', start);
        const std::string item = series.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        const double value = std::strtod(item.c_str(), &end);
        const bool number = !item.empty() && end == item.c_str() + item.size() && std::isfinite(value);
        items.push_back(number ? std::optional<double>(value) : std::nullopt);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return items;
}

}  // namespace

const char* szPhaseName(HistoryPhase phase) { return phase == HistoryPhase::Download ? "download" : "upload"; }

const char* szStageName(LatencyStage stage) {
    switch (stage) {
        case LatencyStage::Idle: return "idle";
        case LatencyStage::Download: return "download";
        case LatencyStage::Upload: return "upload";
    }
    return "idle";
}

void vAppendSeriesSeconds(HistoryRun& run, HistoryPhase phase, const std::string& ftpSeries,
                          const std::string& adapterSeries, const std::string& otherAdapterSeries) {
    const auto ftp = vecSeriesItems(ftpSeries);
    const auto adapter = vecSeriesItems(adapterSeries);
    const auto other = vecSeriesItems(otherAdapterSeries);
    const std::size_t count = std::max({ftp.size(), adapter.size(), other.size()});
    const auto item = [](const std::vector<std::optional<double>>& items, std::size_t i) {
        return i < items.size() ? items[i] : std::nullopt;
    };
    for (std::size_t i = 0; i < count; ++i) {
        run.seconds.push_back({phase, static_cast<int>(i), item(ftp, i), item(adapter, i), item(other, i)});
    }
}

}  // namespace kivota
