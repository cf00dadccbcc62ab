#include "net/letter_code.h"

namespace kivota {

std::string szDecode(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size() / 2);
    for (std::size_t i = 0; i + 1 < encoded.size(); i += 2) {
        const int high = encoded[i] - 'a';
        const int low = (encoded[i + 1] - 'a') & 0x0F;
        out.push_back(static_cast<char>(((high * 16) + low) & 0xFF));
    }
    return out;
}

}  // namespace kivota
