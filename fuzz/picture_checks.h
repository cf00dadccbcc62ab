#pragma once
// What every decoded picture must satisfy, whatever its type: a size within the limits, at
// least one frame, and frames of the picture's size holding width * height * 4 bytes.

#include <cstdint>
#include <optional>

#include "app/resources/picture_decoder.h"
#include "fuzz_check.h"

inline void checkPictureShape(const kivota::Picture& picture) {
    FUZZ_CHECK(picture.width > 0 && picture.height > 0);
    FUZZ_CHECK(picture.width <= kivota::kMaxPictureSide && picture.height <= kivota::kMaxPictureSide);
    FUZZ_CHECK(std::int64_t{picture.width} * picture.height <= kivota::kMaxPicturePixels);
    FUZZ_CHECK(!picture.frames.empty());
    for (const kivota::PictureFrame& frame : picture.frames) {
        FUZZ_CHECK(frame.width == picture.width && frame.height == picture.height);
        FUZZ_CHECK(frame.rgba.size() ==
                   static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height) * 4);
    }
}

// Still pictures: one frame that stays up.
inline void checkStillPicture(const kivota::Picture& picture) {
    checkPictureShape(picture);
    FUZZ_CHECK(picture.frames.size() == 1 && !picture.animated());
    FUZZ_CHECK(picture.frames.front().delayMs == 0);
}
