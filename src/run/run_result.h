#pragma once
// The finished run as one value: how it ended, what it measured, what the operator answered.
// The front ends render it; nothing in it refers back to the run's own records.

#include <cstdint>
#include <optional>
#include <string>

#include "run/latency_figures.h"
#include "run/phase_series.h"
#include "run/run_outcome.h"

namespace kivota {

// The adapter's own rates over the accepted seconds, kbit/s: each phase's direction, and the
// other direction's traffic during it.
struct AdapterRates {
    double download = 0, upload = 0, uploadDuringDownload = 0, downloadDuringUpload = 0;
};

// The probe rounds' figures, whole milliseconds (the average as the rounds computed it).
struct RoundTrip {
    int minMs = 0;
    double avgMs = 0;
    int maxMs = 0;
};

struct RunResult {
    RunOutcome outcome;
    std::int64_t startedAt = 0;  // seconds since 1970 (UTC) when the run began
    bool automatic = false;      // the automatic mode ran: nobody is there to answer a question
    bool guest = false;          // a guest test ran with fixed parameters
    // FTP payload rates of the phases whose measurement was accepted, kbit/s.
    std::optional<double> downloadKbps, uploadKbps;
    AdapterRates adapter;
    PhaseSeries downloadSeries, uploadSeries;
    std::optional<RoundTrip> roundTrip;  // none when no counted echo came back
    std::string roundTripText;           // "min,avg,max" as the result line carries it
    int downloadConnections = 0, uploadConnections = 0;
    // The operator's answer to the result upload.
    std::string resultUrl, serial, serverTime;
    bool resultSent = false;      // the result upload went out whole: the operator may hold it
    std::string resultsAdUrl;     // the advertisement of the results page ("NULL": none)
    bool completionCode = false;  // a completion code went with the result
    std::string detail;           // what went wrong beyond the error code's own text
    LatencyFigures latency;
};

}  // namespace kivota
