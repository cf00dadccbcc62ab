// The unattended run end to end against the testbed's FTP server on loopback: settings file,
// both phases with the loopback adapter's counters, the result file line in code page 950 and
// the daily log; and no line when a phase cannot start.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/linux/netlink_network_stack.h"
#include "platform/linux/steady_clock.h"
#include "profile/adapter_counters.h"
#include "run/run_log.h"
#include "run/settings_file.h"
#include "run/work_thread.h"
#include "support/lab.h"
#include "support/recording_window.h"
#include "support/refused_port.h"
#include "support/scoped_work_dir.h"
#include "support/testbed_process.h"

namespace kivota {
namespace {

std::string contents(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The interface-table row of the loopback adapter, which carries the FTP traffic here.
int loopbackRow(INetworkStack& net) {
    const auto table = net.interfaceTable();
    if (!table) return -1;
    for (std::size_t i = 0; i < table->size(); ++i)
        if ((*table)[i].type == kIfTypeLoopback) return static_cast<int>(i);
    return -1;
}

// A transfer stops itself after 2,000,000,000 bytes, which one upload over loopback passes
// within its first second, before any report: several connections share the loopback, so
// that the reporting one still runs when the phase ends.
// Phases of 5 s: the loopback counters also see other programs' loopback traffic, which the
// plausibility rule of the first 3 s of a phase may reject; later reports stand.
constexpr int kUploadSessions = 12;
constexpr int kDownloadSessions = 4;

struct AutoRig {
    test::ScopedWorkDir workDir{"kv_auto"};
    test::TestbedProcess testbed;
    std::shared_ptr<RunState> state = std::make_shared<RunState>();
    std::shared_ptr<test::RecordingWindow> window = std::make_shared<test::RecordingWindow>();
    std::shared_ptr<INetworkStack> net = makeLinuxNetworkStack();

    // Reads the settings as the window does at start-up, then runs one worker to its end.
    void run(const std::string& ftpServer) { run(ftpServer, loopbackRow(*net)); }
    void run(const std::string& ftpServer, int adapterRow) {
        std::ofstream("kivota.ini", std::ios::binary) << "/ unattended run on loopback\r\n"
                                                      << "AutoTest Y\r\nTesttype jMOVA\r\n"
                                                      << "FtpServer " << ftpServer << "\r\n"
                                                      << "FtpUser ftp\r\nFtpPassword guest@\r\nUploadPath /uploads\r\n"
                                                      << "DownloadFile test_2048m.zip\r\nTestSec 5,5\r\nSession "
                                                      << kUploadSessions << "," << kDownloadSessions << "\r\n";
        vReadSettingsFile(*state, "kivota.ini");
        ASSERT_TRUE(state->autoTestMode);
        state->appVer = "0.93";
        state->profile.userOs = "Debian 12 測試版";
        state->profile.adapterRow = adapterRow;
        ASSERT_GE(state->profile.adapterRow, 0);

        WorkerServices svc;
        svc.state = state;
        svc.window = window;
        svc.clock = std::shared_ptr<IClock>(&systemClock(), [](IClock*) {});  // process-wide clock
        svc.addresses = std::make_shared<StoredAddresses>();
        svc.counters = std::make_shared<InterfaceTableCounters>(net);
        auto worker = std::make_shared<CWorkThread>(std::move(svc));
        // The window's echo probe finishes once the run has announced itself.
        std::weak_ptr<CWorkThread> weak = worker;
        window->setReaction([weak](const test::RecordedMessage& m) {
            if (m.msg == WM_START_DECISION && m.wParam == 3)
                if (auto w = weak.lock()) w->echoDone = true;
        });
        worker->Resume();
        worker->WaitFor();
    }
};

// The FTP rate in kbit/s that `key` ("DL_FTP_speed=") gives in a result line; -1 without it.
double dRateIn(const std::string& line, const std::string& key) {
    const auto at = line.find("&" + key);
    return at == std::string::npos ? -1.0 : std::atof(line.c_str() + at + 1 + key.size());
}

// The run ended as an automatic run does: one result line in code page 950 with CR LF, the
// rates of the run state in it, and the upload noted in the daily log.
void vExpectOneResultLine(const AutoRig& rig) {
    EXPECT_EQ(static_cast<int>(rig.state->errorCode), ErrAutoRunning);
    const auto messages = rig.window->messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().msg, WM_START_DECISION);
    EXPECT_EQ(messages.back().msg, WM_TEST_FINISHED);
    EXPECT_EQ(messages.back().wParam, 2);
    const auto analysis = rig.window->messages(WM_ANALYSIS_START);
    ASSERT_EQ(analysis.size(), 1u);
    EXPECT_TRUE(analysis[0].sent);

    const std::string line = contents("KivotaResult.txt");
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.find("\r\n"), line.size() - 2);  // exactly one line, CR LF
    EXPECT_EQ(line.find('\t'), 8u);                 // "HH:MM:SS" of the start, then a tab
    EXPECT_EQ(line.substr(8, 14), "\tApp_ver=0.93&");
    EXPECT_NE(line.find("&User_os=Debian 12 \xB4\xFA\xB8\xD5\xAA\xA9&"), std::string::npos);  // code page 950
    EXPECT_NE(
        line.find("&Tcp_session=" + std::to_string(kUploadSessions) + "," + std::to_string(kDownloadSessions) + "&"),
        std::string::npos);
    EXPECT_EQ(line.find("Core_Usage"), std::string::npos);
    EXPECT_EQ(line.find("auth_code"), std::string::npos);
    const std::string ending = "&error_code=14\r\n";
    EXPECT_EQ(line.substr(line.size() - ending.size()), ending);
    EXPECT_GT(rig.state->dlFtpKbps, 0.0);
    EXPECT_GT(rig.state->ulFtpKbps, 0.0);
    EXPECT_NEAR(dRateIn(line, "DL_FTP_speed="), rig.state->dlFtpKbps, 0.005);
    EXPECT_NEAR(dRateIn(line, "UL_FTP_speed="), rig.state->ulFtpKbps, 0.005);

    // The daily log of today (or of tomorrow, should the run have crossed midnight).
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        if (entry.path().string().ends_with("_SpeedTest.log")) log += contents(entry.path().string());
    EXPECT_NE(log.find("\tStart upload\r\n"), std::string::npos);
}

TEST(AutoTestRun, AppendsOneResultLineAndLogsTheUpload) {
    AutoRig rig;
    rig.run(rig.testbed.ftpServer());
    vExpectOneResultLine(rig);

    bool fetched = false;
    for (const auto& ftpLine : rig.testbed.ftpLog())
        fetched = fetched || ftpLine.find("RETR test_2048m.zip") != std::string::npos;
    EXPECT_TRUE(fetched);
}

TEST(AutoTestRun, InTheLabAppendsTheShapedRatesInOneLine) {
    KV_NEEDS(test::bLabUp(), "needs the lab (scripts/lab up --down 50mbit --up 10mbit)");
    AutoRig rig;
    rig.run(test::kLabServer, test::iLabAdapterRow(*rig.net));
    vExpectOneResultLine(rig);
    const std::string line = contents("KivotaResult.txt");
    const double down = dRateIn(line, "DL_FTP_speed="), up = dRateIn(line, "UL_FTP_speed=");
    std::printf("automatic run in the lab: DL %.2f kbit/s, UL %.2f kbit/s\n", down, up);
    EXPECT_GT(down, 0.85 * 50'000);
    EXPECT_LE(down, 50'000);
    EXPECT_GT(up, 0.85 * 10'000);
    EXPECT_LE(up, 10'000);
}

TEST(AutoTestRun, PhaseThatCannotStartWritesNoLine) {
    AutoRig rig;
    rig.run("127.0.0.1:" + std::to_string(test::refusedPort()));

    EXPECT_EQ(static_cast<int>(rig.state->errorCode), ErrPhaseStart);
    const auto finished = rig.window->messages(WM_TEST_FINISHED);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].wParam, 3);
    EXPECT_EQ(rig.window->count(WM_ANALYSIS_START), 0u);
    EXPECT_FALSE(std::filesystem::exists("KivotaResult.txt"));
}

}  // namespace
}  // namespace kivota
