// kivota-cli as a user runs it, through the lab's shaped link (scripts/lab up --down 50mbit
// --up 10mbit): the JSON it prints against what the lab's testbed decoded, a failing server,
// and Ctrl-C in the middle of the download.
#include <gtest/gtest.h>
#include <signal.h>

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

TEST_F(TerminalClientLab, CtrlCEndsCleanlyWithNothingPosted) {
    const std::size_t resultsBefore = iCount(szLabFile("requests.log"), "POST\t/kivota/result");
    const std::size_t retrBefore = iCount(szLabFile("ftp.log"), "RETR ");
    const std::size_t storBefore = iCount(szLabFile("ftp.log"), "STOR ");
    test::ChildProcess cli({kClient, "--agree", "--json"});
    // Interrupted once its download runs on the server.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (iCount(szLabFile("ftp.log"), "RETR ") == retrBefore && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GT(iCount(szLabFile("ftp.log"), "RETR "), retrBefore) << cli.err();
    const auto t0 = std::chrono::steady_clock::now();
    cli.signal(SIGINT);
    EXPECT_EQ(cli.wait(), 130) << cli.err();
    const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("ended %.2f s after SIGINT; stderr: %s", took, cli.err().c_str());
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(nlohmann::json::parse(cli.out())["outcome"], "interrupted");
    EXPECT_EQ(iCount(szLabFile("requests.log"), "POST\t/kivota/result"), resultsBefore);
    EXPECT_EQ(iCount(szLabFile("ftp.log"), "STOR "), storBefore);
}

}  // namespace
}  // namespace kivota
