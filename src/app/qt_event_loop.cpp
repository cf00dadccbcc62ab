#include "app/qt_event_loop.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

namespace kivota {

QtEventLoop::QtEventLoop(QObject* parent) : QObject(parent) {}

// Nothing of a half-destroyed loop may be called: the children stop before the base deletes them.
QtEventLoop::~QtEventLoop() {
    for (auto& [id, timer] : timers_) timer->stop();
    for (auto& [fd, notifier] : notifiers_) notifier->setEnabled(false);
}

IEventLoop::TimerId QtEventLoop::startTimer(int ms, bool repeat, Callback onDue) {
    const TimerId id = nextTimer_++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(!repeat);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id, repeat, onDue = std::move(onDue)] {
        // A single shot is over before its callback runs, which may start a new one.
        Callback call = onDue;
        if (!repeat) {
            const auto it = timers_.find(id);
            if (it != timers_.end()) {
                it->second->deleteLater();
                timers_.erase(it);
            }
        }
        call();
    });
    timer->start(ms > 0 ? ms : 0);
    timers_.emplace(id, timer);
    return id;
}

void QtEventLoop::stopTimer(TimerId id) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    // Possibly inside its own timeout: deleted once that returns.
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

bool QtEventLoop::timerActive(TimerId id) const { return timers_.count(id) != 0; }

void QtEventLoop::watch(int fd, Callback onReadable) {
    if (fd < 0) return;
    unwatch(fd);
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [onReadable = std::move(onReadable)] {
        const Callback call = onReadable;  // a copy: the callback may replace its own watch
        call();
    });
    notifiers_.emplace(fd, notifier);
}

void QtEventLoop::unwatch(int fd) {
    const auto it = notifiers_.find(fd);
    if (it == notifiers_.end()) return;
    it->second->setEnabled(false);
    it->second->deleteLater();
    notifiers_.erase(it);
}

void QtEventLoop::post(Callback task) { QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection); }

}  // namespace kivota
