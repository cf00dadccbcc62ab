// GIF frames are composited as a browser shows them: each frame drawn at its position over
// what the previous frame left, with its own transparency and colour map, after the previous
// frame's disposal has been carried out.
#include <gtest/gtest.h>

#include <array>

#include "app/resources/picture_decoder.h"
#include "app/resources/resource_table.h"
#include "picture_encoders.h"

namespace kivota {
namespace {

using test::Bytes;
using test::GifFrameSpec;
using test::pixel;
using test::Rgba;

const GifColorType kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};
const std::vector<GifColorType> kGlobal{kBlack, kRed, kGreen, kBlue};
constexpr int kRedIndex = 1, kGreenIndex = 2, kBlueIndex = 3;
const Rgba kClear{0, 0, 0, 0}, kRedPixel{255, 0, 0, 255}, kGreenPixel{0, 255, 0, 255}, kBluePixel{0, 0, 255, 255};

GifFrameSpec solid(int left, int top, int width, int height, int index, int disposal) {
    GifFrameSpec f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.indices.assign(static_cast<std::size_t>(width * height), static_cast<std::uint8_t>(index));
    f.disposal = disposal;
    return f;
}

Picture decode(const Bytes& gif) {
    auto picture = decodePicture("GIF", gif);
    EXPECT_TRUE(picture.has_value());
    return picture.value_or(Picture{});
}

TEST(GifCompositing, RestoreToBackgroundClearsOnlyThatFramesRectangle) {
    // 4x4: a red frame over the whole canvas, then a green 2x2 frame at (2,2) that is
    // disposed to background, then a 1x1 blue frame at (0,0).
    const Bytes gif = test::encodeGif(4, 4, kGlobal,
                                      {
                                          solid(0, 0, 4, 4, kRedIndex, DISPOSE_DO_NOT),
                                          solid(2, 2, 2, 2, kGreenIndex, DISPOSE_BACKGROUND),
                                          solid(0, 0, 1, 1, kBlueIndex, DISPOSE_DO_NOT),
                                      });
    const Picture p = decode(gif);
    ASSERT_EQ(p.frames.size(), 3u);
    EXPECT_TRUE(p.animated());
    EXPECT_EQ(pixel(p.frames[1], 3, 3), kGreenPixel);
    EXPECT_EQ(pixel(p.frames[1], 1, 1), kRedPixel);
    const PictureFrame& last = p.frames[2];
    EXPECT_EQ(pixel(last, 0, 0), kBluePixel);
    EXPECT_EQ(pixel(last, 1, 1), kRedPixel);  // outside the disposed rectangle: kept
    EXPECT_EQ(pixel(last, 2, 2), kClear);     // the green frame's rectangle: transparent
    EXPECT_EQ(pixel(last, 3, 3), kClear);
    EXPECT_EQ(pixel(last, 3, 1), kRedPixel);
}

TEST(GifCompositing, RestoreToPreviousBringsBackTheCanvasBeforeThatFrame) {
    const Bytes gif = test::encodeGif(4, 4, kGlobal,
                                      {
                                          solid(0, 0, 4, 4, kRedIndex, DISPOSE_DO_NOT),
                                          solid(0, 0, 2, 2, kGreenIndex, DISPOSE_PREVIOUS),
                                          solid(3, 3, 1, 1, kBlueIndex, DISPOSE_DO_NOT),
                                      });
    const Picture p = decode(gif);
    ASSERT_EQ(p.frames.size(), 3u);
    EXPECT_EQ(pixel(p.frames[1], 0, 0), kGreenPixel);
    const PictureFrame& last = p.frames[2];
    EXPECT_EQ(pixel(last, 0, 0), kRedPixel);
    EXPECT_EQ(pixel(last, 1, 1), kRedPixel);
    EXPECT_EQ(pixel(last, 3, 3), kBluePixel);
}

TEST(GifCompositing, RestoreToPreviousOnTheFirstFrameLeavesTheEmptyCanvas) {
    const Bytes gif = test::encodeGif(2, 2, kGlobal,
                                      {
                                          solid(0, 0, 2, 2, kRedIndex, DISPOSE_PREVIOUS),
                                          solid(1, 1, 1, 1, kBlueIndex, DISPOSE_DO_NOT),
                                      });
    const Picture p = decode(gif);
    ASSERT_EQ(p.frames.size(), 2u);
    EXPECT_EQ(pixel(p.frames[1], 0, 0), kClear);
    EXPECT_EQ(pixel(p.frames[1], 1, 1), kBluePixel);
}

TEST(GifCompositing, KeptFramesAccumulateAndTransparentIndicesShowWhatIsBeneath) {
    GifFrameSpec holes = solid(0, 0, 3, 1, kGreenIndex, DISPOSAL_UNSPECIFIED);
    holes.indices[1] = 0;
    holes.transparent = 0;  // black marks the hole
    const Bytes gif = test::encodeGif(3, 2, kGlobal,
                                      {
                                          solid(0, 0, 3, 2, kRedIndex, DISPOSAL_UNSPECIFIED),
                                          holes,
                                      });
    const Picture p = decode(gif);
    ASSERT_EQ(p.frames.size(), 2u);
    const PictureFrame& f = p.frames[1];
    EXPECT_EQ(pixel(f, 0, 0), kGreenPixel);
    EXPECT_EQ(pixel(f, 1, 0), kRedPixel);  // through the hole
    EXPECT_EQ(pixel(f, 2, 0), kGreenPixel);
    EXPECT_EQ(pixel(f, 1, 1), kRedPixel);
}

TEST(GifCompositing, FirstFrameTransparencyAndUncoveredAreaStayTransparent) {
    GifFrameSpec f = solid(1, 0, 1, 2, kRedIndex, DISPOSE_DO_NOT);
    f.indices[0] = 0;
    f.transparent = 0;
    const Picture p = decode(test::encodeGif(3, 2, kGlobal, {f}));
    ASSERT_EQ(p.frames.size(), 1u);
    EXPECT_FALSE(p.animated());
    EXPECT_EQ(pixel(p.frames[0], 0, 0), kClear);
    EXPECT_EQ(pixel(p.frames[0], 1, 0), kClear);
    EXPECT_EQ(pixel(p.frames[0], 1, 1), kRedPixel);
}

TEST(GifCompositing, LocalColourMapWinsOverTheGlobalOne) {
    GifFrameSpec f = solid(0, 0, 1, 1, 1, DISPOSE_DO_NOT);
    f.localColours = {kBlack, kBlue};
    GifFrameSpec g = solid(1, 0, 1, 1, 1, DISPOSE_DO_NOT);  // index 1 in the global map: red
    // The frame with its own map goes last: giflib's encoder loses a local map that a later
    // frame without one replaces.
    const Picture p = decode(test::encodeGif(2, 1, kGlobal, {g, f}));
    ASSERT_EQ(p.frames.size(), 2u);
    EXPECT_EQ(pixel(p.frames[1], 0, 0), kBluePixel);
    EXPECT_EQ(pixel(p.frames[1], 1, 0), kRedPixel);
}

TEST(GifCompositing, FrameWithoutAnyColourMapIsRefused) {
    Bytes gif = test::encodeGif(2, 1, kGlobal, {solid(0, 0, 2, 1, 1, DISPOSE_DO_NOT)});
    ASSERT_TRUE(decodePicture("GIF", gif).has_value());
    // Take the global map out of the file: clear its flag in the screen descriptor and drop
    // its entries, which follow the 13-byte header.
    const std::uint8_t packed = gif[10];
    ASSERT_NE(packed & 0x80, 0);
    const std::ptrdiff_t mapBytes = 3 * (2 << (packed & 0x07));
    gif[10] = static_cast<std::uint8_t>(packed & 0x70);
    gif.erase(gif.begin() + 13, gif.begin() + 13 + mapBytes);
    EXPECT_FALSE(decodePicture("GIF", gif).has_value());
}

TEST(GifCompositing, InterlacedFrameRowsComeOutInPictureOrder) {
    GifFrameSpec f;
    f.width = 1;
    f.height = 10;
    f.interlaced = true;
    for (int y = 0; y < 10; ++y) f.indices.push_back(static_cast<std::uint8_t>(y % 4));
    const Picture p = decode(test::encodeGif(1, 10, kGlobal, {f}));
    ASSERT_EQ(p.frames.size(), 1u);
    const Rgba expected[] = {{0, 0, 0, 255}, kRedPixel, kGreenPixel, kBluePixel};
    for (int y = 0; y < 10; ++y) EXPECT_EQ(pixel(p.frames[0], 0, y), expected[y % 4]) << "row " << y;
}

TEST(GifCompositing, FramePartlyOffTheCanvasIsClipped) {
    const Picture p = decode(test::encodeGif(
        3, 3, kGlobal,
        {solid(2, 2, 3, 3, kBlueIndex, DISPOSE_BACKGROUND), solid(0, 0, 1, 1, kRedIndex, DISPOSE_DO_NOT)}));
    ASSERT_EQ(p.frames.size(), 2u);
    EXPECT_EQ(pixel(p.frames[0], 2, 2), kBluePixel);
    EXPECT_EQ(pixel(p.frames[0], 1, 1), kClear);
    EXPECT_EQ(pixel(p.frames[1], 2, 2), kClear);
    EXPECT_EQ(pixel(p.frames[1], 0, 0), kRedPixel);
}

TEST(GifCompositing, DelaysComeFromTheControlBlockWithTooShortOnesAt100Ms) {
    std::vector<GifFrameSpec> frames;
    for (int cs : {0, 1, 2, 8, 150}) {
        frames.push_back(solid(0, 0, 1, 1, kRedIndex, DISPOSE_DO_NOT));
        frames.back().delayCs = cs;
    }
    frames.push_back(solid(0, 0, 1, 1, kRedIndex, DISPOSE_DO_NOT));
    frames.back().withControlBlock = false;
    const Picture p = decode(test::encodeGif(1, 1, kGlobal, frames));
    ASSERT_EQ(p.frames.size(), 6u);
    const int expected[] = {100, 100, 20, 80, 1500, 100};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(p.frames[i].delayMs, expected[i]) << "frame " << i;
}

TEST(GifCompositing, FramesBeyondTheSizeLimitsTogetherAreRefusedBeforeDecoding) {
    // Each frame is a full canvas once composited: two one-pixel frames on a canvas at the
    // total limit would already take twice the largest picture.
    const int side = 8192;
    static_assert(std::int64_t{8192} * 8192 == kMaxPicturePixels);
    const std::vector<GifFrameSpec> two{solid(0, 0, 1, 1, kRedIndex, DISPOSAL_UNSPECIFIED),
                                        solid(1, 1, 1, 1, kGreenIndex, DISPOSAL_UNSPECIFIED)};
    EXPECT_FALSE(decodePicture("GIF", test::encodeGif(side, side, kGlobal, two)).has_value());
    // The same frames on a canvas that leaves room for both are shown.
    EXPECT_EQ(decode(test::encodeGif(64, 64, kGlobal, two)).frames.size(), 2u);

    // One frame whose rectangle alone is beyond the limits, on a small canvas.
    const GifFrameSpec wide = solid(0, 0, kMaxPictureSide + 1, 1, kRedIndex, DISPOSAL_UNSPECIFIED);
    EXPECT_FALSE(decodePicture("GIF", test::encodeGif(16, 16, kGlobal, {wide})).has_value());
}

TEST(GifCompositing, TruncatedOrForeignDataIsRefused) {
    const auto span = findResource("GIF", "ROTATION");
    const Bytes whole(span.begin(), span.end());
    ASSERT_TRUE(decodePicture("GIF", whole).has_value());
    for (std::size_t keep : {std::size_t{3}, std::size_t{12}, whole.size() / 3, whole.size() - 1}) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_FALSE(decodePicture("GIF", cut).has_value()) << "kept " << keep;
    }
    EXPECT_FALSE(decodePicture("GIF", Bytes{}).has_value());
    const auto png = findResource("PNG", "BUTTON_C");
    EXPECT_FALSE(decodePicture("GIF", Bytes(png.begin(), png.end())).has_value());
}

}  // namespace
}  // namespace kivota
