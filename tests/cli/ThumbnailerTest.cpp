#include "cli/Thumbnailer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "TestUtils.h"
#include "common/Encoding.h"
#include "fb2/Base64.h"
#include "fb2/Picture.h"
#include "scan/Packer.h"

namespace {

const std::filesystem::path kCorpus = std::filesystem::path(SHELVARA_CORPUS) / "fb2/fbreaderj";

int Thumbnail(const std::vector<std::string>& args, std::string* err = nullptr) {
    std::ostringstream messages;
    const int status = RunThumbnailer(args, messages);
    if (err) *err = messages.str();
    return status;
}

// A book whose cover is a PNG declaring a size beyond the reader's caps.
std::string HostileBook() {
    std::vector<uint8_t> png = {0x89, 'P',  'N',  'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0,
                                0,    0x9C, 0x40, 0,   0,    0x9C, 0x40, 8,    6, 0, 0, 0,  0,   0,   0,   0};
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook xmlns:l=\"http://www.w3.org/1999/xlink\">"
           "<description><title-info><coverpage><image l:href=\"#c\"/></coverpage><book-title>x</book-title>"
           "</title-info></description><body><p>x</p></body><binary id=\"c\" content-type=\"image/png\">" +
           Base64Encode(png) + "</binary></FictionBook>";
}

TEST(ThumbnailerTest, CoversBecomePngsOfTheAskedSizeAndOthersNothing) {
    TempDir dir;
    // The corpus book's cover is 200 x 277; zipped, it is read from the archive.
    {
        TPacker zip;
        ASSERT_TRUE(zip.Open(PathToAnsi(dir / "book.fb2.zip"), true));
        zip.AddFromBytes("readme.txt", Bytes("not the book"), 0, 0, true);
        zip.AddFromBytes("image.fb2", ReadBytes(kCorpus / "image.fb2"), 0, 0, true);
        zip.Close();
    }
    std::filesystem::copy_file(dir / "book.fb2.zip", dir / "book.fbz");
    WriteBytes(dir / "hostile.fb2", Bytes(HostileBook()));
    struct Case {
        std::filesystem::path input;
        int size;
        int status;
        int width, height;  // of the picture written
    };
    const std::vector<Case> cases{
        {kCorpus / "image.fb2", 128, 0, 92, 128}, {kCorpus / "image.fb2", 1024, 0, 200, 277},  // never enlarged
        {dir / "book.fb2.zip", 64, 0, 46, 64},    {dir / "book.fbz", 256, 0, 184, 256},
        {kCorpus / "poem.fb2", 128, 1, 0, 0},  // no cover
        {dir / "hostile.fb2", 128, 1, 0, 0},   // refused by the reader's caps, before decoding
        {dir / "missing.fb2", 128, 1, 0, 0},      {kCorpus / "image.fb2", 0, 2, 0, 0},  // bad usage
    };
    for (const Case& c : cases) {
        const std::filesystem::path out = dir / "thumb.png";
        std::filesystem::remove(out);
        std::string err;
        const int status = Thumbnail({"-s", std::to_string(c.size), c.input.string(), out.string()}, &err);
        EXPECT_EQ(status, c.status) << c.input << " " << err;
        if (c.status != 0) {
            EXPECT_FALSE(std::filesystem::exists(out)) << c.input;
            EXPECT_FALSE(err.empty());
            continue;
        }
        const std::vector<uint8_t> png = ReadBytes(out);
        int width = 0, height = 0;
        ASSERT_TRUE(ReadPictureSize(TPictureFormat::Png, png.data(), png.size(), width, height)) << c.input;
        EXPECT_EQ(width, c.width) << c.input;
        EXPECT_EQ(height, c.height) << c.input;
    }
    EXPECT_EQ(Thumbnail({"-s", "64", (kCorpus / "image.fb2").string()}), 2);
}

}  // namespace
