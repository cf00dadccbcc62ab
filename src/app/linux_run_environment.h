#pragma once
// The window's environment on a Linux desktop: the engine as the composition root wires it
// (network stack, system facts, WMI stand-in, clock, settings file, machine profile), plus
// what only the window needs: the run log, the desktop's browser, and the process exit
// through the application's event loop.

#include <memory>

#include "app/run_environment.h"
#include "run/stored_addresses.h"

namespace kivota {

class EngineRoot;

class LinuxRunEnvironment final : public IRunEnvironment {
public:
    explicit LinuxRunEnvironment(std::shared_ptr<const StoredAddresses> addresses);
    ~LinuxRunEnvironment() override;

    IClock& clock() override;
    void vReadSettings(RunState& rs) override;
    int iConnectedAdapters() override;
    std::shared_ptr<CWorkThread> pCreateWorker(std::shared_ptr<RunState> rs,
                                               std::shared_ptr<IWindowHandle> window) override;
    void vResetProfile() override;
    void vGetSystemInfo(RunState& rs) override;
    void vOpenCpuQueries(RunState& rs) override;
    void vGetSystemResource(RunState& rs) override;
    void vCloseCpuQueries() override;
    void vStartKeepAlive(const std::string& cookie, const std::string& url) override;
    void vAppendLog(const std::string& text, const std::string& fileName) override;
    void vOpenUrl(const std::string& url) override;
    void vSleepMs(int ms) override;
    bool bWaitThreadsEnded(std::chrono::milliseconds bound) override;
    void vExitProcess(int code) override;

private:
    std::unique_ptr<EngineRoot> engine_;
};

}  // namespace kivota
