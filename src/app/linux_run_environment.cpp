#include "app/linux_run_environment.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include "net/http_thread.h"
#include "net/letter_code.h"
#include "platform/linux/linux_management_service.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/netlink_network_stack.h"
#include "platform/linux/program_directory.h"
#include "platform/linux/steady_clock.h"
#include "platform/thread.h"
#include "profile/adapter_counters.h"
#include "profile/adapter_survey.h"
#include "profile/machine_profiler.h"
#include "run/run_log.h"
#include "run/settings_file.h"
#include "run/work_thread.h"

namespace kivota {

LinuxRunEnvironment::LinuxRunEnvironment(std::shared_ptr<const StoredAddresses> addresses)
    : addresses_(std::move(addresses)),
      clock_(std::make_shared<SteadyClock>()),
      net_(makeLinuxNetworkStack()),
      system_(makeLinuxSystemInfo()),
      wmi_(makeLinuxManagementService()),
      counters_(std::make_shared<InterfaceTableCounters>(net_)),
      profiler_(std::make_unique<MachineProfiler>(system_, net_, programDirectory(),
                                                  szDecode(addresses_->referenceAddress1),
                                                  szDecode(addresses_->referenceAddress2))) {}

LinuxRunEnvironment::~LinuxRunEnvironment() = default;

IClock& LinuxRunEnvironment::clock() { return *clock_; }

void LinuxRunEnvironment::vReadSettings(RunState& rs) { vReadSettingsFile(rs, szDecode(addresses_->settingsFileName)); }

int LinuxRunEnvironment::iConnectedAdapters() { return iNICConnect(*net_); }

std::shared_ptr<CWorkThread> LinuxRunEnvironment::pCreateWorker(std::shared_ptr<RunState> rs,
                                                                 std::shared_ptr<IWindowHandle> window) {
    WorkerServices services;
    services.state = std::move(rs);
    services.window = std::move(window);
    services.clock = clock_;
    services.addresses = addresses_;
    services.counters = counters_;
    services.wmi = wmi_;
    services.system = system_;
    return std::make_shared<CWorkThread>(std::move(services));
}

void LinuxRunEnvironment::vResetProfile() { profiler_->isVistaOrLater = false; }

void LinuxRunEnvironment::vGetSystemInfo(RunState& rs) { profiler_->vGetSystemInfo(rs); }

void LinuxRunEnvironment::vOpenCpuQueries(RunState& rs) { profiler_->vOpenCpuQueries(rs); }

void LinuxRunEnvironment::vGetSystemResource(RunState& rs) { profiler_->vGetSystemResource(rs); }

void LinuxRunEnvironment::vCloseCpuQueries() { profiler_->vCloseCpuQueries(); }

void LinuxRunEnvironment::vStartKeepAlive(const std::string& cookie, const std::string& url) {
    CHttpThread::vStart(cookie, url);
}

void LinuxRunEnvironment::vAppendLog(const std::string& text, const std::string& fileName) {
    kivota::vAppendLog(*clock_, text, fileName);
}

void LinuxRunEnvironment::vOpenUrl(const std::string& url) {
    if (url.empty()) return;
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void LinuxRunEnvironment::vSleepMs(int ms) { clock_->sleepMs(ms); }

bool LinuxRunEnvironment::bWaitThreadsEnded(std::chrono::milliseconds bound) {
    return ThreadTracker::waitAllEnded(bound);
}

void LinuxRunEnvironment::vExitProcess(int code) { QCoreApplication::exit(code); }

}  // namespace kivota
