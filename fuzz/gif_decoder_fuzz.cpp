// GIF decoding (giflib): refused, or one composited RGBA frame per image of the file, each
// shown for a positive time, every pixel either transparent or opaque.
#include <cstddef>
#include <cstdint>
#include <span>

#include "picture_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto picture = kivota::decodePicture("GIF", std::span<const std::uint8_t>(data, size));
    if (!picture) return 0;
    checkPictureShape(*picture);
    for (const kivota::PictureFrame& frame : picture->frames) {
        FUZZ_CHECK(frame.delayMs > 0);
        for (std::size_t i = 3; i < frame.rgba.size(); i += 4) FUZZ_CHECK(frame.rgba[i] == 0 || frame.rgba[i] == 255);
    }
    return 0;
}
