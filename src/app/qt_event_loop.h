#pragma once
// The run controller's event loop inside the window: Qt's own loop on the window's thread.
// Timers are QTimers, a watched descriptor is a QSocketNotifier, and a posted task is a queued
// call on this object, so nothing of it runs after the object is gone.

#include <QObject>

#include <map>

#include "platform/event_loop.h"

class QSocketNotifier;
class QTimer;

namespace kivota {

class QtEventLoop final : public QObject, public IEventLoop {
    Q_OBJECT

public:
    explicit QtEventLoop(QObject* parent = nullptr);
    ~QtEventLoop() override;

    TimerId startTimer(int ms, bool repeat, Callback onDue) override;
    void stopTimer(TimerId id) override;
    bool timerActive(TimerId id) const override;
    void watch(int fd, Callback onReadable) override;
    void unwatch(int fd) override;
    void post(Callback task) override;

private:
    // Children of this object: what is still here goes with it.
    std::map<TimerId, QTimer*> timers_;
    std::map<int, QSocketNotifier*> notifiers_;
    TimerId nextTimer_ = 1;
};

}  // namespace kivota
