// The session cookie from a Set-Cookie header and what the result upload makes of it: the value,
// the scramble key picked from it, the authentication code and the scrambled body, which the
// server must be able to descramble with the same key. The input is the header's value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "net/charset.h"
#include "net/http_exchange.h"
#include "net/text_codecs.h"
#include "run/result_line.h"

namespace {

int iHexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool bLowerHex(std::string_view s) {
    for (char c : s) {
        if (iHexDigit(c) < 0) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string setCookie(reinterpret_cast<const char*>(data), size);
    std::string cookie = kivota::szCookieFromSetCookie(setCookie);
    FUZZ_CHECK(cookie.find(';') == std::string::npos);
    FUZZ_CHECK(setCookie.find(cookie) != std::string::npos);
    FUZZ_CHECK(cookie.empty() == (setCookie.find_first_not_of(';') == std::string::npos));

    // Every request that sends it appends a space; the value is read from what is stored.
    cookie += "  ";
    const std::string value = kivota::szCookieValue(cookie);
    FUZZ_CHECK(value.find_first_of(" \n") == std::string::npos);
    const std::size_t equals = cookie.find('=');
    if (equals == std::string::npos) FUZZ_CHECK(value.empty());
    else FUZZ_CHECK(cookie.compare(equals + 1, value.size(), value) == 0);

    // The key: every third character from the fourth, so (n - 1) / 3 of them for n characters.
    const std::string key = kivota::szPickKey(value);
    FUZZ_CHECK(key.size() == (value.empty() ? 0 : (value.size() - 1) / 3));
    for (std::size_t i = 0; i < key.size(); ++i) FUZZ_CHECK(key[i] == value[3 + 3 * i]);

    const std::string authCode = kivota::szAuthCode("198.18.0.1", value);
    FUZZ_CHECK(authCode.size() == 32 && bLowerHex(authCode));

    const std::string query = "App_ver=0.93&DL_FTP_speed=48123.46&auth_code=" + authCode;
    const std::string body = kivota::szResultBody(query, value, 1234, 56);
    if (key.empty()) {
        FUZZ_CHECK(body.empty());  // nothing the server could read is sent
        return 0;
    }
    // code=, then lower-case hexadecimal of the UTF-16LE text's bytes, each XOR the cyclic key.
    FUZZ_CHECK(body.rfind("code=", 0) == 0);
    const std::string_view hex = std::string_view(body).substr(5);
    FUZZ_CHECK(hex.size() % 2 == 0 && bLowerHex(hex));
    // The key undone: the UTF-16LE bytes of the text.
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int byte = iHexDigit(hex[i]) * 16 + iHexDigit(hex[i + 1]);
        bytes.push_back(static_cast<char>(byte ^ static_cast<std::uint8_t>(key[(i / 2) % key.size()])));
    }
    const auto text = kivota::convertCharset(bytes, "UTF-16LE", kivota::kCharsetUtf8);
    FUZZ_CHECK(text && *text == "Null=123456&" + query);
    return 0;
}
