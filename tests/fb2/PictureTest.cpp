#include "fb2/Base64.h"
#include "fb2/Picture.h"

#include <functional>
#include <string>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include "TestUtils.h"

#include "fb2/FBCover.h"
#include "fb2/MyStream.h"

namespace {

TBitmap Checkerboard() {
    TBitmap b;
    b.Width = 3;
    b.Height = 2;
    for (int i = 0; i < 6; ++i)
        b.Pixels.insert(b.Pixels.end(), {uint8_t(i * 10), uint8_t(i * 20), uint8_t(i * 30), 255});
    return b;
}

TEST(PictureTest, PngRoundTripAndSniffing) {
    const TBitmap b = Checkerboard();
    const std::vector<uint8_t> png = EncodePng(b);
    ASSERT_EQ(SniffPictureFormat(png.data(), png.size()), TPictureFormat::Png);
    const auto decoded = DecodePicture(TPictureFormat::Png, png.data(), png.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Pixels, b.Pixels);
    EXPECT_EQ(DecodePicture(TPictureFormat::Png, png.data(), png.size() / 2), nullptr);  // cut off
    EXPECT_EQ(DecodePicture(TPictureFormat::Jpeg, png.data(), png.size()), nullptr);
    const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0}, gif[] = {'G', 'I', 'F', '8'}, odd[] = {'B', 'M', 0xF6, 0xAC};
    EXPECT_EQ(SniffPictureFormat(jpeg, 4), TPictureFormat::Jpeg);
    EXPECT_EQ(SniffPictureFormat(gif, 4), TPictureFormat::Gif);
    EXPECT_EQ(SniffPictureFormat(odd, 4), TPictureFormat::Gif);
    EXPECT_EQ(SniffPictureFormat(jpeg, 3), TPictureFormat::None);
}

// Only the headers of a progressive JPEG and a GIF that declare a huge picture: both are
// refused on the declared size, before anything of that size is allocated.
TEST(PictureTest, HugeDeclaredSizesAreRefusedBeforeDecoding) {
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    jpeg.insert(jpeg.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    jpeg.insert(jpeg.end(), 64, 1);
    // SOF2 (progressive): 8 bits, 24000 x 24000, one component.
    jpeg.insert(jpeg.end(), {0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x5D, 0xC0, 0x5D, 0xC0, 0x01, 0x01, 0x11, 0x00});
    jpeg.insert(jpeg.end(), {0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01});
    jpeg.insert(jpeg.end(), 16, 0);
    jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9});
    ASSERT_EQ(SniffPictureFormat(jpeg.data(), jpeg.size()), TPictureFormat::Jpeg);
    EXPECT_EQ(DecodePicture(TPictureFormat::Jpeg, jpeg.data(), jpeg.size()), nullptr);

    // GIF89a, screen 30000 x 30000, no colour table, one 1 x 1 frame.
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 0x30, 0x75, 0x30, 0x75, 0x00, 0x00, 0x00};
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B});
    EXPECT_EQ(DecodePicture(TPictureFormat::Gif, gif.data(), gif.size()), nullptr);
}

int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// A GIF of a screen and frames (left, top, width, height, interlaced, colour index of each
// pixel by position), palette: 0 black, 1 red, 2 green, 3 blue; index 3 transparent in frame 0.
struct GifFrame {
    int left, top, width, height;
    bool interlace;
    std::function<int(int, int)> index;
};
std::vector<uint8_t> MakeGif(int width, int height, const std::vector<GifFrame>& frames) {
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &error);
    EXPECT_NE(gif, nullptr);
    const GifColorType colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EXPECT_EQ(EGifPutScreenDesc(gif, width, height, 2, 0, map), GIF_OK);
    for (size_t f = 0; f < frames.size(); ++f) {
        const GifFrame& frame = frames[f];
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = f == 0 ? 3 : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        EGifGCBToExtension(&gcb, extension);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
        EXPECT_EQ(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlace, nullptr),
                  GIF_OK);
        static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        std::vector<GifPixelType> line(static_cast<size_t>(frame.width));
        for (int pass = 0; pass < (frame.interlace ? 4 : 1); ++pass)
            for (int y = frame.interlace ? kStart[pass] : 0; y < frame.height; y += frame.interlace ? kStep[pass] : 1) {
                for (int x = 0; x < frame.width; ++x)
                    line[static_cast<size_t>(x)] = static_cast<GifPixelType>(frame.index(x, y));
                EXPECT_EQ(EGifPutLine(gif, line.data(), frame.width), GIF_OK);
            }
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(map);
    return out;
}

TEST(PictureTest, GifFirstFrameOnlyInterlacedTransparentAndClipped) {
    // An interlaced first frame at (2, 1) running past the screen's right edge: red and green
    // stripes by row, its blue (transparent) column leaving the screen as it was; a second frame
    // that would paint everything black is not shown.
    const std::vector<uint8_t> gif =
        MakeGif(8, 12,
                {{2, 1, 8, 10, true, [](int x, int y) { return x == 0  ? 3
                                                               : y % 2 ? 2
                                                                       : 1; }},
                 {0, 0, 8, 12, false, [](int, int) { return 0; }}});
    const auto bitmap = DecodePicture(TPictureFormat::Gif, gif.data(), gif.size());
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->Width, 8);
    ASSERT_EQ(bitmap->Height, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint8_t* p = bitmap->Pixels.data() + (static_cast<size_t>(y) * 8 + static_cast<size_t>(x)) * 4;
            const bool inFrame = x >= 3 && y >= 1 && y <= 10;
            const int row = y - 1;
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            if (!inFrame) {
                EXPECT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255);  // the white screen, untouched
                continue;
            }
            EXPECT_EQ(p[2], row % 2 ? 0 : 255);  // red
            EXPECT_EQ(p[1], row % 2 ? 255 : 0);  // green
            EXPECT_EQ(p[0], 0);
        }
}

TEST(PictureTest, AGifFrameLargerThanTheCapIsRefusedBeforeDecoding) {
    // A 10 x 10 screen whose frame is 9000 x 8000 (72 million pixels of one colour: a few dozen
    // kilobytes of LZW): the screen passes the size cap, the frame must not.
    const std::vector<uint8_t> gif = MakeGif(10, 10, {{0, 0, 9000, 8000, false, [](int, int) { return 1; }}});
    ASSERT_LT(gif.size(), 1u << 20);
    const CallCost cost =
        CostOf([&] { EXPECT_EQ(DecodePicture(TPictureFormat::Gif, gif.data(), gif.size()), nullptr); });
    EXPECT_LT(cost.Seconds, 1);
    EXPECT_LT(cost.PeakGrowthMiB, 32);
}

TEST(PictureTest, BmpFileLayout) {
    const std::vector<uint8_t> bmp = EncodeBmp(Checkerboard());
    ASSERT_EQ(bmp.size(), 54u + 2 * 12);  // rows of 9 bytes padded to 12
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[2], bmp.size());
    EXPECT_EQ(bmp[18], 3);
    EXPECT_EQ(bmp[22], 2);
    EXPECT_EQ(bmp[28], 24);
    EXPECT_EQ(bmp[54], 30);  // bottom row first: pixel 3, blue channel
}

std::unique_ptr<TBitmap> CoverOf(const std::string& text) {
    TMyMemStream stream;
    stream.Write(text.data(), static_cast<int32_t>(text.size()));
    return GetCover(stream);
}

TEST(PictureTest, CoverFromTheRawText) {
    const std::string data = Base64Encode(EncodePng(Checkerboard()));
    const std::string cover = "<description><coverpage><image l:href=\"#cover.jpg\"/></coverpage></description>";
    const std::string binary = "<binary id=\"cover.jpg\" content-type=\"image/jpeg\">" + data + "</binary>";
    ASSERT_TRUE(CoverOf(cover + binary));
    EXPECT_EQ(CoverOf(cover + binary)->Width, 3);
    EXPECT_TRUE(CoverOf(cover + "<binary id=\"COVER.JPG\" content-type=\"image/png\">" + data + "</binary>"));
    EXPECT_FALSE(CoverOf("<coverpage><image xmlns:l=\"x\" l:href=\"#cover.jpg\"/></coverpage>" + binary));
    EXPECT_FALSE(CoverOf(cover + "<binary id=\"cover.jpg\">" + data.substr(0, 8) + "<x/>" + data + "</binary>"));
    EXPECT_FALSE(CoverOf(cover + "<binary id=\"other\">" + data + "</binary>"));
    EXPECT_FALSE(CoverOf(cover));
}

}  // namespace
