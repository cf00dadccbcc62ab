#pragma once
// What the window needs of the desktop beside the run: the user's browser, pauses of its own
// thread and the end of the process. The real one
// (linux_run_environment.h) is the Linux desktop; window tests substitute a scripted one.

#include <string>

namespace kivota {

class IRunEnvironment {
public:
    virtual ~IRunEnvironment() = default;

    // Opens a URL in the user's browser; failures are ignored.
    virtual void vOpenUrl(const std::string& url) = 0;
    // Pauses the window's thread.
    virtual void vSleepMs(int ms) = 0;
    // Ends the process with `code` once the window has returned to its event loop.
    virtual void vExitProcess(int code) = 0;
};

}  // namespace kivota
