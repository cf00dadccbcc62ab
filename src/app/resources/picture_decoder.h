#pragma once
// Decodes the window's pictures into 8-bit RGBA frames: PNG (transparency kept), JPEG (opaque)
// and GIF (every frame composited onto the full picture, as it is shown at that moment).

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kivota {

struct PictureFrame {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;  // width * height * 4 bytes, rows top to bottom, not premultiplied
    int delayMs = 0;                 // how long the frame stays up; 0 for still pictures
};

struct Picture {
    int width = 0, height = 0;
    std::vector<PictureFrame> frames;
    bool animated() const { return frames.size() > 1; }
};

// `type` is "PNG", "JPEG" or "GIF" (ASCII case ignored). Truncated or corrupt data, an unknown
// type and pictures beyond the size limit give nullopt.
std::optional<Picture> decodePicture(std::string_view type, std::span<const std::uint8_t> bytes);

// Largest picture accepted, in pixels per side and in total; the window's are far smaller.
// The frames of an animation count together against the total, as each is a full picture.
inline constexpr int kMaxPictureSide = 16384;
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 26;

}  // namespace kivota
