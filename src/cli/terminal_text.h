#pragma once
// Text from the server on its way to a terminal: without control characters, so that no reply
// can move the cursor, clear the screen or retitle the window of the user's terminal.

#include <string>
#include <string_view>

namespace kivota {

// The UTF-8 text without C0 and C1 control characters (line feed and tab kept) and without
// DEL; bytes that are not UTF-8 are dropped too.
std::string szPrintable(std::string_view utf8);

}  // namespace kivota
