#include "cli/run_report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kivota {

namespace {

std::string szTwoDecimals(double value) {
    if (!std::isfinite(value)) return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// A series item as a JSON number, or null when it is empty or not a number.
std::string szSeriesItem(const std::string& item) {
    if (item.empty()) return "null";
    char* end = nullptr;
    const double v = std::strtod(item.c_str(), &end);
    if (end == item.c_str() || *end != '\0' || !std::isfinite(v)) return "null";
    // The item as written (it is a decimal number already), not a re-formatted copy.
    if (item.find_first_not_of("-0123456789.") != std::string::npos) return "null";
    return item;
}

std::string szSeries(const std::string& series) {
    std::string out = "[";
    if (!series.empty()) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = series.find(',', start);
            out += szSeriesItem(series.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) break;
            out += ',';
            start = comma + 1;
        }
    }
    return out + "]";
}

}  // namespace

std::string szJsonString(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string szRunReportJson(const RunReport& r) {
    std::string j = "{";
    j += "\"status\":" + std::to_string(r.status);
    j += ",\"outcome\":" + szJsonString(r.outcome);
    j += ",\"error_code\":" + std::to_string(r.errorCode);
    j += ",\"error_text\":" + szJsonString(r.errorText);
    j += ",\"measured\":" + std::string(r.measured ? "true" : "false");
    j += ",\"download_kbps\":" + szTwoDecimals(r.downloadKbps);
    j += ",\"upload_kbps\":" + szTwoDecimals(r.uploadKbps);
    j += ",\"adapter\":{\"download_kbps\":" + szTwoDecimals(r.adapterDownloadKbps) +
         ",\"upload_kbps\":" + szTwoDecimals(r.adapterUploadKbps) +
         ",\"upload_during_download_kbps\":" + szTwoDecimals(r.adapterUploadDuringDownloadKbps) +
         ",\"download_during_upload_kbps\":" + szTwoDecimals(r.adapterDownloadDuringUploadKbps) + "}";
    j += ",\"series_kbps\":{\"download\":" + szSeries(r.downloadSeries) + ",\"upload\":" + szSeries(r.uploadSeries) +
         ",\"adapter_download\":" + szSeries(r.adapterDownloadSeries) +
         ",\"adapter_upload\":" + szSeries(r.adapterUploadSeries) + "}";
    j += ",\"round_trip_ms\":{\"min\":" + std::to_string(r.rttMinMs) + ",\"avg\":" + szTwoDecimals(r.rttAvgMs) +
         ",\"max\":" + std::to_string(r.rttMaxMs) + ",\"text\":" + szJsonString(r.rttText) + "}";
    j += ",\"connections\":{\"download\":" + std::to_string(r.downloadConnections) +
         ",\"upload\":" + std::to_string(r.uploadConnections) + "}";
    j += ",\"result_url\":" + szJsonString(r.resultUrl);
    j += ",\"serial\":" + szJsonString(r.serial);
    j += ",\"result_time\":" + szJsonString(r.resultTime);
    return j + "}";
}

}  // namespace kivota
