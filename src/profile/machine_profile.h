#pragma once
// What the run learns of the machine and its network stack: the tested adapter and its link,
// the TCP settings, the system facts, and the load samples taken while the phases run. The
// profile steps fill it on the front end's thread before the worker reads it for the result.

#include <cstdint>
#include <string>

#include "profile/resource_tally.h"

namespace kivota {

struct MachineProfile {
    // System facts (once per process) and the memory, disk and power of each run
    std::string userOs;
    std::string osServicePack;
    std::string userAntivir;
    std::string hotfixList;
    std::string cpuName;
    int coreCount = 0;
    int memTotalMb = 0;
    std::string systemDrive;
    float diskFreeGb = 0.0f;
    std::string powerStatus;

    // TCP settings, as numbers and as the texts of the result line
    std::string userProxy;
    int tcp1323Opts = 0, globalMaxTcpWindowSize = 0, tcpWindowSize = 0, enablePmtuDiscovery = 0,
        defaultReceiveWindows = 0;
    std::string tcp1323OptsText, globalMaxTcpWindowSizeText, tcpWindowSizeText, enablePmtuDiscoveryText,
        defaultReceiveWindowsText, mtuText;
    std::string netParameter;

    // The tested adapter
    int adapterRow = 0;
    std::string userLocalIp;
    std::string userPppoe;
    std::string userNic;
    std::uint32_t mtu = 0;  // 0xFFFFFFFF when not known
    int nicRate = 0;        // kbit/s

    ResourceTally resources;  // CPU-load and free-memory samples of the phases (locked)
};

}  // namespace kivota
