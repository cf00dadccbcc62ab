#pragma once
// Runs the echo service on the window's event loop: one QTimer is the shared timer of all
// active probers, and a QSocketNotifier on the ICMP socket delivers the replies on the window's
// thread, the way the echo completions arrive during that thread's waits.

#include <QObject>
#include <QTimer>

#include <memory>

#include "net/icmp_echo.h"
#include "platform/clock.h"

class QSocketNotifier;

namespace kivota {

class IcmpQtGlue final : public QObject {
    Q_OBJECT

public:
    IcmpQtGlue(std::shared_ptr<IClock> clock, QObject* parent = nullptr);
    ~IcmpQtGlue() override;

    EchoService& service() { return *service_; }
    bool timerActive() const { return timer_.isActive(); }
    int timerInterval() const { return timer_.interval(); }

private:
    void vTimerControl(int intervalMs);
    void vTick();

    QTimer timer_;
    QSocketNotifier* notifier_ = nullptr;
    std::unique_ptr<EchoService> service_;  // after timer_: it may start the timer while built
};

}  // namespace kivota
