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
