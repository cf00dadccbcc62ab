#pragma once
// What one run of the terminal client found, and its JSON form (--json): one object with the
// outcome, the speeds, the adapter's rates, the per-second series, the round trip and the error.

#include <string>

namespace kivota {

struct RunReport {
    int status = 0;       // the exit status (terminal_options.cpp lists them)
    std::string outcome;  // "reported", "not-reported", "failed", ... (see szOutcomeName)
    int errorCode = 0;
    std::string errorText;                    // the error table's text, or a description where it has none
    bool measured = false;                    // both speeds are from this run
    double downloadKbps = 0, uploadKbps = 0;  // FTP payload rates, kbit/s
    // The adapter's rates: download and upload of their phases, and the other direction's
    // traffic during each phase.
    double adapterDownloadKbps = 0, adapterUploadKbps = 0, adapterUploadDuringDownloadKbps = 0,
           adapterDownloadDuringUploadKbps = 0;
    // Per-second series as the result line carries them (comma-separated kbit/s).
    std::string downloadSeries, uploadSeries, adapterDownloadSeries, adapterUploadSeries;
    int rttMinMs = -1, rttMaxMs = -1;
    double rttAvgMs = -1;
    std::string rttText;
    int downloadConnections = 0, uploadConnections = 0;
    std::string resultUrl, serial, resultTime;
};

// Speeds are written with two decimals, as the result line writes them, so that the figures
// equal what the operator received. Series items become numbers; an empty item is null.
std::string szRunReportJson(const RunReport& report);

// Text as a JSON string literal (quotes included); the text is UTF-8.
std::string szJsonString(const std::string& text);

}  // namespace kivota
