#include "run/phase_series.h"

namespace kivota {

namespace {

template <typename Field>
std::string szItems(const PhaseSeries& series, Field field) {
    std::string text;
    for (std::size_t i = 0; i < series.size(); ++i) {
        if (i > 0) text += ',';
        if (const std::optional<std::int64_t>& value = series[i].*field) text += std::to_string(*value);
    }
    return text;
}

}  // namespace

std::string szFtpItems(const PhaseSeries& series) { return szItems(series, &SecondFigures::ftpKbps); }
std::string szAdapterItems(const PhaseSeries& series) { return szItems(series, &SecondFigures::adapterKbps); }
std::string szOtherItems(const PhaseSeries& series) { return szItems(series, &SecondFigures::otherKbps); }

}  // namespace kivota
