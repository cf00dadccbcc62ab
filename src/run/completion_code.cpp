#include "run/completion_code.h"

#include <array>

#include "net/text_codecs.h"

namespace kivota {

namespace {

// Splits like the C library's tokeniser on ':': runs of separators count as one and empty
// fields vanish. At most `count` fields; missing ones stay empty.
template <std::size_t count>
std::array<std::string, count> splitFields(const std::string& text) {
    std::array<std::string, count> fields;
    std::size_t n = 0;
    std::size_t pos = 0;
    while (n < count) {
        pos = text.find_first_not_of(':', pos);
        if (pos == std::string::npos) break;
        const std::size_t end = text.find(':', pos);
        fields[n++] = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (end == std::string::npos) break;
        pos = end;
    }
    return fields;
}

}  // namespace

bool bCompletionCodeValid(const std::string& code) {
    const auto f = splitFields<6>(szBase64Decode(code));
    std::string field1 = f[0];
    if (!field1.empty() && field1.front() == ' ') field1.erase(0, 1);
    const std::string& check = f[5].empty() ? f[4] : f[5];
    const std::string prefix = szMD5(f[3]).substr(0, 4);
    return !check.empty() && szMD5(prefix + field1 + f[1] + f[2] + f[3]) == check;
}

}  // namespace kivota
