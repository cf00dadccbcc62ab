#include "run/latency_monitor.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>

#include "net/connection_probe.h"
#include "net/ftp_shared_counters.h"
#include "net/host_port.h"
#include "net/icmp_echo.h"
#include "platform/thread.h"
#include "run/latency_statistics.h"
#include "run/responsiveness.h"

namespace kivota {

namespace {

// An echo request or reply as the adapter counts it: Ethernet, IPv4 and ICMP headers and the
// prober's 32 bytes of payload.
constexpr std::int64_t kEchoFrameBytes = 14 + 20 + 8 + 32;

using SteadyTime = std::chrono::steady_clock::time_point;

double dThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// One change of stage: from `at` on the monitor is in `stage` (nullopt: paused).
struct StageEntry {
    IClock::Mark at = 0;
    std::optional<LatencyStage> stage;
};

// A sample of one entry of a stage: the responsiveness is that of the stage's last entry.
struct EntrySelfProbe {
    std::size_t entry = 0;
    SelfProbe probe;
};
struct EntryForeignProbe {
    std::size_t entry = 0;
    ForeignProbe probe;
};

std::size_t iStageIndex(LatencyStage s) { return static_cast<std::size_t>(s); }

// The entry of the timeline in force at `mark`; nullopt before the first.
std::optional<std::size_t> optEntryAt(const std::vector<StageEntry>& timeline, IClock::Mark mark) {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < timeline.size() && timeline[i].at <= mark; ++i) found = i;
    return found;
}

std::optional<std::uint32_t> optResolve(const std::string& host) {
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1) return address.s_addr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return std::nullopt;
    const auto resolved = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(list);
    return resolved;
}

}  // namespace

// What the run's thread and the monitor's thread share: the stage timeline and the wake-up.
struct LatencyMonitor::Shared {
    std::mutex lock;
    std::vector<StageEntry> timeline;  // guarded by lock
    std::uint64_t version = 0;         // guarded by lock; moves with every change
    int wakeFd = -1;

    Shared() : wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Shared() {
        if (wakeFd >= 0) ::close(wakeFd);
    }
    void wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }
};

// What the monitor's thread gathered.
struct LatencyMonitor::Collected {
    bool echoesMeasured = false;
    std::vector<StageEntry> timeline;
    IClock::Mark endedAt = 0;
    std::vector<std::pair<IClock::Mark, LatencySample>> echoes;  // send mark, sample
    std::vector<double> kernelRttMs[3];
    std::vector<EntrySelfProbe> self[3];
    std::vector<EntryForeignProbe> foreign[3];
    LatencyTraffic traffic;
    double cpuSeconds = 0;
};

class LatencyMonitor::Thread final : public TThread {
public:
    Thread(std::shared_ptr<Shared> shared, std::shared_ptr<IClock> clock, std::string probeTarget, std::string ftpHost,
           int ftpPort, LatencyMonitorSettings settings, KernelRoundTrips kernel)
        : shared_(std::move(shared)),
          clock_(std::move(clock)),
          probeTarget_(std::move(probeTarget)),
          ftpHost_(std::move(ftpHost)),
          ftpPort_(ftpPort),
          settings_(settings),
          kernel_(std::move(kernel)) {}

    // Read by the owner only after the thread has been joined.
    Collected collected;

protected:
    void Execute() override;

private:
    void vRefreshTimeline();
    void vOnEcho(int status, double rttMs, IClock::Mark sentAt);
    void vSampleKernel(IClock::Mark now);
    void vProbeStep(IClock::Mark now);
    std::optional<LatencyStage> stageNow(IClock::Mark now) const;

    std::shared_ptr<Shared> shared_;
    std::shared_ptr<IClock> clock_;
    std::string probeTarget_, ftpHost_;
    int ftpPort_;
    LatencyMonitorSettings settings_;
    KernelRoundTrips kernel_;

    std::vector<StageEntry> timeline_;  // this thread's copy
    std::uint64_t timelineVersion_ = 0;
    std::int64_t echoesCompleted_ = 0, repliesReceived_ = 0;
    std::unique_ptr<ConnectionProbe> probe_;
    std::size_t probeEntry_ = 0;
    std::optional<std::uint32_t> ftpAddress_;
    bool ftpResolved_ = false;
    SteadyTime nextProbe_{};
    std::vector<double> scratch_;
};

void LatencyMonitor::Thread::vRefreshTimeline() {
    std::lock_guard guard(shared_->lock);
    if (shared_->version == timelineVersion_) return;
    timeline_ = shared_->timeline;
    timelineVersion_ = shared_->version;
}

std::optional<LatencyStage> LatencyMonitor::Thread::stageNow(IClock::Mark now) const {
    const auto entry = optEntryAt(timeline_, now);
    return entry ? timeline_[*entry].stage : std::nullopt;
}

void LatencyMonitor::Thread::vOnEcho(int status, double rttMs, IClock::Mark sentAt) {
    ++echoesCompleted_;
    const bool replied = status == kEchoSuccess;
    if (replied) ++repliesReceived_;
    const auto entry = optEntryAt(timeline_, sentAt);
    if (!entry || !timeline_[*entry].stage) return;  // sent while paused
    LatencySample s;
    s.stage = *timeline_[*entry].stage;
    // A reply after the limit counts as lost, as one that never came.
    s.lost = !replied || rttMs > settings_.echoLimitMs;
    s.rttMs = s.lost ? 0 : rttMs;
    collected.echoes.emplace_back(sentAt, s);
}

void LatencyMonitor::Thread::vSampleKernel(IClock::Mark now) {
    const auto entry = optEntryAt(timeline_, now);
    if (!entry || !timeline_[*entry].stage || *timeline_[*entry].stage == LatencyStage::Idle) return;
    const LatencyStage stage = *timeline_[*entry].stage;
    scratch_.clear();
    kernel_(stage == LatencyStage::Upload, scratch_);
    const double atSec = clock_->secondsBetween(now, timeline_[*entry].at);
    for (const double ms : scratch_) {
        collected.kernelRttMs[iStageIndex(stage)].push_back(ms);
        collected.self[iStageIndex(stage)].push_back({*entry, {atSec, ms}});
    }
}

void LatencyMonitor::Thread::vProbeStep(IClock::Mark now) {
    if (probe_) {
        probe_->onTime();
        if (!probe_->done()) return;
        collected.traffic.frames += probe_->traffic().frames;
        collected.traffic.bytes += probe_->traffic().bytes;
        if (const auto& r = probe_->result(); r && probeEntry_ < timeline_.size()) {
            const auto stage = timeline_[probeEntry_].stage;
            if (stage) {
                const double atSec = clock_->secondsBetween(probe_->startedAt(), timeline_[probeEntry_].at);
                collected.foreign[iStageIndex(*stage)].push_back(
                    {probeEntry_, {atSec, r->tcpConnectMs, r->firstReplyMs}});
            }
        }
        probe_.reset();
    }
    if (!settings_.foreignProbes) return;
    const auto entry = optEntryAt(timeline_, now);
    if (!entry || !timeline_[*entry].stage || *timeline_[*entry].stage == LatencyStage::Idle) return;
    const SteadyTime steadyNow = std::chrono::steady_clock::now();
    if (steadyNow < nextProbe_) return;
    if (!ftpResolved_) {
        // Once, as the first transfer phase begins: its connections have just resolved the name.
        ftpResolved_ = true;
        ftpAddress_ = optResolve(ftpHost_);
    }
    if (!ftpAddress_) return;
    nextProbe_ = steadyNow + std::chrono::milliseconds(settings_.probeIntervalMs);
    probe_ = ConnectionProbe::start(*clock_, *ftpAddress_, static_cast<std::uint16_t>(ftpPort_));
    probeEntry_ = *entry;
}

void LatencyMonitor::Thread::Execute() {
    const double cpuAtStart = dThreadCpuSeconds();
    EchoService service(clock_, nullptr);
    service.setEchoLimitMs(settings_.echoLimitMs);
    TICMPSENDECHO2 prober(service);
    prober.m_szHost = probeTarget_;
    prober.OnEchoExact = [this](TICMPSENDECHO2&, int status, double rttMs, IClock::Mark sentAt) {
        vOnEcho(status, rttMs, sentAt);
    };
    prober.Start();
    collected.echoesMeasured = service.fd() >= 0 && prober.active();

    const auto echoEvery = std::chrono::milliseconds(std::max(settings_.echoIntervalMs, 1));
    const auto kernelEvery = std::chrono::milliseconds(std::max(settings_.kernelSampleMs, 1));
    SteadyTime nextEcho = std::chrono::steady_clock::now(), nextKernel = nextEcho;
    std::optional<LatencyStage> lastStage;

    while (!Terminated()) {
        vRefreshTimeline();
        const std::optional<LatencyStage> stage = stageNow(clock_->now());
        if (stage != lastStage) {
            // A new stage begins with its echo and its sample, not up to an interval late.
            nextEcho = nextKernel = std::chrono::steady_clock::now();
            lastStage = stage;
        }

        pollfd fds[3] = {{shared_->wakeFd, POLLIN, 0}, {service.fd(), POLLIN, 0}, {-1, 0, 0}};
        if (probe_ && !probe_->done()) fds[2] = {probe_->fd(), probe_->events(), 0};
        const SteadyTime now = std::chrono::steady_clock::now();
        SteadyTime due = std::min(nextEcho, nextKernel);
        if (probe_) due = std::min(due, now + std::chrono::milliseconds(50));
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
        ::poll(fds, 3, static_cast<int>(std::clamp<std::int64_t>(waitMs, 0, 100)));

        if (fds[0].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(shared_->wakeFd, &count, sizeof count);
            continue;  // a new stage, or stop: look again before anything is sent
        }
        if (fds[1].revents != 0) service.onReadable();
        if (probe_ && fds[2].revents != 0) probe_->onEvents(fds[2].revents);

        const SteadyTime after = std::chrono::steady_clock::now();
        const IClock::Mark mark = clock_->now();
        if (after >= nextEcho) {
            // Paused: the echoes in flight still complete, no new one leaves.
            if (stage && collected.echoesMeasured) {
                service.tick();
            } else {
                service.onReadable();
                service.expire();
            }
            nextEcho = std::max(nextEcho + echoEvery, after);
        }
        if (after >= nextKernel) {
            vSampleKernel(mark);
            nextKernel = std::max(nextKernel + kernelEvery, after);
        }
        vProbeStep(mark);
    }

    prober.Stop();
    const std::int64_t requests = echoesCompleted_ + service.inFlight();
    collected.traffic.frames += requests + repliesReceived_;
    collected.traffic.bytes += (requests + repliesReceived_) * kEchoFrameBytes;
    if (probe_) {
        collected.traffic.frames += 2;  // the probe cut short: about its handshake
        collected.traffic.bytes += std::int64_t{2} * 74;
        probe_.reset();
    }
    vRefreshTimeline();
    collected.timeline = timeline_;
    collected.endedAt = clock_->now();
    collected.cpuSeconds = dThreadCpuSeconds() - cpuAtStart;
}

LatencyMonitor::LatencyMonitor(std::shared_ptr<IClock> clock, std::string probeTarget, std::string ftpHost, int ftpPort,
                               LatencyMonitorSettings settings, KernelRoundTrips kernelRoundTrips)
    : shared_(std::make_shared<Shared>()), clock_(clock) {
    // "host:port" names its port, as the FTP connections read a server.
    vSplitHostPort(ftpHost, ftpPort);
    if (!kernelRoundTrips) {
        kernelRoundTrips = [](bool upload, std::vector<double>& out) {
            ftpSharedCounters().vKernelRoundTrips(upload, out);
        };
    }
    thread_ = std::make_shared<Thread>(shared_, std::move(clock), std::move(probeTarget), std::move(ftpHost), ftpPort,
                                       settings, std::move(kernelRoundTrips));
}

LatencyMonitor::~LatencyMonitor() {
    if (!figures_) stop();
}

void LatencyMonitor::start() {
    if (figures_) return;
    started_ = true;
    thread_->Resume();
}

void LatencyMonitor::setStage(std::optional<LatencyStage> stage) {
    {
        std::lock_guard guard(shared_->lock);
        shared_->timeline.push_back({clock_->now(), stage});
        ++shared_->version;
    }
    shared_->wake();
}

LatencyFigures LatencyMonitor::stop() {
    if (figures_) return *figures_;
    if (started_) {
        thread_->Terminate();
        shared_->wake();
        thread_->WaitFor();
    }
    figures_ = figuresOf(thread_->collected);
    return *figures_;
}

bool LatencyMonitor::echoesMeasured() const { return thread_->Finished() && thread_->collected.echoesMeasured; }

LatencyTraffic LatencyMonitor::traffic() const {
    return thread_->Finished() ? thread_->collected.traffic : LatencyTraffic{};
}

double LatencyMonitor::cpuSeconds() const { return thread_->Finished() ? thread_->collected.cpuSeconds : 0; }

LatencyFigures LatencyMonitor::figuresOf(const Collected& c) {
    LatencyFigures f;
    // Sample times count from the first idle stage, else from the first stage at all.
    const auto idle = std::find_if(c.timeline.begin(), c.timeline.end(),
                                   [](const StageEntry& e) { return e.stage == LatencyStage::Idle; });
    const auto first =
        std::find_if(c.timeline.begin(), c.timeline.end(), [](const StageEntry& e) { return e.stage.has_value(); });
    const IClock::Mark origin = idle != c.timeline.end() ? idle->at : first != c.timeline.end() ? first->at : 0;

    std::vector<std::pair<IClock::Mark, LatencySample>> echoes = c.echoes;
    std::stable_sort(echoes.begin(), echoes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<LatencySample> byStage[3];
    for (auto& [sentAt, sample] : echoes) {
        sample.atSec = clock_->secondsBetween(sentAt, origin);
        byStage[iStageIndex(sample.stage)].push_back(sample);
        f.samples.push_back(sample);
    }
    StageLatency* stages[3] = {&f.idle, &f.download, &f.upload};
    for (std::size_t i = 0; i < 3; ++i) *stages[i] = stageLatencyOf(byStage[i], c.kernelRttMs[i]);
    f.downloadRiseMs = optRise(f.download, f.idle);
    f.uploadRiseMs = optRise(f.upload, f.idle);

    // Responsiveness over the last entry of each transfer stage: its probes and its length.
    auto responsiveness = [&](LatencyStage stage) {
        std::optional<std::size_t> last;
        for (std::size_t i = 0; i < c.timeline.size(); ++i) {
            if (c.timeline[i].stage == stage) last = i;
        }
        if (!last) return Responsiveness{};
        const IClock::Mark end = *last + 1 < c.timeline.size() ? c.timeline[*last + 1].at : c.endedAt;
        const double stageSec = clock_->secondsBetween(end, c.timeline[*last].at);
        std::vector<ForeignProbe> foreign;
        std::vector<SelfProbe> self;
        for (const auto& p : c.foreign[iStageIndex(stage)]) {
            if (p.entry == *last) foreign.push_back(p.probe);
        }
        for (const auto& p : c.self[iStageIndex(stage)]) {
            if (p.entry == *last) self.push_back(p.probe);
        }
        return responsivenessOf(foreign, self, stageSec);
    };
    f.downloadResponsiveness = responsiveness(LatencyStage::Download);
    f.uploadResponsiveness = responsiveness(LatencyStage::Upload);
    return f;
}

}  // namespace kivota
