// The download and upload phases: N parallel FTP connections transfer for a fixed time while
// the reporting connection's progress callback, once a second, sets the FTP payload rate against the
// adapter's own octet counters, keeps the plausible seconds and builds the per-second series.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

#include "net/ftp_class.h"
#include "net/letter_code.h"
#include "run/run_log.h"
#include "run/run_rules.h"
#include "run/work_thread.h"

namespace kivota {

namespace {

constexpr int kRecvBlockSize = 131072;
constexpr int kSendBlockSize = 32768;
// Send block for a line with a long round trip.
constexpr int kLongRoundTripSendBlock = 8000;
constexpr int kFtpPort = 21;
constexpr int kWaitPollMs = 20;
constexpr int kRetryPauseMs = 100;
constexpr int kBeforeUploadMs = 1000;
constexpr double kGraceSec = 10.0;  // the wait's allowance beyond the phase length
constexpr double kMinMeasuredShare = 0.3;
constexpr double kKeepAliveSpacingSec = 3.0;
constexpr std::int64_t kEarlyPhaseSec = 3;  // reports this early may not show a far larger NIC rate

std::vector<std::shared_ptr<TFTPClass>> vMakeConnections(CWorkThread& w, const char* format, int count) {
    std::vector<std::shared_ptr<TFTPClass>> conns;
    for (int i = 1; i <= count; ++i) {
        auto c = std::make_shared<TFTPClass>(w.svc.clock);
        char name[32];
        std::snprintf(name, sizeof name, format, i);
        c->SetName(name);
        FtpCallbacks callbacks;
        callbacks.onConnected = [](TFTPClass&) {};
        callbacks.onDisconnected = [](TFTPClass&) {};
        callbacks.onLog = [](TFTPClass&, const std::string&) {};
        // The worker owns its connections, and a connection's destructor unbinds its
        // callbacks, so the worker outlives every call.
        callbacks.onProgress = [&w](TFTPClass&, int mode, double rate, std::int64_t elapsed, std::int64_t total) {
            w.vOnProgress(mode, rate, elapsed, total);
        };
        callbacks.onSampleMoment = [&w](TFTPClass&) { w.vTakeAdapterSample(); };
        c->SetCallbacks(std::move(callbacks));
        conns.push_back(std::move(c));
    }
    return conns;
}

// 0 (or a nonsensical negative count) means one connection.
int iConnectionCount(int sessions) { return sessions > 0 ? sessions : 1; }

bool bSetUpConnection(CWorkThread& w, const TestParameters& p, TFTPClass& c, bool upload) {
    const RunState& rs = w.rs;
    if (c.m_bConnected) c.Disconnect();
    c.SetHost(p.ftpUrl);
    c.SetUsername(p.ftpUid);
    c.SetPort(kFtpPort);
    c.SetPassword(p.ftpPwd);
    c.SetDropOnly(0);
    c.SetPassive(true);
    c.SetRecvBufferSize(kRecvBlockSize);
    c.SetSendBufferSize(kSendBlockSize);
    if (p.userRecvBuf > 0) c.SetRecvBufferSize(p.userRecvBuf);
    if (p.userSendBuf > 0) c.SetSendBufferSize(p.userSendBuf);
    if (upload && bLongRoundTrip(rs.rttMax, rs.rttMin)) c.SetSendBufferSize(kLongRoundTripSendBlock);
    return c.Connect();
}

// Sets up and starts connections 1..n of a phase; `sessions` ends as the number started.
// false when connection 1 failed.
template <typename StartOne>
bool bStartConnections(CWorkThread& w, const TestParameters& p, std::vector<std::shared_ptr<TFTPClass>>& conns, int n,
                       int& sessions, bool upload, StartOne startOne) {
    sessions = 0;
    // A run told to stop starts no further connection.
    for (int i = 1; i <= n && i <= static_cast<int>(conns.size()) && !w.Terminated(); ++i) {
        TFTPClass& c = *conns[static_cast<std::size_t>(i - 1)];
        if (!bSetUpConnection(w, p, c, upload)) {
            if (i > 1) {
                sessions = i - 1;
                return true;
            }
            w.phaseReady = false;
            return false;
        }
        if (c.m_bConnected) {
            startOne(c);
            ++sessions;
        }
    }
    return true;
}

bool bStartDownloadConnections(CWorkThread& w, const TestParameters& p, int n) {
    const std::string file = p.dlPath.empty() ? std::string() : p.dlPath.substr(1);  // "/test.zip" -> "test.zip"
    return bStartConnections(w, p, w.dlConns, n, w.dlStarted, false, [&](TFTPClass& c) {
        c.SetGetFile(file);
        c.SetPutFile("");
        c.Get();
    });
}

bool bStartUploadConnections(CWorkThread& w, const TestParameters& p, int n, const std::string& name) {
    return bStartConnections(w, p, w.ulConns, n, w.ulStarted, true, [&](TFTPClass& c) {
        c.ChangeDir("uploads");
        c.SetGetFile("");
        c.SetPutFile(name);
        c.Put();
    });
}

// One name for every upload connection of the phase: the local time to the millisecond.
std::string szUploadName(const LocalTime& t) {
    char name[64];
    std::snprintf(name, sizeof name, "%d%02d%02d%02d%02d%02d%d.txt", t.year, t.month, t.day, t.hour, t.minute, t.second,
                  t.millisecond);
    return name;
}

// Baselines and counters at the start of a phase (measureLock held).
void vResetMeasurement(CWorkThread& w, bool download, int durationSec) {
    if (const auto counters = w.svc.counters->sample(w.rs.profile.adapterRow)) {
        w.outOctetsBase = counters->outOctets;
        w.inOctetsBase = counters->inOctets;
    }
    w.lastReportMs = 0;
    w.warmupPending = true;
    w.warmupCount = 1;
    w.phaseReady = true;
    w.phaseStart = w.svc.clock->now();
    w.measuredSec = 0.0f;
    w.ftpBytes = 0;
    w.dlNicKbitSum = w.ulNicKbitSum = w.ulNicKbitDuringDl = w.dlNicKbitDuringUl = 0;
    w.dlPhase = download;
    w.phaseDurationSec = durationSec;
}

bool bPhaseTimeLeft(CWorkThread& w, IClock::Mark t0, int durationSec) {
    return w.svc.clock->secondsBetween(w.svc.clock->now(), t0) <= durationSec + kGraceSec;
}

// Whole kbit/s of the FTP rate, rounded half away from zero; none when that is 0.
std::optional<std::int64_t> optWholeKbit(double rateBps) {
    const long long kbit = std::llround(rateBps * 0.001);
    if (kbit == 0) return std::nullopt;
    return kbit;
}

// The adapter's kbit over an interval as a whole rate, rounded to the nearest (half to even).
std::int64_t iRate(std::int64_t kbit, float intervalSec) {
    return static_cast<std::int64_t>(std::nearbyint(static_cast<double>(kbit) / static_cast<double>(intervalSec)));
}

// Octets moved since `base`, as kbit truncated. The counters are 64-bit: one that went
// backwards was reset (the adapter restarted), so no movement is known for this interval.
std::int64_t iKbitSince(std::uint64_t now, std::uint64_t base) {
    if (now < base) return 0;
    return static_cast<std::int64_t>(static_cast<double>(now - base) * 0.001 * 8);
}

}  // namespace

void CWorkThread::vStopPhase(bool download) {
    auto& conns = download ? dlConns : ulConns;
    // Every transfer is asked to end first, so that they end side by side; each Disconnect
    // then waits only for what is left of its own. A run told to stop drops its lines at once
    // instead of ending its transfers in order: nothing of them is measured any more.
    const bool drop = Terminated();
    for (auto& c : conns) {
        if (!c) continue;
        if (drop) c->m_bDropOnly = 1;
        if (c->m_bBusy) c->Abort();
    }
    for (auto& c : conns) {
        if (c) c->Disconnect();
    }
}

bool CWorkThread::bDownloadPhase(const TestParameters& p) {
    const int created = iConnectionCount(p.dlSessions);
    dlConns = vMakeConnections(*this, "FTPDL%d", created);
    rs.dlSessionsSetting = created;

    svc.window->SendMessage(WindowMessage::make(WM_TEST_PROGRESS, 1, 0));
    vLatencyStage(LatencyStage::Download);
    {
        std::lock_guard lock(measureLock);
        vResetMeasurement(*this, true, p.dlDurationSec);
    }

    // The retry starts as many connections as the first attempt did.
    const int n = iConnectionCount(p.dlSessions);
    if (!bStartDownloadConnections(*this, p, n)) {
        vStopPhase(true);
        svc.clock->sleepMs(kRetryPauseMs);
        {
            std::lock_guard lock(measureLock);
            phaseStart = svc.clock->now();
        }
        if (!bStartDownloadConnections(*this, p, n)) {
            vStopPhase(true);
            rs.errorCode = ErrPhaseStart;
            return false;
        }
    }

    const bool ok = bAwaitDownloadVerdict(p.dlDurationSec);
    vLatencyStage(std::nullopt);
    vStopPhase(true);
    return ok;
}

bool CWorkThread::bAwaitDownloadVerdict(int durationSec) {
    const IClock::Mark t0 = svc.clock->now();
    while (!rs.dlDone && !Terminated()) {
        if (bPhaseTimeLeft(*this, t0, durationSec)) {
            svc.clock->sleepMs(kWaitPollMs);
            continue;
        }
        std::lock_guard lock(measureLock);
        if (measuredSec > 0.0f && measuredSec >= kMinMeasuredShare * durationSec) {
            rs.dlFtpBps = static_cast<double>(ftpBytes) * 8 / measuredSec;
            dlNicKbps = static_cast<double>(dlNicKbitSum) / measuredSec;
            rs.dlFtpKbps = rs.dlFtpBps * 0.001;
            dlMeasured = true;
            return true;
        }
        rs.errorCode = ErrDownloadTooShort;
        return false;
    }
    // Done by the callback's clock; a terminated run measured nothing and goes no further.
    return !Terminated();
}

bool CWorkThread::bUploadPhase(const TestParameters& p, bool automatic) {
    const int created = iConnectionCount(p.ulSessions);
    ulConns = vMakeConnections(*this, "FTPUL%d", created);
    ulConnsCreated = true;
    rs.ulSessionsSetting = created;

    vPause(kBeforeUploadMs);
    svc.window->SendMessage(WindowMessage::make(WM_TEST_PROGRESS, 0, 0));
    vLatencyStage(LatencyStage::Upload);
    {
        std::lock_guard lock(measureLock);
        vResetMeasurement(*this, false, p.ulDurationSec);
        ulFinished = false;
    }

    const std::string name = szUploadName(svc.clock->localTime());
    const int n = iConnectionCount(p.ulSessions);
    if (!bStartUploadConnections(*this, p, n, name)) {
        vStopPhase(false);
        svc.clock->sleepMs(kRetryPauseMs);
        {
            std::lock_guard lock(measureLock);
            phaseStart = svc.clock->now();
        }
        // A second failure is noted, and the wait below still decides the phase.
        if (!bStartUploadConnections(*this, p, n, name)) rs.errorCode = ErrPhaseStart;
    }
    if (automatic) bAppendLog(*svc.clock, "Start upload", "");

    const bool ok = bAwaitUploadVerdict(p.ulDurationSec, automatic || guestTest);
    vLatencyStage(std::nullopt);
    vStopPhase(false);
    return ok;
}

bool CWorkThread::bAwaitUploadVerdict(int durationSec, bool strict) {
    const IClock::Mark t0 = svc.clock->now();
    while (!rs.ulDone && !Terminated()) {
        if (bPhaseTimeLeft(*this, t0, durationSec)) {
            svc.clock->sleepMs(kWaitPollMs);
            continue;
        }
        std::lock_guard lock(measureLock);
        const double least = kMinMeasuredShare * durationSec;
        const bool enough = measuredSec > 0.0f && (strict ? measuredSec > least : measuredSec >= least);
        if (enough) {
            rs.ulFtpBps = static_cast<double>(ftpBytes) * 8 / measuredSec;
            ulNicKbps = static_cast<double>(ulNicKbitSum) / measuredSec;
            rs.ulFtpKbps = rs.ulFtpBps * 0.001;
            ulMeasured = true;
            return true;
        }
        if (measuredSec != 0.0f) {
            rs.errorCode = ErrUploadTooShort;
        } else if (rs.profile.userPppoe.compare(0, 5, "PPPoE") != 0) {
            rs.errorCode = ErrUploadNoneOther;
        } else {
            // An unknown MTU (all ones) counts as a large one.
            rs.errorCode = rs.profile.mtu <= 1460 ? ErrUploadTooShort : ErrUploadNoneLargeMtu;
        }
        return false;
    }
    return !Terminated();
}

PhaseSeries CWorkThread::seriesSnapshot(bool download) const {
    std::lock_guard lock(measureLock);
    return download ? dlSeries : ulSeries;
}

void CWorkThread::vTakeAdapterSample() {
    auto counters = svc.counters->sample(rs.profile.adapterRow);
    std::lock_guard lock(measureLock);
    adapterAtSample = counters;
}

void CWorkThread::vOnProgress(int workMode, double rateBps, std::int64_t elapsedMs, std::int64_t totalBytes) {
    // A report that comes after its phase ended (another connection took the role late) is
    // not the phase's.
    if ((workMode == 1 ? rs.ulDone : rs.dlDone).load()) return;
    const bool upload = workMode == 1;
    IClock& clock = *svc.clock;

    std::unique_ptr<WindowMessage> keepAlive;
    std::unique_ptr<WindowMessage> progress;
    bool stopConnections = false;
    bool phaseEnded = false;  // by its own clock, on an accepted report
    {
        std::lock_guard lock(measureLock);

        // The adapter's counters of the moment the FTP total was read (else read now); an
        // unreadable table shows no movement.
        std::uint64_t in = inOctetsBase, out = outOctetsBase;
        const auto counters = adapterAtSample ? std::exchange(adapterAtSample, std::nullopt)
                                              : svc.counters->sample(rs.profile.adapterRow);
        if (counters) {
            in = counters->inOctets;
            out = counters->outOctets;
        }

        // Keep-alive at most every 3 s while the run goes on.
        keepaliveNow = clock.now();
        if (clock.secondsBetween(keepaliveNow, keepaliveLast) > kKeepAliveSpacingSec && running) {
            keepaliveLast = keepaliveNow;
            keepAlive = std::make_unique<WindowMessage>(
                WindowMessage::withTexts(WM_KEEP_ALIVE, std::make_unique<TextHolder>(m_szCookie),
                                         std::make_unique<TextHolder>(szDecode(svc.addresses->keepAliveUrl))));
        }

        // 3. The first report of a phase is its baseline.
        if (warmupPending) {
            if (--warmupCount < 1) {
                warmupPending = false;
                baseElapsedMs = lastReportMs = elapsedMs;
                baseBytes = totalBytes;
                inOctetsBase = in;
                outOctetsBase = out;
                lastBytes = totalBytes;
            }
        } else {
            // 4. A measurement report.
            const int durationSec = phaseDurationSec;
            SecondFigures second;
            second.ftpKbps = optWholeKbit(rateBps);
            const std::int64_t percent =
                durationSec > 0 ? (elapsedMs - baseElapsedMs) / (std::int64_t{durationSec} * 10) : 0;
            const std::int64_t inKbit = iKbitSince(in, inOctetsBase);
            const std::int64_t outKbit = iKbitSince(out, outOctetsBase);
            const float intervalSec = static_cast<float>(static_cast<double>(elapsedMs - lastReportMs) * 0.001);
            if ((upload ? outKbit : inKbit) != 0 && intervalSec > 0.0f) {
                second.adapterKbps = iRate(upload ? outKbit : inKbit, intervalSec);
                second.otherKbps = iRate(upload ? inKbit : outKbit, intervalSec);
            }
            inOctetsBase = in;
            outOctetsBase = out;
            lastReportMs = elapsedMs;
            const auto phaseSec = static_cast<std::int64_t>(clock.secondsBetween(clock.now(), phaseStart));

            // Plausibility: the FTP rate and the adapter's rate must roughly agree.
            const auto r = static_cast<std::int64_t>(rateBps * 0.001);
            const std::int64_t nic = second.adapterKbps.value_or(0);
            const bool rejected = r >= 2 * nic || !(rateBps > 0) || (nic >= 2 * r && phaseSec <= kEarlyPhaseSec);

            if (rejected) {
                lastBytes = totalBytes;
                stopConnections = phaseSec >= durationSec;  // the wait decides the phase
            } else {
                measuredSec += intervalSec;
                ftpBytes += totalBytes - lastBytes;
                lastBytes = totalBytes;
                if (upload) {
                    ulNicKbitSum += outKbit;
                    dlNicKbitDuringUl += inKbit;
                    ulSeries.push_back(second);
                } else {
                    dlNicKbitSum += inKbit;
                    ulNicKbitDuringDl += outKbit;
                    dlSeries.push_back(second);
                }
                progress = std::make_unique<WindowMessage>(
                    WindowMessage::make(WM_TEST_PROGRESS, upload ? 0 : 1, static_cast<std::intptr_t>(percent)));

                // The phase ends by its own clock.
                if (elapsedMs - baseElapsedMs >= static_cast<std::int64_t>(durationSec) * 1000) {
                    stopConnections = phaseEnded = true;
                    if (upload) {
                        rs.ulFtpBps = static_cast<double>(ftpBytes) * 8 / measuredSec;
                        ulNicKbps = static_cast<double>(ulNicKbitSum) / measuredSec;
                        dlAtUlKbps = static_cast<double>(dlNicKbitDuringUl) / measuredSec;
                        rs.ulFtpKbps = rs.ulFtpBps * 0.001;
                        ulMeasured = true;
                    } else {
                        rs.dlFtpBps = static_cast<double>(ftpBytes) * 8 / measuredSec;
                        dlNicKbps = static_cast<double>(dlNicKbitSum) / measuredSec;
                        ulAtDlKbps = static_cast<double>(ulNicKbitDuringDl) / measuredSec;
                        rs.dlFtpKbps = rs.dlFtpBps * 0.001;
                        dlMeasured = true;
                    }
                }
            }
        }
    }

    if (keepAlive) svc.window->PostMessage(std::move(*keepAlive));
    if (progress) svc.window->PostMessage(std::move(*progress));
    if (!stopConnections) return;
    // The line is no longer loaded once the connections stop.
    vLatencyStage(std::nullopt);
    vStopPhase(!upload);
    if (!phaseEnded) return;  // a late rejected report: the worker's wait decides the phase
    if (upload) {
        ulFinished = true;
        rs.ulDone = true;
    } else {
        rs.dlDone = true;
    }
}

}  // namespace kivota
