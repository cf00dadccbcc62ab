#include "profile/adapter_counters.h"

#include <utility>

namespace kivota {

InterfaceTableCounters::InterfaceTableCounters(std::shared_ptr<INetworkStack> net) : net_(std::move(net)) {}

std::optional<OctetCounters> InterfaceTableCounters::sample(int adapterRow) {
    if (!net_ || adapterRow < 0) {
        return std::nullopt;
    }
    const auto table = net_->interfaceOctets();
    if (!table || static_cast<std::size_t>(adapterRow) >= table->size()) {
        return std::nullopt;
    }
    return (*table)[static_cast<std::size_t>(adapterRow)];
}

}  // namespace kivota
