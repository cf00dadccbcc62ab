#pragma once
// Conversion of text between the program's internal UTF-8 and the charsets in which bytes
// enter or leave it (a server reply's declared charset, code page 950 for local files).
// Conversions are strict: a byte sequence that is not valid in its charset is an error,
// never silently dropped or replaced.

#include <optional>
#include <string>
#include <string_view>

namespace kivota {

// The charset names iconv knows; "CP950" is the Traditional Chinese Windows code page.
inline constexpr const char* kCharsetUtf8 = "UTF-8";
inline constexpr const char* kCharsetCp950 = "CP950";

// Converts `bytes` in `fromCharset` to `toCharset`; nullopt when a charset is unknown or the
// input is not valid in it (or cannot be expressed in the target). UTF-8 comes out well-formed
// or not at all: iconv's UTF-8 reader lets code points beyond U+10FFFF through unchanged.
std::optional<std::string> convertCharset(std::string_view bytes, const std::string& fromCharset,
                                          const std::string& toCharset);

inline std::optional<std::string> toUtf8(std::string_view bytes, const std::string& fromCharset) {
    return convertCharset(bytes, fromCharset, kCharsetUtf8);
}
inline std::optional<std::string> fromUtf8(std::string_view utf8, const std::string& toCharset) {
    return convertCharset(utf8, kCharsetUtf8, toCharset);
}

// The charset parameter of a Content-Type header value ("text/plain; charset=big5" -> "big5"),
// without quotes; empty when the header names none.
std::string charsetOfContentType(std::string_view contentType);

}  // namespace kivota
