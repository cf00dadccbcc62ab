// kivota-cli as a user runs it, through the lab's shaped link (scripts/lab up --down 50mbit
// --up 10mbit): the JSON it prints against what the lab's testbed decoded, a failing server,
// and Ctrl-C in the middle of the download.
#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "run/error_texts.h"
#include "support/child_process.h"
#include "support/lab.h"
#include "support/scoped_work_dir.h"
#include "support/testbed_process.h"

namespace kivota {
namespace {

const std::string kClient = std::string(KIVOTA_BINARY_DIR) + "/src/cli/kivota-cli";

// A speed as the result line writes it: two decimals.
std::string szTwoDecimals(const nlohmann::json& value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value.get<double>());
    return text;
}

// A series as the result line writes it.
std::string szItems(const nlohmann::json& items) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty()) text += ',';
        if (!item.is_null()) text += std::to_string(item.get<long long>());
    }
    return text;
}

std::string szLabFile(const std::string& name) {
    std::ifstream in(std::filesystem::path(test::szLabStateDir()) / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t iCount(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class TerminalClientLab : public ::testing::Test {
protected:
    void SetUp() override {
        KV_NEEDS(test::bLabUp(), "needs the lab (scripts/lab up --down 50mbit --up 10mbit)");
        test::vSetLabScenario("# default operator configuration\n");
    }
    void TearDown() override {
        if (test::bLabUp()) test::vSetLabScenario("");
    }
};

TEST_F(TerminalClientLab, JsonSpeedsAreWhatTheOperatorDecoded) {
    // Phases of 5 s still leave seconds past the warm-up for the rates; the lab tests of the
    // phases themselves run the operator's full lengths.
    test::vSetLabScenario("testparam.dl_duration 5\ntestparam.ul_duration 5\n");
    test::ChildProcess cli({kClient, "--agree", "--json"});
    const int status = cli.wait();
    const std::string json = cli.out();
    std::printf("kivota-cli --agree --json: status %d\n%s", status, json.c_str());
    ASSERT_EQ(status, 0) << cli.err();

    const auto j = nlohmann::json::parse(json);
    // The result page names the stored result: report?id=<n> is results/<n>.txt.
    const std::string url = j["result_url"];
    const std::size_t id = url.find("report?id=");
    ASSERT_NE(id, std::string::npos) << url;
    const test::TestbedResult stored =
        test::readTestbedResult(test::szLabStateDir() + "/results/" + url.substr(id + 10) + ".txt");
    EXPECT_TRUE(stored.authOk);
    EXPECT_EQ(stored.field("error_code"), "0");
    EXPECT_EQ(szTwoDecimals(j["download_kbps"]), stored.field("DL_FTP_speed"));
    EXPECT_EQ(szTwoDecimals(j["upload_kbps"]), stored.field("UL_FTP_speed"));
    EXPECT_EQ(szTwoDecimals(j["adapter"]["download_kbps"]), stored.field("DL_NIC_speed"));
    EXPECT_EQ(szTwoDecimals(j["adapter"]["upload_kbps"]), stored.field("UL_NIC_speed"));
    EXPECT_EQ(szItems(j["series_kbps"]["download"]), stored.field("DL_FTP_speed_interval"));
    EXPECT_EQ(szItems(j["series_kbps"]["upload"]), stored.field("UL_FTP_speed_interval"));
    EXPECT_EQ(j["round_trip_ms"]["text"], stored.field("RTT"));
    EXPECT_EQ(j["serial"], stored.serial);
    EXPECT_TRUE(j["result_sent"]);
    // The shaped link: 50 Mbit/s down, 10 Mbit/s up.
    const double down = j["download_kbps"], up = j["upload_kbps"];
    EXPECT_GT(down, 0.85 * 50'000);
    EXPECT_LT(down, 1.05 * 50'000);
    EXPECT_GT(up, 0.85 * 10'000);
    EXPECT_LT(up, 1.05 * 10'000);
    // Nothing drawn on a pipe: stderr is not a terminal here.
    EXPECT_EQ(cli.err().find('\r'), std::string::npos);
}

TEST_F(TerminalClientLab, FailingServerGivesItsErrorTextAndANonZeroStatus) {
    test::vSetLabScenario("config.status 500\n");
    test::ChildProcess cli({kClient, "--agree"});
    EXPECT_EQ(cli.wait(), 5);
    EXPECT_NE(cli.err().find(szErrorText(6)), std::string::npos) << cli.err();
    EXPECT_EQ(cli.out(), "");
}

// An interrupt at a moment of the run: the program ends within a second of it in every state,
// exits with 128 + the signal, and says what the operator received.
struct InterruptCase {
    const char* name;
    int signal;
    std::string scenario;
    std::string file, line;  // the moment: this line appears in the lab's file...
    int afterMs;             // ...and this long after it
    bool resultSent;
};

std::ostream& operator<<(std::ostream& os, const InterruptCase& c) { return os << c.name; }

class TerminalInterrupt : public TerminalClientLab, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(TerminalInterrupt, EndsWithinASecondAndSaysWhatTheOperatorReceived) {
    const InterruptCase& c = GetParam();
    test::vSetLabScenario(c.scenario);
    const std::size_t linesBefore = iCount(szLabFile(c.file), c.line);
    const std::size_t postsBefore = iCount(szLabFile("requests.log"), "POST\t/kivota/result");
    test::ChildProcess cli({kClient, "--agree", "--json"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (iCount(szLabFile(c.file), c.line) == linesBefore && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GT(iCount(szLabFile(c.file), c.line), linesBefore) << cli.err();
    std::this_thread::sleep_for(std::chrono::milliseconds(c.afterMs));
    const std::size_t usersAtSignal = iCount(szLabFile("ftp.log"), "USER ");
    const auto t0 = std::chrono::steady_clock::now();
    cli.signal(c.signal);
    EXPECT_EQ(cli.wait(), 128 + c.signal) << cli.err();
    const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%s: ended %.3f s after the signal; stderr: %s", c.name, took, cli.err().c_str());
    EXPECT_LT(took, 1.0);
    EXPECT_EQ(cli.err().find("did not end in time"), std::string::npos);
    const auto j = nlohmann::json::parse(cli.out());
    EXPECT_EQ(j["outcome"], "interrupted");
    EXPECT_EQ(j["result_sent"], c.resultSent);
    EXPECT_EQ(cli.err().find("sent to the operator") != std::string::npos, c.resultSent) << cli.err();
    EXPECT_EQ(iCount(szLabFile("requests.log"), "POST\t/kivota/result"), postsBefore + (c.resultSent ? 1 : 0));
    // No connection set up after the interrupt (one already logging in may finish).
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(iCount(szLabFile("ftp.log"), "USER "), usersAtSignal + 1);
}

INSTANTIATE_TEST_SUITE_P(
    EveryState, TerminalInterrupt,
    ::testing::Values(InterruptCase{"during the download", SIGINT, "# defaults\n", "ftp.log", "RETR ", 0, false},
                      InterruptCase{"politely during the download", SIGTERM, "# defaults\n", "ftp.log", "RETR ", 0,
                                    false},
                      InterruptCase{"while twenty uploads start", SIGINT,
                                    "testparam.dl_duration 2\ntestparam.dl_session 1\ntestparam.ul_session 20\n",
                                    "ftp.log", "STOR ", 1000, false},
                      InterruptCase{"while the operator holds the result's answer", SIGINT,
                                    "testparam.dl_duration 2\ntestparam.ul_duration 2\nresult.stall 30\n",
                                    "requests.log", "POST\t/kivota/result", 300, true}),
    [](const ::testing::TestParamInfo<InterruptCase>& param) {
        std::string name;
        for (const char* p = param.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// The automatic mode's one output is its result file: a line that cannot be written is the
// run's failure, not a report.
TEST_F(TerminalClientLab, AutomaticRunWhoseResultFileCannotBeWrittenSaysSo) {
    test::ScopedWorkDir workDir{"kv_cli_unwritable"};
    std::ofstream("auto.ini", std::ios::binary) << "AutoTest Y\r\nTesttype jMOVA\r\nFtpServer " << test::kLabServer
                                                << "\r\nFtpUser ftp\r\nFtpPassword auto\r\nUploadPath /uploads\r\n"
                                                   "DownloadFile test_2048m.zip\r\nTestSec 3,3\r\nSession 2,2\r\n";
    std::filesystem::create_directory("KivotaResult.txt");
    test::ChildProcess cli({kClient, "--auto", "auto.ini", "--json"});
    EXPECT_EQ(cli.wait(), 1) << cli.err();
    const auto j = nlohmann::json::parse(cli.out());
    EXPECT_EQ(j["outcome"], "not-recorded");
    EXPECT_NE(j["error_text"].get<std::string>().find("KivotaResult.txt"), std::string::npos);
    EXPECT_TRUE(j["measured"]);
}

}  // namespace
}  // namespace kivota
