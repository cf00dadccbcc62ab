#include "picture_encoders.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <jpeglib.h>

namespace kivota::test {
namespace {

void appendPng(png_structp png, png_bytep data, std::size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp /*png*/) {}

bool writePng(png_structp png, png_infop info, const PngSpec& spec, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(spec.width), static_cast<png_uint_32>(spec.height), spec.bitDepth,
                 spec.colourType, spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty()) {
        png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    }
    if (!spec.trnsAlpha.empty()) {
        png_set_tRNS(png, info, spec.trnsAlpha.data(), static_cast<int>(spec.trnsAlpha.size()), nullptr);
    } else if (spec.hasTrnsColour) {
        png_set_tRNS(png, info, nullptr, 0, &spec.trnsColour);
    }
    png_write_info(png, info);
    png_write_image(png, rows->data());
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

Bytes encodePng(const PngSpec& spec) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendPng, flushNothing);
    std::vector<Bytes> rowsCopy = spec.rows;
    std::vector<png_bytep> rows;
    for (Bytes& row : rowsCopy) rows.push_back(row.data());
    const bool ok = writePng(png, info, spec, &rows);
    png_destroy_write_struct(&png, &info);
    if (!ok) throw std::runtime_error("test PNG could not be written");
    return out;
}

Bytes encodeGreyJpeg(int width, int height, std::uint8_t level) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    Bytes row(static_cast<std::size_t>(width), level);
    while (info.next_scanline < info.image_height) {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

namespace {

int appendGif(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

struct MapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using Map = std::unique_ptr<ColorMapObject, MapDeleter>;

// giflib wants colour maps of a power-of-two size: pad with black.
Map makeMap(std::vector<GifColorType> colours) {
    std::size_t size = 2;
    while (size < colours.size()) size *= 2;
    colours.resize(size, GifColorType{0, 0, 0});
    return Map(GifMakeMapObject(static_cast<int>(size), colours.data()));
}

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

}  // namespace

Bytes encodeGif(int width, int height, const std::vector<GifColorType>& globalColours,
                const std::vector<GifFrameSpec>& frames) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGif, &error);
    check(gif != nullptr, "EGifOpen");
    EGifSetGifVersion(gif, true);
    Map global = globalColours.empty() ? Map() : makeMap(globalColours);
    check(EGifPutScreenDesc(gif, width, height, 8, 0, global.get()) == GIF_OK, "screen descriptor");
    for (const GifFrameSpec& frame : frames) {
        if (frame.withControlBlock) {
            GraphicsControlBlock control{};
            control.DisposalMode = frame.disposal;
            control.DelayTime = frame.delayCs;
            control.TransparentColor = frame.transparent;
            GifByteType extension[4];
            const std::size_t length = EGifGCBToExtension(&control, extension);
            check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_OK,
                  "control block");
        }
        Map local = frame.localColours.empty() ? Map() : makeMap(frame.localColours);
        check(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local.get()) ==
                  GIF_OK,
              "image descriptor");
        std::vector<int> order;
        if (frame.interlaced) {
            // Interlaced frames are stored in four passes; the encoder takes lines in that order.
            const int offsets[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = offsets[pass]; y < frame.height; y += steps[pass]) order.push_back(y);
        } else {
            for (int y = 0; y < frame.height; ++y) order.push_back(y);
        }
        for (int y : order) {
            Bytes line(frame.indices.begin() + y * frame.width, frame.indices.begin() + (y + 1) * frame.width);
            check(EGifPutLine(gif, line.data(), frame.width) == GIF_OK, "image line");
        }
    }
    check(EGifCloseFile(gif, &error) == GIF_OK, "EGifCloseFile");
    return out;
}

}  // namespace kivota::test
