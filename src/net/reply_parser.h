#pragma once
// The configuration server's replies: after reception every 0x1F has become '=' and every 0x1E
// ';', so a reply reads name=value;name=value;... It is split into parallel lists of
// lower-cased names and their values, and looked up by name.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivota {

struct ReplyLists {
    std::vector<std::string> names, values;
};

// Splits the reply the way the C tokeniser would: a name runs up to the next '=', its value up
// to the next ';', and runs of the delimiter in front of a token are skipped. A value may thus
// hold '=', a name may not, and an empty value swallows the pair that follows it. A name without
// a value gets the empty value. An empty reply yields one entry with empty name and value.
// Appends to `lists`.
void vParseReply(const std::string& reply, ReplyLists& lists);

// The value of the first entry whose name equals `name` lower-cased; empty when there is none.
std::string szGetValue(std::string_view name, const ReplyLists& lists);

// Strict decimal conversion of a numeric reply value: an optional sign and at least one digit,
// nothing else (no blanks), and the number must fit in 32 bits. nullopt otherwise.
std::optional<std::int32_t> optStrictInt(std::string_view text);

}  // namespace kivota
