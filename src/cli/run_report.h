#pragma once
// The terminal's renderings of a finished run: the exit status from one table over how it ended,
// the text summary and the JSON object (--json).

#include <csignal>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "run/run_result.h"

namespace kivota {

// Exit statuses of kivota-cli (szTerminalUsage lists them for the user).
enum TerminalExit : int {
    ExitReported = 0,
    ExitNotReported = 1,
    ExitUsage = 2,
    ExitMeasurementFailed = 3,
    ExitOutOfRange = 4,
    ExitServerFailed = 5,
    ExitRefused = 6,
    ExitUpdateRequired = 7,
    ExitDeclined = 8,
    ExitNoAdapter = 9,
    ExitOutputFailed = 10,
};

// How the run ended, as the exit status; an interrupted run exits with 128 + the signal.
int iExitStatus(EndKind kind, int signal = SIGINT);
// What to tell the user about the end, beyond the figures; empty when nothing. The note is the
// text with the error table's caption in front, where it has one.
std::string szEndText(const RunResult& result);
std::string szEndNote(const RunResult& result);

// One JSON object: the outcome, the speeds (null where not measured, two decimals as the result
// line writes them), the adapter's rates, the per-second series, the round trip, the operator's
// answer. `status` is the exit status.
nlohmann::ordered_json jsonOfResult(const RunResult& result, int status);
// The text summary of a run that measured something; nothing otherwise.
void vPrintSummary(std::FILE* out, const RunResult& result);

}  // namespace kivota
