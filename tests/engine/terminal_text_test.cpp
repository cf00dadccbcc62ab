// Server text on its way to the terminal: control characters and broken UTF-8 never get
// through, everything printable does, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "cli/terminal_text.h"

using namespace kivota;

namespace {

struct PrintableCase {
    const char* name;
    std::string in;
    std::string out;
};

class TerminalText : public testing::TestWithParam<PrintableCase> {};

TEST_P(TerminalText, KeepsOnlyPrintableText) { EXPECT_EQ(szPrintable(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(
    Cases, TerminalText,
    testing::Values(
        // An agreement that would clear the screen and home the cursor.
        PrintableCase{"ClearScreen", "\x1b[2J\x1b[Hagree?", "[2J[Hagree?"},
        PrintableCase{"ColourAndReset", "\x1b[31mred\x1b[0m", "[31mred[0m"},
        // A window title set by OSC, ended by BEL, by ESC \ (ST) and by the one-byte ST as UTF-8.
        PrintableCase{"OscBel", "a\x1b]0;owned\x07z", "a]0;ownedz"},
        PrintableCase{"OscEscBackslash", "a\x1b]2;owned\x1b\\z", "a]2;owned\\z"},
        PrintableCase{"OscC1St",
                      "a\xc2\x9d"
                      "0;owned\xc2\x9cz",
                      "a0;ownedz"},
        // The C1 CSI as UTF-8 and the whole C1 range's ends.
        PrintableCase{"C1Csi",
                      "\xc2\x9b"
                      "2Jx",
                      "2Jx"},
        PrintableCase{"C1Ends", "\xc2\x80-\xc2\x9f", "-"},
        PrintableCase{"JustPastC1", "\xc2\xa0\xc2\xa9", "\xc2\xa0\xc2\xa9"},
        // Carriage return would let a later line overwrite an earlier one; DEL and NUL go too.
        PrintableCase{"CarriageReturn", "line one\r\nline two\rX", "line one\nline twoX"},
        PrintableCase{"DelAndNul",
                      std::string("a\x7f"
                                  "b\0c",
                                  5),
                      "abc"},
        PrintableCase{"NewlineAndTabKept", "a\tb\nc", "a\tb\nc"},
        PrintableCase{"EveryOtherC0", "\x01\x02\x03\x04\x05\x06\x08\x0b\x0c\x0e\x0f\x10\x1a\x1e\x1f.", "."},
        // Traditional Chinese text, a four-byte character and the last code point stay whole.
        PrintableCase{"ChineseKept", "Vantrel寬頻測速軟體使用同意書", "Vantrel寬頻測速軟體使用同意書"},
        PrintableCase{"FourByteKept", "\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", "\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf"},
        // Invalid UTF-8: stray continuation bytes, a lead without its continuation, overlong
        // forms (an overlong ESC among them), a surrogate, beyond U+10FFFF, bytes never used.
        PrintableCase{"StrayContinuation",
                      "a\x80\xbf"
                      "b",
                      "ab"},
        PrintableCase{"CutSequenceAtEnd", "測\xe6\xb8", "測"},
        PrintableCase{"LeadThenAscii",
                      "\xe6"
                      "A",
                      "A"},
        PrintableCase{"OverlongEsc", "\xc0\x9b[2J", "[2J"},
        PrintableCase{"OverlongThreeByte",
                      "\xe0\x80\x9b"
                      "x",
                      "x"},
        PrintableCase{"Surrogate",
                      "\xed\xa0\x80"
                      "x",
                      "x"},
        PrintableCase{"BeyondUnicode",
                      "\xf4\x90\x80\x80"
                      "x",
                      "x"},
        PrintableCase{"NeverUsedBytes",
                      "\xfe\xff\xc1\xbf"
                      "x",
                      "x"}),
    [](const testing::TestParamInfo<PrintableCase>& c) { return std::string(c.param.name); });

}  // namespace
