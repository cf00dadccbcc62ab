// The configuration's version texts and the test parameters' user_rate, as the server sends
// them: a version read as a number comes back in its shortest form, which reads as the same
// number and normalises to itself; a user_rate applies only as exactly two strict numbers.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "net/reply_parser.h"
#include "run/run_rules.h"

namespace {

std::optional<double> optReadBack(const std::string& text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const auto version = kivota::optNormaliseVersion(text)) {
        FUZZ_CHECK(!version->empty() && version->size() <= 32);
        FUZZ_CHECK(version->find_first_of(" \t") == std::string::npos && version->front() != '+');
        const auto value = optReadBack(*version);
        FUZZ_CHECK(value && std::isfinite(*value));
        FUZZ_CHECK(kivota::optNormaliseVersion(*version) == version);
        // Blanks around the text and a plus sign do not change the number.
        FUZZ_CHECK(kivota::optNormaliseVersion(" \t" + text + "\t ") == version);
        const int decision = kivota::iVersionDecision("0.93", *version, *version);
        FUZZ_CHECK(decision >= 1 && decision <= 3);
    }

    const auto rate = kivota::optParseUserRate(text);
    const std::size_t commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
    if (commas != 1) FUZZ_CHECK(rate && !rate->applies);  // not a pair: ignored, never malformed
    if (rate && rate->applies) {
        FUZZ_CHECK(commas == 1);
        const std::size_t comma = text.find(',');
        FUZZ_CHECK(kivota::optStrictInt(text.substr(0, comma)) == rate->downKbps);
        FUZZ_CHECK(kivota::optStrictInt(text.substr(comma + 1)) == rate->upKbps);
        // Written back, the pair reads the same.
        const auto again =
            kivota::optParseUserRate(std::to_string(rate->downKbps) + "," + std::to_string(rate->upKbps));
        FUZZ_CHECK(again && again->applies && again->downKbps == rate->downKbps && again->upKbps == rate->upKbps);
        kivota::SessionPlan plan{4, 4, 0, 0};
        kivota::vApplyRateRules(rate->downKbps, rate->upKbps, plan);
        FUZZ_CHECK(plan.ulSessions >= 1 && plan.dlSessions >= 1 && plan.userSendBuf > 0 && plan.userRecvBuf > 0);
    }
    if (commas == 1 && !rate) {
        const std::size_t comma = text.find(',');
        FUZZ_CHECK(!kivota::optStrictInt(text.substr(0, comma)) || !kivota::optStrictInt(text.substr(comma + 1)));
    }
    return 0;
}
