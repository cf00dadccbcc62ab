// The unattended mode's settings file: keys, comments, the two lines that stop the reading,
// the code page, and malformed number pairs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "run/run_rules.h"
#include "run/settings_file.h"

namespace kivota {
namespace {

class SettingsFile : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("kv_settings_" + std::to_string(::getpid()) + "_" +
                                                         testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Reads `bytes` as the settings file into rs.
    void read(const std::string& bytes) {
        const auto path = dir_ / "settings.ini";
        std::ofstream(path, std::ios::binary) << bytes;
        vReadSettingsFile(rs, path.string());
    }

    std::filesystem::path dir_;
    RunState rs;
};

TEST_F(SettingsFile, ReadsEveryKey) {
    read(
        "/ unattended run against the lab\r\n"
        "AutoTest\tY\r\n"
        "Testtype jMOVA\r\n"
        "\r\n"
        "  FtpServer   198.18.0.2:2121  \r\n"
        "FtpUser\t\t\xB4\xFA\xB8\xD5\r\n"  // 測試 in code page 950
        "FtpPassword kivota-pass\r\n"
        "UploadPath /uploads\r\n"
        "DownloadFile test_2048m.zip\r\n"
        "TestSec 3,4\r\n"
        "Session 2,5\r\n"
        "ftpserver ignored.example\r\n"  // keys are case-sensitive
        "Unknown key\r\n");
    EXPECT_TRUE(rs.autoTestEnabled);
    EXPECT_TRUE(rs.autoTestMode);
    EXPECT_EQ(rs.autoFtpServer, "198.18.0.2:2121");
    EXPECT_EQ(rs.autoFtpUser, "測試");
    EXPECT_EQ(rs.autoFtpPassword, "kivota-pass");
    EXPECT_EQ(rs.autoUploadPath, "/uploads");
    EXPECT_EQ(rs.autoDownloadFile, "test_2048m.zip");
    EXPECT_EQ(rs.autoUlSeconds, 3);
    EXPECT_EQ(rs.autoDlSeconds, 4);
    EXPECT_EQ(rs.ulSessionsSetting, 2);
    EXPECT_EQ(rs.dlSessionsSetting, 5);
}

TEST_F(SettingsFile, CommentLines) {
    read("/\tFtpServer a.example\n//FtpServer b.example\n/FtpUser x\nFtpServer c.example\n");
    EXPECT_EQ(rs.autoFtpServer, "c.example");
    EXPECT_EQ(rs.autoFtpUser, "");
}

TEST_F(SettingsFile, AutoTestOtherThanYStopsTheReading) {
    read("FtpUser before\nAutoTest N\nTesttype jMOVA\nFtpServer after.example\n");
    EXPECT_EQ(rs.autoFtpUser, "before");
    EXPECT_FALSE(rs.autoTestEnabled);
    EXPECT_FALSE(rs.autoTestMode);
    EXPECT_EQ(rs.autoFtpServer, "");
}

TEST_F(SettingsFile, LowerCaseYEnables) {
    read("AutoTest y\n");
    EXPECT_TRUE(rs.autoTestEnabled);
}

TEST_F(SettingsFile, TesttypeOtherThanJMOVALeavesTheModeOff) {
    read("AutoTest Y\nTesttype jmova\nFtpServer after.example\n");
    EXPECT_TRUE(rs.autoTestEnabled);
    EXPECT_FALSE(rs.autoTestMode);
    EXPECT_EQ(rs.autoFtpServer, "");
}

TEST_F(SettingsFile, SessionZeroMeansNoOverride) {
    rs.ulSessionsSetting = rs.dlSessionsSetting = 7;
    read("Session 0,0\n");
    EXPECT_EQ(rs.ulSessionsSetting, 0);
    EXPECT_EQ(rs.dlSessionsSetting, 0);
}

TEST_F(SettingsFile, SessionsBeyondTheConnectionLimitAreCapped) {
    read("Session 1,40\n");
    EXPECT_EQ(rs.ulSessionsSetting, 1);
    EXPECT_EQ(rs.dlSessionsSetting, kMaxSessions);
    read("Session 9999999,20\n");
    EXPECT_EQ(rs.ulSessionsSetting, kMaxSessions);
    EXPECT_EQ(rs.dlSessionsSetting, kMaxSessions);
}

TEST_F(SettingsFile, MalformedNumberLinesAreIgnored) {
    read(
        "TestSec 5,6\nSession 1,2\n"
        "TestSec 9\n"    // no comma
        "TestSec 0,8\n"  // a phase of no length
        "TestSec 8,-1\n"
        "TestSec x,8\n"
        "Session 3\n"
        "Session 4,\n"
        "Session -1,2\n"
        "TestSec\n");
    EXPECT_EQ(rs.autoUlSeconds, 5);
    EXPECT_EQ(rs.autoDlSeconds, 6);
    EXPECT_EQ(rs.ulSessionsSetting, 1);
    EXPECT_EQ(rs.dlSessionsSetting, 2);
}

TEST_F(SettingsFile, MissingFileLeavesTheModeOff) {
    rs.autoTestMode = true;  // cleared before the file is read
    vReadSettingsFile(rs, (dir_ / "absent.ini").string());
    EXPECT_FALSE(rs.autoTestMode);
    EXPECT_FALSE(rs.autoTestEnabled);
    EXPECT_EQ(rs.autoUlSeconds, 0);
}

TEST_F(SettingsFile, LineTheCodePageCannotReadIsSkipped) {
    read("FtpUser \xFF\xFF\nFtpServer ok.example\n");
    EXPECT_EQ(rs.autoFtpUser, "");
    EXPECT_EQ(rs.autoFtpServer, "ok.example");
}

}  // namespace
}  // namespace kivota
