#include "net/charset.h"

#include "platform/utf8.h"

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
