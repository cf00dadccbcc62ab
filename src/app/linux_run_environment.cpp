#include "app/linux_run_environment.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include "net/http_thread.h"
#include "platform/thread.h"
#include "profile/machine_profiler.h"
#include "run/run_log.h"
#include "run/work_thread.h"
#include "wiring/engine_root.h"

namespace kivota {

LinuxRunEnvironment::LinuxRunEnvironment(std::shared_ptr<const StoredAddresses> addresses)
    : engine_(std::make_unique<EngineRoot>(std::move(addresses))) {}

LinuxRunEnvironment::~LinuxRunEnvironment() = default;

IClock& LinuxRunEnvironment::clock() { return *engine_->clock(); }

void LinuxRunEnvironment::vReadSettings(RunState& rs) { engine_->vReadSettings(rs); }

int LinuxRunEnvironment::iConnectedAdapters() { return engine_->iConnectedAdapters(); }

std::shared_ptr<CWorkThread> LinuxRunEnvironment::pCreateWorker(std::shared_ptr<RunState> rs,
                                                                std::shared_ptr<IWindowHandle> window) {
    return engine_->pCreateWorker(std::move(rs), std::move(window));
}

void LinuxRunEnvironment::vResetProfile() { engine_->profiler().isVistaOrLater = false; }

void LinuxRunEnvironment::vGetSystemInfo(RunState& rs) { engine_->profiler().vGetSystemInfo(rs); }

void LinuxRunEnvironment::vOpenCpuQueries(RunState& rs) { engine_->profiler().vOpenCpuQueries(rs); }

void LinuxRunEnvironment::vGetSystemResource(RunState& rs) { engine_->profiler().vGetSystemResource(rs); }

void LinuxRunEnvironment::vCloseCpuQueries() { engine_->profiler().vCloseCpuQueries(); }

void LinuxRunEnvironment::vStartKeepAlive(const std::string& cookie, const std::string& url) {
    CHttpThread::vStart(cookie, url);
}

void LinuxRunEnvironment::vAppendLog(const std::string& text, const std::string& fileName) {
    kivota::vAppendLog(*engine_->clock(), text, fileName);
}

void LinuxRunEnvironment::vOpenUrl(const std::string& url) {
    if (url.empty()) return;
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void LinuxRunEnvironment::vSleepMs(int ms) { engine_->clock()->sleepMs(ms); }

bool LinuxRunEnvironment::bWaitThreadsEnded(std::chrono::milliseconds bound) {
    return ThreadTracker::waitAllEnded(bound);
}

void LinuxRunEnvironment::vExitProcess(int code) { QCoreApplication::exit(code); }

}  // namespace kivota
