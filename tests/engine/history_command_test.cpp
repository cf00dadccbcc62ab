// kivota-cli history: its command line, each listing and the plot against a scratch
// XDG_DATA_HOME, and how it ends when the history is missing or unreadable.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/history_command.h"
#include "history/history_path.h"
#include "history/history_store.h"
#include "support/child_process.h"
#include "support/history_samples.h"

using namespace kivota;
using kivota::test::ScratchFolder;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = iRunHistoryCommand(args, out, err);
    return {status, out.str(), err.str()};
}

std::size_t iCount(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// A scratch XDG_DATA_HOME for each test.
class HistoryCommand : public testing::Test {
protected:
    // Three runs a day apart: ids 1, 2, 3, the newest last.
    void vRecordThreeRuns() {
        for (const char* day : {"2025-03-01", "2025-03-02", "2025-03-03"}) {
            const HistoryWrite w =
                recordRun(kivota::test::sampleRun(std::string(day) + "T12:00:00Z"), szDefaultHistoryPath());
            ASSERT_TRUE(w.ok()) << w.error;
        }
    }

    ScratchFolder scratch_{"kv_history_command"};
    kivota::test::ScopedEnv xdg_{"XDG_DATA_HOME", scratch_.path()};
};

class HistoryCommandLine : public HistoryCommand, public testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(HistoryCommandLine, WrongCommandLineEndsWithUsage) {
    const Outcome o = run(GetParam());
    EXPECT_EQ(o.status, HistoryExitUsage);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err.rfind("kivota-cli history: ", 0), 0u) << o.err;
    EXPECT_NE(o.err.find("usage: kivota-cli history"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(szDefaultHistoryPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Args, HistoryCommandLine,
    testing::Values(std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--limit"},
                    std::vector<std::string>{"--limit", "0"}, std::vector<std::string>{"--limit", "-3"},
                    std::vector<std::string>{"--limit", "2x"}, std::vector<std::string>{"--format", "xml"},
                    std::vector<std::string>{"--since", "2025-02-30"}, std::vector<std::string>{"--run", "2"},
                    std::vector<std::string>{"--plot", "a.svg", "--run", "first"},
                    std::vector<std::string>{"--plot", "a.svg", "--limit", "2"},
                    std::vector<std::string>{"--plot", ""}));

TEST_F(HistoryCommand, HelpListsOptionsAndExitStatuses) {
    const Outcome o = run({"--help"});
    EXPECT_EQ(o.status, HistoryExitDone);
    EXPECT_EQ(o.out, szHistoryUsage());
}

// Each format with a limit and a lower bound: how many runs, counted by the format's own rows.
struct ListingCase {
    std::vector<std::string> args;
    std::string rowMark;  // what begins each run's row (after the first line for a header)
    std::size_t rows;
};

class HistoryListing : public HistoryCommand, public testing::WithParamInterface<ListingCase> {};

TEST_P(HistoryListing, ListsTheChosenRuns) {
    vRecordThreeRuns();
    const Outcome o = run(GetParam().args);
    ASSERT_EQ(o.status, HistoryExitDone) << o.err;
    EXPECT_EQ(iCount(o.out, GetParam().rowMark), GetParam().rows) << o.out;
}

INSTANTIATE_TEST_SUITE_P(Formats, HistoryListing,
                         testing::Values(ListingCase{{}, " kivota-cli ", 3},
                                         ListingCase{{"--limit", "2", "--format", "table"}, " kivota-cli ", 2},
                                         ListingCase{{"--format", "csv", "--since", "2025-03-02 12:00"}, "\r\n", 3},
                                         ListingCase{{"--format", "jsonl", "--limit", "1"}, "{\"id\":3,", 1}));

TEST_F(HistoryCommand, PlotDrawsTheNewestOrTheChosenRun) {
    vRecordThreeRuns();
    const std::string svg = scratch_.file("run.svg");
    Outcome o = run({"--plot", svg});
    ASSERT_EQ(o.status, HistoryExitDone) << o.err;
    EXPECT_EQ(o.out, "run 3 drawn in " + svg + "\n");
    o = run({"--plot", svg, "--run", "1"});
    ASSERT_EQ(o.status, HistoryExitDone) << o.err;
    std::ifstream in(svg);
    const std::string picture((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(picture.find("Run 1 \u00b7 2025-03-01 13:00"), std::string::npos);

    EXPECT_EQ(run({"--plot", svg, "--run", "99"}).status, HistoryExitNoPlot);
    o = run({"--plot", scratch_.file("no/such/folder/run.svg")});
    EXPECT_EQ(o.status, HistoryExitNoPlot);
    EXPECT_NE(o.err.find("cannot write"), std::string::npos) << o.err;
}

TEST_F(HistoryCommand, NoHistoryYetIsAnEmptyListingAndNothingToDraw) {
    EXPECT_EQ(run({}).out, "no runs in the history\n");
    const Outcome csv = run({"--format", "csv"});
    EXPECT_EQ(csv.status, HistoryExitDone);
    EXPECT_EQ(iCount(csv.out, "\r\n"), 1u);  // the header alone
    EXPECT_EQ(run({"--format", "jsonl"}).out, "");
    EXPECT_EQ(run({"--plot", scratch_.file("run.svg")}).status, HistoryExitNoPlot);
    // Reading never creates the history.
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(szDefaultHistoryPath()).parent_path()));
}

TEST_F(HistoryCommand, UnreadableHistoryHasItsOwnStatusAndIsKept) {
    const std::string path = szDefaultHistoryPath();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << std::string(4096, '\x5a');
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"--format", "csv"},
                             std::vector<std::string>{"--plot", scratch_.file("run.svg")}}) {
        const Outcome o = run(args);
        EXPECT_EQ(o.status, HistoryExitUnreadable);
        EXPECT_NE(o.err.find("kept as it is"), std::string::npos) << o.err;
    }
    EXPECT_EQ(std::filesystem::file_size(path), 4096u);
}

TEST_F(HistoryCommand, TheProgramDispatchesItsHistoryWord) {
    vRecordThreeRuns();
    const std::string program = std::string(KIVOTA_BINARY_DIR) + "/src/cli/kivota-cli";
    kivota::test::ChildProcess listing({program, "history", "--format", "jsonl", "--limit", "1"});
    EXPECT_EQ(listing.wait(), 0) << listing.err();
    EXPECT_EQ(listing.out().rfind("{\"id\":3,", 0), 0u) << listing.out();
    kivota::test::ChildProcess wrong({program, "history", "--agree"});
    EXPECT_EQ(wrong.wait(), HistoryExitUsage);
}

}  // namespace
