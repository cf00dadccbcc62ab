#pragma once
// What the run controller asks of the machine and the engine: the settings file, the adapter
// check, a new worker, the machine profile gathered on the controller's thread with its load
// samples, keep-alive requests, the run log, the history of runs and the end of every thread. The wiring composes
// the real ones (wiring/engine_root.h); tests substitute scripted ones.

#include <chrono>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/window_messages.h"
#include "run/run_result.h"
#include "run/run_state.h"

namespace kivota {

class CWorkThread;

class IRunServices {
public:
    virtual ~IRunServices() = default;

    // The clock of the controller's marks and of the probe rounds' echoes.
    virtual std::shared_ptr<IClock> clock() = 0;
    // The decoded echo probe targets.
    virtual std::string szProbeTarget1() = 0;
    virtual std::string szProbeTarget2() = 0;

    // Reads the automatic mode's settings file into the record.
    virtual void vReadSettings(RunState& rs) = 0;
    // Number of connected network adapters (0: none).
    virtual int iConnectedAdapters() = 0;
    // A suspended worker for one run whose messages go to `window`, with sysInfoReady and
    // echoDone clear.
    virtual std::shared_ptr<CWorkThread> pCreateWorker(std::shared_ptr<RunState> rs,
                                                       std::shared_ptr<IWindowHandle> window) = 0;

    // The machine profile of a run and the CPU-load sampling around it, on the controller's thread.
    virtual void vResetProfile() = 0;  // forgets what the previous run learned (isVistaOrLater)
    virtual void vGetSystemInfo(MachineProfile& profile) = 0;
    virtual void vOpenCpuQueries(MachineProfile& profile) = 0;
    virtual void vGetSystemResource(MachineProfile& profile) = 0;
    virtual void vCloseCpuQueries() = 0;

    // Sends one keep-alive request on a self-freeing thread.
    virtual void vStartKeepAlive(const std::string& cookie, const std::string& url) = 0;
    // Appends one line to the daily run log (empty fileName) or to the named file; false with
    // `error` set when it could not be written.
    virtual bool bAppendLog(const std::string& text, const std::string& fileName, std::string& error) = 0;
    // Keeps the finished run in the local history; a history that cannot take it says so on
    // its own (stderr, the log) and the run reports as it would have.
    virtual void vRecordRun(const RunResult& result) = 0;
    // Waits until every thread of the process has ended, at most `bound`; true when they have.
    virtual bool bWaitThreadsEnded(std::chrono::milliseconds bound) = 0;
};

}  // namespace kivota
