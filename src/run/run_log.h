#pragma once
// The trace an unattended run leaves: a daily run log ("YYYYMMDD_SpeedTest.log", each line
// stamped with the time of day) and the result file "KivotaResult.txt" (one result line per
// run, no stamp). Both live in the current directory and are written in code page 950 with
// CR LF line ends, as the operator's tools read them. Every call opens, appends one line and
// closes; a file that cannot be written is reported to the caller, and the run goes on.

#include <string>

#include "platform/clock.h"

namespace kivota {

inline constexpr const char* kResultFileName = "KivotaResult.txt";

// "HH:MM:SS" of a local time.
std::string szTimeText(const LocalTime& t);

// "YYYYMMDD_SpeedTest.log" of a local date.
std::string szDailyLogName(const LocalTime& t);

// Appends `text` as one line to `fileName`, or to the daily log when `fileName` is empty. Only
// the exact name "KivotaResult.txt" gets the bare text; every other file gets "time<TAB>text".
// A character code page 950 cannot hold is written as '?'. false, with `error` saying which file
// and why, when the line could not be written whole.
bool bAppendLog(IClock& clock, const std::string& text, const std::string& fileName, std::string* error = nullptr);

}  // namespace kivota
