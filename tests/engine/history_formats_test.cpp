// The listings of the history: CSV and JSON Lines as Python's standard library reads them, and
// the table as a terminal shows it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "history/history_columns.h"
#include "history/history_formats.h"
#include "support/command_output.h"
#include "support/history_samples.h"

using namespace kivota;
using kivota::test::ScratchFolder;
using kivota::test::szCommandOutput;

namespace {

// A whole run, one with every column set (texts with commas, quotes and CR LF), and one that
// measured nothing and carries a byte that is not UTF-8.
std::vector<HistoryRun> vecListing() {
    std::vector<HistoryRun> runs = {kivota::test::sampleRun(), kivota::test::runWithEveryColumn(), HistoryRun{}};
    for (std::size_t i = 0; i < runs.size(); ++i) runs[i].id = static_cast<std::int64_t>(7 + i);
    runs[2].timeUtc = "2025-03-02T10:00:00Z";
    runs[2].outcome = "server-failed";
    runs[2].errorText = "bad \xff byte";
    return runs;
}

// Runs a Python script on `text` written to a file; what the script prints.
std::string szPython(const ScratchFolder& scratch, const std::string& text, const std::string& script) {
    {
        std::ofstream(scratch.file("listing"), std::ios::binary) << text;
        std::ofstream(scratch.file("check.py")) << script;
    }
    return szCommandOutput("python3 " + scratch.file("check.py") + " " + scratch.file("listing") + " 2>&1");
}

TEST(HistoryFormats, CsvReadsBackWithPythonsCsvModule) {
    ScratchFolder scratch("kv_history_csv");
    const std::string csv = szHistoryCsv(vecListing());
    const std::string printed = szPython(scratch, csv, R"py(
import csv, sys
data = open(sys.argv[1], 'rb').read()
# Every line ends in CR LF, the ones inside quoted fields included.
print(data.endswith(b'\r\n'), data.count(b'\n') == data.count(b'\r\n'))
rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8', errors='strict'), strict=True))
header = rows[0]
print(len(rows) - 1, len(header), len(set(header)), all(len(r) == len(header) for r in rows))
whole, every, empty = (dict(zip(header, r)) for r in rows[1:])
print(whole['id'], whole['time_local'], whole['download_kbps'], whole['upload_p99_ms'], whole['result_url'])
print(repr(whole['idle_kernel_rtt_median_ms']), whole['upload_responsiveness_confidence'])
print(repr(every['error_text']))
print(all(v == '' for k, v in empty.items() if k.endswith('_ms') or k.endswith('_kbps')), empty['outcome'])
)py");
    const std::size_t columns = historyColumns().size() + 2;
    EXPECT_EQ(printed, "True True\n3 " + std::to_string(columns) + " " + std::to_string(columns) +
                           " True\n"
                           "7 2025-03-01T13:34:56+01:00 48123.45 110.7 http://198.18.0.2/result?id=12&k=\"a,b\"\n"
                           "'' medium\n"
                           "'text 7, \"quoted\"\\r\\nnext line'\n"
                           "True server-failed");
    // Only the fields that need it are quoted.
    EXPECT_NE(csv.find(",kivota-cli,interactive,reported,"), std::string::npos);
}

TEST(HistoryFormats, JsonLinesReadBackWithPythonsJsonModule) {
    ScratchFolder scratch("kv_history_jsonl");
    const std::string printed = szPython(scratch, szHistoryJsonLines(vecListing()), R"py(
import json, sys
lines = open(sys.argv[1], encoding='utf-8', errors='strict').read().split('\n')
print(len(lines) - 1, repr(lines[-1]))
whole, every, empty = (json.loads(line) for line in lines[:-1])
l = whole['latency']
print(whole['id'], whole['time_local'], whole['download_kbps'], l['upload']['p99_ms'], l['idle']['kernel_rtt_median_ms'])
print(whole['adapter']['download_during_upload_kbps'], l['responsiveness']['download']['confidence'], whole['connections']['upload'], whole['phase_start_s'])
print(json.dumps(every['error_text']))
print(empty['download_kbps'], empty['round_trip_ms'], empty['error_text'], empty['connections'])
)py");
    EXPECT_EQ(printed,
              "3 ''\n"
              "7 2025-03-01T13:34:56+01:00 48123.45 110.7 None\n"
              "380.0 high 4 {'download': 3.0, 'upload': 16.0}\n"
              "\"text 7, \\\"quoted\\\"\\r\\nnext line\"\n"
              "None {'min': None, 'avg': None, 'max': None} bad \ufffd byte {'download': None, 'upload': None}");
}

TEST(HistoryFormats, TableLinesUpWithDashesForWhatWasNotMeasured) {
    const std::string table = szHistoryTable(vecListing());
    std::istringstream lines(table);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 4u) << table;
    // Right-aligned last column: every line as long as the header.
    for (const std::string& row : rows) EXPECT_EQ(row.size(), rows[0].size()) << row;
    EXPECT_EQ(rows[0].rfind("ID  TIME", 0), 0u) << rows[0];
    EXPECT_NE(rows[0].find("DOWN Mbit/s"), std::string::npos);
    // A line end in a text stays out of the table's lines.
    EXPECT_NE(rows[2].find("text 3, \"quoted\"  next line"), std::string::npos) << rows[2];
    const auto listing = vecListing();
    const std::string narrow = szHistoryTable({listing[0], listing[2]});
    EXPECT_NE(narrow.find("\n 7  2025-03-01 13:34  kivota-cli  interactive  reported"), std::string::npos) << narrow;
    EXPECT_NE(rows[1].find("48.12"), std::string::npos);
    EXPECT_NE(rows[1].find("52.3"), std::string::npos);
    EXPECT_NE(rows[3].find("server-failed"), std::string::npos);
    EXPECT_EQ(rows[3].substr(rows[3].size() - 3), "  -") << rows[3];
    EXPECT_EQ(szHistoryTable({}), "no runs in the history\n");
}

}  // namespace
