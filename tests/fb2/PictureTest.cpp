#include "fb2/Base64.h"
#include "fb2/Picture.h"

#include <string>

#include <gtest/gtest.h>

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
