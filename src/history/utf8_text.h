#pragma once
// Text as the listings and the plot write it: UTF-8 throughout, so a stray byte from elsewhere
// (an error text of another code page) cannot make a CSV, JSON or SVG reader refuse the file.

#include <cstddef>
#include <string>

namespace kivota {

// `text` with every byte that is not part of a well-formed UTF-8 sequence (stray continuation
// bytes, overlong forms, surrogates, code points past U+10FFFF, cut-off sequences) replaced
// by U+FFFD.
std::string szValidUtf8(const std::string& text);

// The number of code points of valid UTF-8 text: its width in a terminal's columns for the
// scripts the listings hold.
std::size_t iCodePoints(const std::string& text);

}  // namespace kivota
