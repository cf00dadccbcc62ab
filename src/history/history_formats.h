#pragma once
// A listing of runs as text: an aligned table for a terminal, CSV (RFC 4180: a header row,
// CR LF line ends, quoted fields where needed) and JSON Lines (one object per run). CSV and
// JSON carry every scalar field of a run (historyColumns()) with its local time; the table a
// selection that fits a terminal. A figure not measured is an empty field, null, or "-".

#include <string>
#include <vector>

#include "history/history_run.h"

namespace kivota {

std::string szHistoryTable(const std::vector<HistoryRun>& runs);
std::string szHistoryCsv(const std::vector<HistoryRun>& runs);
std::string szHistoryJsonLines(const std::vector<HistoryRun>& runs);

// A number as the shortest text that reads back as the same double ("48123.456", "1e-07").
std::string szShortestNumber(double value);

}  // namespace kivota
