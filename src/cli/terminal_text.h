#pragma once
// Text from the server made safe to print on a terminal. The default addresses are plain HTTP,
// so anyone on the path can put bytes into an agreement or an announcement; a control
// character among them would be obeyed by the terminal (clear the screen, set the title,
// move the cursor, or worse on some emulators).

#include <string>
#include <string_view>

namespace kivota {

// `utf8` without its C0 controls (U+0000..U+001F, newline and tab kept), DEL (U+007F) and C1
// controls (U+0080..U+009F), and without any byte that is not part of a well-formed UTF-8
// sequence (overlong forms, surrogates and code points above U+10FFFF included). Everything
// else passes unchanged, in order: the printable parts of an escape sequence stay as plain text.
std::string szPrintable(std::string_view utf8);

}  // namespace kivota
