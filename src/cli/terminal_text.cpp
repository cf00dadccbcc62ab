#include "cli/terminal_text.h"

#include "platform/utf8.h"

namespace kivota {

namespace {

// C0 (newline and tab kept), DEL, and C1 as its two UTF-8 bytes C2 80..C2 9F.
bool bIsControl(std::string_view sequence) {
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) return (lead < 0x20 && lead != '\n' && lead != '\t') || lead == 0x7F;
    return sequence.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

}  // namespace

std::string szPrintable(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t length = iUtf8SequenceLength(utf8, at);
        if (length == 0) {
            ++at;  // a stray byte: dropped, and the next byte is read afresh
            continue;
        }
        const std::string_view sequence = utf8.substr(at, length);
        if (!bIsControl(sequence)) out.append(sequence);
        at += length;
    }
    return out;
}

}  // namespace kivota
