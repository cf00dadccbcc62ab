#pragma once
// Well-formed UTF-8, the program's internal text: no overlong forms, no surrogates, nothing
// above U+10FFFF.

#include <cstddef>
#include <string>
#include <string_view>

namespace kivota {

// The length of the well-formed UTF-8 sequence that starts at `at` (< text.size()), 0 when
// none does there.
std::size_t iUtf8SequenceLength(std::string_view text, std::size_t at);

bool bIsWellFormedUtf8(std::string_view text);

// The text with every byte that begins no well-formed sequence replaced by U+FFFD.
std::string szValidUtf8(std::string_view text);

}  // namespace kivota
