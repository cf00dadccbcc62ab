// The configuration server's reply: split into names and values, looked up, and a value read
// as a strict 32-bit number.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "fuzz_check.h"
#include "net/reply_parser.h"

namespace {

// What a strict conversion must give: from_chars over the whole text, with one '+' allowed in
// front of the digits (from_chars itself takes only '-').
std::optional<std::int32_t> referenceInt(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    kivota::ReplyLists lists;
    kivota::vParseReply(reply, lists);

    FUZZ_CHECK(!lists.names.empty());
    FUZZ_CHECK(lists.names.size() == lists.values.size());
    std::size_t taken = 0;
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < lists.names.size(); ++i) {
        const std::string& name = lists.names[i];
        FUZZ_CHECK(name.find('=') == std::string::npos);
        FUZZ_CHECK(lists.values[i].find(';') == std::string::npos);
        for (char c : name) FUZZ_CHECK(c < 'A' || c > 'Z');
        taken += name.size() + lists.values[i].size();
        // The first entry of a name is the one a look-up finds.
        if (seen.insert(name).second) FUZZ_CHECK(kivota::szGetValue(name, lists) == lists.values[i]);
        FUZZ_CHECK(kivota::optStrictInt(lists.values[i]) == referenceInt(lists.values[i]));
    }
    FUZZ_CHECK(taken <= reply.size());

    // Appending keeps what was there.
    const std::size_t before = lists.names.size();
    kivota::vParseReply(reply, lists);
    FUZZ_CHECK(lists.names.size() == 2 * before && lists.values.size() == 2 * before);

    FUZZ_CHECK(kivota::optStrictInt(reply) == referenceInt(reply));
    return 0;
}
