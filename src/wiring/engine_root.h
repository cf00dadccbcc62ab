#pragma once
// The one place where the engine is wired on Linux: the server addresses of the build, the
// clock, the network stack and its octet counters, the system facts, the WMI stand-in and the
// machine profiler. The window, the terminal client and the benchmark all build their runs
// from one of these, so that each front end measures with exactly the same parts; it is the
// run controller's view of the machine.

#include <memory>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/window_messages.h"
#include "run/run_services.h"
#include "run/run_state.h"
#include "run/stored_addresses.h"
#include "run/work_thread.h"

namespace kivota {

class INetworkStack;
class ISystemInfo;
class IManagementService;
class IOctetCounterSource;
class MachineProfiler;

class EngineRoot final : public IRunServices {
public:
    // `addresses` letter-encoded, as buildAddresses() gives them.
    explicit EngineRoot(std::shared_ptr<const StoredAddresses> addresses);
    ~EngineRoot() override;
    EngineRoot(const EngineRoot&) = delete;
    EngineRoot& operator=(const EngineRoot&) = delete;

    const std::shared_ptr<const StoredAddresses>& addresses() const { return addresses_; }
    const std::shared_ptr<INetworkStack>& networkStack() const { return net_; }
    const std::shared_ptr<IOctetCounterSource>& counters() const { return counters_; }
    MachineProfiler& profiler() { return *profiler_; }

    // The settings file the automatic mode reads instead of the stored name; empty: none (a
    // run that never becomes automatic).
    void vUseSettingsFile(std::string path) { settingsFile_ = std::move(path); }

    // Everything a worker needs, its messages going to `window`.
    WorkerServices workerServices(std::shared_ptr<RunState> rs, std::shared_ptr<IWindowHandle> window) const;

    // --- IRunServices ---
    std::shared_ptr<IClock> clock() override { return clock_; }
    std::string szProbeTarget1() override;
    std::string szProbeTarget2() override;
    // The automatic mode's settings file of the working directory (the stored name).
    void vReadSettings(RunState& rs) override;
    int iConnectedAdapters() override;
    std::shared_ptr<CWorkThread> pCreateWorker(std::shared_ptr<RunState> rs,
                                               std::shared_ptr<IWindowHandle> window) override;
    void vResetProfile() override;
    void vGetSystemInfo(MachineProfile& profile) override;
    void vOpenCpuQueries(MachineProfile& profile) override;
    void vGetSystemResource(MachineProfile& profile) override;
    void vCloseCpuQueries() override;
    void vStartKeepAlive(const std::string& cookie, const std::string& url) override;
    bool bAppendLog(const std::string& text, const std::string& fileName, std::string& error) override;
    void vRecordRun(const RunResult& result) override;
    bool bWaitThreadsEnded(std::chrono::milliseconds bound) override;

    // The front end's name in the history ("kivota", "kivota-cli").
    void vSetProgram(std::string program) { program_ = std::move(program); }

private:
    std::shared_ptr<const StoredAddresses> addresses_;
    std::shared_ptr<IClock> clock_;
    std::shared_ptr<INetworkStack> net_;
    std::shared_ptr<ISystemInfo> system_;
    std::shared_ptr<IManagementService> wmi_;
    std::shared_ptr<IOctetCounterSource> counters_;
    std::unique_ptr<MachineProfiler> profiler_;
    std::optional<std::string> settingsFile_;  // unset: the stored name
    std::string program_ = "kivota";
};

// The event loop of a front end without a toolkit (the terminal's).
std::unique_ptr<IPolledEventLoop> makePollLoop();

// Why the settings file at `path` cannot drive the automatic mode (it cannot be read, or it does
// not switch the mode on); empty when it can.
std::string szAutomaticSettingsProblem(const std::string& path);

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
