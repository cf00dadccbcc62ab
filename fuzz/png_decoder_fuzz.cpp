// PNG decoding (libpng): refused or a still RGBA picture. The input's chunk check values are
// set right before decoding, so that mutations reach the chunk contents instead of all ending
// at libpng's first CRC test.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "picture_checks.h"

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Chunks after the 8-byte signature: length, type, data, CRC over type and data.
void fixChunkCrcs(std::vector<std::uint8_t>& png) {
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::size_t length = bigEndian32(&png[pos]);
        if (length > png.size() - pos - 12) break;
        const std::uint8_t* typed = &png[pos + 4];
        const auto crc = static_cast<std::uint32_t>(crc32(0L, typed, static_cast<uInt>(length + 4)));
        std::uint8_t* out = &png[pos + 8 + length];
        for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        pos += length + 12;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> png(data, data + size);
    fixChunkCrcs(png);
    const auto picture = kivota::decodePicture("PNG", std::span<const std::uint8_t>(png));
    if (picture) checkStillPicture(*picture);
    return 0;
}
