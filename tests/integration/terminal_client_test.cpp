// The terminal client against the operator testbed on loopback: the whole run sequence with
// the client's own probe rounds and window stand-in, its JSON report next to what the testbed
// decoded, and the ways a run ends (server failure, refusal, declined agreement, interrupt).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli/run_report.h"
#include "cli/terminal_client.h"
#include "net/charset.h"
#include "net/letter_code.h"
#include "run/error_texts.h"
#include "support/letter_encode.h"
#include "support/scoped_work_dir.h"
#include "support/testbed_addresses.h"
#include "support/testbed_process.h"
#include "wiring/engine_root.h"

using namespace kivota;

namespace {

std::string szReadAll(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    return text;
}

class TerminalClientRun : public ::testing::Test {
protected:
    test::ScopedWorkDir workDir{"kv_terminal_client"};
    test::TestbedProcess testbed;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int input[2] = {-1, -1};
    std::string stdoutText, stderrText;
    std::shared_ptr<EngineRoot> engine;
    std::unique_ptr<TerminalClient> client;

    void SetUp() override { ASSERT_EQ(::pipe(input), 0); }
    void TearDown() override {
        std::fclose(out);
        std::fclose(err);
        if (input[0] >= 0) ::close(input[0]);
        if (input[1] >= 0) ::close(input[1]);
    }

    // A short run over loopback: 3 s phases, 2 connections each way; the echoes go to loopback.
    void prepare(const std::string& scenario, TerminalOptions options) {
        testbed.setScenario("testparam.url " + testbed.ftpServer() +
                            "\ntestparam.dl_duration 3\ntestparam.ul_duration 3\n"
                            "testparam.dl_session 2\ntestparam.ul_session 2\n" +
                            scenario);
        StoredAddresses a = test::testbedAddresses(testbed.url(""), testbed.ftpServer());
        a.probeTarget1 = test::szEncode("127.0.0.1");
        a.probeTarget2 = test::szEncode("127.0.0.1");
        a.referenceAddress1 = test::szEncode("127.0.0.1");
        a.referenceAddress2 = test::szEncode("127.0.0.1");
        engine = std::make_shared<EngineRoot>(std::make_shared<StoredAddresses>(a));
        engine->vUseSettingsFile(options.autoFile);
        TerminalStreams streams;
        streams.out = out;
        streams.err = err;
        streams.input = input[0];
        client = std::make_unique<TerminalClient>(engine, options, streams);
    }
    int run() {
        const int status = client->run();
        stdoutText = szReadAll(out);
        stderrText = szReadAll(err);
        return status;
    }
    nlohmann::json json() const { return nlohmann::json::parse(stdoutText); }
    std::size_t requestsTo(const std::string& path) const {
        std::size_t n = 0;
        for (const auto& r : testbed.requests()) n += r.method + " " + r.path == path;
        return n;
    }
    bool bFtpLogHas(const std::string& text) const {
        for (const auto& line : testbed.ftpLog()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
};

TerminalOptions agreedJson() {
    TerminalOptions o;
    o.agree = true;
    o.json = true;
    return o;
}

}  // namespace

TEST_F(TerminalClientRun, WholeSequenceOverLoopbackEndsWithTheDownloadVerdict) {
    // Over loopback the profile finds no tested adapter (the loopback row never is one), so
    // every per-second report fails the adapter comparison and the download verdict is code 2:
    // the whole sequence runs, up to the measurement's end, with nothing to report. The lab
    // test covers a reported run.
    prepare("", agreedJson());
    EXPECT_EQ(run(), ExitMeasurementFailed) << stderrText;

    // One JSON object, one line, nothing else on stdout.
    ASSERT_FALSE(stdoutText.empty());
    EXPECT_EQ(stdoutText.find('\n'), stdoutText.size() - 1);
    const auto j = json();
    EXPECT_EQ(j["outcome"], "measurement-failed");
    EXPECT_EQ(j["error_code"], 2);
    EXPECT_EQ(j["error_text"], szErrorText(ErrDownloadTooShort));
    // Nothing was measured: no speed is reported as one.
    EXPECT_FALSE(j["measured"]);
    EXPECT_TRUE(j["download_kbps"].is_null());
    EXPECT_TRUE(j["upload_kbps"].is_null());
    EXPECT_NE(stderrText.find(szErrorText(ErrDownloadTooShort)), std::string::npos) << stderrText;
    // The sequence: configuration, test parameters, both notifications, the download.
    EXPECT_EQ(requestsTo("GET /kivota/config"), 1u);
    EXPECT_EQ(requestsTo("GET /kivota/testparam"), 1u);
    EXPECT_TRUE(bFtpLogHas("RETR"));
    EXPECT_EQ(requestsTo("POST /kivota/result"), 0u);
    // The client's own probe rounds measured the loopback round trip and released the worker.
    ASSERT_TRUE(client->result()->roundTrip);
    EXPECT_EQ(j["round_trip_ms"]["text"], client->result()->roundTripText);
    EXPECT_EQ(j["connections"]["download"], 2);  // the plan's
}

TEST_F(TerminalClientRun, FailingServerGivesItsErrorTextAndNothingIsMeasured) {
    prepare("config.status 500\n", agreedJson());
    EXPECT_EQ(run(), ExitServerFailed);
    const auto j = json();
    EXPECT_EQ(j["error_code"], 6);
    EXPECT_EQ(j["error_text"], szErrorText(ErrConfigFetch));
    EXPECT_NE(stderrText.find(szErrorText(ErrConfigFetch)), std::string::npos) << stderrText;
    EXPECT_FALSE(j["measured"]);
    EXPECT_EQ(requestsTo("GET /kivota/testparam"), 0u);
}

TEST_F(TerminalClientRun, RefusedTestEndsWithItsOwnStatus) {
    prepare("testparam.test_permission F\n", agreedJson());
    EXPECT_EQ(run(), ExitRefused);
    EXPECT_EQ(json()["error_code"], 10);
    EXPECT_FALSE(bFtpLogHas("RETR"));
}

TEST_F(TerminalClientRun, AgreementIsAskedAndADeclineEndsTheRun) {
    TerminalOptions o;
    prepare("", o);
    ASSERT_EQ(::write(input[1], "n\n", 2), 2);
    EXPECT_EQ(run(), ExitDeclined);
    // The agreement text was shown with the question; nothing was measured or posted.
    EXPECT_NE(stderrText.find("[y/N]"), std::string::npos);
    EXPECT_EQ(requestsTo("GET /kivota/testparam"), 0u);
    EXPECT_EQ(stdoutText, "");
}

TEST_F(TerminalClientRun, EndOfInputCountsAsDeclined) {
    TerminalOptions o;
    prepare("", o);
    ::close(input[1]);
    input[1] = -1;
    EXPECT_EQ(run(), ExitDeclined);
    EXPECT_NE(stderrText.find("--agree"), std::string::npos);
}

TEST_F(TerminalClientRun, InterruptDuringTheDownloadPostsNothing) {
    prepare("", agreedJson());
    // Interrupted once the download has begun on the server.
    std::thread interrupter([this] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!bFtpLogHas("RETR") && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        client->interrupt(SIGINT);
    });
    const auto t0 = std::chrono::steady_clock::now();
    const int status = run();
    interrupter.join();
    EXPECT_EQ(status, 130);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    EXPECT_EQ(json()["outcome"], "interrupted");
    // Neither an upload phase nor a result followed.
    EXPECT_EQ(requestsTo("POST /kivota/result"), 0u);
    EXPECT_FALSE(bFtpLogHas("STOR"));
}

TEST_F(TerminalClientRun, AutoModeRunsFromItsSettingsFileAndLogsItsEnd) {
    std::ofstream("auto.ini", std::ios::binary) << "AutoTest Y\r\nTesttype jMOVA\r\nFtpServer " << testbed.ftpServer()
                                                << "\r\nFtpUser ftp\r\nFtpPassword auto\r\nUploadPath /uploads\r\n"
                                                   "DownloadFile test_2048m.zip\r\nTestSec 3,3\r\nSession 2,2\r\n";
    TerminalOptions o;
    o.autoFile = "auto.ini";  // no --agree: the automatic mode asks nothing
    prepare("", o);
    // Over loopback the download verdict fails (no tested adapter): the run ends with code 2,
    // which the automatic mode writes into its daily log between its start and end lines.
    EXPECT_EQ(run(), ExitMeasurementFailed) << stderrText;
    EXPECT_EQ(stderrText.find("[y/N]"), std::string::npos);
    EXPECT_EQ(requestsTo("GET /kivota/config"), 0u);  // no configuration server in this mode
    EXPECT_TRUE(bFtpLogHas("RETR"));
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        if (!entry.path().string().ends_with("_SpeedTest.log")) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        log += toUtf8(text.str(), "CP950").value_or("");
    }
    const std::size_t start = log.find("啟動測試");
    const std::size_t verdict = log.find(szErrorText(ErrDownloadTooShort));
    const std::size_t end = log.find("結束測試");
    ASSERT_NE(start, std::string::npos) << log;
    ASSERT_NE(verdict, std::string::npos) << log;
    ASSERT_NE(end, std::string::npos) << log;
    EXPECT_LT(start, verdict);
    EXPECT_LT(verdict, end);
}

// A server's text reaches the terminal without the controls that would drive it: no escape
// sequence of the agreement clears the screen or retitles the window.
TEST_F(TerminalClientRun, ServerTextReachesTheTerminalWithoutControlCharacters) {
    TerminalOptions o;
    prepare("config.agreement \x1b[2Jthe terms\x1b]2 owned\x07 of use\xc2\x9b\n", o);
    ASSERT_EQ(::write(input[1], "n\n", 2), 2);
    EXPECT_EQ(run(), ExitDeclined);
    EXPECT_NE(stderrText.find("the terms"), std::string::npos) << stderrText;
    EXPECT_NE(stderrText.find("of use"), std::string::npos) << stderrText;
    for (const char control : {'\x1b', '\x07'}) EXPECT_EQ(stderrText.find(control), std::string::npos) << int{control};
}

// Output that cannot be written is a failure of the run's one product on a terminal.
TEST_F(TerminalClientRun, OutputThatCannotBeWrittenFailsTheRun) {
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::swap(out, full);
    prepare("config.status 500\n", agreedJson());
    EXPECT_EQ(run(), ExitOutputFailed);
    EXPECT_NE(stderrText.find("could not be written"), std::string::npos) << stderrText;
    std::swap(out, full);
    std::fclose(full);
}

TEST(TerminalSettings, FileThatDoesNotTurnTheAutomaticModeOnIsNamedAsTheProblem) {
    test::ScopedWorkDir workDir{"kv_terminal_settings"};
    std::ofstream("manual.ini", std::ios::binary) << "AutoTest N\r\nTesttype jMOVA\r\n";
    EXPECT_NE(szAutomaticSettingsProblem("manual.ini").find("manual.ini"), std::string::npos);
    EXPECT_NE(szAutomaticSettingsProblem("absent.ini").find("absent.ini"), std::string::npos);
    std::ofstream("auto.ini", std::ios::binary) << "AutoTest Y\r\nTesttype jMOVA\r\n";
    EXPECT_EQ(szAutomaticSettingsProblem("auto.ini"), "");
}
