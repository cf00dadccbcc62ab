#include "history/history_columns.h"

#include <optional>
#include <type_traits>
#include <utility>

namespace kivota {

namespace {

// A column of the field that `field` names: `field` maps a run (const or not) to a reference
// to one of its members, whose type decides how the value is held.
template <class Field>
HistoryColumn column(std::string name, std::string jsonPointer, Field field) {
    using T = std::remove_cvref_t<decltype(field(std::declval<HistoryRun&>()))>;
    constexpr bool kText = std::is_same_v<T, std::string>;
    constexpr bool kReal = std::is_same_v<T, double> || std::is_same_v<T, std::optional<double>>;
    constexpr bool kNullable = std::is_same_v<T, std::optional<double>> || std::is_same_v<T, std::optional<int>>;
    HistoryColumn c{std::move(name),
                    std::move(jsonPointer),
                    kText   ? HistoryColumnType::Text
                    : kReal ? HistoryColumnType::Real
                            : HistoryColumnType::Integer,
                    kNullable,
                    nullptr,
                    nullptr};
    c.get = [field](const HistoryRun& run) -> HistoryValue {
        const T& v = field(run);
        if constexpr (std::is_same_v<T, std::string>) {  // NOLINT(bugprone-branch-clone): one body, two types
            return v;
        } else if constexpr (std::is_same_v<T, double>) {
            return v;
        } else if constexpr (std::is_same_v<T, int>) {
            return static_cast<std::int64_t>(v);
        } else if constexpr (std::is_same_v<T, std::optional<double>>) {
            return v ? HistoryValue(*v) : HistoryValue();
        } else {
            static_assert(std::is_same_v<T, std::optional<int>>);
            return v ? HistoryValue(static_cast<std::int64_t>(*v)) : HistoryValue();
        }
    };
    c.set = [field](HistoryRun& run, const HistoryValue& value) {
        T& v = field(run);
        const auto* integer = std::get_if<std::int64_t>(&value);
        const auto* real = std::get_if<double>(&value);
        if constexpr (std::is_same_v<T, std::string>) {
            if (const auto* text = std::get_if<std::string>(&value)) v = *text;
        } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::optional<double>>) {
            // A REAL column gives back an integer where the value had no fraction.
            if (real != nullptr) {
                v = *real;
            } else if (integer != nullptr) {
                v = static_cast<double>(*integer);
            } else if constexpr (!std::is_same_v<T, double>) {
                v = std::nullopt;
            }
        } else if constexpr (std::is_same_v<T, int>) {
            if (integer != nullptr) v = static_cast<int>(*integer);
        } else {
            v = integer != nullptr ? std::optional<int>(static_cast<int>(*integer)) : std::nullopt;
        }
    };
    return c;
}

void vAddStage(std::vector<HistoryColumn>& columns, const std::string& name, StageLatency LatencyFigures::*stage) {
    const std::string at = "/latency/" + name + "/";
    const auto s = [stage](auto& run) -> auto& { return run.latency.*stage; };
    columns.push_back(column(
        name + "_sent", at + "sent", [s](auto& r) -> auto& { return s(r).sent; }));
    columns.push_back(column(
        name + "_lost", at + "lost", [s](auto& r) -> auto& { return s(r).lost; }));
    columns.push_back(column(
        name + "_loss_percent", at + "loss_percent", [s](auto& r) -> auto& { return s(r).lossPercent; }));
    columns.push_back(column(
        name + "_min_ms", at + "min_ms", [s](auto& r) -> auto& { return s(r).minMs; }));
    columns.push_back(column(
        name + "_median_ms", at + "median_ms", [s](auto& r) -> auto& { return s(r).medianMs; }));
    columns.push_back(column(
        name + "_mean_ms", at + "mean_ms", [s](auto& r) -> auto& { return s(r).meanMs; }));
    columns.push_back(column(
        name + "_p90_ms", at + "p90_ms", [s](auto& r) -> auto& { return s(r).p90Ms; }));
    columns.push_back(column(
        name + "_p95_ms", at + "p95_ms", [s](auto& r) -> auto& { return s(r).p95Ms; }));
    columns.push_back(column(
        name + "_p99_ms", at + "p99_ms", [s](auto& r) -> auto& { return s(r).p99Ms; }));
    columns.push_back(column(
        name + "_jitter_ms", at + "jitter_ms", [s](auto& r) -> auto& { return s(r).jitterMs; }));
    columns.push_back(column(
        name + "_jitter_rfc3550_ms", at + "jitter_rfc3550_ms", [s](auto& r) -> auto& { return s(r).jitterRfc3550Ms; }));
    columns.push_back(column(
        name + "_kernel_rtt_median_ms",
        at + "kernel_rtt_median_ms", [s](auto& r) -> auto& { return s(r).kernelRttMedianMs; }));
}

void vAddResponsiveness(std::vector<HistoryColumn>& columns, const std::string& phase,
                        Responsiveness LatencyFigures::*member) {
    const std::string name = phase + "_responsiveness";
    const std::string at = "/latency/responsiveness/" + phase + "/";
    const auto p = [member](auto& run) -> auto& { return run.latency.*member; };
    columns.push_back(column(
        name + "_rpm", at + "rpm", [p](auto& r) -> auto& { return p(r).rpm; }));
    columns.push_back(column(
        name + "_confidence", at + "confidence", [p](auto& r) -> auto& { return p(r).confidence; }));
    columns.push_back(column(
        name + "_foreign_probes", at + "foreign_probes", [p](auto& r) -> auto& { return p(r).foreignProbes; }));
    columns.push_back(column(
        name + "_self_probes", at + "self_probes", [p](auto& r) -> auto& { return p(r).selfProbes; }));
    columns.push_back(column(
        name + "_tcp_connect_ms", at + "tcp_connect_ms", [p](auto& r) -> auto& { return p(r).tcpConnectMs; }));
    columns.push_back(column(
        name + "_first_reply_ms", at + "first_reply_ms", [p](auto& r) -> auto& { return p(r).firstReplyMs; }));
    columns.push_back(column(
        name + "_self_rtt_ms", at + "self_rtt_ms", [p](auto& r) -> auto& { return p(r).selfRttMs; }));
}

std::vector<HistoryColumn> vecBuildColumns() {
    std::vector<HistoryColumn> c;
    c.push_back(column(
        "time_utc", "/time_utc", [](auto& r) -> auto& { return r.timeUtc; }));
    c.push_back(column(
        "utc_offset_minutes", "/utc_offset_minutes", [](auto& r) -> auto& { return r.utcOffsetMinutes; }));
    c.push_back(column(
        "program", "/program", [](auto& r) -> auto& { return r.program; }));
    c.push_back(column(
        "mode", "/mode", [](auto& r) -> auto& { return r.mode; }));
    c.push_back(column(
        "outcome", "/outcome", [](auto& r) -> auto& { return r.outcome; }));
    c.push_back(column(
        "error_code", "/error_code", [](auto& r) -> auto& { return r.errorCode; }));
    c.push_back(column(
        "error_text", "/error_text", [](auto& r) -> auto& { return r.errorText; }));
    c.push_back(column(
        "download_kbps", "/download_kbps", [](auto& r) -> auto& { return r.downloadKbps; }));
    c.push_back(column(
        "upload_kbps", "/upload_kbps", [](auto& r) -> auto& { return r.uploadKbps; }));
    c.push_back(column(
        "adapter_download_kbps", "/adapter/download_kbps", [](auto& r) -> auto& { return r.adapterDownloadKbps; }));
    c.push_back(column(
        "adapter_upload_kbps", "/adapter/upload_kbps", [](auto& r) -> auto& { return r.adapterUploadKbps; }));
    c.push_back(column(
        "adapter_upload_during_download_kbps", "/adapter/upload_during_download_kbps",
        [](auto& r) -> auto& { return r.adapterUploadDuringDownloadKbps; }));
    c.push_back(column(
        "adapter_download_during_upload_kbps", "/adapter/download_during_upload_kbps",
        [](auto& r) -> auto& { return r.adapterDownloadDuringUploadKbps; }));
    c.push_back(column(
        "rtt_min_ms", "/round_trip_ms/min", [](auto& r) -> auto& { return r.rttMinMs; }));
    c.push_back(column(
        "rtt_avg_ms", "/round_trip_ms/avg", [](auto& r) -> auto& { return r.rttAvgMs; }));
    c.push_back(column(
        "rtt_max_ms", "/round_trip_ms/max", [](auto& r) -> auto& { return r.rttMaxMs; }));
    vAddStage(c, "idle", &LatencyFigures::idle);
    vAddStage(c, "download", &LatencyFigures::download);
    vAddStage(c, "upload", &LatencyFigures::upload);
    c.push_back(column(
        "download_rise_ms", "/latency/download_rise_ms", [](auto& r) -> auto& { return r.latency.downloadRiseMs; }));
    c.push_back(column(
        "upload_rise_ms", "/latency/upload_rise_ms", [](auto& r) -> auto& { return r.latency.uploadRiseMs; }));
    vAddResponsiveness(c, "download", &LatencyFigures::downloadResponsiveness);
    vAddResponsiveness(c, "upload", &LatencyFigures::uploadResponsiveness);
    c.push_back(column(
        "download_start_s", "/phase_start_s/download", [](auto& r) -> auto& { return r.downloadStartSec; }));
    c.push_back(column(
        "upload_start_s", "/phase_start_s/upload", [](auto& r) -> auto& { return r.uploadStartSec; }));
    c.push_back(column(
        "download_connections", "/connections/download", [](auto& r) -> auto& { return r.downloadConnections; }));
    c.push_back(column(
        "upload_connections", "/connections/upload", [](auto& r) -> auto& { return r.uploadConnections; }));
    c.push_back(column(
        "result_url", "/result_url", [](auto& r) -> auto& { return r.resultUrl; }));
    c.push_back(column(
        "serial", "/serial", [](auto& r) -> auto& { return r.serial; }));
    c.push_back(column(
        "server_time", "/server_time", [](auto& r) -> auto& { return r.serverTime; }));
    return c;
}

}  // namespace

const std::vector<HistoryColumn>& historyColumns() {
    static const std::vector<HistoryColumn> columns = vecBuildColumns();
    return columns;
}

}  // namespace kivota
