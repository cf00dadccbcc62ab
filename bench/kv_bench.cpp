// One throughput phase of the engine as the product runs it, for the benchmark:
//   kv_bench --server HOST[:PORT] --direction down|up --connections N --seconds T --adapter IF
//            [--file NAME] [--user U] [--password P] [--mode phase|capacity] [--recv B] [--send B]
//            [--latency on|off]
// Prints one line: kbps=<FTP rate> nic_kbps=<adapter rate> bytes=<payload moved> cpu_s=<user+sys>
// error=<code>; with --latency on (phase mode) also what the latency monitor, run through the
// phase, put on the wire and used: lat_frames= lat_bytes= lat_cpu_s= phase_s=, and its loaded
// median round trip lat_median_ms= and responsiveness lat_rpm=.
//
// phase: the product's own measurement (the rate of the accepted seconds, adapter rate beside it).
// capacity: the same connections without the phase's rules, the rate of the shared byte counter
// (the kernel's counts of the data connections) from 0.5 s after the start until T (past
// 2,000,000,000 bytes a transfer goes on with a new RETR or STOR); a connection that does not
// start, or a transfer that ends before T, makes it error=1.
#include <curl/curl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ftp_class.h"
#include "platform/linux/steady_clock.h"
#include "platform/network_stack.h"
#include "run/latency_monitor.h"
#include "run/work_thread.h"
#include "wiring/engine_root.h"

using namespace kivota;

namespace {

// Discards what the worker tells the window.
class NullWindow final : public IWindowHandle {
public:
    bool PostMessage(WindowMessage) override { return true; }
    bool SendMessage(WindowMessage) override { return true; }
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

int rowOf(INetworkStack& net, const std::string& name) {
    const auto table = net.interfaceTable();
    if (!table) return -1;
    for (std::size_t i = 0; i < table->size(); ++i) {
        if (net.friendlyName((*table)[i].index).value_or("") == name) return static_cast<int>(i);
    }
    return -1;
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs n connections of the direction and measures the shared counter's rate.
int capacity(const std::string& server, bool down, int n, int seconds, const std::string& file, const std::string& user,
             const std::string& password, int recvBlock, int sendBlock) {
    auto clock = std::make_shared<SteadyClock>();
    std::vector<std::unique_ptr<TFTPClass>> conns;
    const double cpuBefore = cpuSeconds();
    for (int i = 1; i <= n; ++i) {
        auto c = std::make_unique<TFTPClass>(clock);
        c->SetName((down ? "FTPDL" : "FTPUL") + std::to_string(i));
        c->SetHost(server);
        c->SetUsername(user);
        c->SetPassword(password);
        if (recvBlock > 0) c->SetRecvBufferSize(recvBlock);
        if (sendBlock > 0) c->SetSendBufferSize(sendBlock);
        if (!c->Connect() || !c->m_bConnected) continue;
        if (down) {
            c->SetGetFile(file);
            c->Get();
        } else {
            c->ChangeDir("uploads");
            c->SetPutFile("kv-bench-capacity.txt");
            c->Put();
        }
        conns.push_back(std::move(c));
    }
    const auto t0 = std::chrono::steady_clock::now();
    double tStart = 0, tEnd = 0;
    long long bytesStart = ftpSharedCounters().iRefreshFromKernel(), bytesEnd = bytesStart;
    bool started = false, endedEarly = conns.size() != static_cast<std::size_t>(n);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double t = secondsSince(t0);
        const long long total = ftpSharedCounters().iRefreshFromKernel();
        if (!started && t >= 0.5) {
            started = true;
            tStart = t;
            bytesStart = total;
        }
        bool allRunning = !conns.empty();
        for (auto& c : conns) allRunning = allRunning && c->m_pFTP->bTransferRunning();
        tEnd = t;
        bytesEnd = total;
        if (t >= seconds) break;
        if (!allRunning) {
            // A refused or broken transfer: its figure would be some other connection count's.
            std::fprintf(stderr, "kv_bench: a transfer ended after %.1f s of %d\n", t, seconds);
            endedEarly = true;
            break;
        }
    }
    if (!started || tEnd - tStart < 0.2) tStart = 0, bytesStart = 0;
    for (auto& c : conns) c->Abort();
    for (auto& c : conns) c->Disconnect();
    const double cpu = cpuSeconds() - cpuBefore;
    const long long moved = ftpSharedCounters().iTotal();
    conns.clear();
    const double kbps = tEnd > tStart ? static_cast<double>(bytesEnd - bytesStart) * 8 / (tEnd - tStart) / 1000 : 0;
    std::printf("kbps=%.0f nic_kbps=0 bytes=%lld cpu_s=%.3f error=%d\n", kbps, moved, cpu, endedEarly ? 1 : 0);
    return endedEarly ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = "phase";
    std::string server, direction = "down", adapter = "lo", file = "test_2048m.zip", user = "ftp", password = "bench";
    int connections = 4, seconds = 10, recvBlock = 0, sendBlock = 0;
    bool latency = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--server") server = value;
        else if (key == "--direction") direction = value;
        else if (key == "--connections") connections = std::atoi(value.c_str());
        else if (key == "--seconds") seconds = std::atoi(value.c_str());
        else if (key == "--adapter") adapter = value;
        else if (key == "--file") file = value;
        else if (key == "--user") user = value;
        else if (key == "--password") password = value;
        else if (key == "--mode") mode = value;
        else if (key == "--recv") recvBlock = std::atoi(value.c_str());
        else if (key == "--send") sendBlock = std::atoi(value.c_str());
        else if (key == "--latency") latency = value == "on";
    }
    if (server.empty() || connections < 1 || seconds < 1) {
        std::fprintf(stderr,
                     "usage: kv_bench --server HOST[:PORT] --direction down|up --connections N "
                     "--seconds T --adapter IF\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    if (mode == "capacity") {
        const int rc =
            capacity(server, direction == "down", connections, seconds, file, user, password, recvBlock, sendBlock);
        ThreadTracker::waitAllEnded(std::chrono::seconds(10));
        curl_global_cleanup();
        return rc;
    }
    // The engine as the product wires it; only the server comes from the command line.
    EngineRoot engine(std::make_shared<StoredAddresses>(buildAddresses()));
    const int row = rowOf(*engine.networkStack(), adapter);
    if (row < 0) {
        std::fprintf(stderr, "kv_bench: no interface %s\n", adapter.c_str());
        return 2;
    }

    WorkerServices svc = engine.workerServices(std::make_shared<RunState>(), std::make_shared<NullWindow>());
    auto w = std::make_shared<CWorkThread>(svc);
    RunState& rs = *svc.state;
    rs.profile.adapterRow = row;
    rs.ftpUrl = server;
    rs.ftpUid = user;
    rs.ftpPwd = password;
    rs.dlDurationSec = rs.ulDurationSec = seconds;
    rs.dlSessions = rs.ulSessions = connections;
    rs.dlPath = "/" + file;
    // As the operator's test parameters would set them.
    rs.userRecvBuf = recvBlock;
    rs.userSendBuf = sendBlock;

    const bool down = direction == "down";
    // The monitor echoes the FTP server itself, the one address the bench has.
    const std::string host = server.substr(0, server.find(':'));
    const int port =
        server.find(':') == std::string::npos ? 21 : std::atoi(server.substr(server.find(':') + 1).c_str());
    std::unique_ptr<LatencyMonitor> monitor;
    if (latency) {
        monitor = std::make_unique<LatencyMonitor>(svc.clock, host, host, port);
        monitor->start();
        monitor->setStage(down ? LatencyStage::Download : LatencyStage::Upload);
    }
    const double cpuBefore = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (down) {
        w->bDownloadPhase();
    } else {
        w->bUploadPhase(false);
    }
    const double phaseSec = secondsSince(t0);
    const double cpu = cpuSeconds() - cpuBefore;
    const long long bytes = ftpSharedCounters().iTotal();
    w->vCleanUp();
    std::printf("kbps=%.0f nic_kbps=%.0f bytes=%lld cpu_s=%.3f error=%d", down ? rs.dlFtpKbps : rs.ulFtpKbps,
                down ? w->dlNicKbps : w->ulNicKbps, bytes, cpu, static_cast<int>(rs.errorCode.load()));
    if (monitor) {
        monitor->setStage(std::nullopt);
        const LatencyFigures f = monitor->stop();
        const LatencyTraffic t = monitor->traffic();
        const StageLatency& stage = down ? f.download : f.upload;
        const Responsiveness& r = down ? f.downloadResponsiveness : f.uploadResponsiveness;
        std::printf(" lat_frames=%lld lat_bytes=%lld lat_cpu_s=%.4f phase_s=%.3f lat_median_ms=%.3f lat_rpm=%.0f",
                    static_cast<long long>(t.frames), static_cast<long long>(t.bytes), monitor->cpuSeconds(), phaseSec,
                    stage.medianMs.value_or(-1), r.rpm.value_or(-1));
    }
    std::printf("\n");
    ThreadTracker::waitAllEnded(std::chrono::seconds(10));
    curl_global_cleanup();
    return rs.errorCode == ErrNone ? 0 : 1;
}
