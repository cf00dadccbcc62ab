#pragma once
// The scalar fields of a HistoryRun as one list of columns: the runs table, the CSV header and
// the JSON object of a run are all written from this list, so a field added to the run is
// added to every form at once (and to the schema by a migration).

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "history/history_run.h"

namespace kivota {

// A column's value: NULL, an integer, a real or a text.
using HistoryValue = std::variant<std::monostate, std::int64_t, double, std::string>;

enum class HistoryColumnType { Integer, Real, Text };

struct HistoryColumn {
    std::string name;         // the runs table's column and the CSV header ("idle_median_ms")
    std::string jsonPointer;  // where the JSON object of a run holds it ("/latency/idle/median_ms")
    HistoryColumnType type;
    bool nullable;  // an optional field (a figure that may be missing)
    std::function<HistoryValue(const HistoryRun&)> get;
    // Sets the field from a value as the table gives it back; a NULL empties an optional field
    // and leaves a required one at its default.
    std::function<void(HistoryRun&, const HistoryValue&)> set;
};

// Every scalar field of a run but its id, in the runs table's order.
const std::vector<HistoryColumn>& historyColumns();

}  // namespace kivota
