#include "cli/terminal_text.h"

namespace kivota {

namespace {

// Length of the well-formed UTF-8 sequence at `at`, 0 when there is none.
std::size_t sequenceAt(std::string_view s, std::size_t at, char32_t& code) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[at + i]); };
    const unsigned char lead = b(0);
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (b(i) & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

bool bControl(char32_t code) {
    return (code < 0x20 && code != '\n' && code != '\t') || code == 0x7F || (code >= 0x80 && code <= 0x9F);
}

}  // namespace

std::string szPrintable(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t code = 0;
        const std::size_t length = sequenceAt(utf8, at, code);
        if (length == 0) {
            ++at;  // not UTF-8: dropped
            continue;
        }
        if (!bControl(code)) out.append(utf8.substr(at, length));
        at += length;
    }
    return out;
}

}  // namespace kivota
