// The run log and result file writer: names, time stamps, line ends and code page 950 bytes,
// in a temporary working directory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "run/run_log.h"
#include "support/fake_clock.h"

namespace kivota {
namespace {

// Runs the test in a fresh directory and returns to the previous one afterwards.
class RunLog : public testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() / ("kv_runlog_" + std::to_string(::getpid()) + "_" +
                                                         testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }

    static std::string contents(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    test::FakeClock clock;
    std::filesystem::path previous_, dir_;
};

TEST_F(RunLog, DailyLogLinesAreStampedAndAppended) {
    clock.setLocalTime({2012, 8, 9, 7, 5, 3, 0});
    bAppendLog(clock, "Start upload", "");
    clock.setLocalTime({2012, 8, 9, 7, 6, 0, 0});
    bAppendLog(clock, "second", "");
    EXPECT_EQ(contents("20120809_SpeedTest.log"), "07:05:03\tStart upload\r\n07:06:00\tsecond\r\n");
}

TEST_F(RunLog, MidnightStartsTheNextDaysLog) {
    clock.setLocalTime({2026, 12, 31, 23, 59, 59, 900});
    bAppendLog(clock, "before", "");
    clock.setLocalTime({2027, 1, 1, 0, 0, 1, 0});
    bAppendLog(clock, "after", "");
    EXPECT_EQ(contents("20261231_SpeedTest.log"), "23:59:59\tbefore\r\n");
    EXPECT_EQ(contents("20270101_SpeedTest.log"), "00:00:01\tafter\r\n");
}

TEST_F(RunLog, EmptyTextStillWritesTheStamp) {
    clock.setLocalTime({2026, 1, 2, 3, 4, 5, 0});
    bAppendLog(clock, "", "");
    EXPECT_EQ(contents("20260102_SpeedTest.log"), "03:04:05\t\r\n");
}

TEST_F(RunLog, OnlyTheExactResultFileNameGoesUnstamped) {
    clock.setLocalTime({2026, 1, 2, 3, 4, 5, 0});
    bAppendLog(clock, "App_ver=0.93&error_code=14", "KivotaResult.txt");
    bAppendLog(clock, "line 2", "KivotaResult.txt");
    bAppendLog(clock, "other", "kivotaresult.txt");
    bAppendLog(clock, "named log", "custom.log");
    EXPECT_EQ(contents("KivotaResult.txt"), "App_ver=0.93&error_code=14\r\nline 2\r\n");
    EXPECT_EQ(contents("kivotaresult.txt"), "03:04:05\tother\r\n");
    EXPECT_EQ(contents("custom.log"), "03:04:05\tnamed log\r\n");
}

TEST_F(RunLog, WrittenInCodePage950) {
    clock.setLocalTime({2026, 1, 2, 3, 4, 5, 0});
    bAppendLog(clock, "啟動測試", "KivotaResult.txt");
    // 한 (Hangul) and U+1F600 have no code page 950 form.
    bAppendLog(clock,
               "a한b\xF0\x9F\x98\x80"
               "c",
               "KivotaResult.txt");
    bAppendLog(clock, "x\ny", "KivotaResult.txt");  // text mode: every line end is CR LF
    EXPECT_EQ(contents("KivotaResult.txt"), "\xB1\xD2\xB0\xCA\xB4\xFA\xB8\xD5\r\na?b?c\r\nx\r\ny\r\n");
}

// A line that cannot be written is reported with the file's name, whether the file cannot be
// opened (a missing folder, a folder in its place) or its bytes do not fit (a full disk shows
// only when the line is flushed).
TEST_F(RunLog, LineThatCannotBeWrittenIsReportedWithTheFile) {
    std::filesystem::create_directory("KivotaResult.txt");
    for (const std::string name : {"no-such-dir/x.log", "KivotaResult.txt", "/dev/full"}) {
        std::string error;
        EXPECT_FALSE(bAppendLog(clock, "lost", name, &error)) << name;
        EXPECT_EQ(error.rfind(name + ": ", 0), 0u) << error;
    }
    EXPECT_FALSE(std::filesystem::exists("no-such-dir"));
    std::string error;
    EXPECT_TRUE(bAppendLog(clock, "kept", "custom.log", &error));
    EXPECT_TRUE(error.empty());
}

}  // namespace
}  // namespace kivota
