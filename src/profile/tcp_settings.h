#pragma once
// The TCP/IP stack settings the result reports, read from the registry view: window scaling
// and timestamps, the window sizes, path-MTU discovery, the socket driver's receive window,
// the user's proxy and, on systems older than major version 6, the processor name.

#include <cstdint>

#include "platform/registry_view.h"
#include "profile/machine_profile.h"

namespace kivota {

// Resets the destinations to their defaults (-1, userProxy "null"), then reads each value on
// its own: a value that is missing, of another type or denied leaves its destination alone.
void vGetRegistryInfo(MachineProfile& profile, const IRegistryView& registry, bool isVistaOrLater, int& iEnableWsd);

}  // namespace kivota
