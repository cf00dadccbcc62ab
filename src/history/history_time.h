#pragma once
// The times of the history: a run's moment in UTC with the local offset it had, its local
// time as it was shown then, and the local date or date-time of a query's lower bound.

#include <cstdint>
#include <optional>
#include <string>

#include "history/history_run.h"

namespace kivota {

// Fills timeUtc and utcOffsetMinutes from a moment (seconds since the epoch), with the offset
// of this machine's local zone at that moment.
void vStampRunTime(HistoryRun& run, std::int64_t unixSeconds);

// The run's local time in ISO 8601 with its offset ("2025-03-01T13:34:56+01:00"), from the
// stored UTC time and offset; empty when timeUtc is not a time of that form.
std::string szRunLocalTime(const HistoryRun& run);

// A local date ("2025-03-01") or date-time ("2025-03-01 13:34", "2025-03-01T13:34:56") as the
// UTC time the store compares with, in this machine's local zone; nullopt with `error` when
// the text is neither or names no real day or time.
std::optional<std::string> optSinceUtc(const std::string& localText, std::string& error);

}  // namespace kivota
