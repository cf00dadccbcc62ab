#include "cli/progress_line.h"

#include <algorithm>
#include <cstdio>

namespace kivota {

namespace {
constexpr int kBarWidth = 30;
}

std::string szProgressLine(int phase, int percent, double rateKbps) {
    const int p = std::clamp(percent, 0, 100);
    const char* name = phase == 0 ? "upload  " : (phase == 1 ? "download" : "prepare ");
    const int filled = p * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    char rate[48] = "";
    if (phase != 2 && rateKbps >= 0) std::snprintf(rate, sizeof rate, "  %9.2f Mbit/s", rateKbps / 1000.0);
    char line[128];
    std::snprintf(line, sizeof line, "%s [%s] %3d%%%s", name, bar.c_str(), p, rate);
    return line;
}

void ProgressLine::draw(const Progress& p) {
    if (!shown_) return;
    const double rate = p.ftpKbps ? static_cast<double>(*p.ftpKbps) : -1.0;
    std::fprintf(out_, "\r%s\x1b[K", szProgressLine(static_cast<int>(p.phase), p.percent, rate).c_str());
    drawn_ = true;
    if (p.percent >= 95 && p.phase != RunPhase::Preparation) {
        // The phase is done (the bar rounds to 100 % from 95 on): keep its line.
        std::fputc('\n', out_);
        drawn_ = false;
    }
    std::fflush(out_);
}

void ProgressLine::clear() {
    if (!drawn_) return;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
    drawn_ = false;
}

}  // namespace kivota
