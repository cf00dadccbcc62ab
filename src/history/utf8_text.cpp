#include "history/utf8_text.h"

namespace kivota {

std::size_t iCodePoints(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

}  // namespace kivota
