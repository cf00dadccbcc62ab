#pragma once
// How a run ended: the error code it left and the kind of end, the one value from which each
// front end maps its own rendering (the window's boxes and pages, the terminal's exit status
// and its JSON) in one table each.

#include <cstdint>

#include "run/run_state.h"

namespace kivota {

enum class EndKind : std::uint8_t {
    Reported,           // measured and accepted by the operator (a result link came back)
    Recorded,           // the automatic mode measured and wrote its result line to the result file
    NotReported,        // measured, but not reported: the upload failed, or a guest test ran
    NotRecorded,        // the automatic mode measured, but its result file could not be written
    OutOfRange,         // a final speed is out of range (possibly after the operator stored it)
    MeasurementFailed,  // a phase measured too little
    PhasesNotStarted,   // the connections of a phase could not be started
    ServerFailed,       // the configuration could not be had
    NoRoundTrip,        // the probe rounds did not finish in time
    Refused,            // the operator did not grant the test
    UpdateRequired,     // this version must be updated before it can test
    Declined,           // the user did not accept the agreement
    NoAdapter,          // no connected network adapter
    Interrupted,        // the user ended the run before its end
};

struct RunOutcome {
    ErrorCode code = ErrNone;
    EndKind kind = EndKind::Interrupted;
    bool operator==(const RunOutcome&) const = default;
};

// How the run ended, as the history and the terminal's JSON name it ("reported", "out-of-range", ...).
const char* szEndName(EndKind kind);

// Both speeds of the run are its own: kinds that carry a full measurement.
inline bool bMeasuredKind(EndKind kind) {
    return kind == EndKind::Reported || kind == EndKind::Recorded || kind == EndKind::NotReported ||
           kind == EndKind::NotRecorded || kind == EndKind::OutOfRange;
}

}  // namespace kivota
