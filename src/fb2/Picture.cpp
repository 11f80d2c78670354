#include "fb2/Picture.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace {

constexpr int64_t kMaxPixels = kMaxPicturePixels;

bool SizeAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPixels;
}

std::unique_ptr<TBitmap> NewBitmap(int64_t width, int64_t height) {
    if (!SizeAllowed(width, height)) return nullptr;
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->Width = static_cast<int>(width);
    bitmap->Height = static_cast<int>(height);
    bitmap->Pixels.assign(static_cast<size_t>(width * height * 4), 0xFF);
    return bitmap;
}

// ---- PNG

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

void PngRead(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->offset) png_error(png, "truncated");
    std::memcpy(out, source->data + source->offset, length);
    source->offset += length;
}

void PngWarning(png_structp, png_const_charp) {}

// Damaged pictures are common in books: fail quietly instead of printing libpng's message.
[[noreturn]] void PngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

std::unique_ptr<TBitmap> DecodePng(const uint8_t* data, size_t size) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png) return nullptr;
    png_infop info = png_create_info_struct(png);
    // Everything the decoding changes lives behind a pointer fixed before setjmp, so that
    // nothing is read from a local variable changed between setjmp and a longjmp.
    struct State {
        std::unique_ptr<TBitmap> bitmap;
        std::vector<png_bytep> rows;
        PngSource source;
    };
    const auto state = std::make_unique<State>();
    state->source = {data, size, 0};
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return nullptr;
    }
    std::unique_ptr<TBitmap>& bitmap = state->bitmap;
    std::vector<png_bytep>& rows = state->rows;
    png_set_read_fn(png, &state->source, PngRead);
    png_read_info(png, info);
    bitmap = NewBitmap(png_get_image_width(png, info), png_get_image_height(png, info));
    if (!bitmap) png_error(png, "size");
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    rows.resize(static_cast<size_t>(bitmap->Height));
    for (int y = 0; y < bitmap->Height; ++y)
        rows[static_cast<size_t>(y)] = bitmap->Pixels.data() + static_cast<size_t>(y) * bitmap->Width * 4;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return std::move(bitmap);
}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

// ---- JPEG

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}
void JpegSilence(j_common_ptr) {}

std::unique_ptr<TBitmap> DecodeJpeg(const uint8_t* data, size_t size) {
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
    error.manager.output_message = JpegSilence;
    struct State {
        std::unique_ptr<TBitmap> bitmap;
        std::vector<uint8_t> row;
    };
    const auto state = std::make_unique<State>();
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return nullptr;
    }
    std::unique_ptr<TBitmap>& bitmap = state->bitmap;
    std::vector<uint8_t>& row = state->row;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    // Refused on the declared size, before a progressive image's buffers are allocated.
    if (static_cast<int64_t>(info.image_width) * info.image_height > kMaxPixels) {
        jpeg_destroy_decompress(&info);
        return nullptr;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    bitmap = NewBitmap(info.output_width, info.output_height);
    if (!bitmap || info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return nullptr;
    }
    row.resize(static_cast<size_t>(info.output_width) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const int y = static_cast<int>(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        uint8_t* out = bitmap->Pixels.data() + static_cast<size_t>(y) * bitmap->Width * 4;
        for (int x = 0; x < bitmap->Width; ++x) {
            out[x * 4 + 0] = row[static_cast<size_t>(x) * 3 + 2];
            out[x * 4 + 1] = row[static_cast<size_t>(x) * 3 + 1];
            out[x * 4 + 2] = row[static_cast<size_t>(x) * 3 + 0];
            out[x * 4 + 3] = 0xFF;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return std::move(bitmap);
}

}  // namespace

TBitmap ScaledToFit(const TBitmap& source, int maxWidth, int maxHeight) {
    if (source.Width <= 0 || source.Height <= 0 || (source.Width <= maxWidth && source.Height <= maxHeight))
        return source;
    // The side that overflows most sets the scale.
    const bool byHeight =
        static_cast<int64_t>(source.Height) * maxWidth >= static_cast<int64_t>(source.Width) * maxHeight;
    TBitmap out;
    if (byHeight) {
        out.Height = std::max(1, maxHeight);
        out.Width = std::max(1, static_cast<int>(static_cast<int64_t>(source.Width) * out.Height / source.Height));
    } else {
        out.Width = std::max(1, maxWidth);
        out.Height = std::max(1, static_cast<int>(static_cast<int64_t>(source.Height) * out.Width / source.Width));
    }
    out.Pixels.resize(static_cast<size_t>(out.Width) * static_cast<size_t>(out.Height) * 4);
    for (int y = 0; y < out.Height; ++y) {
        const int y0 = static_cast<int>(static_cast<int64_t>(y) * source.Height / out.Height);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * source.Height / out.Height));
        for (int x = 0; x < out.Width; ++x) {
            const int x0 = static_cast<int>(static_cast<int64_t>(x) * source.Width / out.Width);
            const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * source.Width / out.Width));
            uint32_t sum[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy) {
                const uint8_t* row =
                    source.Pixels.data() + static_cast<size_t>(sy) * static_cast<size_t>(source.Width) * 4;
                for (int sx = x0; sx < x1; ++sx)
                    for (size_t c = 0; c < 4; ++c)
                        sum[c] += row[static_cast<size_t>(sx) * 4 + c];
            }
            const uint32_t n = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
            uint8_t* out4 = out.Pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(out.Width) + x) * 4;
            for (size_t c = 0; c < 4; ++c)
                out4[c] = static_cast<uint8_t>(sum[c] / n);
        }
    }
    return out;
}

std::vector<uint8_t> EncodeJpeg(const TBitmap& bitmap, int quality) {
    if (bitmap.Width <= 0 || bitmap.Height <= 0) return {};
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
    error.manager.output_message = JpegSilence;
    struct State {
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        std::vector<uint8_t> row;
        ~State() { std::free(buffer); }
    };
    const auto state = std::make_unique<State>();
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &state->buffer, &state->size);
    info.image_width = static_cast<JDIMENSION>(bitmap.Width);
    info.image_height = static_cast<JDIMENSION>(bitmap.Height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    state->row.resize(static_cast<size_t>(bitmap.Width) * 3);
    while (info.next_scanline < info.image_height) {
        const uint8_t* in = bitmap.Pixels.data() + static_cast<size_t>(info.next_scanline) * bitmap.Width * 4;
        for (size_t x = 0; x < static_cast<size_t>(bitmap.Width); ++x) {
            const unsigned alpha = in[x * 4 + 3];
            for (size_t c = 0; c < 3; ++c)  // B, G, R in; R, G, B out
                state->row[x * 3 + c] = static_cast<uint8_t>((in[x * 4 + 2 - c] * alpha + 255 * (255 - alpha)) / 255);
        }
        JSAMPROW rows[1] = {state->row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::vector<uint8_t>(state->buffer, state->buffer + state->size);
}

namespace {

// ---- GIF

struct GifSource {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

int GifRead(GifFileType* gif, GifByteType* out, int length) {
    auto* source = static_cast<GifSource*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(length), source->size - source->offset);
    std::memcpy(out, source->data + source->offset, n);
    source->offset += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// The first frame of a GIF, read record by record: a frame's declared size is checked before
// any of it is decoded (a small screen may declare a huge frame), the frame is decoded line by
// line into the screen, and no later frame is read.
std::unique_ptr<TBitmap> DecodeGif(const uint8_t* data, size_t size) {
    GifSource source{data, size, 0};
    int error = 0;
    const std::unique_ptr<GifFileType, GifCloser> handle(DGifOpen(&source, GifRead, &error));
    GifFileType* gif = handle.get();
    if (!gif) return nullptr;
    // The screen size is known from the header: a picture too large is refused before its frames are read.
    if (static_cast<int64_t>(gif->SWidth) * gif->SHeight > kMaxPixels) return nullptr;
    int transparent = -1;
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) != GIF_OK) return nullptr;
        if (record == TERMINATE_RECORD_TYPE) return nullptr;  // no frame at all
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* extension = nullptr;
            if (DGifGetExtension(gif, &code, &extension) != GIF_OK) return nullptr;
            GraphicsControlBlock gcb;
            if (code == GRAPHICS_EXT_FUNC_CODE && extension && extension[0] >= 4 &&
                DGifExtensionToGCB(extension[0], extension + 1, &gcb) == GIF_OK)
                transparent = gcb.TransparentColor;
            while (extension)
                if (DGifGetExtensionNext(gif, &extension) != GIF_OK) return nullptr;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) != GIF_OK) return nullptr;
        const GifImageDesc& d = gif->Image;
        if (d.Width <= 0 || d.Height <= 0 || static_cast<int64_t>(d.Width) * d.Height > kMaxPixels) return nullptr;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        std::unique_ptr<TBitmap> bitmap = NewBitmap(gif->SWidth, gif->SHeight);
        if (!bitmap || !map) return nullptr;
        std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
        // Interlaced frames send every 8th line from 0, then from 4, every 4th from 2, every 2nd from 1.
        static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = d.Interlace ? kStart[pass] : 0; y < d.Height; y += d.Interlace ? kStep[pass] : 1) {
                if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK) return nullptr;
                const int py = d.Top + y;
                if (py < 0 || py >= bitmap->Height) continue;
                for (int x = 0; x < d.Width; ++x) {
                    const int px = d.Left + x;
                    if (px < 0 || px >= bitmap->Width) continue;
                    const int index = line[static_cast<size_t>(x)];
                    if (index == transparent || index >= map->ColorCount) continue;
                    uint8_t* out = bitmap->Pixels.data() + (static_cast<size_t>(py) * bitmap->Width + px) * 4;
                    out[0] = map->Colors[index].Blue;
                    out[1] = map->Colors[index].Green;
                    out[2] = map->Colors[index].Red;
                }
            }
        }
        return bitmap;
    }
}

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

TPictureFormat SniffPictureFormat(const uint8_t* data, size_t size) {
    if (!data || size < 4) return TPictureFormat::None;
    if (data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') return TPictureFormat::Png;
    if (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF && data[3] == 0xE0) return TPictureFormat::Jpeg;
    if (data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && data[3] == '8') return TPictureFormat::Gif;
    if (data[0] == 'B' && data[1] == 'M' && data[2] == 0xF6 && data[3] == 0xAC) return TPictureFormat::Gif;
    return TPictureFormat::None;
}

TPictureFormat FormatOfContentType(const std::string& contentType) {
    if (contentType == "image/jpeg") return TPictureFormat::Jpeg;
    if (contentType == "image/png") return TPictureFormat::Png;
    if (contentType == "image/gif") return TPictureFormat::Gif;
    return TPictureFormat::None;
}

bool ReadPictureSize(TPictureFormat format, const uint8_t* data, size_t size, int& width, int& height) {
    int64_t w = 0, h = 0;
    auto be16 = [&](size_t at) { return static_cast<int64_t>(data[at]) << 8 | data[at + 1]; };
    auto be32 = [&](size_t at) { return be16(at) << 16 | be16(at + 2); };
    auto le16 = [&](size_t at) { return static_cast<int64_t>(data[at + 1]) << 8 | data[at]; };
    if (!data) return false;
    switch (format) {
        case TPictureFormat::Png:
            // Signature, then the IHDR chunk: length, "IHDR", width, height.
            if (size < 24 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
            w = be32(16);
            h = be32(20);
            break;
        case TPictureFormat::Gif:
            if (size < 10) return false;
            w = le16(6);
            h = le16(8);
            break;
        case TPictureFormat::Jpeg: {
            // The first start-of-frame marker (not DHT, JPG or DAC) carries the size.
            size_t at = 2;
            while (at + 4 <= size) {
                if (data[at] != 0xFF) return false;
                const uint8_t marker = data[at + 1];
                if (marker == 0xFF) {
                    ++at;
                    continue;
                }
                if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
                    at += 2;
                    continue;
                }
                const size_t length = static_cast<size_t>(be16(at + 2));
                if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
                    if (at + 9 > size) return false;
                    h = be16(at + 5);
                    w = be16(at + 7);
                    break;
                }
                if (length < 2) return false;
                at += 2 + length;
            }
            break;
        }
        default:
            return false;
    }
    if (!SizeAllowed(w, h)) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::unique_ptr<TBitmap> DecodePicture(TPictureFormat format, const uint8_t* data, size_t size) {
    if (!data || size == 0) return nullptr;
    switch (format) {
        case TPictureFormat::Png:
            return DecodePng(data, size);
        case TPictureFormat::Jpeg:
            return DecodeJpeg(data, size);
        case TPictureFormat::Gif:
            return DecodeGif(data, size);
        default:
            return nullptr;
    }
}

std::vector<uint8_t> EncodeBmp(const TBitmap& bitmap) {
    const uint32_t rowSize = (static_cast<uint32_t>(bitmap.Width) * 3 + 3) & ~3u;
    const uint32_t imageSize = rowSize * static_cast<uint32_t>(bitmap.Height);
    std::vector<uint8_t> out;
    out.reserve(54 + imageSize);
    out.push_back('B');
    out.push_back('M');
    PutLE(out, 54 + imageSize, 4);
    PutLE(out, 0, 4);
    PutLE(out, 54, 4);
    PutLE(out, 40, 4);
    PutLE(out, static_cast<uint32_t>(bitmap.Width), 4);
    PutLE(out, static_cast<uint32_t>(bitmap.Height), 4);
    PutLE(out, 1, 2);
    PutLE(out, 24, 2);
    PutLE(out, 0, 4);
    PutLE(out, imageSize, 4);
    PutLE(out, 2835, 4);
    PutLE(out, 2835, 4);
    PutLE(out, 0, 4);
    PutLE(out, 0, 4);
    for (int y = bitmap.Height - 1; y >= 0; --y) {
        const uint8_t* row = bitmap.Pixels.data() + static_cast<size_t>(y) * bitmap.Width * 4;
        for (int x = 0; x < bitmap.Width; ++x)
            out.insert(out.end(), row + x * 4, row + x * 4 + 3);
        for (uint32_t pad = static_cast<uint32_t>(bitmap.Width) * 3; pad < rowSize; ++pad)
            out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> EncodePng(const TBitmap& bitmap, bool fast) {
    std::vector<uint8_t> out;
    if (bitmap.Width <= 0 || bitmap.Height <= 0) return out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png) return out;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return {};
    }
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width), static_cast<png_uint_32>(bitmap.Height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_bgr(png);
    if (fast) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_compression_level(png, 3);
    }
    png_write_info(png, info);
    for (int y = 0; y < bitmap.Height; ++y)
        png_write_row(png, const_cast<png_bytep>(bitmap.Pixels.data() + static_cast<size_t>(y) * bitmap.Width * 4));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}
