#pragma once
// The live progress line of the terminal client: phase, bar, percent and the current rate,
// redrawn in place on a terminal ("\r" and erase to the end of the line).

#include <string>

namespace kivota {

// phase: 0 upload, 1 download, 2 preparation (the progress message's wParam); percent 0..100;
// rateKbps < 0: no rate known yet.
std::string szProgressLine(int phase, int percent, double rateKbps);

}  // namespace kivota
