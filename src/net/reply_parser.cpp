#include "net/reply_parser.h"

namespace kivota {

namespace {

// strtok over a string that is never modified: each call skips the delimiter runs in front of
// the next token and consumes the delimiter that ends it.
class Tokeniser {
public:
    explicit Tokeniser(std::string_view text) : text_(text) {}

    std::optional<std::string_view> next(char delimiter) {
        while (pos_ < text_.size() && text_[pos_] == delimiter) ++pos_;
        if (pos_ >= text_.size()) return std::nullopt;
        const std::size_t end = text_.find(delimiter, pos_);
        const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
        std::string_view token = text_.substr(pos_, stop - pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
        return token;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

void vParseReply(const std::string& reply, ReplyLists& lists) {
    Tokeniser tokens(reply);
    std::optional<std::string_view> name = tokens.next('=');
    if (!name) {
        lists.names.emplace_back();
        lists.values.emplace_back();
        return;
    }
    while (name) {
        lists.names.push_back(asciiLower(*name));
        const std::optional<std::string_view> value = tokens.next(';');
        lists.values.emplace_back(value ? *value : std::string_view{});
        name = tokens.next('=');
    }
}

std::string szGetValue(std::string_view name, const ReplyLists& lists) {
    const std::string wanted = asciiLower(name);
    for (std::size_t i = 0; i < lists.names.size() && i < lists.values.size(); ++i) {
        if (lists.names[i] == wanted) return lists.values[i];
    }
    return {};
}

std::optional<std::int32_t> optStrictInt(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    std::int64_t magnitude = 0;
    for (char c : digits) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace kivota
