// The TCP settings command's output: decoded to UTF-8 the way the program does it, then
// parsed into its seven codes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_check.h"
#include "profile/netsh_state.h"

namespace {

// The structure of UTF-8 (lead byte, then continuation bytes), a sequence cut at the very end
// allowed: what the decoder lets through unchanged, and what its conversion must give.
bool utf8Shaped(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (len == 0) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if (i + k >= text.size()) return true;
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The program reads at most kNetshOutputLimit bytes of the command's output.
    const std::string bytes(reinterpret_cast<const char*>(data), std::min(size, kivota::kNetshOutputLimit));
    const std::string text = kivota::szDecodeCommandOutput(bytes);
    // Either valid UTF-8 by then, or the bytes unchanged when code page 950 cannot read them.
    FUZZ_CHECK(utf8Shaped(text) || text == bytes);
    if (utf8Shaped(bytes)) FUZZ_CHECK(text == bytes);

    const std::string state = kivota::szParseNetshState(text);
    int codes[7] = {};
    char rest = 0;
    const int fields = std::sscanf(state.c_str(), "%d,%d,%d,%d,%d,%d,%d%c", &codes[0], &codes[1], &codes[2], &codes[3],
                                   &codes[4], &codes[5], &codes[6], &rest);
    FUZZ_CHECK(fields == 7);
    // Each code is -1 (no line), the index of the value's word, or the number of words.
    const int most[7] = {2, 3, 4, 2, 2, 2, 2};
    for (int i = 0; i < 7; ++i) FUZZ_CHECK(codes[i] >= -1 && codes[i] <= most[i]);
    return 0;
}
