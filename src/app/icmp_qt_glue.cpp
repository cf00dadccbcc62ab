#include "app/icmp_qt_glue.h"

#include <QSocketNotifier>

namespace kivota {

IcmpQtGlue::IcmpQtGlue(std::shared_ptr<IClock> clock, QObject* parent) : QObject(parent) {
    timer_.setSingleShot(false);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &IcmpQtGlue::vTick);
    service_ = std::make_unique<EchoService>(std::move(clock), [this](int intervalMs) { vTimerControl(intervalMs); });
    if (service_->fd() >= 0) {
        notifier_ = new QSocketNotifier(service_->fd(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { service_->onReadable(); });
    }
}

IcmpQtGlue::~IcmpQtGlue() {
    // The notifier must not watch the socket after the service has closed it.
    delete notifier_;
    notifier_ = nullptr;
    service_.reset();
}

void IcmpQtGlue::vTimerControl(int intervalMs) {
    if (intervalMs > 0) {
        timer_.start(intervalMs);
    } else {
        timer_.stop();
    }
}

void IcmpQtGlue::vTick() { service_->tick(); }

}  // namespace kivota
