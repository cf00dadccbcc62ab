#include "cli/terminal_text.h"

#include <cstdint>

namespace kivota {

namespace {

// The length of the well-formed UTF-8 sequence that starts at `at`, 0 when none does there.
std::size_t iSequenceLength(std::string_view s, std::size_t at, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    // The first continuation byte's range rules out overlong forms, surrogates and values
    // above U+10FFFF (the well-formed table of the Unicode standard).
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t b = byte(at + i);
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) return 0;
        value = (value << 6) | (b & 0x3F);
    }
    codePoint = value;
    return length;
}

bool bIsControl(char32_t c) { return (c < 0x20 && c != '\n' && c != '\t') || (c >= 0x7F && c <= 0x9F); }

}  // namespace

std::string szPrintable(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t codePoint = 0;
        const std::size_t length = iSequenceLength(utf8, at, codePoint);
        if (length == 0) {
            ++at;  // a stray byte: dropped, and the next byte is read afresh
            continue;
        }
        if (!bIsControl(codePoint)) out.append(utf8.substr(at, length));
        at += length;
    }
    return out;
}

}  // namespace kivota
