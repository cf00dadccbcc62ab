#include "app/probe_rounds.h"

#include <QTimer>

#include "app/icmp_qt_glue.h"
#include "net/icmp_echo.h"
#include "platform/linux/steady_clock.h"
#include "run/echo_rounds.h"

namespace kivota {

ProbeRounds::ProbeRounds(std::shared_ptr<RunState> rs, QObject* owner, std::function<void()> done,
                         std::shared_ptr<IClock> clock)
    : rs_(std::move(rs)), done_(std::move(done)) {
    if (!clock) clock = std::make_shared<SteadyClock>();
    // Not parented: this object decides when the glue goes, after the probers that use it.
    (void)owner;
    glue_ = std::make_unique<IcmpQtGlue>(std::move(clock));
    rounds_ = std::make_unique<EchoRounds>(
        *rs_, [this](const std::string& host) { vSendEcho(host); }, [this] { vRetireProber(); },
        [this] {
            if (done_) done_();
        });
}

ProbeRounds::~ProbeRounds() {
    stop();
    retired_.clear();
    rounds_.reset();
    glue_.reset();
}

void ProbeRounds::reset() {
    vRetireProber();
    rounds_->vResetFigures();
}

void ProbeRounds::start(const std::string& firstTarget, const std::string& secondTarget) {
    rounds_->vStartRounds(firstTarget, secondTarget);
}

void ProbeRounds::stop() { vRetireProber(); }

const std::string& ProbeRounds::echoHost() const { return rounds_->echoHost(); }

void ProbeRounds::vSendEcho(const std::string& host) {
    vRetireProber();
    prober_ = rounds_->pStartProber(glue_->service(), host);
}

void ProbeRounds::vRetireProber() {
    if (!prober_) return;
    prober_->Stop();
    retired_.push_back(std::move(prober_));
    // The glue as context: a pending clean-up is dropped together with this object.
    QTimer::singleShot(0, glue_.get(), [this] { retired_.clear(); });
}

}  // namespace kivota
