#pragma once
// A finished run as the local history keeps it.

#include <cstdint>
#include <string>

#include "history/history_run.h"
#include "run/run_result.h"

namespace kivota {

// `program` is the front end's name ("kivota", "kivota-cli"); `startedAt` the run's start in
// seconds since 1970 (UTC).
HistoryRun historyOf(const RunResult& result, const std::string& program, std::int64_t startedAt);

}  // namespace kivota
