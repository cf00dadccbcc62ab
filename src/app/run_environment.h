#pragma once
// What the window asks of the machine and the engine: the settings file, the adapter check,
// a new worker, the system profile and its load samples, keep-alive requests, the run log,
// the desktop's browser and the end of the process. The real one (linux_run_environment.h)
// composes the Linux services; window tests substitute a scripted one.

#include <chrono>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/window_messages.h"
#include "run/run_state.h"

namespace kivota {

class CWorkThread;

class IRunEnvironment {
public:
    virtual ~IRunEnvironment() = default;

    // The clock of the window's marks and pauses.
    virtual IClock& clock() = 0;

    // Reads the automatic mode's settings file into the record.
    virtual void vReadSettings(RunState& rs) = 0;
    // Number of connected network adapters (0: none).
    virtual int iConnectedAdapters() = 0;

    // Creates a worker for this run that sends its messages to `window`; it is suspended,
    // frees itself when it ends, and has sysInfoReady and echoDone clear. The window resumes it.
    virtual std::shared_ptr<CWorkThread> pCreateWorker(std::shared_ptr<RunState> rs,
                                                       std::shared_ptr<IWindowHandle> window) = 0;

    // The system profile gathered on the window's thread, and the CPU-load sampling around it.
    virtual void vResetProfile() = 0;  // forgets what the previous run learned (isVistaOrLater)
    virtual void vGetSystemInfo(RunState& rs) = 0;
    virtual void vOpenCpuQueries(RunState& rs) = 0;
    virtual void vGetSystemResource(RunState& rs) = 0;
    virtual void vCloseCpuQueries() = 0;

    // Sends one keep-alive request on a self-freeing thread.
    virtual void vStartKeepAlive(const std::string& cookie, const std::string& url) = 0;
    // Appends one line to the daily run log (empty fileName) or to the named file.
    virtual void vAppendLog(const std::string& text, const std::string& fileName) = 0;

    // Opens a URL in the user's browser; failures are ignored.
    virtual void vOpenUrl(const std::string& url) = 0;
    // Pauses the window's thread.
    virtual void vSleepMs(int ms) = 0;
    // Waits until every thread of the process has ended, at most `bound`; true when they have.
    virtual bool bWaitThreadsEnded(std::chrono::milliseconds bound) = 0;
    // Ends the process with `code` once the window has returned to its event loop.
    virtual void vExitProcess(int code) = 0;
};

}  // namespace kivota
