#pragma once
// One finished run as the local history keeps it: when and how it ran, how it ended, what it
// measured, and its per-second series and latency samples. A figure that was not measured is
// empty (stored as NULL), never a zero.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "run/latency_figures.h"
#include "run/phase_series.h"

namespace kivota {

enum class HistoryPhase { Download, Upload };

// One second of a transfer phase. Any item may be missing: the second was not accepted for
// that series, or the series was not taken.
struct HistorySecond {
    HistoryPhase phase = HistoryPhase::Download;
    int index = 0;                           // 0 for the phase's first second
    std::optional<double> ftpKbps;           // FTP payload rate of the phase's direction
    std::optional<double> adapterKbps;       // the adapter's rate in the phase's direction
    std::optional<double> otherAdapterKbps;  // the adapter's rate in the other direction
};

struct HistoryRun {
    std::int64_t id = 0;  // given by the store; ignored by record()

    // When the run began: UTC as "YYYY-MM-DDTHH:MM:SSZ", and the local zone's offset from UTC
    // at that moment (minutes east of Greenwich), so the local time of the run can be shown
    // as it was. vStampRunTime() (history_time.h) fills both.
    std::string timeUtc;
    int utcOffsetMinutes = 0;

    std::string program;  // "kivota" or "kivota-cli"
    std::string mode;     // "interactive", "guest", "automatic"
    // How the run ended, as a short kind name ("reported", "not-reported",
    // "measurement-failed", "out-of-range", "server-failed", "refused", "interrupted", ...).
    std::string outcome;
    int errorCode = 0;
    std::string errorText;  // what the error means, as the run described it; may be empty

    // FTP payload rates, kbit/s.
    std::optional<double> downloadKbps, uploadKbps;
    // The adapter's rates, kbit/s: each phase's own direction, and the other direction during it.
    std::optional<double> adapterDownloadKbps, adapterUploadKbps, adapterUploadDuringDownloadKbps,
        adapterDownloadDuringUploadKbps;
    // The round trip of the echo rounds before the transfers, ms.
    std::optional<double> rttMinMs, rttAvgMs, rttMaxMs;

    // Latency at rest and under load; its samples go to a table of their own.
    LatencyFigures latency;
    // When each transfer phase began, in seconds on the latency samples' clock (since the idle
    // stage began); they place the per-second series beside the samples in a plot. Empty when
    // not known: the plot then takes the phase's first sample, or lays the phases end to end.
    std::optional<double> downloadStartSec, uploadStartSec;

    std::optional<int> downloadConnections, uploadConnections;
    std::string resultUrl, serial, serverTime;  // empty when the run was not reported

    std::vector<HistorySecond> seconds;
};

const char* szPhaseName(HistoryPhase phase);
const char* szStageName(LatencyStage stage);

// Appends one HistorySecond per accepted second of a phase.
void vAppendSeries(HistoryRun& run, HistoryPhase phase, const PhaseSeries& series);

}  // namespace kivota
