// What the terminal client prints: the JSON report, the progress line and its command line.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "cli/progress_line.h"
#include "cli/run_report.h"
#include "cli/terminal_options.h"

using namespace kivota;

// The JSON object as a JSON library reads it back: speeds with the result line's two decimals,
// null where a phase or the round trip was not measured, series gaps as null.
TEST(TerminalReport, JsonParsesWithNullsWhereNothingWasMeasured) {
    RunResult r;
    r.outcome = {ErrUploadNoneOther, EndKind::MeasurementFailed};
    r.downloadKbps = 48123.456;
    r.downloadSeries = {{39774, 40000, 100}, {std::nullopt, 41000, 110}, {44238, std::nullopt, std::nullopt}};
    const auto j = nlohmann::json::parse(jsonOfResult(r, iExitStatus(r.outcome.kind)).dump());
    EXPECT_EQ(j["status"], ExitMeasurementFailed);
    EXPECT_EQ(j["outcome"], "measurement-failed");
    EXPECT_EQ(j["error_code"], 13);
    EXPECT_FALSE(j["measured"]);
    EXPECT_DOUBLE_EQ(j["download_kbps"].get<double>(), 48123.46);
    EXPECT_TRUE(j["upload_kbps"].is_null());
    EXPECT_TRUE(j["round_trip_ms"].is_null());
    EXPECT_EQ(j["series_kbps"]["download"], nlohmann::json::parse("[39774,null,44238]"));
    EXPECT_EQ(j["series_kbps"]["adapter_download"], nlohmann::json::parse("[40000,41000,null]"));
    EXPECT_TRUE(j["series_kbps"]["upload"].empty());

    r.outcome = {ErrNone, EndKind::Reported};
    r.uploadKbps = 9550.1;
    r.roundTrip = RoundTrip{3, 4.0, 6};
    r.roundTripText = "3,4,6";
    const auto k = nlohmann::json::parse(jsonOfResult(r, 0).dump());
    EXPECT_TRUE(k["measured"]);
    EXPECT_TRUE(k["error_text"].is_null());
    EXPECT_EQ(k["round_trip_ms"]["min"], 3);
    EXPECT_EQ(k["round_trip_ms"]["text"], "3,4,6");
}

// Each end has its own exit status and name; an interrupted run exits by its signal's number.
TEST(TerminalReport, EveryEndMapsToItsStatus) {
    const std::pair<EndKind, int> ends[] = {
        {EndKind::Reported, 0},    {EndKind::Recorded, 0},          {EndKind::NotReported, 1},
        {EndKind::NotRecorded, 1}, {EndKind::MeasurementFailed, 3}, {EndKind::PhasesNotStarted, 3},
        {EndKind::OutOfRange, 4},  {EndKind::ServerFailed, 5},      {EndKind::NoRoundTrip, 5},
        {EndKind::Refused, 6},     {EndKind::UpdateRequired, 7},    {EndKind::Declined, 8},
        {EndKind::NoAdapter, 9},
    };
    std::set<std::string> names;
    for (const auto& [kind, status] : ends) {
        EXPECT_EQ(iExitStatus(kind), status) << szEndName(kind);
        names.insert(szEndName(kind));
    }
    EXPECT_EQ(names.size(), std::size(ends));
    EXPECT_EQ(iExitStatus(EndKind::Interrupted, SIGINT), 130);
    EXPECT_EQ(iExitStatus(EndKind::Interrupted, SIGTERM), 143);
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
