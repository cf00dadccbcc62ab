#pragma once
// The window's desktop on Linux: the desktop's browser, and the process's end through the
// application's event loop.

#include "app/run_environment.h"

namespace kivota {

class LinuxRunEnvironment final : public IRunEnvironment {
public:
    void vOpenUrl(const std::string& url) override;
    void vSleepMs(int ms) override;
    void vExitProcess(int code) override;
};

}  // namespace kivota
