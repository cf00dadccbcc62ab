#include "history/history_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "history/history_time.h"
#include "history/utf8_text.h"

namespace kivota {

namespace {

constexpr double kWidth = 960, kHeight = 620;
constexpr double kLeft = 72, kRight = 740;            // the panels' horizontal extent
constexpr double kRatesTop = 92, kRatesBottom = 342;  // the rates panel
constexpr double kRttTop = 392, kRttBottom = 562;     // the round-trip panel
constexpr double kLegendX = 762;

struct Series {
    const char* key;    // the data-series attribute
    const char* label;  // the legend's text
    const char* colour;
    const char* dash;  // stroke-dasharray, or empty
    double width;
    double markRadius;
};

constexpr Series kFtpDownload{"ftp-download", "FTP download", "#1f5fa8", "", 2.2, 2.6};
constexpr Series kAdapterDownload{"adapter-download", "adapter, download", "#6fa8dc", "6 3", 1.6, 1.8};
constexpr Series kFtpUpload{"ftp-upload", "FTP upload", "#c8501e", "", 2.2, 2.6};
constexpr Series kAdapterUpload{"adapter-upload", "adapter, upload", "#f0a060", "6 3", 1.6, 1.8};
constexpr Series kAdapterOther{"adapter-other", "adapter, other direction", "#808080", "2 3", 1.4, 1.4};

const char* szStageColour(LatencyStage stage) {
    switch (stage) {
        case LatencyStage::Idle: return "#505050";
        case LatencyStage::Download: return kFtpDownload.colour;
        case LatencyStage::Upload: return kFtpUpload.colour;
    }
    return "#505050";
}

std::string szNum(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// A tick step of 1, 2 or 5 times a power of ten that cuts `span` into about `parts` pieces.
double dNiceStep(double span, int parts) {
    if (!(span > 0)) return 1;
    const double rough = span / parts;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= rough) return m * power;
    }
    return 10 * power;
}

std::string szTickText(double value, double step) {
    char text[32];
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

struct Axis {
    double low, high;  // data range
    double pixelLow, pixelHigh;
    double at(double v) const { return pixelLow + (v - low) / (high - low) * (pixelHigh - pixelLow); }
};

// The timeline: where each phase's seconds sit on the samples' clock.
struct Timeline {
    double downloadStart = 0, uploadStart = 0, end = 1;
    std::optional<double> idleEnd;  // the idle stage runs from 0 to here, when there was one
};

std::optional<double> optFirstSample(const HistoryRun& run, LatencyStage stage) {
    for (const LatencySample& s : run.latency.samples) {
        if (s.stage == stage) return s.atSec;
    }
    return std::nullopt;
}

int iPhaseSeconds(const HistoryRun& run, HistoryPhase phase) {
    int count = 0;
    for (const HistorySecond& s : run.seconds) {
        if (s.phase == phase) count = std::max(count, s.index + 1);
    }
    return count;
}

Timeline timelineOf(const HistoryRun& run) {
    Timeline t;
    bool idle = false;
    double lastIdle = 0;
    for (const LatencySample& s : run.latency.samples) {
        if (s.stage == LatencyStage::Idle) {
            idle = true;
            lastIdle = std::max(lastIdle, s.atSec);
        }
    }
    const int downloadSeconds = iPhaseSeconds(run, HistoryPhase::Download);
    t.downloadStart = run.downloadStartSec.value_or(
        optFirstSample(run, LatencyStage::Download).value_or(idle ? std::ceil(lastIdle) : 0));
    t.uploadStart = run.uploadStartSec.value_or(
        optFirstSample(run, LatencyStage::Upload).value_or(t.downloadStart + downloadSeconds + 1));
    if (idle) t.idleEnd = t.downloadStart;
    t.end =
        std::max({1.0, t.downloadStart + downloadSeconds, t.uploadStart + iPhaseSeconds(run, HistoryPhase::Upload)});
    for (const LatencySample& s : run.latency.samples) t.end = std::max(t.end, s.atSec);
    return t;
}

class SvgWriter {
public:
    void line(double x1, double y1, double x2, double y2, const std::string& style) {
        svg_ += "<line x1=\"" + szNum(x1) + "\" y1=\"" + szNum(y1) + "\" x2=\"" + szNum(x2) + "\" y2=\"" + szNum(y2) +
                "\" " + style + "/>\n";
    }
    void text(double x, double y, const std::string& content, const std::string& style) {
        svg_ +=
            "<text x=\"" + szNum(x) + "\" y=\"" + szNum(y) + "\" " + style + ">" + szXmlEscape(content) + "</text>\n";
    }
    void raw(const std::string& markup) { svg_ += markup; }
    const std::string& str() const { return svg_; }

private:
    std::string svg_;
};

void vAxes(SvgWriter& w, const Axis& x, const Axis& y, double step, const std::string& yLabel, double yStep) {
    const double top = y.pixelHigh, bottom = y.pixelLow;
    for (int k = 0; y.low + k * yStep <= y.high + yStep / 1000; ++k) {
        const double v = y.low + k * yStep, py = y.at(v);
        w.line(kLeft, py, kRight, py, "stroke=\"#e4e4e4\" stroke-width=\"1\"");
        w.text(kLeft - 8, py + 4, szTickText(v, yStep), "text-anchor=\"end\" class=\"tick\"");
    }
    for (int k = 0; x.low + k * step <= x.high + step / 1000; ++k) {
        const double v = x.low + k * step, px = x.at(v);
        w.line(px, bottom, px, bottom + 5, "stroke=\"#404040\" stroke-width=\"1\"");
        w.text(px, bottom + 18, szTickText(v, step), "text-anchor=\"middle\" class=\"tick\"");
    }
    w.raw("<rect x=\"" + szNum(kLeft) + "\" y=\"" + szNum(top) + "\" width=\"" + szNum(kRight - kLeft) +
          "\" height=\"" + szNum(bottom - top) + "\" fill=\"none\" stroke=\"#404040\" stroke-width=\"1\"/>\n");
    const double middle = (top + bottom) / 2;
    w.text(18, middle, yLabel,
           "text-anchor=\"middle\" class=\"label\" transform=\"rotate(-90 18 " + szNum(middle) + ")\"");
}

// One series: a polyline per run of consecutive accepted seconds, and a mark on every vertex.
void vSeries(SvgWriter& w, const Series& s, const std::vector<std::pair<int, double>>& points, double start,
             const Axis& x, const Axis& y) {
    std::string dash = s.dash[0] != '\0' ? std::string(" stroke-dasharray=\"") + s.dash + "\"" : std::string();
    std::string group = std::string("<g data-series=\"") + s.key + "\">\n";
    std::string marks;
    std::size_t i = 0;
    while (i < points.size()) {
        std::string vertices;
        std::size_t j = i;
        for (; j < points.size() && (j == i || points[j].first == points[j - 1].first + 1); ++j) {
            // A second is drawn at its middle: the rate is the mean over it.
            const double px = x.at(start + points[j].first + 0.5), py = y.at(points[j].second / 1000);
            vertices += (vertices.empty() ? "" : " ") + szNum(px) + "," + szNum(py);
            marks += "<circle cx=\"" + szNum(px) + "\" cy=\"" + szNum(py) + "\" r=\"" + szNum(s.markRadius) +
                     "\" fill=\"" + s.colour + "\"/>\n";
        }
        group += "<polyline points=\"";
        group += vertices;
        group += "\" fill=\"none\" stroke=\"";
        group += s.colour;
        group += "\" stroke-width=\"";
        group += szNum(s.width);
        group += "\"";
        group += dash;
        group += " stroke-linejoin=\"round\"/>\n";
        i = j;
    }
    w.raw(group + marks + "</g>\n");
}

void vLegendEntry(SvgWriter& w, double y, const Series& s) {
    const std::string dash = s.dash[0] != '\0' ? std::string(" stroke-dasharray=\"") + s.dash + "\"" : std::string();
    w.raw("<line x1=\"" + szNum(kLegendX) + "\" y1=\"" + szNum(y) + "\" x2=\"" + szNum(kLegendX + 28) + "\" y2=\"" +
          szNum(y) + "\" stroke=\"" + s.colour + "\" stroke-width=\"" + szNum(s.width) + "\"" + dash + "/>\n");
    w.text(kLegendX + 36, y + 4, s.label, "class=\"legend\"");
}

std::string szRate(const std::optional<double>& kbps) {
    if (!kbps || !std::isfinite(*kbps)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f Mbit/s", *kbps / 1000);
    return text;
}

std::string szMs(const std::optional<double>& ms) {
    if (!ms || !std::isfinite(*ms)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", *ms);
    return text;
}

}  // namespace

std::string szXmlEscape(const std::string& text) {
    std::string out;
    for (const char ch : szValidUtf8(text)) {
        switch (ch) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // XML 1.0 has no place for the other control characters, not even escaped.
                if (static_cast<unsigned char>(ch) >= 0x20 || ch == '\t' || ch == '\n' || ch == '\r') out += ch;
        }
    }
    return out;
}

std::string szRunPlotSvg(const HistoryRun& run) {
    const Timeline t = timelineOf(run);

    // The series of each phase, as (second, kbit/s) of the accepted seconds.
    struct PlottedPhase {
        std::vector<std::pair<int, double>> ftp, adapter, other;
    } download, upload;
    double rateMax = 0;
    for (const HistorySecond& s : run.seconds) {
        PlottedPhase& p = s.phase == HistoryPhase::Download ? download : upload;
        const auto add = [&](std::vector<std::pair<int, double>>& to, const std::optional<double>& v) {
            if (!v || !std::isfinite(*v)) return;
            to.emplace_back(s.index, *v);
            rateMax = std::max(rateMax, *v / 1000);
        };
        add(p.ftp, s.ftpKbps);
        add(p.adapter, s.adapterKbps);
        add(p.other, s.otherAdapterKbps);
    }
    for (PlottedPhase* p : {&download, &upload}) {
        for (auto* v : {&p->ftp, &p->adapter, &p->other}) std::sort(v->begin(), v->end());
    }
    double rttMax = 0;
    for (const LatencySample& s : run.latency.samples) {
        if (!s.lost && std::isfinite(s.rttMs)) rttMax = std::max(rttMax, s.rttMs);
    }

    // A run without series or samples still gets axes of a usual size, and says what is missing.
    const bool hasRates = rateMax > 0, hasRtt = rttMax > 0;
    if (!hasRates) rateMax = 10;
    if (!hasRtt) rttMax = 50;
    const double timeStep = dNiceStep(t.end, 10);
    const Axis x{0, std::ceil(t.end / timeStep) * timeStep, kLeft, kRight};
    const double rateStep = dNiceStep(rateMax, 5);
    const Axis rates{0, std::ceil(rateMax / rateStep) * rateStep, kRatesBottom, kRatesTop};
    const double rttStep = dNiceStep(rttMax * 1.05, 5);
    const Axis rtt{0, std::ceil(rttMax * 1.05 / rttStep) * rttStep, kRttBottom, kRttTop};

    SvgWriter w;
    w.raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
          szNum(kWidth) + "\" height=\"" + szNum(kHeight) + "\" viewBox=\"0 0 " + szNum(kWidth) + " " + szNum(kHeight) +
          "\" font-family=\"DejaVu Sans, Liberation Sans, Arial, sans-serif\">\n");
    w.raw(
        "<style>.tick{font-size:11px;fill:#404040}.label{font-size:12px;fill:#202020}"
        ".legend{font-size:12px;fill:#202020}.title{font-size:15px;font-weight:bold;fill:#101010}"
        ".sub{font-size:12px;fill:#303030}.band{font-size:11px;fill:#606060}</style>\n");
    w.raw("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n");

    std::string local = szRunLocalTime(run);
    if (local.size() >= 19) local = local.substr(0, 10) + " " + local.substr(11, 5) + " (UTC" + local.substr(19) + ")";
    const std::string how = run.program + (run.program.empty() || run.mode.empty() ? "" : " ") + run.mode;
    std::string title = "Run " + std::to_string(run.id);
    for (const std::string& part : {local, how, run.outcome}) {
        if (!part.empty()) title += " \u00b7 " + part;
    }
    w.text(kLeft, 26, title, "class=\"title\"");
    const LatencyFigures& l = run.latency;
    w.text(kLeft, 46,
           "download " + szRate(run.downloadKbps) + ", upload " + szRate(run.uploadKbps) + " \u00b7 round trip idle " +
               szMs(l.idle.medianMs) + ", loaded " + szMs(l.download.medianMs) + " / " + szMs(l.upload.medianMs) +
               " (median, download / upload)" +
               (run.errorCode != 0 ? " \u00b7 error " + std::to_string(run.errorCode) : ""),
           "class=\"sub\"");

    // The idle stage, shaded across both panels, and the phases named above the rates.
    if (t.idleEnd && *t.idleEnd > 0) {
        const double x0 = x.at(0), x1 = x.at(*t.idleEnd);
        for (const auto& [top, bottom] : {std::pair{kRatesTop, kRatesBottom}, std::pair{kRttTop, kRttBottom}}) {
            w.raw("<rect class=\"idle\" x=\"" + szNum(x0) + "\" y=\"" + szNum(top) + "\" width=\"" + szNum(x1 - x0) +
                  "\" height=\"" + szNum(bottom - top) + "\" fill=\"#ececec\"/>\n");
        }
        w.text((x0 + x1) / 2, kRatesTop - 6, "idle", "text-anchor=\"middle\" class=\"band\"");
    }
    const int downloadSeconds = iPhaseSeconds(run, HistoryPhase::Download);
    const int uploadSeconds = iPhaseSeconds(run, HistoryPhase::Upload);
    if (downloadSeconds > 0) {
        w.text(x.at(t.downloadStart + downloadSeconds / 2.0), kRatesTop - 6, "download",
               "text-anchor=\"middle\" class=\"band\"");
    }
    if (uploadSeconds > 0) {
        w.text(x.at(t.uploadStart + uploadSeconds / 2.0), kRatesTop - 6, "upload",
               "text-anchor=\"middle\" class=\"band\"");
    }

    vAxes(w, x, rates, timeStep, "rate (Mbit/s)", rateStep);
    vAxes(w, x, rtt, timeStep, "round trip (ms)", rttStep);
    if (!hasRates) {
        w.text((kLeft + kRight) / 2, (kRatesTop + kRatesBottom) / 2, "no per-second rates in this run",
               "text-anchor=\"middle\" class=\"band\"");
    }
    if (!hasRtt) {
        w.text((kLeft + kRight) / 2, (kRttTop + kRttBottom) / 2, "no round trips in this run",
               "text-anchor=\"middle\" class=\"band\"");
    }
    w.text((kLeft + kRight) / 2, kRttBottom + 40, "time since the idle stage began (s)",
           "text-anchor=\"middle\" class=\"label\"");

    // The other direction first, so the phase's own series lie on top.
    vSeries(w, kAdapterOther, download.other, t.downloadStart, x, rates);
    vSeries(w, kAdapterOther, upload.other, t.uploadStart, x, rates);
    vSeries(w, kAdapterDownload, download.adapter, t.downloadStart, x, rates);
    vSeries(w, kAdapterUpload, upload.adapter, t.uploadStart, x, rates);
    vSeries(w, kFtpDownload, download.ftp, t.downloadStart, x, rates);
    vSeries(w, kFtpUpload, upload.ftp, t.uploadStart, x, rates);

    // Every sample: a dot at its round trip, a cross along the panel's top when it was lost.
    std::string samples = "<g data-series=\"latency\">\n";
    for (const LatencySample& s : run.latency.samples) {
        const double px = x.at(s.atSec);
        if (s.lost) {
            const double py = kRttTop + 6;
            samples += "<path class=\"lost\" d=\"M" + szNum(px - 3) + "," + szNum(py - 3) + " l6,6 m0,-6 l-6,6\" " +
                       "stroke=\"#d01010\" stroke-width=\"1.5\"/>\n";
        } else {
            samples += "<circle class=\"echo\" cx=\"" + szNum(px) + "\" cy=\"" + szNum(rtt.at(s.rttMs)) +
                       "\" r=\"1.8\" fill=\"" + szStageColour(s.stage) + "\"/>\n";
        }
    }
    w.raw(samples + "</g>\n");

    double y = kRatesTop + 8;
    for (const Series* s : {&kFtpDownload, &kAdapterDownload, &kFtpUpload, &kAdapterUpload, &kAdapterOther}) {
        vLegendEntry(w, y, *s);
        y += 22;
    }
    y = kRttTop + 8;
    for (const auto& [stage, label] :
         {std::pair{LatencyStage::Idle, "round trip, idle"}, std::pair{LatencyStage::Download, "round trip, download"},
          std::pair{LatencyStage::Upload, "round trip, upload"}}) {
        w.raw("<circle cx=\"" + szNum(kLegendX + 14) + "\" cy=\"" + szNum(y) + "\" r=\"3\" fill=\"" +
              szStageColour(stage) + "\"/>\n");
        w.text(kLegendX + 36, y + 4, label, "class=\"legend\"");
        y += 22;
    }
    w.raw("<path d=\"M" + szNum(kLegendX + 11) + "," + szNum(y - 3) +
          " l6,6 m0,-6 l-6,6\" stroke=\"#d01010\" stroke-width=\"1.5\"/>\n");
    w.text(kLegendX + 36, y + 4, "lost echo", "class=\"legend\"");
    y += 22;
    w.raw("<rect x=\"" + szNum(kLegendX + 4) + "\" y=\"" + szNum(y - 7) +
          "\" width=\"20\" height=\"14\" fill=\"#ececec\" stroke=\"#c0c0c0\"/>\n");
    w.text(kLegendX + 36, y + 4, "idle stage", "class=\"legend\"");

    w.raw("</svg>\n");
    return w.str();
}

}  // namespace kivota
