#pragma once
// Watches the line's round trip while a run goes on, on a thread of its own: an echo to the
// probe target every 100 ms on an ICMP socket of its own (apart from the probe rounds' prober),
// every 100 ms the kernel's smoothed round trip of each open FTP data socket of the phase, and
// during the transfer phases, every 500 ms at most and one at a time, a fresh connection to the
// FTP server that times its opening and the server's greeting (the foreign probes of the
// responsiveness figure). The run tells it which stage it is in; stop() gives the figures.
//
// Without an ICMP socket the echo figures stay unmeasured (no echoes sent, no round trips) and
// the kernel's figures and the responsiveness are still given: the monitor never fails a run.
//
// Threads: start, setStage and stop may be called from any one thread at a time (the run's).
// The monitor's thread touches nothing but its own state and the shared FTP counters' locked
// round-trip read; stop() ends it at once (it waits on a poll that stop wakes) and joins it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "run/latency_figures.h"

namespace kivota {

struct LatencyMonitorSettings {
    int echoIntervalMs = 100;
    int echoLimitMs = 2000;  // an echo without a reply by then is lost
    int kernelSampleMs = 100;
    int probeIntervalMs = 500;  // the shortest time between two foreign probes' starts
    bool foreignProbes = true;
};

// What the monitor put on the wire, both directions together, as the adapter counts it.
struct LatencyTraffic {
    std::int64_t frames = 0;
    std::int64_t bytes = 0;
};

class LatencyMonitor {
public:
    // Appends the kernel's round trips (ms) of the open data sockets of a direction; the
    // program's shared FTP counters unless a test gives another source.
    using KernelRoundTrips = std::function<void(bool upload, std::vector<double>& roundTripsMs)>;

    // probeTarget: a dotted IPv4 address; ftpHost: the FTP server's name or address, where
    // "host:port" names its port instead of ftpPort.
    LatencyMonitor(std::shared_ptr<IClock> clock, std::string probeTarget, std::string ftpHost, int ftpPort = 21,
                   LatencyMonitorSettings settings = {}, KernelRoundTrips kernelRoundTrips = {});
    ~LatencyMonitor();  // stops the thread if it still runs
    LatencyMonitor(const LatencyMonitor&) = delete;
    LatencyMonitor& operator=(const LatencyMonitor&) = delete;

    // Starts the thread, paused until the first setStage; a second call does nothing.
    void start();
    // The stage from now on; nullopt pauses (no echoes, no samples) until the next stage.
    void setStage(std::optional<LatencyStage> stage);
    // Ends the thread and gives the figures; later calls give the same figures.
    LatencyFigures stop();

    // After stop: whether echoes could be sent at all, what the monitor sent and received, and
    // the processor time its thread used.
    bool echoesMeasured() const;
    LatencyTraffic traffic() const;
    double cpuSeconds() const;

private:
    class Thread;
    struct Shared;
    struct Collected;
    LatencyFigures figuresOf(const Collected& collected);

    std::shared_ptr<Shared> shared_;
    std::shared_ptr<IClock> clock_;
    std::shared_ptr<Thread> thread_;
    bool started_ = false;
    std::optional<LatencyFigures> figures_;
};

}  // namespace kivota
