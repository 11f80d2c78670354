#include "fb2/Base64.h"
#include "fb2/FBParser.h"

#include <string>

#include <gtest/gtest.h>

#include "common/Encoding.h"
#include "common/Error.h"
#include "fb2/FBDescription.h"
#include "fb2/Picture.h"
#include "fb2/XMLPars.h"

namespace {

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
    "xmlns:l=\"http://www.w3.org/1999/xlink\">";

std::unique_ptr<TFictionBook> Load(const std::string& inner, int keep = kKeepAll, bool* ok = nullptr) {
    const std::string text = kHead + inner + "</FictionBook>";
    auto book = std::make_unique<TFictionBook>();
    const bool loaded = book->LoadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), keep);
    if (ok) *ok = loaded;
    return book;
}

std::string Base64(const std::string& bytes) {
    return Base64Encode({bytes.begin(), bytes.end()});
}

std::string BodyText(const std::string& body) {
    auto book = Load("<body>" + body + "</body>");
    return GetText(*book->FindBody());
}

TEST(FBParserTest, RootMustBeFictionBook) {
    const std::string text = "<?xml version=\"1.0\"?><fictionbook><body><p>x</p></body></fictionbook>";
    TFictionBook book;
    EXPECT_FALSE(book.LoadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), kKeepAll));
    EXPECT_EQ(book.Text, "Not a FictionBook file!");
    EXPECT_FALSE(book.LoadFromBytes(reinterpret_cast<const uint8_t*>("junk"), 4, kKeepAll));
    EXPECT_EQ(book.Text, "Damaged or not an XML file!");
}

TEST(FBParserTest, ParagraphsAndInlineMarkup) {
    auto book = Load("<body><section><p>a<emphasis>b</emphasis>c</p><p>x \t  y</p></section></body>");
    const TSimpleType* section = book->FindBody()->Children[0].get();
    const TSimpleType* p1 = section->Children[0].get();
    ASSERT_EQ(p1->Children.size(), 3u);
    EXPECT_EQ(GetText(*p1), "abc\r\n");
    const TSimpleType* p2 = section->Children[1].get();
    EXPECT_TRUE(p2->Children.empty());
    EXPECT_EQ(p2->Text, "x y");
    // An empty line inside a section adds its (empty) text only.
    EXPECT_EQ(BodyText("<section><p>1</p><empty-line/><p>2</p></section>"), "1\r\n2\r\n");
}

TEST(FBParserTest, QuotationsKeepTheirParagraphs) {
    EXPECT_EQ(BodyText("<section><cite><p>quoted</p><text-author>who</text-author></cite></section>"),
              "quoted\r\nwho\r\n");
}

TEST(FBParserTest, EntitiesReachTheValuesDecoded) {
    auto book = Load(
        "<description><title-info><book-title>Tom &amp; Jerry &#8212; &lt;1&gt;</book-title>"
        "</title-info></description><body><p>a</p></body>");
    const TFBDescription d = ReadDescription(*book);
    EXPECT_EQ(d.TitleInfo.BookTitle, "Tom & Jerry \x97 <1>");
}

TEST(FBParserTest, LinksIdsAndWarnings) {
    auto book = Load(
        "<body><section id=\"Note\"><p id=\"note\">x</p><p><a l:href=\"#NOTE\">1</a>"
        "<a href=\"#note\">2</a><a l:href=\"#missing\">3</a></p></section></body>");
    const TSimpleType* section = book->FindBody()->Children[0].get();
    const TSimpleType* links = section->Children[1].get();
    EXPECT_EQ(links->Children[0]->LinkTarget, section);  // ids ignore letter case; the first wins
    EXPECT_EQ(links->Children[1]->LinkTarget, nullptr);  // a bare href is no link
    EXPECT_EQ(book->Messages, std::vector<std::string>{"Broken internal link : #missing"});

    auto withUnknown = Load(
        "<description><title-info><author><first-name>A</first-name><id>7</id></author>"
        "</title-info></description><body><p>x</p></body>");
    ASSERT_EQ(withUnknown->Messages.size(), 1u);
    EXPECT_EQ(withUnknown->Messages[0], "Unknown tag : <id>7</id>");
}

TEST(FBParserTest, FindChildIteratesTheAuthors) {
    auto book = Load(
        "<description><title-info><author><nickname>1</nickname></author><genre>g</genre>"
        "<author><nickname>2</nickname></author><author><nickname>3</nickname></author>"
        "</title-info></description><body><p>x</p></body>");
    TSimpleType* titleInfo = book->Description()->Children[0].get();
    std::vector<std::string> names;
    for (TSimpleType* a = titleInfo->FindChild(12, false); a; a = titleInfo->FindChild(12, false, a))
        names.push_back(a->Children[0]->Text);
    EXPECT_EQ(names, (std::vector<std::string>{"1", "2", "3"}));
}

TEST(FBParserTest, TextOnlyElementsRefuseChildElements) {
    EXPECT_THROW(Load("<description><title-info><book-title>a<b>c</b></book-title></title-info></description>"),
                 EShelvaraError);
    EXPECT_THROW(Load("<description><title-info><lang>r<b/></lang></title-info></description>"), EShelvaraError);
}

// A binary holding a whole FB2 document with a cover: an image linking to it shows that cover.
TEST(FBParserTest, EmbeddedBookCover) {
    TBitmap pixel;
    pixel.Width = pixel.Height = 1;
    pixel.Pixels = {10, 20, 30, 255};
    const std::vector<uint8_t> png = EncodePng(pixel);
    const std::string inner = std::string(kHead) +
                              "<description><title-info><coverpage><image l:href=\"#c\"/></coverpage></title-info>"
                              "</description><body><p>x</p></body><binary id=\"c\" content-type=\"image/png\">" +
                              Base64(std::string(png.begin(), png.end())) + "</binary></FictionBook>";
    auto book =
        Load("<body><p>x</p></body><binary id=\"book\" content-type=\"text/xml\">" + Base64(inner) + "</binary>");
    const TSimpleType* binary = book->Children[1].get();
    ASSERT_TRUE(binary->EmbeddedBook);
    const TBitmap* cover = BinaryPicture(*binary);
    ASSERT_NE(cover, nullptr);
    EXPECT_EQ(cover->Pixels, pixel.Pixels);
}

// A picture keeps its bytes and the size its header declares; the pixels come only when asked
// for, and a header that claims too much is no picture at all.
TEST(FBParserTest, PicturesAreDecodedWhenAskedFor) {
    TBitmap bitmap;
    bitmap.Width = 3;
    bitmap.Height = 2;
    bitmap.Pixels.assign(3 * 2 * 4, 200);
    std::vector<uint8_t> good = EncodePng(bitmap);
    std::vector<uint8_t> damaged = good;
    damaged.resize(40);  // the header is whole, the pixel data is gone
    std::vector<uint8_t> giant = good;
    giant[18] = 0xEA;  // width 0x0000EA03: about 60000 pixels
    auto binary = [](const char* id, const std::vector<uint8_t>& bytes) {
        return std::string("<binary id=\"") + id + "\" content-type=\"image/png\">" +
               Base64(std::string(bytes.begin(), bytes.end())) + "</binary>";
    };
    auto book =
        Load("<body><p>x</p></body>" + binary("good", good) + binary("damaged", damaged) + binary("giant", giant));
    const TSimpleType& ok = *book->Children[1];
    const TSimpleType& broken = *book->Children[2];
    const TSimpleType& huge = *book->Children[3];
    ASSERT_TRUE(ok.HasPicture());
    EXPECT_EQ(ok.PictureWidth, 3);
    EXPECT_EQ(ok.PictureHeight, 2);
    ASSERT_TRUE(BinaryPicture(ok));
    EXPECT_EQ(BinaryPicture(ok)->Width, 3);
    ASSERT_TRUE(broken.HasPicture());  // laid out from its header
    EXPECT_EQ(broken.PictureWidth, 3);
    EXPECT_EQ(BinaryPicture(broken), nullptr);  // and found broken only when shown
    EXPECT_FALSE(huge.HasPicture());
    EXPECT_EQ(BinaryPicture(huge), nullptr);
}

TEST(FBParserTest, AttributeValuesReachTheDescriptionDecoded) {
    auto book = Load(
        "<description><title-info><sequence name=\"Cat &amp; Mouse\" number=\" 3 \"/></title-info>"
        "</description><body><p>a</p></body>");
    const TFBDescription d = ReadDescription(*book);
    ASSERT_EQ(d.TitleInfo.Sequences.size(), 1u);
    EXPECT_EQ(d.TitleInfo.Sequences[0].Name, "Cat & Mouse");
    EXPECT_EQ(d.TitleInfo.Sequences[0].Number, 3);
}

// Books inside binaries inside books are read a few levels deep, not without end.
TEST(FBParserTest, NestedBooksAreBounded) {
    std::string book = std::string(kHead) + "<body><p>innermost</p></body></FictionBook>";
    for (int level = 0; level < 8; ++level)
        book = std::string(kHead) + "<body><p>x</p></body><binary id=\"b\" content-type=\"text/xml\">" + Base64(book) +
               "</binary></FictionBook>";
    TFictionBook outer;
    ASSERT_TRUE(outer.LoadFromBytes(reinterpret_cast<const uint8_t*>(book.data()), book.size(), kKeepAll));
    int depth = 0;
    for (const TFictionBook* b = &outer; b && b->Children.size() > 1; b = b->Children[1]->EmbeddedBook.get())
        ++depth;
    EXPECT_EQ(depth, kMaxEmbeddedBooks + 1);
}

}  // namespace
