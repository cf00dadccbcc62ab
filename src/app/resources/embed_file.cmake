# Turns one file into a C++ source that defines its bytes and their count.
# Arguments: INPUT (file), OUTPUT (source to write), SYMBOL (C++ name of the array).
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR byte_count "${hex_length} / 2")

if(byte_count EQUAL 0)
  # An empty array is not valid C++: keep one byte, report none.
  set(bytes "0x00,")
else()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Lines of 24 bytes keep the source readable for compilers and editors.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n" bytes "${bytes}")
endif()

file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from ${INPUT}; do not edit.
#include <cstddef>
#include <cstdint>

namespace kivota::embedded {
extern const std::uint8_t ${SYMBOL}_data[];
extern const std::size_t ${SYMBOL}_size;
alignas(16) const std::uint8_t ${SYMBOL}_data[] = {
${bytes}
};
const std::size_t ${SYMBOL}_size = ${byte_count};
}  // namespace kivota::embedded
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
