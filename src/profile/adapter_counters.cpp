#include "profile/adapter_counters.h"

#include <utility>

#include "profile/adapter_snapshots.h"

namespace kivota {

InterfaceTableCounters::InterfaceTableCounters(std::shared_ptr<INetworkStack> net) : net_(std::move(net)) {}

std::optional<OctetCounters> InterfaceTableCounters::sample(int adapterRow) {
    if (!net_ || adapterRow < 0) {
        return std::nullopt;
    }
    const auto table = pGetIfTable(*net_);
    if (!table || static_cast<std::size_t>(adapterRow) >= table->size()) {
        return std::nullopt;
    }
    const IfTableRow& row = (*table)[static_cast<std::size_t>(adapterRow)];
    return OctetCounters{row.inOctets, row.outOctets};
}

}  // namespace kivota
