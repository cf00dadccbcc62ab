#pragma once
// The run controller's services for tests: a fake clock, settings and an adapter count the test
// sets, workers made by the test (an idle one by default), and every call recorded in order.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "run/run_services.h"
#include "run/work_thread.h"
#include "support/fake_clock.h"

namespace kivota::test {

// A worker that does nothing: the controller's or the window's side is what is under test.
class IdleWorker final : public CWorkThread {
public:
    using CWorkThread::CWorkThread;

protected:
    void Execute() override {}
};

// A worker that plays a run from the worker's side: its script runs on the worker's thread,
// posting messages and setting what a real run would have set before them.
class ScriptedWorker final : public CWorkThread {
public:
    using Script = std::function<void(ScriptedWorker&)>;
    ScriptedWorker(WorkerServices services, Script script)
        : CWorkThread(std::move(services)), script_(std::move(script)) {}

    void post(unsigned msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0);
    // Returns once the front end's side has handled it.
    void send(unsigned msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0);
    void postText(unsigned msg, std::intptr_t wParam, const std::string& lText);

protected:
    void Execute() override {
        if (script_) script_(*this);
    }

private:
    Script script_;
};

class ScriptedServices : public IRunServices {
public:
    std::shared_ptr<IClock> clock() override { return fakeClock; }
    std::string szProbeTarget1() override { return probeTarget; }
    std::string szProbeTarget2() override { return probeTarget; }
    void vReadSettings(RunState& rs) override {
        calls.push_back("readSettings");
        rs.autoTestEnabled = settingsAutoEnabled;
        rs.autoTestMode = settingsAutoMode;
    }
    int iConnectedAdapters() override { return adapters; }
    std::shared_ptr<CWorkThread> pCreateWorker(std::shared_ptr<RunState> rs,
                                               std::shared_ptr<IWindowHandle> window) override;
    void vResetProfile() override { calls.push_back("resetProfile"); }
    void vGetSystemInfo(MachineProfile&) override { calls.push_back("getSystemInfo"); }
    void vOpenCpuQueries(MachineProfile&) override { calls.push_back("openCpuQueries"); }
    void vGetSystemResource(MachineProfile&) override { calls.push_back("getSystemResource"); }
    void vCloseCpuQueries() override { calls.push_back("closeCpuQueries"); }
    void vStartKeepAlive(const std::string& cookie, const std::string& url) override {
        calls.push_back("keepAlive " + cookie + " " + url);
    }
    bool bAppendLog(const std::string& text, const std::string& fileName, std::string&) override {
        calls.push_back("log [" + fileName + "] " + text);
        return true;
    }
    void vRecordRun(const RunResult& result) override;
    bool bWaitThreadsEnded(std::chrono::milliseconds) override;

    // Calls whose text begins with `prefix`.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    int count(const std::string& call) const;

    std::shared_ptr<FakeClock> fakeClock = std::make_shared<FakeClock>();
    std::string probeTarget = "127.0.0.1";
    int adapters = 1;
    bool settingsAutoEnabled = false;
    bool settingsAutoMode = false;
    // The script of each new worker; none: an idle worker.
    ScriptedWorker::Script workerScript;
    std::vector<std::string> calls;
    std::vector<std::shared_ptr<CWorkThread>> workers;
    std::vector<RunResult> recorded;
};

}  // namespace kivota::test
