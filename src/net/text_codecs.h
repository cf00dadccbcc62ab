#pragma once
// The encodings applied to what the result upload sends and the completion-code dialog checks:
// MD5 in lower-case hexadecimal, the chain that obscures the result body (UTF-16LE bytes,
// upper-case hexadecimal, XOR with a key taken from the session cookie, lower-case
// hexadecimal), the authentication code of a result, and the dialog's Base64 decoding.
// All are pure functions; none keeps state between calls.

#include <string>
#include <string_view>
#include <vector>

namespace kivota {

// MD5 of the text's bytes as 32 lower-case hexadecimal digits.
std::string szMD5(std::string_view text);

// Appends the UTF-16LE bytes of a UTF-8 text (low byte of each code unit first) to `bytes`,
// which grows as needed; returns the number of bytes written (2 per code unit). A malformed
// UTF-8 sequence becomes U+FFFD.
int iToUnicodeBytes(std::string_view utf8, std::vector<unsigned char>& bytes);

// Writes the bytes as upper-case hexadecimal into `hex` (replacing its content); returns the
// number of characters written (2 per byte).
int iToHex(const std::vector<unsigned char>& bytes, std::string& hex);

// Every third character beginning with the fourth (1-based positions 4, 7, 10, ...).
std::string szPickKey(std::string_view text);

// Each byte of the hexadecimal text XOR the cyclic key, as lower-case hexadecimal. Digits are
// valued loosely ('0'..'9' by code - 48, anything else by code - 55, in 8 bits), as the server
// expects. An empty key leaves nothing to scramble with: the result is empty.
std::string szXorHex(std::string_view key, std::string_view hex);

// MD5 of the address mapped to letters ('.'->'A', '0'->'K', '1'..'9'->'B'..'J'), its length in
// decimal and the cookie value. Characters other than digits and dots are kept as they are.
std::string szAuthCode(std::string_view dottedAddress, std::string_view cookieValue);

// Decoding of a completion code: a leading space, then three bytes per complete group of four
// characters; a '=' ends the whole decoding. Characters outside the alphabet count as 255.
std::string szBase64Decode(std::string_view text);

}  // namespace kivota
