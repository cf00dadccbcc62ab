// The completion-code check: arbitrary codes, and codes built from the input's fields that
// carry a correct check value and so must pass.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "net/text_codecs.h"
#include "run/completion_code.h"

namespace {

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]),
                   b2 = static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 0x3) << 4) | (b1 >> 4)];
        out += kAlphabet[((b1 & 0xF) << 2) | (b2 >> 6)];
        out += kAlphabet[b2 & 0x3F];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = rest > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 0x3) << 4) | (b1 >> 4)];
        out += rest > 1 ? kAlphabet[(b1 & 0xF) << 2] : '=';
        out += '=';
    }
    return out;
}

// The decoding reads only complete groups of four characters: trailing separators, which the
// split ignores, make the payload a whole number of groups.
std::string whole(std::string payload) {
    while (payload.size() % 3 != 0) payload += ':';
    return payload;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const bool valid = kivota::bCompletionCodeValid(input);
    FUZZ_CHECK(kivota::bCompletionCodeValid(input) == valid);

    // Four payload fields from the input (split at '\n'), with their check value: must pass.
    std::string fields[4];
    std::size_t n = 0;
    for (char c : input) {
        if (c == '\n') {
            if (++n == 4) break;
        } else {
            fields[n] += c == ':' ? '_' : c;
        }
    }
    for (const std::string& f : fields) {
        if (f.empty()) return 0;  // an empty field would vanish in the split
    }
    if (fields[0].front() == ' ') return 0;  // the check drops a leading blank of field 1
    const std::string check =
        kivota::szMD5(kivota::szMD5(fields[3]).substr(0, 4) + fields[0] + fields[1] + fields[2] + fields[3]);
    const std::string head = fields[0] + ":" + fields[1] + ":" + fields[2] + ":" + fields[3] + ":";
    FUZZ_CHECK(kivota::bCompletionCodeValid(base64(whole(head + check))));
    // A check value with one digit changed must not pass.
    std::string wrong = check;
    wrong.back() = wrong.back() == '0' ? '1' : '0';
    FUZZ_CHECK(!kivota::bCompletionCodeValid(base64(whole(head + wrong))));
    return 0;
}
