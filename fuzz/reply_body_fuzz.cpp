// A server reply's body as the exchange hands it on: the charset named by its Content-Type, the
// conversion to UTF-8 and the separators turned into '=' and ';'. The input is the
// Content-Type (up to the first line feed; none when there is no line feed) and then the body.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "net/charset.h"
#include "net/http_exchange.h"
#include "net/reply_parser.h"
#include "utf8_check.h"

namespace {

std::string szMapped(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\x1e') c = ';';
        if (c == '\x1f') c = '=';
    }
    return out;
}

bool bIsUtf8Name(const std::string& charset) {
    std::string lower;
    for (char c : charset) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    return lower.empty() || lower == "utf-8" || lower == "utf8";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const std::size_t feed = in.find('\n');
    const std::string contentType(feed == std::string_view::npos ? std::string_view() : in.substr(0, feed));
    const std::string_view body = feed == std::string_view::npos ? in : in.substr(feed + 1);
    const char* header = feed == std::string_view::npos ? nullptr : contentType.c_str();

    const std::optional<std::string> text = kivota::optDecodeReplyBody(body, header);
    const std::string charset = header ? kivota::charsetOfContentType(contentType) : std::string();

    // UTF-8 (named or by default) decodes exactly the well-formed bodies, and to themselves.
    if (bIsUtf8Name(charset)) {
        FUZZ_CHECK(text.has_value() == fuzz::bDecodeUtf8(body));
        if (text) FUZZ_CHECK(*text == szMapped(body));
    }
    if (!text) return 0;
    FUZZ_CHECK(fuzz::bDecodeUtf8(*text));
    FUZZ_CHECK(text->find('\x1e') == std::string::npos && text->find('\x1f') == std::string::npos);

    // What the caller does with it next.
    kivota::ReplyLists lists;
    kivota::vParseReply(*text, lists);
    FUZZ_CHECK(lists.names.size() == lists.values.size());
    return 0;
}
