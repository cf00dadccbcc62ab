#pragma once
// The accepted seconds of one transfer phase as numbers: the FTP payload rate and the adapter's
// rates in both directions, in whole kbit/s. They become text only where the result line and
// the result file write them as comma-separated items.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivota {

struct SecondFigures {
    std::optional<std::int64_t> ftpKbps;      // none when the rate rounds to 0
    std::optional<std::int64_t> adapterKbps;  // the phase's own direction; none when the adapter showed no movement
    std::optional<std::int64_t> otherKbps;    // the other direction in the same second
    bool operator==(const SecondFigures&) const = default;
};

using PhaseSeries = std::vector<SecondFigures>;

// The series as the result line carries them: one item per second, an empty item for none.
std::string szFtpItems(const PhaseSeries& series);
std::string szAdapterItems(const PhaseSeries& series);
std::string szOtherItems(const PhaseSeries& series);

}  // namespace kivota
