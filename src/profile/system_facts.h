#pragma once
// The once-per-program system facts from the management service: operating system and its
// service pack, antivirus products, processor name and count, system drive, hot fixes and the
// drive's free space. Runs on the worker thread.

#include <string>

#include "platform/management_service.h"
#include "platform/system_info.h"
#include "profile/machine_profile.h"

namespace kivota {

// The antivirus namespace of a system version: "root\SecurityCenter2" from 6.1 up to 6.x,
// "root\SecurityCenter" for every other version.
std::string szAntivirusNamespace(const OsVersion& version);

// Fills userOs, osServicePack, userAntivir, cpuName, coreCount, systemDrive, hotfixList and
// diskFreeGb, and sets isVistaOrLater from the system version. A failing antivirus, processor,
// drive or disk query ends the step; the facts not reached keep their values.
void vGatherWmiFacts(MachineProfile& profile, IManagementService& wmi, const ISystemInfo& system, bool& isVistaOrLater);

}  // namespace kivota
