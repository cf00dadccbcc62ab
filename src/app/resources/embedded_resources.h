#pragma once
// The table of pictures compiled into the program; the build generates its contents from
// the files under src/res/.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kivota::embedded {

struct EmbeddedResource {
    std::string_view type;  // "PNG", "JPEG" or "GIF"
    std::string_view name;  // file name without extension
    const std::uint8_t* data;
    const std::size_t* size;  // defined beside the bytes, in the file's own generated source
};

extern const EmbeddedResource kResources[];
extern const std::size_t kResourceCount;

}  // namespace kivota::embedded
