#pragma once
// An adapter whose counters cannot be read, for runs whose adapter counters are not under test.

#include <optional>

#include "platform/octet_counters.h"

namespace kivota::test {

class NoCounters final : public IOctetCounterSource {
public:
    std::optional<OctetCounters> sample(int) override { return std::nullopt; }
};

}  // namespace kivota::test
