#include "wiring/run_history.h"

#include "history/history_time.h"

namespace kivota {

HistoryRun historyOf(const RunResult& r, const std::string& program, std::int64_t startedAt) {
    HistoryRun h;
    vStampRunTime(h, startedAt);
    h.program = program;
    h.mode = r.automatic ? "automatic" : (r.guest ? "guest" : "interactive");
    h.outcome = szEndName(r.outcome.kind);
    h.errorCode = r.outcome.code;
    h.errorText = r.detail;
    h.downloadKbps = r.downloadKbps;
    h.uploadKbps = r.uploadKbps;
    if (r.downloadKbps) {
        h.adapterDownloadKbps = r.adapter.download;
        h.adapterUploadDuringDownloadKbps = r.adapter.uploadDuringDownload;
    }
    if (r.uploadKbps) {
        h.adapterUploadKbps = r.adapter.upload;
        h.adapterDownloadDuringUploadKbps = r.adapter.downloadDuringUpload;
    }
    if (r.roundTrip) {
        h.rttMinMs = r.roundTrip->minMs;
        h.rttAvgMs = r.roundTrip->avgMs;
        h.rttMaxMs = r.roundTrip->maxMs;
    }
    h.latency = r.latency;
    h.downloadStartSec = r.latency.downloadStartSec;
    h.uploadStartSec = r.latency.uploadStartSec;
    if (r.downloadConnections > 0) h.downloadConnections = r.downloadConnections;
    if (r.uploadConnections > 0) h.uploadConnections = r.uploadConnections;
    h.resultUrl = r.resultUrl;
    h.serial = r.serial;
    h.serverTime = r.serverTime;
    vAppendSeries(h, HistoryPhase::Download, r.downloadSeries);
    vAppendSeries(h, HistoryPhase::Upload, r.uploadSeries);
    return h;
}

}  // namespace kivota
