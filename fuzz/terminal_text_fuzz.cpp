// Server text made printable for the terminal: whatever the bytes, what is left is well-formed
// UTF-8 without a control character, in the input's order, and printable text passes whole.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/terminal_text.h"
#include "fuzz_check.h"
#include "utf8_check.h"

namespace {

bool bIsControl(char32_t c) { return (c < 0x20 && c != '\n' && c != '\t') || (c >= 0x7F && c <= 0x9F); }

// Whether `part` can be had from `whole` by leaving bytes out.
bool bSubsequence(std::string_view part, std::string_view whole) {
    std::size_t at = 0;
    for (char c : whole) {
        if (at < part.size() && part[at] == c) ++at;
    }
    return at == part.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const std::string out = kivota::szPrintable(in);

    std::vector<char32_t> codePoints;
    FUZZ_CHECK(fuzz::bDecodeUtf8(out, &codePoints));
    for (char32_t c : codePoints) FUZZ_CHECK(!bIsControl(c));
    FUZZ_CHECK(out.size() <= in.size());
    FUZZ_CHECK(bSubsequence(out, in));
    FUZZ_CHECK(kivota::szPrintable(out) == out);

    // Well-formed text without controls is left exactly as it is.
    std::vector<char32_t> inPoints;
    if (fuzz::bDecodeUtf8(in, &inPoints)) {
        bool printable = true;
        for (char32_t c : inPoints) printable = printable && !bIsControl(c);
        if (printable) FUZZ_CHECK(out == in);
        // Removing controls from well-formed text removes exactly them.
        std::size_t kept = 0;
        for (char32_t c : inPoints) kept += bIsControl(c) ? 0 : 1;
        FUZZ_CHECK(codePoints.size() == kept);
    }
    return 0;
}
