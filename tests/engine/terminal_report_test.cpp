// What the terminal client prints: the JSON report, the progress line and its command line.
#include <gtest/gtest.h>

#include <string>

#include "cli/progress_line.h"
#include "cli/run_report.h"
#include "cli/terminal_options.h"

using namespace kivota;

TEST(TerminalReport, JsonEscapesTextAndKeepsUtf8) {
    EXPECT_EQ(szJsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(szJsonString("line\nnext\ttab\x01"), "\"line\\nnext\\ttab\\u0001\"");
    EXPECT_EQ(szJsonString("測試"), "\"測試\"");
}

TEST(TerminalReport, JsonSpeedsHaveTwoDecimalsAndSeriesGapsAreNull) {
    RunReport r;
    r.downloadKbps = 48123.456;
    r.uploadKbps = 9550.1;
    r.downloadSeries = "39774,,44238";
    r.uploadSeries = "";
    r.adapterDownloadSeries = "1,x,2";
    const std::string j = szRunReportJson(r);
    EXPECT_NE(j.find("\"download_kbps\":48123.46,"), std::string::npos) << j;
    EXPECT_NE(j.find("\"upload_kbps\":9550.10,"), std::string::npos) << j;
    EXPECT_NE(j.find("\"download\":[39774,null,44238]"), std::string::npos) << j;
    EXPECT_NE(j.find("\"upload\":[]"), std::string::npos) << j;
    EXPECT_NE(j.find("\"adapter_download\":[1,null,2]"), std::string::npos) << j;
    EXPECT_EQ(j.front(), '{');
    EXPECT_EQ(j.back(), '}');
    EXPECT_EQ(j.find('\n'), std::string::npos);
}

TEST(TerminalReport, ProgressLineShowsPhaseBarPercentAndRate) {
    const std::string half = szProgressLine(1, 50, 48000);
    EXPECT_EQ(half.rfind("download [", 0), 0u) << half;
    EXPECT_NE(half.find("[###############...............]  50%"), std::string::npos) << half;
    EXPECT_NE(half.find("48.00 Mbit/s"), std::string::npos) << half;
    // No rate before the phase's second report, and none while preparing.
    EXPECT_EQ(szProgressLine(0, 0, -1).find("Mbit/s"), std::string::npos);
    EXPECT_EQ(szProgressLine(2, 50, 1000).find("Mbit/s"), std::string::npos);
    // Out-of-range percentages are drawn as the nearest end.
    EXPECT_NE(szProgressLine(0, 130, -1).find("] 100%"), std::string::npos);
}

TEST(TerminalReport, CommandLine) {
    std::string error;
    const auto o = optParseTerminalOptions({"--agree", "--json", "--auto", "kivota.ini"}, error);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->agree);
    EXPECT_TRUE(o->json);
    EXPECT_EQ(o->autoFile, "kivota.ini");
    EXPECT_FALSE(optParseTerminalOptions({"--auto"}, error));
    EXPECT_NE(error.find("--auto"), std::string::npos);
    EXPECT_FALSE(optParseTerminalOptions({"--agre"}, error));
    EXPECT_NE(error.find("--agre"), std::string::npos);
}
