#include "net/text_codecs.h"

#include <openssl/evp.h>

#include <cstdint>
#include <memory>

namespace kivota {

namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

// Next code point of a UTF-8 text starting at `pos`, which it advances. A malformed or
// truncated sequence yields U+FFFD and consumes one byte, so decoding always progresses.
char32_t nextCodePoint(std::string_view s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07u, minimum = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + static_cast<std::size_t>(extra) >= s.size()) {  // truncated sequence
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto c = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return cp;
}

void appendUnit(std::vector<unsigned char>& bytes, char32_t unit) {
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
}

}  // namespace

std::string szMD5(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), text.data(), text.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        return {};
    }
    std::string out;
    out.reserve(std::size_t{2} * length);
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(kLowerHex[digest[i] >> 4]);
        out.push_back(kLowerHex[digest[i] & 0x0F]);
    }
    return out;
}

int iToUnicodeBytes(std::string_view utf8, std::vector<unsigned char>& bytes) {
    const std::size_t before = bytes.size();
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = nextCodePoint(utf8, pos);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            appendUnit(bytes, 0xD800 + (v >> 10));
            appendUnit(bytes, 0xDC00 + (v & 0x3FF));
        } else {
            appendUnit(bytes, cp);
        }
    }
    return static_cast<int>(bytes.size() - before);
}

int iToHex(const std::vector<unsigned char>& bytes, std::string& hex) {
    hex.clear();
    hex.reserve(2 * bytes.size());
    for (unsigned char b : bytes) {
        hex.push_back(kUpperHex[b >> 4]);
        hex.push_back(kUpperHex[b & 0x0F]);
    }
    return static_cast<int>(hex.size());
}

std::string szPickKey(std::string_view text) {
    std::string key;
    for (std::size_t i = 3; i < text.size(); i += 3) key.push_back(text[i]);
    return key;
}

std::string szXorHex(std::string_view key, std::string_view hex) {
    std::string out;
    if (key.empty()) return out;
    // The digit rule is the server's: anything not '0'..'9' counts as code - 55, in 8 bits.
    auto digitValue = [](char c) -> std::uint8_t {
        const auto code = static_cast<std::uint8_t>(c);
        return static_cast<std::uint8_t>(c >= '0' && c <= '9' ? code - 48 : code - 55);
    };
    out.reserve(hex.size());
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2, ++n) {
        const auto byte = static_cast<std::uint8_t>(16 * digitValue(hex[i]) + digitValue(hex[i + 1]));
        const auto mixed = static_cast<std::uint8_t>(byte ^ static_cast<std::uint8_t>(key[n % key.size()]));
        out.push_back(kLowerHex[mixed >> 4]);
        out.push_back(kLowerHex[mixed & 0x0F]);
    }
    return out;
}

std::string szAuthCode(std::string_view dottedAddress, std::string_view cookieValue) {
    std::string input;
    input.reserve(dottedAddress.size() + 4 + cookieValue.size());
    for (char c : dottedAddress) {
        if (c == '.') input.push_back('A');
        else if (c == '0') input.push_back('K');
        else if (c >= '1' && c <= '9') input.push_back(static_cast<char>('B' + (c - '1')));
        else input.push_back(c);
    }
    input += std::to_string(dottedAddress.size());
    input += cookieValue;
    return szMD5(input);
}

std::string szBase64Decode(std::string_view text) {
    static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= ";
    constexpr unsigned kPad = 64;  // position of '='
    auto value = [](char c) -> unsigned {
        const auto at = kAlphabet.find(c);
        return at == std::string_view::npos ? 255u : static_cast<unsigned>(at);
    };
    std::string out = " ";
    for (std::size_t i = 0; i + 4 <= text.size(); i += 4) {
        const unsigned w = value(text[i]), x = value(text[i + 1]), y = value(text[i + 2]), z = value(text[i + 3]);
        out.push_back(static_cast<char>((w * 4 + x / 16) & 0xFF));
        if (y == kPad) break;
        out.push_back(static_cast<char>((x * 16 + y / 4) & 0xFF));
        if (z == kPad) break;
        out.push_back(static_cast<char>((y * 64 + z) & 0xFF));
    }
    return out;
}

}  // namespace kivota
