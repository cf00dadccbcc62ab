#include "wiring/engine_root.h"

#include <unistd.h>

#include <filesystem>

#include "net/letter_code.h"
#include "platform/linux/linux_management_service.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/netlink_network_stack.h"
#include "platform/linux/program_directory.h"
#include "platform/linux/steady_clock.h"
#include "profile/adapter_counters.h"
#include "profile/adapter_survey.h"
#include "profile/machine_profiler.h"
#include "run/settings_file.h"

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
    const std::string installed = programDir + "/" + helperRelativeDirectory();
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

std::string EngineRoot::szProbeTarget1() const { return szDecode(addresses_->probeTarget1); }
std::string EngineRoot::szProbeTarget2() const { return szDecode(addresses_->probeTarget2); }

void EngineRoot::vReadSettings(RunState& rs) const { vReadSettingsFile(rs, szDecode(addresses_->settingsFileName)); }

int EngineRoot::iConnectedAdapters() const { return iNICConnect(*net_); }

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
                                                       std::shared_ptr<IWindowHandle> window) const {
    auto worker = std::make_shared<CWorkThread>(workerServices(std::move(rs), std::move(window)));
    worker->SetFreeOnTerminate(true);
    worker->sysInfoReady = false;
    worker->echoDone = false;
    return worker;
}

}  // namespace kivota
