#include "net/charset.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <vector>

namespace kivota {

namespace {

class IconvHandle {
public:
    IconvHandle(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~IconvHandle() {
        if (valid()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    // iconv_open's failure is the all-ones pointer.
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }  // NOLINT(performance-no-int-to-ptr)
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::optional<std::string> convertCharset(std::string_view bytes, const std::string& fromCharset,
                                          const std::string& toCharset) {
    IconvHandle cd(toCharset, fromCharset);
    if (!cd.valid()) return std::nullopt;

    std::string out;
    std::vector<char> chunk(4096);
    // iconv takes non-const input pointers although it never writes through them.
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    bool flushed = false;
    while (!flushed) {
        char* outPtr = chunk.data();
        std::size_t outLeft = chunk.size();
        std::size_t rc = 0;
        if (inLeft > 0) {
            rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        } else {
            rc = iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);  // shift state back to initial
            flushed = rc != static_cast<std::size_t>(-1);
        }
        out.append(chunk.data(), chunk.size() - outLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) return std::nullopt;
    }
    if (asciiLower(toCharset) == "utf-8" && !bIsWellFormedUtf8(out)) return std::nullopt;
    return out;
}

std::size_t iUtf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    // The first continuation byte's range rules out overlong forms, surrogates and values
    // above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

bool bIsWellFormedUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = iUtf8SequenceLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string charsetOfContentType(std::string_view contentType) {
    const std::string lower = asciiLower(contentType);
    std::size_t pos = 0;
    while ((pos = lower.find("charset", pos)) != std::string::npos) {
        // Only a parameter named exactly "charset" (after ';' or a blank) counts.
        const bool atStart = pos == 0 || lower[pos - 1] == ';' || lower[pos - 1] == ' ' || lower[pos - 1] == '\t';
        std::size_t p = pos + 7;
        while (p < lower.size() && (lower[p] == ' ' || lower[p] == '\t')) ++p;
        if (!atStart || p >= lower.size() || lower[p] != '=') {
            pos += 7;
            continue;
        }
        ++p;
        while (p < lower.size() && (lower[p] == ' ' || lower[p] == '\t')) ++p;
        std::string value;
        if (p < contentType.size() && contentType[p] == '"') {
            const std::size_t end = contentType.find('"', p + 1);
            value = std::string(contentType.substr(p + 1, end == std::string_view::npos ? end : end - p - 1));
        } else {
            std::size_t end = p;
            while (end < contentType.size() && contentType[end] != ';' && contentType[end] != ' ' &&
                   contentType[end] != '\t')
                ++end;
            value = std::string(contentType.substr(p, end - p));
        }
        return value;
    }
    return {};
}

}  // namespace kivota
