#include "run/run_log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "net/charset.h"
#include "platform/error_text.h"

namespace kivota {

namespace {

// Length of the UTF-8 sequence that begins with `lead` (1 for a stray byte).
std::size_t sequenceLength(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

// The text in code page 950; a character the code page lacks (or a malformed byte) becomes '?'.
std::string szToCp950(std::string_view utf8) {
    if (auto whole = fromUtf8(utf8, kCharsetCp950)) return *whole;
    std::string out;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t length = std::min(sequenceLength(static_cast<unsigned char>(utf8[pos])), utf8.size() - pos);
        const auto one = fromUtf8(utf8.substr(pos, length), kCharsetCp950);
        out += one ? *one : std::string("?");
        pos += length;
    }
    return out;
}

// Text-mode line ends: every line feed goes out as CR LF.
std::string szWithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

std::string szTimeText(const LocalTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buffer;
}

std::string szDailyLogName(const LocalTime& t) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d_SpeedTest.log", t.year, t.month, t.day);
    return buffer;
}

bool bAppendLog(IClock& clock, const std::string& text, const std::string& fileName, std::string* error) {
    const LocalTime now = clock.localTime();  // one reading for both the name and the stamp
    const std::string name = fileName.empty() ? szDailyLogName(now) : fileName;
    const std::string line = name == kResultFileName ? text + "\n" : szTimeText(now) + "\t" + text + "\n";
    const std::string bytes = szWithCrLf(szToCp950(line));

    auto fail = [&](int code) {
        if (error != nullptr) *error = name + ": " + szErrnoText(code);
        return false;
    };
    std::FILE* file = std::fopen(name.c_str(), "ab");
    if (file == nullptr) return fail(errno);
    const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = whole ? 0 : errno;
    // A full disk may show only when the buffered line is flushed on closing.
    if (std::fclose(file) != 0 && whole) return fail(errno);
    if (!whole) return fail(writeError);
    return true;
}

}  // namespace kivota
