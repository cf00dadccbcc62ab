#pragma once
// Well-formed UTF-8 by the table of the Unicode standard (no overlong forms, no surrogates,
// nothing above U+10FFFF), written apart from the code under test, and the code points of a
// text that passes it.

#include <cstdint>
#include <string_view>
#include <vector>

namespace fuzz {

// The code points of `s`; false when it is not well-formed UTF-8.
inline bool bDecodeUtf8(std::string_view s, std::vector<char32_t>* out = nullptr) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<std::uint8_t>(s[i]);
        std::size_t n = 0;
        char32_t cp = 0, min = 0;
        if (b0 < 0x80) {
            n = 1, cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            n = 2, cp = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            n = 3, cp = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            n = 4, cp = b0 & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto b = static_cast<std::uint8_t>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (out) out->push_back(cp);
        i += n;
    }
    return true;
}

}  // namespace fuzz
