#pragma once
// The inverse of szDecode, for tests that build their own address tables.

#include <string>
#include <string_view>

namespace kivota::test {

inline std::string szEncode(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        out.push_back(static_cast<char>('a' + (c >> 4)));
        out.push_back(static_cast<char>('a' + (c & 0x0F)));
    }
    return out;
}

}  // namespace kivota::test
