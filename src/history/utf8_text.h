#pragma once
// Text as the listings and the plot write it: UTF-8 throughout, so a stray byte from elsewhere
// (an error text of another code page) cannot make a CSV, JSON or SVG reader refuse the file.

#include <cstddef>
#include <string>

#include "platform/utf8.h"  // szValidUtf8: what goes out is made valid first

namespace kivota {

// The number of code points of valid UTF-8 text: its width in a terminal's columns for the
// scripts the listings hold.
std::size_t iCodePoints(const std::string& text);

}  // namespace kivota
