#pragma once
// Small encoders that build test pictures with exactly the features a test needs.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <gif_lib.h>
#include <png.h>

#include "app/resources/picture_decoder.h"

namespace kivota::test {

using Bytes = std::vector<std::uint8_t>;

// A decoded frame's pixel at (x, y) as red, green, blue and alpha.
using Rgba = std::array<int, 4>;
inline Rgba pixel(const PictureFrame& f, int x, int y) {
    const std::size_t i =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) + static_cast<std::size_t>(x)) * 4;
    return {f.rgba[i], f.rgba[i + 1], f.rgba[i + 2], f.rgba[i + 3]};
}

struct PngSpec {
    int width = 0, height = 0;
    int colourType = PNG_COLOR_TYPE_RGBA;
    int bitDepth = 8;
    bool interlaced = false;  // Adam7
    std::vector<Bytes> rows;  // packed samples as stored in the file (16-bit big-endian)
    std::vector<png_color> palette;
    std::vector<std::uint8_t> trnsAlpha;  // palette transparency
    bool hasTrnsColour = false;           // grey or RGB colour key
    png_color_16 trnsColour{};
};
Bytes encodePng(const PngSpec& spec);

// A grey JPEG of one flat level.
Bytes encodeGreyJpeg(int width, int height, std::uint8_t level);

struct GifFrameSpec {
    int left = 0, top = 0, width = 0, height = 0;
    Bytes indices;  // width * height colour indices, rows top to bottom
    int disposal = DISPOSAL_UNSPECIFIED;
    int transparent = NO_TRANSPARENT_COLOR;
    int delayCs = 10;
    bool withControlBlock = true;
    std::vector<GifColorType> localColours;  // empty: use the global map
    bool interlaced = false;
};
Bytes encodeGif(int width, int height, const std::vector<GifColorType>& globalColours,
                const std::vector<GifFrameSpec>& frames);

}  // namespace kivota::test
