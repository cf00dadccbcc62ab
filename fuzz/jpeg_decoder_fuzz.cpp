// JPEG decoding (libjpeg-turbo): refused or a still, opaque RGBA picture.
#include <cstddef>
#include <cstdint>
#include <span>

#include "picture_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto picture = kivota::decodePicture("jpeg", std::span<const std::uint8_t>(data, size));
    if (!picture) return 0;
    checkStillPicture(*picture);
    const auto& rgba = picture->frames.front().rgba;
    for (std::size_t i = 3; i < rgba.size(); i += 4) FUZZ_CHECK(rgba[i] == 255);
    return 0;
}
