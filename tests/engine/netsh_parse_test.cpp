// Coding of the netsh global TCP report: English and Chinese labels, values outside the
// tables, unknown lines, missing lines and the header skip.
#include <gtest/gtest.h>

#include "net/charset.h"
#include "profile/netsh_state.h"

namespace kivota {
namespace {

const std::string kHeader =
    "\r\nQuerying active state...\r\n\r\nTCP Global Parameters\r\n"
    "----------------------------------------------\r\n";

std::string report(const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string text = kHeader;
    for (const auto& [label, value] : lines) {
        std::string padded = label;
        if (padded.size() < 36) padded.resize(36, ' ');
        text += padded + ": " + value + "\r\n";
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> englishLines() {
    return {{"Receive-Side Scaling State", "enabled"},
            {"Chimney Offload State", "automatic"},
            {"NetDMA State", "enabled"},
            {"Direct Cache Access (DCA)", "disabled"},
            {"Receive Window Auto-Tuning Level", "normal"},
            {"Add-On Congestion Control Provider", "ctcp"},
            {"ECN Capability", "disabled"},
            {"RFC 1323 Timestamps", "disabled"}};
}

TEST(NetshState, EnglishReportIsCodedInPositionOrder) {
    EXPECT_EQ(szParseNetshState(report(englishLines())), "1,2,3,1,1,0,0");
}

TEST(NetshState, ValuesOutsideTheTablesTakeTheOtherwiseCode) {
    auto lines = englishLines();
    lines[4].second = "highlyrestricted";
    EXPECT_EQ(szParseNetshState(report(lines)), "1,2,1,1,1,0,0");
    lines[4].second = "restricted";
    EXPECT_EQ(szParseNetshState(report(lines)), "1,2,2,1,1,0,0");
    lines[4].second = "experimental";
    lines[1].second = "default";
    lines[5].second = "cubic";
    lines[0].second = "unknown";
    EXPECT_EQ(szParseNetshState(report(lines)), "2,3,4,2,1,0,0");
}

TEST(NetshState, UnknownAndMissingLinesLeaveTheirCodes) {
    // Only the ECN line and one unknown label: nothing is recognised.
    EXPECT_EQ(szParseNetshState(report({{"ECN Capability", "enabled"}, {"Something Else", "enabled"}})),
              "-1,-1,-1,-1,-1,-1,-1");
    EXPECT_EQ(szParseNetshState(report({{"RFC 1323 Timestamps", "enabled"}})), "-1,-1,-1,-1,-1,-1,1");
    EXPECT_EQ(szParseNetshState(""), "-1,-1,-1,-1,-1,-1,-1");
}

TEST(NetshState, TheFirstFourLinesAreHeadersEvenWhenTheyLookLikeParameters) {
    const std::string text = "RFC 1323 Timestamps : enabled\n\n\n\nx\nb\nc\nRFC 1323 Timestamps : disabled\r\n";
    // Runs of line feeds count as one delimiter, so the headers are the first four non-empty lines.
    EXPECT_EQ(szParseNetshState(text), "-1,-1,-1,-1,-1,-1,0");
}

TEST(NetshState, ChineseLabelsAreRecognised) {
    const std::string text = report({{"接收端的縮放狀態", "enabled"},
                                     {"Chimney 卸載狀態", "disabled"},
                                     {"NetDMA 狀態", "disabled"},
                                     {"直接快取存取 (DCA)", "enabled"},
                                     {"接收視窗自動調整層級", "normal"},
                                     {"附加元件壅塞控制提供者", "none"},
                                     {"RFC 1323 時間戳記", "enabled"}});
    EXPECT_EQ(szParseNetshState(text), "1,0,3,0,0,1,1");
    const std::string other = report({{"接收窗口自動調整層級", "disabled"}, {"附加元件阻塞控制提供者", "ctcp"}});
    EXPECT_EQ(szParseNetshState(other), "-1,-1,0,1,-1,-1,-1");
}

TEST(NetshState, CodePage950OutputIsDecodedBeforeMatching) {
    const std::string utf8 = report({{"接收端的縮放狀態", "enabled"}});
    const auto cp950 = fromUtf8(utf8, kCharsetCp950);
    ASSERT_TRUE(cp950.has_value());
    EXPECT_EQ(szParseNetshState(szDecodeCommandOutput(*cp950)), "1,-1,-1,-1,-1,-1,-1");
    // UTF-8 cut in the middle of a character by the byte limit stays UTF-8.
    const std::string cut = utf8.substr(0, utf8.size() - 20) + std::string("\xE6\x8E", 2);
    EXPECT_EQ(szDecodeCommandOutput(cut), cut);
}

}  // namespace
}  // namespace kivota
