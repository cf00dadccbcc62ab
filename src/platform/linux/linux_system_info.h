#pragma once
// The machine's facts on Linux:
//   OS version     the kernel release, major.minor. A 6.x (or later) kernel counts as "version 6
//                  or later": the netsh codes are read and the processor name comes from the
//                  management service. On a 5.x kernel the profile takes the older road: the
//                  netsh codes are "-1,...", the processor name is read from the registry view
//                  (the same /proc/cpuinfo name) and the antivirus namespace is root\SecurityCenter.
//   memory         /proc/meminfo MemTotal and MemAvailable
//   power          /sys/class/power_supply: AC line 0/1 from the mains supplies (255 when the
//                  machine has none), battery flag bits 1 high, 2 low, 4 critical, 8 charging,
//                  128 when no battery is present
//   disk           statvfs: every free block of the file system
//   processors     the online processors; CPU times from /proc/stat
//   registry       the view of platform/linux/linux_registry_view.h

#include <memory>
#include <string>

#include "platform/system_info.h"

namespace kivota {

std::shared_ptr<ISystemInfo> makeLinuxSystemInfo();

// Reads power from a power-supply class directory (parameter for tests with a made-up tree).
PowerStatus readPowerSupplies(const std::string& classDir);

}  // namespace kivota
