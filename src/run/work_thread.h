#pragma once
// The worker that carries out one speed test, from the configuration fetch to the result
// upload, so that the window stays responsive. It talks to the window only by messages and
// through the shared RunState, and waits on flags the window sets when the user has acted.
//
// Its operations are spread over several files, one concern each:
//   work_thread.cpp        run sequence, gates, waits, guest test, clean-up, HTTP requests
//   throughput_phases.cpp  the download and upload phases and their progress callback
//   result_upload.cpp      the result line, its scrambling and the POST
//   auto_test.cpp          the unattended run driven by the settings file
//   wmi_facts.cpp          the once-per-process system facts

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/octet_counters.h"
#include "platform/thread.h"
#include "platform/window_messages.h"
#include "run/latency_figures.h"
#include "run/latency_monitor.h"
#include "run/phase_series.h"
#include "run/run_state.h"
#include "run/stored_addresses.h"
#include "run/test_parameters.h"

namespace kivota {

class TFTPClass;
class IManagementService;  // the WMI stand-in (profile)
class ISystemInfo;         // OS version, memory, power, disk (platform)

// Everything the worker needs from outside, all shared so that none of it can be freed
// while the worker (or one of its connections) still runs.
struct WorkerServices {
    std::shared_ptr<RunState> state;
    std::shared_ptr<IWindowHandle> window;
    std::shared_ptr<IClock> clock;
    std::shared_ptr<const StoredAddresses> addresses;
    std::shared_ptr<IOctetCounterSource> counters;
    std::shared_ptr<IManagementService> wmi;
    std::shared_ptr<ISystemInfo> system;
};

class CWorkThread : public TThread {
public:
    explicit CWorkThread(WorkerServices services);
    ~CWorkThread() override;

    // Set by the window: the testing page is up and the profile gathered; the echo probe is done.
    std::atomic<bool> sysInfoReady{false};
    std::atomic<bool> echoDone{false};

    const std::string& cookie() const { return m_szCookie; }

    // Any thread: a copy of a phase's accepted seconds so far.
    PhaseSeries seriesSnapshot(bool download) const;
    // Set by the worker: the phase's measurement was accepted; the result upload went out
    // whole (the operator may hold it from then on).
    std::atomic<bool> dlMeasured{false}, ulMeasured{false};
    std::atomic<bool> resultSent{false};
    // Why the automatic mode's result line could not be written; empty when it was (written
    // before the run's end is posted).
    std::string resultFileError;

    // --- HTTP exchange with the session cookie (work_thread.cpp) ---
    bool bHttpRequest(const std::string& url, bool isGet, bool readReply, bool takeCookie, std::string& reply);
    bool bHttpPost(const std::string& url, const std::string& body, bool isGet, bool readReply, bool takeCookie,
                   std::string& reply);

    // --- throughput phases (throughput_phases.cpp) ---
    // Each returns false when the phase failed; errorCode then holds the reason.
    bool bDownloadPhase(const TestParameters& p);
    bool bUploadPhase(const TestParameters& p, bool automatic);
    // Progress of the phase, called about once a second on the reporting connection's transfer
    // thread (connection 1's, or the next one's once its transfer ended).
    void vOnProgress(int workMode, double rateBps, std::int64_t elapsedMs, std::int64_t totalBytes);
    // The adapter's counters at the moment the FTP count of the next report was read (same
    // thread, just before vOnProgress); that report uses them.
    void vTakeAdapterSample();

    // --- result (result_upload.cpp) ---
    void vUploadResult();

    // --- unattended run (auto_test.cpp) ---
    void vRunAutoTest();

    // --- system facts (wmi_facts.cpp) ---
    void vGatherWmiFacts();

protected:
    void Execute() override;

public:
    // Fields of the run, named as the rest of the program knows them. They are public so that
    // the concerns above, which live in separate files, and the tests can reach them.
    WorkerServices svc;
    RunState& rs;  // == *svc.state

    std::vector<std::shared_ptr<TFTPClass>> ulConns;
    std::vector<std::shared_ptr<TFTPClass>> dlConns;
    std::string m_szCookie;
    bool ulConnsCreated = false;
    bool isVistaOrLater = false;
    std::atomic<bool> running{false};
    std::atomic<bool> phaseReady{false};
    bool warmupPending = false;
    std::atomic<bool> ulFinished{false};
    std::atomic<bool> dlPhase{false};
    int warmupCount = 0;
    int phaseDurationSec = 0;  // the running phase's length
    std::int64_t baseElapsedMs = 0;
    std::int64_t baseBytes = 0;
    float measuredSec = 0.0f;
    std::int64_t ftpBytes = 0;  // 64-bit: a phase at 10 Gbit/s passes 4 GiB
    std::int64_t lastBytes = 0;
    IClock::Mark phaseStart = 0;
    std::string verServer, verMin;
    std::string agreement;
    std::string announcement;
    bool permitted = false;
    std::string reportUrl;
    // The parameters of this run's measurement, set before its phases, which only read them;
    // and how many connections each phase started.
    TestParameters params;
    int dlStarted = 0, ulStarted = 0;

    // The accepted seconds of each phase (measureLock).
    PhaseSeries dlSeries, ulSeries;
    std::string hotfixQuery;
    std::string userRate;
    std::int64_t dlNicKbitSum = 0, ulNicKbitSum = 0, ulNicKbitDuringDl = 0, dlNicKbitDuringUl = 0;
    double dlNicKbps = 0.0, ulNicKbps = 0.0, ulAtDlKbps = 0.0, dlAtUlKbps = 0.0;
    std::uint64_t outOctetsBase = 0, inOctetsBase = 0;
    std::optional<OctetCounters> adapterAtSample;  // from vTakeAdapterSample, for the next report
    std::int64_t lastReportMs = 0;
    IClock::Mark keepaliveLast = 0, keepaliveNow = 0;

    // Guards the measurement fields above while a phase runs: the progress callback writes
    // them on a transfer thread while the worker's wait may read them.
    mutable std::mutex measureLock;

    // Waits `ms`, less when the worker is told to terminate meanwhile.
    void vPause(int ms);
    // Frees the connection objects of both phases (used on every exit).
    void vCleanUp();
    // true (after vCleanUp) when the worker was told to terminate: the run ends there without
    // another message.
    bool bEndedByTerminate();

    // --- throughput phase steps (throughput_phases.cpp) ---
    // The wait of a phase once its connections run (until its done flag, a terminate request
    // or duration + 10 s) and the verdict after it: true to go on with the run.
    bool bAwaitDownloadVerdict(int durationSec);
    bool bAwaitUploadVerdict(int durationSec, bool strict);  // strict: exactly 30 % of the phase is too little
    // Stops the connections of a phase: Abort where a transfer runs, then Disconnect.
    void vStopPhase(bool download);

    // --- run sequence additions (work_thread.cpp) ---
    // Set while the guest test runs (fixed parameters after a failed test-parameter fetch); the
    // upload verdict of the guest test differs from a regular run's.
    bool guestTest = false;

    // --- latency under load (work_thread.cpp) ---
    // Starts watching the line's round trip with `p`'s FTP server for the probes, in the idle
    // stage; the phases switch the stage; vEndLatency ends it and keeps its figures.
    void vStartLatency(const TestParameters& p);
    void vLatencyStage(std::optional<LatencyStage> stage);
    void vEndLatency();
    // The round trip at rest and under load of this run (set by vEndLatency, before the run's
    // end is posted).
    LatencyFigures latency;
    std::unique_ptr<LatencyMonitor> latencyMonitor;
    IClock::Mark latencyStart = 0;  // when the idle stage began: the samples' clock

    // --- unattended-run additions (auto_test.cpp) ---
    // The echo-probe wait before the measurement: until the window sets echoDone, with the
    // 15 s limit (code 11, WM_START_DECISION (0, 0), then the wait for userGo). false when the
    // worker was told to terminate meanwhile (the caller cleans up and ends); true to go on,
    // possibly with code 11 set.
    bool bEchoProbeWait();
};

}  // namespace kivota
