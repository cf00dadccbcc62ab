#include "app/resources/picture_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>
#include <memory>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace kivota {
namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool sizeAccepted(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

std::size_t rgbaBytes(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

Picture stillPicture(PictureFrame frame) {
    Picture picture;
    picture.width = frame.width;
    picture.height = frame.height;
    picture.frames.push_back(std::move(frame));
    return picture;
}

// ------------------------------------------------------------------------------------- PNG
//
// libpng reports errors by longjmp. The function that calls setjmp keeps everything it changes
// afterwards in a state object owned by its caller, so nothing it reads after the jump is an
// indeterminate local, and no C++ object with a destructor is created after setjmp.

struct PngInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

void pngReadBytes(png_structp png, png_bytep out, std::size_t count) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (count > input->size - input->position) {
        png_error(png, "truncated");
    }
    std::memcpy(out, input->data + input->position, count);
    input->position += count;
}

[[noreturn]] void pngFail(png_structp png, png_const_charp /*message*/) { png_longjmp(png, 1); }

void pngIgnoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

struct PngState {
    PngInput input{};
    png_structp png = nullptr;
    png_infop info = nullptr;
    PictureFrame frame;
    std::vector<png_bytep> rows;

    ~PngState() {
        if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    }
};

bool readPng(PngState* s) {
    if (setjmp(png_jmpbuf(s->png))) {  // NOLINT(cert-err52-cpp): libpng's error protocol
        return false;
    }
    png_set_read_fn(s->png, &s->input, pngReadBytes);
    png_set_user_limits(s->png, kMaxPictureSide, kMaxPictureSide);
    png_read_info(s->png, s->info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(s->png, s->info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    if (!sizeAccepted(width, height)) {
        return false;
    }
    // Everything becomes 8-bit RGBA: palettes and grey expanded, 16-bit scaled down,
    // a tRNS chunk turned into alpha, and opaque pictures given an opaque alpha channel.
    const bool hasTrns = png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
    if (bitDepth == 16) png_set_scale_16(s->png);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s->png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(s->png);
    if (hasTrns) png_set_tRNS_to_alpha(s->png);
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(s->png);
    if ((colourType & PNG_COLOR_MASK_ALPHA) == 0 && !hasTrns) png_set_add_alpha(s->png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);

    s->frame.width = static_cast<int>(width);
    s->frame.height = static_cast<int>(height);
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    if (png_get_rowbytes(s->png, s->info) != stride) {
        return false;
    }
    s->frame.rgba.resize(rgbaBytes(s->frame.width, s->frame.height));
    s->rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) {
        s->rows[y] = s->frame.rgba.data() + y * stride;
    }
    png_read_image(s->png, s->rows.data());
    // Read through IEND so that a file cut short after its pixels is refused too.
    png_read_end(s->png, nullptr);
    return true;
}

std::optional<Picture> decodePng(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
        return std::nullopt;
    }
    PngState state;
    state.input = {bytes.data(), bytes.size(), 0};
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFail, pngIgnoreWarning);
    if (state.png == nullptr) return std::nullopt;
    state.info = png_create_info_struct(state.png);
    if (state.info == nullptr) return std::nullopt;
    if (!readPng(&state)) {
        return std::nullopt;
    }
    return stillPicture(std::move(state.frame));
}

// ------------------------------------------------------------------------------------ JPEG

struct JpegErrors {
    jpeg_error_mgr manager;  // first member: libjpeg hands back a pointer to it
    std::jmp_buf jump;
};

// libjpeg and libpng report a damaged picture only by a jump back to the decoder's setjmp.
[[noreturn]] void jpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);  // NOLINT(cert-err52-cpp)
}

// libjpeg reports a truncated or damaged stream only as a warning and fills in grey; each
// warning is counted so that such a picture is refused. Nothing is printed.
void jpegMessage(j_common_ptr info, int level) {
    if (level < 0) ++info->err->num_warnings;
}

void jpegSilent(j_common_ptr /*info*/) {}

struct JpegState {
    JpegErrors errors{};
    jpeg_decompress_struct info{};
    bool created = false;
    PictureFrame frame;
    std::vector<std::uint8_t> cmykRow;

    ~JpegState() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

void cmykToRgba(const std::uint8_t* cmyk, std::uint8_t* rgba, int width, bool adobeInverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, rgba += 4) {
        // Adobe writes CMYK inverted (0 = full ink); others write it plain.
        auto ink = [&](int i) { return adobeInverted ? cmyk[i] : static_cast<std::uint8_t>(255 - cmyk[i]); };
        const int k = ink(3);
        rgba[0] = static_cast<std::uint8_t>(ink(0) * k / 255);
        rgba[1] = static_cast<std::uint8_t>(ink(1) * k / 255);
        rgba[2] = static_cast<std::uint8_t>(ink(2) * k / 255);
        rgba[3] = 255;
    }
}

bool readJpeg(JpegState* s, std::span<const std::uint8_t> bytes) {
    s->info.err = jpeg_std_error(&s->errors.manager);
    s->errors.manager.error_exit = jpegFail;
    s->errors.manager.emit_message = jpegMessage;
    s->errors.manager.output_message = jpegSilent;
    if (setjmp(s->errors.jump)) {  // NOLINT(cert-err52-cpp): libjpeg's error protocol
        return false;
    }
    jpeg_create_decompress(&s->info);
    s->created = true;
    jpeg_mem_src(&s->info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&s->info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    if (!sizeAccepted(s->info.image_width, s->info.image_height)) {
        return false;
    }
    const bool cmyk = s->info.jpeg_color_space == JCS_CMYK || s->info.jpeg_color_space == JCS_YCCK;
    s->info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_start_decompress(&s->info);
    if (s->info.output_components != 4) {
        return false;
    }
    s->frame.width = static_cast<int>(s->info.output_width);
    s->frame.height = static_cast<int>(s->info.output_height);
    const std::size_t stride = static_cast<std::size_t>(s->frame.width) * 4;
    s->frame.rgba.resize(rgbaBytes(s->frame.width, s->frame.height));
    if (cmyk) s->cmykRow.resize(stride);
    while (s->info.output_scanline < s->info.output_height) {
        std::uint8_t* row = s->frame.rgba.data() + s->info.output_scanline * stride;
        JSAMPROW target = cmyk ? s->cmykRow.data() : row;
        if (jpeg_read_scanlines(&s->info, &target, 1) != 1) {
            return false;
        }
        if (cmyk) cmykToRgba(s->cmykRow.data(), row, s->frame.width, s->info.saw_Adobe_marker != 0);
    }
    jpeg_finish_decompress(&s->info);
    return s->errors.manager.num_warnings == 0;
}

std::optional<Picture> decodeJpeg(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    JpegState state;
    if (!readJpeg(&state, bytes)) {
        return std::nullopt;
    }
    return stillPicture(std::move(state.frame));
}

// ------------------------------------------------------------------------------------- GIF

struct GifInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

int gifReadBytes(GifFileType* gif, GifByteType* out, int count) {
    auto* input = static_cast<GifInput*>(gif->UserData);
    if (count <= 0) return 0;
    const std::size_t wanted = static_cast<std::size_t>(count);
    const std::size_t take = std::min(wanted, input->size - input->position);
    if (take == 0) return 0;
    std::memcpy(out, input->data + input->position, take);
    input->position += take;
    return static_cast<int>(take);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

// The part of a frame's rectangle that lies on the canvas.
Rect clippedRect(const GifImageDesc& desc, int width, int height) {
    Rect r;
    r.left = std::clamp(desc.Left, 0, width);
    r.top = std::clamp(desc.Top, 0, height);
    r.right = std::clamp(desc.Left + desc.Width, 0, width);
    r.bottom = std::clamp(desc.Top + desc.Height, 0, height);
    return r;
}

void clearRect(std::vector<std::uint8_t>& canvas, int width, const Rect& r) {
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint8_t* row =
            canvas.data() +
            (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(r.left)) * 4;
        std::memset(row, 0, static_cast<std::size_t>(r.right - r.left) * 4);
    }
}

// Frame delay in milliseconds from the graphics control block's centiseconds. Like the
// browsers, a delay of 0 or 1 cs (which would spin the animation) is shown for 100 ms.
int frameDelayMs(int centiseconds) { return centiseconds <= 1 ? 100 : centiseconds * 10; }

// The frames a GIF stream holds, found by walking its blocks without decoding anything.
struct GifLayout {
    std::int64_t frames = 0;
    bool framesInsideLimits = true;  // every frame's rectangle within the size limits
};

GifLayout scanGifLayout(std::span<const std::uint8_t> bytes) {
    GifLayout layout;
    auto colourTableBytes = [](std::uint8_t flags) {
        return (flags & 0x80) != 0 ? std::size_t{3} << ((flags & 0x07) + 1) : std::size_t{0};
    };
    auto skipSubBlocks = [&](std::size_t pos) {
        while (pos < bytes.size()) {
            const std::size_t length = bytes[pos++];
            if (length == 0) break;
            pos += length;
        }
        return pos;
    };
    if (bytes.size() < 13) return layout;
    std::size_t pos = 13 + colourTableBytes(bytes[10]);
    // What follows the blocks (an unknown byte, the trailer, the end) is giflib's to judge.
    while (pos < bytes.size()) {
        if (bytes[pos] == 0x21) {  // extension: label, then sub-blocks
            pos = skipSubBlocks(pos + 2);
        } else if (bytes[pos] == 0x2C && bytes.size() - pos >= 10) {  // image descriptor
            const int width = bytes[pos + 5] | (bytes[pos + 6] << 8);
            const int height = bytes[pos + 7] | (bytes[pos + 8] << 8);
            layout.framesInsideLimits = layout.framesInsideLimits && width <= kMaxPictureSide &&
                                        height <= kMaxPictureSide && std::int64_t{width} * height <= kMaxPicturePixels;
            ++layout.frames;
            pos += 10 + colourTableBytes(bytes[pos + 9]);
            pos = skipSubBlocks(pos + 1);  // after the LZW code size
        } else {
            break;
        }
    }
    return layout;
}

// Every frame is a full canvas once composited, so the frames together must stay within the
// total size limit: otherwise a file of a few hundred bytes (many one-pixel frames on a large
// canvas) would take gigabytes.
bool gifFramesAccepted(std::int64_t frames, int width, int height) {
    return frames <= kMaxPicturePixels / (std::int64_t{width} * height);
}

std::optional<Picture> decodeGif(std::span<const std::uint8_t> bytes) {
    GifInput input{bytes.data(), bytes.size(), 0};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, gifReadBytes, &error));
    if (!gif) return std::nullopt;
    // The screen descriptor is read by now: refuse an oversized canvas before any frame is read.
    if (!sizeAccepted(gif->SWidth, gif->SHeight)) return std::nullopt;
    // giflib allocates every frame's rectangle as it reads it: measure them all first.
    const GifLayout layout = scanGifLayout(bytes);
    if (!layout.framesInsideLimits || !gifFramesAccepted(layout.frames, gif->SWidth, gif->SHeight)) {
        return std::nullopt;
    }
    if (DGifSlurp(gif.get()) != GIF_OK || gif->ImageCount <= 0) return std::nullopt;
    if (!gifFramesAccepted(gif->ImageCount, gif->SWidth, gif->SHeight)) return std::nullopt;

    const int width = gif->SWidth;
    const int height = gif->SHeight;
    Picture picture;
    picture.width = width;
    picture.height = height;

    std::vector<std::uint8_t> canvas(rgbaBytes(width, height), 0);
    std::vector<std::uint8_t> beforeFrame;  // canvas to restore after a "restore to previous" frame
    int previousDisposal = DISPOSAL_UNSPECIFIED;
    Rect previousRect;

    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& desc = image.ImageDesc;

        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        control.DelayTime = 0;
        DGifSavedExtensionToGCB(gif.get(), i, &control);  // a frame without a block keeps the defaults

        // What the previous frame asked to be done once its time was up.
        if (previousDisposal == DISPOSE_BACKGROUND) {
            clearRect(canvas, width, previousRect);
        } else if (previousDisposal == DISPOSE_PREVIOUS && !beforeFrame.empty()) {
            canvas = beforeFrame;
        }
        if (control.DisposalMode == DISPOSE_PREVIOUS) {
            beforeFrame = canvas;
        }

        const ColorMapObject* colours = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
        if (colours == nullptr || colours->Colors == nullptr || image.RasterBits == nullptr) {
            return std::nullopt;
        }
        const Rect r = clippedRect(desc, width, height);
        for (int y = r.top; y < r.bottom; ++y) {
            const GifByteType* source =
                image.RasterBits + static_cast<std::size_t>(y - desc.Top) * static_cast<std::size_t>(desc.Width);
            std::uint8_t* target = canvas.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
            for (int x = r.left; x < r.right; ++x) {
                const int index = source[x - desc.Left];
                if (index == control.TransparentColor || index >= colours->ColorCount) {
                    continue;  // transparent: what lies beneath stays visible
                }
                const GifColorType& c = colours->Colors[index];
                std::uint8_t* pixel = target + static_cast<std::size_t>(x) * 4;
                pixel[0] = c.Red;
                pixel[1] = c.Green;
                pixel[2] = c.Blue;
                pixel[3] = 255;
            }
        }

        PictureFrame frame;
        frame.width = width;
        frame.height = height;
        frame.rgba = canvas;
        frame.delayMs = frameDelayMs(control.DelayTime);
        picture.frames.push_back(std::move(frame));

        previousDisposal = control.DisposalMode;
        previousRect = r;
    }
    return picture;
}

}  // namespace

std::optional<Picture> decodePicture(std::string_view type, std::span<const std::uint8_t> bytes) {
    if (sameIgnoringCase(type, "PNG")) return decodePng(bytes);
    if (sameIgnoringCase(type, "JPEG")) return decodeJpeg(bytes);
    if (sameIgnoringCase(type, "GIF")) return decodeGif(bytes);
    return std::nullopt;
}

}  // namespace kivota
