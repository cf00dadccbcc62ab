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

}  // namespace kivota
