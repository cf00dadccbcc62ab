#include "run/probe_rounds.h"

#include "net/icmp_echo.h"
#include "run/echo_rounds.h"

namespace kivota {

ProbeRounds::ProbeRounds(std::shared_ptr<RunState> rs, IEventLoop& loop, std::shared_ptr<IClock> clock,
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

ProbeRounds::~ProbeRounds() {
    stop();
    retired_.clear();
    loop_.stopTimer(cleanupTimer_);
    // The loop must not watch the socket after the service has closed it.
    if (service_->fd() >= 0) loop_.unwatch(service_->fd());
    rounds_.reset();
    service_.reset();
    loop_.stopTimer(echoTimer_);
}

bool ProbeRounds::canProbe() const { return service_->fd() >= 0; }

const std::string& ProbeRounds::echoHost() const { return rounds_->echoHost(); }

bool ProbeRounds::timerActive() const { return loop_.timerActive(echoTimer_); }

void ProbeRounds::start(const std::string& firstTarget, const std::string& secondTarget) {
    vRetireProber();
    rounds_->vStartRounds(firstTarget, secondTarget);
}

void ProbeRounds::stop() { vRetireProber(); }

void ProbeRounds::vSendEcho(const std::string& host) {
    vRetireProber();
    prober_ = rounds_->pStartProber(*service_, host);
}

void ProbeRounds::vRetireProber() {
    if (!prober_) return;
    prober_->Stop();
    retired_.push_back(std::move(prober_));
    if (!loop_.timerActive(cleanupTimer_)) {
        cleanupTimer_ = loop_.startTimer(0, false, [this] { retired_.clear(); });
    }
}

void ProbeRounds::vTimerControl(int intervalMs) {
    loop_.stopTimer(echoTimer_);
    echoTimer_ = 0;
    if (intervalMs <= 0) return;
    // The tick reads the replies that wait before it judges what has expired.
    echoTimer_ = loop_.startTimer(intervalMs, true, [this] { service_->tick(); });
}

}  // namespace kivota
