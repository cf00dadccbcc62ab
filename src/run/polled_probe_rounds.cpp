#include "run/polled_probe_rounds.h"

#include "net/icmp_echo.h"
#include "run/echo_rounds.h"

namespace kivota {

PolledProbeRounds::PolledProbeRounds(std::shared_ptr<RunState> rs, PollLoop& loop, std::shared_ptr<IClock> clock,
                                     std::function<void()> done)
    : rs_(std::move(rs)), loop_(loop), done_(std::move(done)) {
    service_ = std::make_unique<EchoService>(std::move(clock), [this](int intervalMs) { vTimerControl(intervalMs); });
    if (service_->fd() >= 0) loop_.watch(service_->fd(), [this] { service_->onReadable(); });
    rounds_ = std::make_unique<EchoRounds>(
        *rs_, [this](const std::string& host) { vSendEcho(host); }, [this] { vRetireProber(); },
        [this] {
            if (done_) done_();
        });
}

PolledProbeRounds::~PolledProbeRounds() {
    stop();
    retired_.clear();
    loop_.stopTimer(cleanupTimer_);
    if (service_->fd() >= 0) loop_.unwatch(service_->fd());
    rounds_.reset();
    service_.reset();
    loop_.stopTimer(echoTimer_);
}

bool PolledProbeRounds::canProbe() const { return service_->fd() >= 0; }

void PolledProbeRounds::start(const std::string& firstTarget, const std::string& secondTarget) {
    vRetireProber();
    rounds_->vStartRounds(firstTarget, secondTarget);
}

void PolledProbeRounds::stop() { vRetireProber(); }

void PolledProbeRounds::vSendEcho(const std::string& host) {
    vRetireProber();
    prober_ = rounds_->pStartProber(*service_, host);
}

void PolledProbeRounds::vRetireProber() {
    if (!prober_) return;
    prober_->Stop();
    retired_.push_back(std::move(prober_));
    if (!loop_.timerActive(cleanupTimer_)) {
        cleanupTimer_ = loop_.startTimer(0, false, [this] { retired_.clear(); });
    }
}

void PolledProbeRounds::vTimerControl(int intervalMs) {
    loop_.stopTimer(echoTimer_);
    echoTimer_ = 0;
    if (intervalMs <= 0) return;
    // The tick reads the replies that wait before it judges what has expired.
    echoTimer_ = loop_.startTimer(intervalMs, true, [this] { service_->tick(); });
}

}  // namespace kivota
