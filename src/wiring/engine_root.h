#pragma once
// The one place where the engine is wired on Linux: the server addresses of the build, the
// clock, the network stack and its octet counters, the system facts, the WMI stand-in and the
// machine profiler. The window, the terminal client and the benchmark all build their runs
// from one of these, so that each front end measures with exactly the same parts.

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/window_messages.h"
#include "run/run_state.h"
#include "run/stored_addresses.h"
#include "run/work_thread.h"

namespace kivota {

class INetworkStack;
class ISystemInfo;
class IManagementService;
class IOctetCounterSource;
class MachineProfiler;

class EngineRoot {
public:
    // `addresses` letter-encoded, as buildAddresses() gives them.
    explicit EngineRoot(std::shared_ptr<const StoredAddresses> addresses);
    ~EngineRoot();
    EngineRoot(const EngineRoot&) = delete;
    EngineRoot& operator=(const EngineRoot&) = delete;

    const std::shared_ptr<const StoredAddresses>& addresses() const { return addresses_; }
    const std::shared_ptr<IClock>& clock() const { return clock_; }
    const std::shared_ptr<INetworkStack>& networkStack() const { return net_; }
    const std::shared_ptr<IOctetCounterSource>& counters() const { return counters_; }
    MachineProfiler& profiler() { return *profiler_; }

    // The decoded echo probe targets.
    std::string szProbeTarget1() const;
    std::string szProbeTarget2() const;

    // Reads the automatic mode's settings file of the working directory (the stored name).
    void vReadSettings(RunState& rs) const;
    // Number of connected network adapters (0: none).
    int iConnectedAdapters() const;

    // Everything a worker needs, its messages going to `window`.
    WorkerServices workerServices(std::shared_ptr<RunState> rs, std::shared_ptr<IWindowHandle> window) const;
    // A suspended worker for one run that frees itself when it ends, with sysInfoReady and
    // echoDone clear; the caller resumes it.
    std::shared_ptr<CWorkThread> pCreateWorker(std::shared_ptr<RunState> rs,
                                               std::shared_ptr<IWindowHandle> window) const;

private:
    std::shared_ptr<const StoredAddresses> addresses_;
    std::shared_ptr<IClock> clock_;
    std::shared_ptr<INetworkStack> net_;
    std::shared_ptr<ISystemInfo> system_;
    std::shared_ptr<IManagementService> wmi_;
    std::shared_ptr<IOctetCounterSource> counters_;
    std::unique_ptr<MachineProfiler> profiler_;
};

// Where the program's helper commands (netsh) are: the private helper directory of an
// installed program (libexec/kivota beside its bin directory) when its netsh is there, else,
// for a program that runs in the build tree it was built in, its own directory (where the build
// puts a copy). Empty otherwise: an installed program whose helper is missing runs none, and
// never one that merely sits beside it or on PATH.
std::string helperDirectory();
// The same for a program in `programDir` built in `buildTree`.
std::string helperDirectoryFor(const std::string& programDir, const std::string& buildTree);
// The private helper directory relative to the programs' directory ("../libexec/kivota").
const char* helperRelativeDirectory();

}  // namespace kivota
