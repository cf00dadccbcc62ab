#pragma once
// The live progress line of the terminal client: phase, bar, percent and the current rate,
// redrawn in place on a terminal ("\r" and erase to the end of the line).

#include <cstdio>
#include <string>

#include "run/run_reporter.h"

namespace kivota {

// phase: 0 upload, 1 download, 2 preparation (the progress message's wParam); percent 0..100;
// rateKbps < 0: no rate known yet.
std::string szProgressLine(int phase, int percent, double rateKbps);

// The line on a terminal's stream: drawn while a phase runs, kept once a phase is done, cleared
// before anything else is written. Draws nothing when the stream is no terminal (`shown` false).
class ProgressLine {
public:
    ProgressLine(std::FILE* out, bool shown) : out_(out), shown_(shown) {}
    void draw(const Progress& progress);
    void clear();

private:
    std::FILE* out_;
    bool shown_;
    bool drawn_ = false;
};

}  // namespace kivota
