#pragma once
// Stored strings are letter-encoded: two letters 'a'..'p' per byte, high nibble first.

#include <string>
#include <string_view>

namespace kivota {

// Decodes a letter-encoded text. Letters are taken two at a time; an odd last letter is ignored.
std::string szDecode(std::string_view encoded);

}  // namespace kivota
