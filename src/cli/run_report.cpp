#include "cli/run_report.h"

#include <cmath>
#include <cstdlib>

#include "run/error_texts.h"

namespace kivota {

namespace {

struct EndRendering {
    EndKind kind;
    int status;
};

// The one table of how each end shows on a terminal.
constexpr EndRendering kEnds[] = {
    {EndKind::Reported, ExitReported},
    {EndKind::Recorded, ExitReported},
    {EndKind::NotReported, ExitNotReported},
    {EndKind::NotRecorded, ExitNotReported},
    {EndKind::OutOfRange, ExitOutOfRange},
    {EndKind::MeasurementFailed, ExitMeasurementFailed},
    {EndKind::PhasesNotStarted, ExitMeasurementFailed},
    {EndKind::ServerFailed, ExitServerFailed},
    {EndKind::NoRoundTrip, ExitServerFailed},
    {EndKind::Refused, ExitRefused},
    {EndKind::UpdateRequired, ExitUpdateRequired},
    {EndKind::Declined, ExitDeclined},
    {EndKind::NoAdapter, ExitNoAdapter},
    {EndKind::Interrupted, 128 + SIGINT},
};

const EndRendering& rendering(EndKind kind) {
    for (const EndRendering& e : kEnds) {
        if (e.kind == kind) return e;
    }
    return kEnds[std::size(kEnds) - 1];
}

// What a code means where the error table has no text for it (the window shows nothing then).
std::string szDescribeError(int code) {
    std::string text = szErrorText(code);
    if (!text.empty()) return text;
    switch (code) {
        case ErrImplausibleResult: return "the measured speed is out of range";
        case ErrResultUpload: return "the result could not be reported to the operator";
        case ErrTestParamFetch: return "the test parameters could not be fetched; a guest test ran instead";
        case ErrEchoTimeout: return "the round trip to the probe targets was not measured within 15 seconds";
        default: return {};
    }
}

// A speed with two decimals, the figure the result line carries; null when not measured.
nlohmann::ordered_json jsonKbps(const std::optional<double>& kbps) {
    if (!kbps || !std::isfinite(*kbps)) return nullptr;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", *kbps);
    return std::strtod(text, nullptr);
}

nlohmann::ordered_json jsonItems(const PhaseSeries& series, std::optional<std::int64_t> SecondFigures::*field) {
    auto items = nlohmann::ordered_json::array();
    for (const SecondFigures& second : series) {
        if (const auto& value = second.*field) items.push_back(*value);
        else items.push_back(nullptr);
    }
    return items;
}

std::string szMbit(const std::optional<double>& kbps) {
    if (!kbps) return "not measured";
    char text[96];
    std::snprintf(text, sizeof text, "%10.2f kbit/s  (%.2f Mbit/s)", *kbps, *kbps / 1000);
    return text;
}

nlohmann::ordered_json jsonMs(const std::optional<double>& ms) {
    if (!ms || !std::isfinite(*ms)) return nullptr;
    return std::round(*ms * 1000) / 1000;  // microseconds are the finest the figures carry
}

nlohmann::ordered_json jsonStage(const StageLatency& s) {
    nlohmann::ordered_json j;
    j["echoes_sent"] = s.sent;
    j["echoes_lost"] = s.lost;
    j["loss_percent"] = s.sent > 0 ? nlohmann::ordered_json(s.lossPercent) : nlohmann::ordered_json(nullptr);
    j["min_ms"] = jsonMs(s.minMs);
    j["median_ms"] = jsonMs(s.medianMs);
    j["mean_ms"] = jsonMs(s.meanMs);
    j["p90_ms"] = jsonMs(s.p90Ms);
    j["p95_ms"] = jsonMs(s.p95Ms);
    j["p99_ms"] = jsonMs(s.p99Ms);
    j["jitter_ms"] = jsonMs(s.jitterMs);
    j["jitter_rfc3550_ms"] = jsonMs(s.jitterRfc3550Ms);
    j["kernel_rtt_median_ms"] = jsonMs(s.kernelRttMedianMs);
    return j;
}

nlohmann::ordered_json jsonResponsiveness(const Responsiveness& r) {
    nlohmann::ordered_json j;
    j["rpm"] = r.rpm ? nlohmann::ordered_json(std::round(*r.rpm)) : nlohmann::ordered_json(nullptr);
    j["confidence"] = r.confidence.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.confidence);
    j["foreign_probes"] = r.foreignProbes;
    j["self_probes"] = r.selfProbes;
    j["tcp_connect_ms"] = jsonMs(r.tcpConnectMs);
    j["first_reply_ms"] = jsonMs(r.firstReplyMs);
    j["self_rtt_ms"] = jsonMs(r.selfRttMs);
    return j;
}

nlohmann::ordered_json jsonLatency(const LatencyFigures& f) {
    nlohmann::ordered_json j;
    j["idle"] = jsonStage(f.idle);
    j["download"] = jsonStage(f.download);
    j["upload"] = jsonStage(f.upload);
    j["download_rise_ms"] = jsonMs(f.downloadRiseMs);
    j["upload_rise_ms"] = jsonMs(f.uploadRiseMs);
    j["responsiveness"] = {{"download", jsonResponsiveness(f.downloadResponsiveness)},
                           {"upload", jsonResponsiveness(f.uploadResponsiveness)}};
    return j;
}

// "12.3 ms", or "-" where not measured.
std::string szMs(const std::optional<double>& ms) {
    if (!ms) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", *ms);
    return text;
}

std::string szStage(const char* name, const StageLatency& s) {
    if (s.sent == 0) return std::string(name) + " not measured";
    char text[160];
    std::snprintf(text, sizeof text, "%s %s (jitter %s, loss %.0f %%)", name, szMs(s.medianMs).c_str(),
                  szMs(s.jitterMs).c_str(), s.lossPercent);
    return text;
}

std::string szRpm(const char* name, const Responsiveness& r) {
    if (!r.rpm) return std::string(name) + " -";
    char text[96];
    std::snprintf(text, sizeof text, "%s %.0f RPM (%s)", name, *r.rpm, r.confidence.c_str());
    return text;
}

}  // namespace

int iExitStatus(EndKind kind, int signal) {
    return kind == EndKind::Interrupted ? 128 + signal : rendering(kind).status;
}

std::string szEndText(const RunResult& r) {
    switch (r.outcome.kind) {
        case EndKind::Reported:
        case EndKind::Recorded: return {};
        case EndKind::Interrupted:
            return r.resultSent ? "interrupted after the result was sent to the operator; its answer was not awaited"
                                : "interrupted; nothing was reported";
        case EndKind::Declined: return "the agreement was not accepted";
        case EndKind::UpdateRequired: return "this version must be updated before it can test";
        case EndKind::NotRecorded: return "the result line could not be written: " + r.detail;
        default: break;
    }
    return szDescribeError(r.outcome.code);
}

std::string szEndNote(const RunResult& r) {
    const std::string text = szEndText(r);
    const bool tableText = !text.empty() && text == szErrorText(r.outcome.code);
    const std::string caption = tableText ? szErrorCaption(r.outcome.code) : std::string();
    return caption.empty() ? text : caption + ": " + text;
}

nlohmann::ordered_json jsonOfResult(const RunResult& r, int status) {
    nlohmann::ordered_json j;
    const std::string note = szEndText(r);
    j["status"] = status;
    j["outcome"] = szEndName(r.outcome.kind);
    j["error_code"] = static_cast<int>(r.outcome.code);
    j["error_text"] = note.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(note);
    j["measured"] = r.downloadKbps.has_value() && r.uploadKbps.has_value();
    j["download_kbps"] = jsonKbps(r.downloadKbps);
    j["upload_kbps"] = jsonKbps(r.uploadKbps);
    j["adapter"] = {{"download_kbps", jsonKbps(r.adapter.download)},
                    {"upload_kbps", jsonKbps(r.adapter.upload)},
                    {"upload_during_download_kbps", jsonKbps(r.adapter.uploadDuringDownload)},
                    {"download_during_upload_kbps", jsonKbps(r.adapter.downloadDuringUpload)}};
    j["series_kbps"] = {{"download", jsonItems(r.downloadSeries, &SecondFigures::ftpKbps)},
                        {"upload", jsonItems(r.uploadSeries, &SecondFigures::ftpKbps)},
                        {"adapter_download", jsonItems(r.downloadSeries, &SecondFigures::adapterKbps)},
                        {"adapter_upload", jsonItems(r.uploadSeries, &SecondFigures::adapterKbps)}};
    if (r.roundTrip) {
        j["round_trip_ms"] = {{"min", r.roundTrip->minMs},
                              {"avg", jsonKbps(r.roundTrip->avgMs)},
                              {"max", r.roundTrip->maxMs},
                              {"text", r.roundTripText}};
    } else {
        j["round_trip_ms"] = nullptr;
    }
    j["connections"] = {{"download", r.downloadConnections}, {"upload", r.uploadConnections}};
    j["latency"] = jsonLatency(r.latency);
    j["result_sent"] = r.resultSent;
    j["result_url"] = r.resultUrl;
    j["serial"] = r.serial;
    j["result_time"] = r.serverTime;
    return j;
}

void vPrintSummary(std::FILE* out, const RunResult& r) {
    if (!r.downloadKbps && !r.uploadKbps) return;
    std::fprintf(out, "download  %s\n", szMbit(r.downloadKbps).c_str());
    std::fprintf(out, "upload    %s\n", szMbit(r.uploadKbps).c_str());
    if (r.roundTrip) {
        std::fprintf(out, "round trip %s ms (min,avg,max)\n", r.roundTripText.c_str());
    } else {
        std::fputs("round trip not measured\n", out);
    }
    const LatencyFigures& f = r.latency;
    std::fprintf(out, "latency   %s, %s, %s (median)\n", szStage("idle", f.idle).c_str(),
                 szStage("download", f.download).c_str(), szStage("upload", f.upload).c_str());
    if (f.downloadRiseMs || f.uploadRiseMs) {
        std::fprintf(out, "          under load: download +%s, upload +%s\n", szMs(f.downloadRiseMs).c_str(),
                     szMs(f.uploadRiseMs).c_str());
    }
    std::fprintf(out, "responsiveness %s, %s\n", szRpm("download", f.downloadResponsiveness).c_str(),
                 szRpm("upload", f.uploadResponsiveness).c_str());
    if (!r.resultUrl.empty()) {
        std::fprintf(out, "result    %s\n", r.resultUrl.c_str());
        std::fprintf(out, "serial    %s  %s\n", r.serial.c_str(), r.serverTime.c_str());
    }
}

}  // namespace kivota
