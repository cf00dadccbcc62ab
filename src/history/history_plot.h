#pragma once
// A picture of one run as SVG: the per-second FTP and adapter rates of both transfer phases
// over time (Mbit/s), and beneath them, on the same time axis, the round trip of every
// latency sample (ms) with its losses; the idle stage is shaded. One vertex per accepted
// second of each series, and one mark per sample.

#include <string>

#include "history/history_run.h"

namespace kivota {

std::string szRunPlotSvg(const HistoryRun& run);

// Text for XML character data or an attribute value.
std::string szXmlEscape(const std::string& text);

}  // namespace kivota
