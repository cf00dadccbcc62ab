// PNG and JPEG decoding: every stored form becomes 8-bit RGBA, and damaged data is refused.
#include <gtest/gtest.h>

#include <array>

#include "app/resources/picture_decoder.h"
#include "app/resources/resource_table.h"
#include "picture_encoders.h"

namespace kivota {
namespace {

using test::Bytes;

std::uint32_t crc32(const std::uint8_t* data, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
using test::pixel;
using test::Rgba;

PictureFrame decodeOne(std::string_view type, const Bytes& bytes) {
    auto picture = decodePicture(type, bytes);
    EXPECT_TRUE(picture.has_value());
    if (!picture) return {};
    EXPECT_FALSE(picture->animated());
    EXPECT_EQ(picture->frames[0].delayMs, 0);
    return picture->frames[0];
}

Bytes resourceBytes(std::string_view type, std::string_view name) {
    const auto span = findResource(type, name);
    return Bytes(span.begin(), span.end());
}

TEST(PngDecoding, PaletteWithTransparencyBecomesRgba) {
    test::PngSpec spec;
    spec.width = 3;
    spec.height = 1;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    spec.trnsAlpha = {255, 0, 128};  // entries past the list are opaque
    spec.rows = {{0, 1, 2}};
    const PictureFrame f = decodeOne("PNG", test::encodePng(spec));
    ASSERT_EQ(f.width, 3);
    EXPECT_EQ(pixel(f, 0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(f, 1, 0)[3], 0);
    EXPECT_EQ(pixel(f, 2, 0), (Rgba{0, 0, 255, 128}));
}

TEST(PngDecoding, LowDepthGreyAndGreyColourKeyExpand) {
    test::PngSpec spec;
    spec.width = 4;
    spec.height = 1;
    spec.colourType = PNG_COLOR_TYPE_GRAY;
    spec.bitDepth = 2;
    spec.rows = {{0b00011011}};  // levels 0, 1, 2, 3
    spec.hasTrnsColour = true;
    spec.trnsColour.gray = 2;
    const PictureFrame f = decodeOne("PNG", test::encodePng(spec));
    EXPECT_EQ(pixel(f, 0, 0), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(pixel(f, 1, 0), (Rgba{85, 85, 85, 255}));
    EXPECT_EQ(pixel(f, 2, 0)[3], 0);  // the colour key
    EXPECT_EQ(pixel(f, 3, 0), (Rgba{255, 255, 255, 255}));
}

TEST(PngDecoding, SixteenBitGreyAlphaScalesToEightBits) {
    test::PngSpec spec;
    spec.width = 2;
    spec.height = 1;
    spec.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
    spec.bitDepth = 16;
    spec.rows = {{0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0xFF, 0xFF}};
    const PictureFrame f = decodeOne("PNG", test::encodePng(spec));
    EXPECT_EQ(pixel(f, 0, 0), (Rgba{255, 255, 255, 128}));
    EXPECT_EQ(pixel(f, 1, 0), (Rgba{0, 0, 0, 255}));
}

TEST(PngDecoding, OpaqueRgbGetsFullAlphaAndInterlacedRowsLandInPlace) {
    test::PngSpec spec;
    spec.width = 9;
    spec.height = 9;
    spec.colourType = PNG_COLOR_TYPE_RGB;
    spec.interlaced = true;
    for (int y = 0; y < 9; ++y) {
        Bytes row;
        for (int x = 0; x < 9; ++x) {
            row.push_back(static_cast<std::uint8_t>(x * 20));
            row.push_back(static_cast<std::uint8_t>(y * 20));
            row.push_back(7);
        }
        spec.rows.push_back(row);
    }
    const PictureFrame f = decodeOne("PNG", test::encodePng(spec));
    ASSERT_EQ(f.height, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(pixel(f, x, y), (Rgba{x * 20, y * 20, 7, 255})) << x << "," << y;
}

TEST(PngDecoding, TruncatedOrDamagedDataIsRefused) {
    const Bytes whole = resourceBytes("PNG", "BUTTON_C");
    ASSERT_TRUE(decodePicture("PNG", whole).has_value());
    // Cut in the signature, in the header, in the pixels, and just before the end chunk's end.
    for (std::size_t keep : {std::size_t{4}, std::size_t{20}, whole.size() / 2, whole.size() - 1}) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_FALSE(decodePicture("PNG", cut).has_value()) << "kept " << keep;
    }
    Bytes damaged = whole;
    damaged[whole.size() / 2] ^= 0x5A;  // inside the compressed pixels: the chunk's CRC no longer fits
    EXPECT_FALSE(decodePicture("PNG", damaged).has_value());
    EXPECT_FALSE(decodePicture("PNG", Bytes{}).has_value());
    EXPECT_FALSE(decodePicture("PNG", resourceBytes("JPEG", "BACKGROUND")).has_value());
}

TEST(PngDecoding, OversizedHeaderIsRefusedBeforeAnyAllocation) {
    // A valid header claiming 100000 x 100000 pixels, then nothing.
    test::PngSpec spec;
    spec.width = 1;
    spec.height = 1;
    spec.colourType = PNG_COLOR_TYPE_GRAY;
    spec.rows = {{0}};
    Bytes bytes = test::encodePng(spec);
    const std::uint8_t huge[] = {0x00, 0x01, 0x86, 0xA0};
    std::copy(std::begin(huge), std::end(huge), bytes.begin() + 16);  // width
    std::copy(std::begin(huge), std::end(huge), bytes.begin() + 20);  // height
    // Keep the header chunk's CRC right, so that only the size can be the reason to refuse.
    const std::uint32_t crc = crc32(bytes.data() + 12, 17);
    for (int i = 0; i < 4; ++i)
        bytes[29 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    EXPECT_FALSE(decodePicture("PNG", bytes).has_value());
}

TEST(JpegDecoding, ColourAndGreyPicturesComeOutOpaqueRgba) {
    const PictureFrame background = decodeOne("JPEG", resourceBytes("JPEG", "BACKGROUND"));
    EXPECT_EQ(background.width, 520);
    EXPECT_EQ(pixel(background, 260, 200)[3], 255);

    const PictureFrame grey = decodeOne("JPEG", test::encodeGreyJpeg(16, 8, 100));
    ASSERT_EQ(grey.width, 16);
    ASSERT_EQ(grey.height, 8);
    const Rgba p = pixel(grey, 5, 5);
    EXPECT_NEAR(p[0], 100, 1);
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    EXPECT_EQ(p[3], 255);
}

TEST(JpegDecoding, TruncatedOrForeignDataIsRefused) {
    const Bytes whole = resourceBytes("JPEG", "BACKGROUND");
    // libjpeg would quietly fill the missing part with grey; a cut picture must not pass.
    for (std::size_t keep : {std::size_t{2}, std::size_t{300}, whole.size() / 2, whole.size() - 2}) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_FALSE(decodePicture("JPEG", cut).has_value()) << "kept " << keep;
    }
    EXPECT_FALSE(decodePicture("JPEG", Bytes{}).has_value());
    EXPECT_FALSE(decodePicture("JPEG", resourceBytes("PNG", "BUTTON_C")).has_value());
    EXPECT_FALSE(decodePicture("BMP", whole).has_value());
    EXPECT_TRUE(decodePicture("jpeg", whole).has_value());
}

}  // namespace
}  // namespace kivota
