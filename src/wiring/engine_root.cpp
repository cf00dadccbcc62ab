#include "wiring/engine_root.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "history/history_path.h"
#include "history/history_store.h"
#include "net/http_thread.h"
#include "net/letter_code.h"
#include "platform/linux/linux_management_service.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/netlink_network_stack.h"
#include "platform/linux/poll_loop.h"
#include "platform/linux/program_directory.h"
#include "platform/linux/steady_clock.h"
#include "platform/thread.h"
#include "profile/adapter_counters.h"
#include "profile/adapter_survey.h"
#include "profile/machine_profiler.h"
#include "run/run_log.h"
#include "run/settings_file.h"
#include "wiring/run_history.h"

namespace kivota {

namespace {

// Whether `dir` is `tree` or lies inside it (both made absolute, symbolic links resolved).
bool bWithin(const std::string& dir, const std::string& tree) {
    std::error_code ec;
    const auto d = std::filesystem::weakly_canonical(dir, ec);
    if (ec) return false;
    const auto t = std::filesystem::weakly_canonical(tree, ec);
    if (ec || t.empty()) return false;
    const auto relative = d.lexically_relative(t);
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

const char* helperRelativeDirectory() { return KIVOTA_HELPER_RELDIR; }

std::string helperDirectoryFor(const std::string& programDir, const std::string& buildTree) {
    if (programDir.empty()) return {};
    std::string installed = programDir + "/" + helperRelativeDirectory();
    if (::access((installed + "/netsh").c_str(), X_OK) == 0) return installed;
    if (!buildTree.empty() && bWithin(programDir, buildTree)) return programDir;
    return {};
}

std::string helperDirectory() { return helperDirectoryFor(programDirectory(), KIVOTA_BUILD_TREE); }

EngineRoot::EngineRoot(std::shared_ptr<const StoredAddresses> addresses)
    : addresses_(std::move(addresses)),
      clock_(std::make_shared<SteadyClock>()),
      net_(makeLinuxNetworkStack()),
      system_(makeLinuxSystemInfo()),
      wmi_(makeLinuxManagementService()),
      counters_(std::make_shared<InterfaceTableCounters>(net_)),
      profiler_(std::make_unique<MachineProfiler>(system_, net_, helperDirectory(),
                                                  szDecode(addresses_->referenceAddress1),
                                                  szDecode(addresses_->referenceAddress2))) {}

EngineRoot::~EngineRoot() = default;

std::string EngineRoot::szProbeTarget1() { return szDecode(addresses_->probeTarget1); }
std::string EngineRoot::szProbeTarget2() { return szDecode(addresses_->probeTarget2); }

void EngineRoot::vReadSettings(RunState& rs) {
    const std::string path = settingsFile_.value_or(szDecode(addresses_->settingsFileName));
    if (!path.empty()) vReadSettingsFile(rs, path);
}

std::unique_ptr<IPolledEventLoop> makePollLoop() { return std::make_unique<PollLoop>(); }

std::string szAutomaticSettingsProblem(const std::string& path) {
    if (::access(path.c_str(), R_OK) != 0) return "cannot read the settings file " + path;
    RunState probe;
    vReadSettingsFile(probe, path);
    if (!(probe.autoTestEnabled && probe.autoTestMode)) {
        return path + " does not turn the automatic mode on (AutoTest Y, Testtype jMOVA)";
    }
    return {};
}

int EngineRoot::iConnectedAdapters() { return iNICConnect(*net_); }

void EngineRoot::vResetProfile() { profiler_->isVistaOrLater = false; }
void EngineRoot::vGetSystemInfo(MachineProfile& profile) { profiler_->vGetSystemInfo(profile); }
void EngineRoot::vOpenCpuQueries(MachineProfile& profile) { profiler_->vOpenCpuQueries(profile); }
void EngineRoot::vGetSystemResource(MachineProfile& profile) { profiler_->vGetSystemResource(profile); }
void EngineRoot::vCloseCpuQueries() { profiler_->vCloseCpuQueries(); }

void EngineRoot::vStartKeepAlive(const std::string& cookie, const std::string& url) {
    CHttpThread::vStart(cookie, url);
}

bool EngineRoot::bAppendLog(const std::string& text, const std::string& fileName, std::string& error) {
    return kivota::bAppendLog(*clock_, text, fileName, &error);
}

void EngineRoot::vRecordRun(const RunResult& result) {
    const HistoryWrite written = recordRun(historyOf(result, program_, result.startedAt), szDefaultHistoryPath());
    if (!written.ok())
        std::fprintf(stderr, "%s: the run is not in the history: %s\n", program_.c_str(), written.error.c_str());
}

bool EngineRoot::bWaitThreadsEnded(std::chrono::milliseconds bound) { return ThreadTracker::waitAllEnded(bound); }

WorkerServices EngineRoot::workerServices(std::shared_ptr<RunState> rs, std::shared_ptr<IWindowHandle> window) const {
    WorkerServices services;
    services.state = std::move(rs);
    services.window = std::move(window);
    services.clock = clock_;
    services.addresses = addresses_;
    services.counters = counters_;
    services.wmi = wmi_;
    services.system = system_;
    return services;
}

std::shared_ptr<CWorkThread> EngineRoot::pCreateWorker(std::shared_ptr<RunState> rs,
                                                       std::shared_ptr<IWindowHandle> window) {
    auto worker = std::make_shared<CWorkThread>(workerServices(std::move(rs), std::move(window)));
    worker->SetFreeOnTerminate(true);
    worker->sysInfoReady = false;
    worker->echoDone = false;
    return worker;
}

}  // namespace kivota
