// The picture of a run: well-formed SVG as Python's XML parser reads it, one vertex per
// accepted second of each series, one mark per latency sample, and its text escaped.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "history/history_plot.h"
#include "support/command_output.h"
#include "support/history_samples.h"

using namespace kivota;
using kivota::test::ScratchFolder;

namespace {

// Per group of the picture: its series, the vertices of its lines, how many lines, its dots
// and its lost marks; then whether the axes name their units, the idle bands and the title.
constexpr const char* kReadSvg = R"py(
import sys, xml.etree.ElementTree as ET
ns = {'s': 'http://www.w3.org/2000/svg'}
root = ET.parse(sys.argv[1]).getroot()
for g in root.iter('{http://www.w3.org/2000/svg}g'):
    lines = g.findall('s:polyline', ns)
    vertices = sum(len(p.get('points').split()) for p in lines)
    print(g.get('data-series'), vertices, len(lines), len(g.findall('s:circle', ns)), len(g.findall('s:path', ns)))
texts = [t.text or '' for t in root.iter('{http://www.w3.org/2000/svg}text')]
print('rate (Mbit/s)' in texts, 'round trip (ms)' in texts, 'time since the idle stage began (s)' in texts)
print(len([r for r in root.iter('{http://www.w3.org/2000/svg}rect') if r.get('class') == 'idle']))
print(texts[0])
)py";

struct PlotCase {
    const char* name;
    std::function<HistoryRun()> make;
    const char* expected;
};

class HistoryPlot : public testing::TestWithParam<PlotCase> {};

TEST_P(HistoryPlot, SvgIsWellFormedWithAVertexPerAcceptedSecond) {
    ScratchFolder scratch("kv_history_plot");
    {
        std::ofstream(scratch.file("run.svg"), std::ios::binary) << szRunPlotSvg(GetParam().make());
        std::ofstream(scratch.file("read.py")) << kReadSvg;
    }
    EXPECT_EQ(
        kivota::test::szCommandOutput("python3 " + scratch.file("read.py") + " " + scratch.file("run.svg") + " 2>&1"),
        GetParam().expected);
}

HistoryRun runWithAwkwardText() {
    HistoryRun r = kivota::test::sampleRun();
    r.id = 12;
    r.program = "<kivota> & \"co\"";
    r.mode = "it's";
    r.outcome = "bad \xff\x01 byte";
    return r;
}

// The whole run: 12 download seconds, the fifth without an FTP rate (two lines), 10 upload
// seconds, the other direction's rate in both phases, 248 echoes and 2 lost.
INSTANTIATE_TEST_SUITE_P(
    Runs, HistoryPlot,
    testing::Values(PlotCase{"WholeRun", runWithAwkwardText,
                             "adapter-other 12 1 12 0\n"
                             "adapter-other 10 1 10 0\n"
                             "adapter-download 12 1 12 0\n"
                             "adapter-upload 10 1 10 0\n"
                             "ftp-download 11 2 11 0\n"
                             "ftp-upload 10 1 10 0\n"
                             "latency 0 0 248 2\n"
                             "True True True\n"
                             "2\n"
                             "Run 12 \u00b7 2025-03-01 13:34 (UTC+01:00) \u00b7 <kivota> & \"co\" it's \u00b7 bad "
                             "\ufffd byte"},
                    PlotCase{"NothingMeasured", [] { return HistoryRun{}; },
                             "adapter-other 0 0 0 0\n"
                             "adapter-other 0 0 0 0\n"
                             "adapter-download 0 0 0 0\n"
                             "adapter-upload 0 0 0 0\n"
                             "ftp-download 0 0 0 0\n"
                             "ftp-upload 0 0 0 0\n"
                             "latency 0 0 0 0\n"
                             "True True True\n"
                             "0\n"
                             "Run 0"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(HistoryPlot, XmlEscapeKeepsUtf8AndDropsWhatXmlCannotHold) {
    EXPECT_EQ(szXmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
    EXPECT_EQ(szXmlEscape("測試 \xe2\x82\xac"), "測試 \xe2\x82\xac");
    EXPECT_EQ(szXmlEscape("tab\tbell\x07"), "tab\tbell");
    // A stray continuation byte, an overlong slash, a surrogate, a cut-off sequence.
    EXPECT_EQ(szXmlEscape("\x80|\xc0\xaf|\xed\xa0\x80|\xe6\xb8"),
              "\ufffd|\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd");
}

}  // namespace
