#pragma once
// The window's side of the machine profile, run on the window's thread: the profile step of
// each test (adapter, TCP settings, memory, power, the netsh codes, the combined TCP text and
// the free disk space) and the CPU-load and free-memory samples taken while the test runs.

#include <memory>
#include <string>
#include <vector>

#include "platform/network_stack.h"
#include "platform/system_info.h"
#include "profile/cpu_load.h"
#include "profile/machine_profile.h"

namespace kivota {

class MachineProfiler {
public:
    // netshDir: the directory of the program's own netsh helper (see helperDirectory()); empty
    // when there is none, and then no netsh runs.
    // referenceAddress1/2: decoded dotted addresses that pick the tested adapter.
    // Without a network stack (tests of the other facts) the adapter survey is left out.
    MachineProfiler(std::shared_ptr<ISystemInfo> system, std::shared_ptr<INetworkStack> net, std::string netshDir,
                    std::string referenceAddress1, std::string referenceAddress2);

    // The profile step of one test; isVistaOrLater is set when the system is version 6 or later
    // (the window clears it when a run begins).
    void vGetSystemInfo(MachineProfile& profile);
    // Opens the total CPU-load counter and, with more than one processor, one per processor,
    // each collected once as the base of the first sample; per-processor sums start at 0.
    void vOpenCpuQueries(MachineProfile& profile);
    // Counts one sample and adds its CPU load (total and per processor) and free memory to the
    // sums, all at once.
    void vGetSystemResource(MachineProfile& profile);
    void vCloseCpuQueries();

    bool isVistaOrLater = false;
    std::string szNetshState;
    int iEnableWsd = -1;

private:
    std::shared_ptr<ISystemInfo> system_;
    std::shared_ptr<INetworkStack> net_;
    std::string netshDir_;
    std::string referenceAddress1_, referenceAddress2_;

    std::unique_ptr<CpuLoadCounter> cpuCounter_;
    std::vector<CpuLoadCounter> coreCounters_;
    // Like the value record of a performance counter: a read that fails keeps the last value.
    double counterValue_ = 0.0;
};

}  // namespace kivota
