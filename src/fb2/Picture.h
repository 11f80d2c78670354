#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A plain 32-bit picture: rows top to bottom, pixels as B, G, R, A bytes.
struct TBitmap {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Pixels;  // Width * Height * 4
};

enum class TPictureFormat { None, Png, Jpeg, Gif };

// The format by the first four bytes: 0x89 PNG, FF D8 FF E0, "GIF8", and "BM" F6 AC read as GIF.
TPictureFormat SniffPictureFormat(const uint8_t* data, size_t size);
// The format of a content type ("image/jpeg", "image/png", "image/gif"), else None.
TPictureFormat FormatOfContentType(const std::string& contentType);
// Pictures are refused beyond these sizes, before any pixel memory is taken.
inline constexpr int kMaxPictureSide = 16384;
inline constexpr int64_t kMaxPicturePixels = 64 * 1024 * 1024;

// The width and height a PNG, JPEG or GIF file declares in its header, read without decoding;
// false when the header cannot be read or the size is beyond the limits above.
bool ReadPictureSize(TPictureFormat format, const uint8_t* data, size_t size, int& width, int& height);

// Decodes a PNG, JPEG or GIF picture; null when it cannot be decoded.
std::unique_ptr<TBitmap> DecodePicture(TPictureFormat format, const uint8_t* data, size_t size);
// The picture scaled down (box filter, proportions kept) to fit maxWidth x maxHeight; a picture
// that fits already is returned as it is.
TBitmap ScaledToFit(const TBitmap& source, int maxWidth, int maxHeight);
// The picture as a Windows BMP file (24-bit, bottom-up rows).
std::vector<uint8_t> EncodeBmp(const TBitmap& bitmap);
// The picture as a PNG file; empty when it cannot be encoded. fast trades some size for speed
// (one row filter, light compression): for pictures made to be shown at once.
std::vector<uint8_t> EncodePng(const TBitmap& bitmap, bool fast = false);
// The picture as a baseline JPEG file of a quality from 1 to 100, transparency laid on white;
// empty when it cannot be encoded.
std::vector<uint8_t> EncodeJpeg(const TBitmap& bitmap, int quality);
