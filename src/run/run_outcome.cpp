#include "run/run_outcome.h"

namespace kivota {

const char* szEndName(EndKind kind) {
    switch (kind) {
        case EndKind::Reported: return "reported";
        case EndKind::Recorded: return "recorded";
        case EndKind::NotReported: return "not-reported";
        case EndKind::NotRecorded: return "not-recorded";
        case EndKind::OutOfRange: return "out-of-range";
        case EndKind::MeasurementFailed: return "measurement-failed";
        case EndKind::PhasesNotStarted: return "phases-not-started";
        case EndKind::ServerFailed: return "server-failed";
        case EndKind::NoRoundTrip: return "no-round-trip";
        case EndKind::Refused: return "refused";
        case EndKind::UpdateRequired: return "update-required";
        case EndKind::Declined: return "declined";
        case EndKind::NoAdapter: return "no-adapter";
        case EndKind::Interrupted: return "interrupted";
    }
    return "interrupted";
}

}  // namespace kivota
