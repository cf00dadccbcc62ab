#include "history/history_run.h"

namespace kivota {

const char* szPhaseName(HistoryPhase phase) { return phase == HistoryPhase::Download ? "download" : "upload"; }

const char* szStageName(LatencyStage stage) {
    switch (stage) {
        case LatencyStage::Idle: return "idle";
        case LatencyStage::Download: return "download";
        case LatencyStage::Upload: return "upload";
    }
    return "idle";
}

void vAppendSeries(HistoryRun& run, HistoryPhase phase, const PhaseSeries& series) {
    const auto rate = [](const std::optional<std::int64_t>& kbps) {
        return kbps ? std::optional<double>(static_cast<double>(*kbps)) : std::nullopt;
    };
    for (std::size_t i = 0; i < series.size(); ++i) {
        const SecondFigures& s = series[i];
        run.seconds.push_back({phase, static_cast<int>(i), rate(s.ftpKbps), rate(s.adapterKbps), rate(s.otherKbps)});
    }
}

}  // namespace kivota
