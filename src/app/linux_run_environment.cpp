#include "app/linux_run_environment.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include <chrono>
#include <thread>

namespace kivota {

void LinuxRunEnvironment::vOpenUrl(const std::string& url) {
    if (url.empty()) return;
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void LinuxRunEnvironment::vSleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void LinuxRunEnvironment::vExitProcess(int code) { QCoreApplication::exit(code); }

}  // namespace kivota
