#pragma once
// The tested adapter's octet counters, read from a fresh interface-table snapshot at each
// sample: what the measurement compares with the FTP payload it moved.

#include <memory>
#include <optional>

#include "platform/network_stack.h"
#include "platform/octet_counters.h"

namespace kivota {

class InterfaceTableCounters final : public IOctetCounterSource {
public:
    explicit InterfaceTableCounters(std::shared_ptr<INetworkStack> net);

    // Row `adapterRow` of a fresh table; nullopt when the table cannot be read or has no such
    // row (the survey leaves `adapterRow` past the end when no row carries the tested adapter,
    // and the measurement then sees "no counters" rather than another adapter's). Any thread.
    std::optional<OctetCounters> sample(int adapterRow) override;

private:
    std::shared_ptr<INetworkStack> net_;
};

}  // namespace kivota
