#include "display/FB2Layout.h"

#include <gtest/gtest.h>

#include "FakeTarget.h"
#include "fb2/Base64.h"
#include "fb2/FBParser.h"
#include "fb2/XMLPars.h"

namespace {

// A PNG that is only its header: enough for the layout, which never decodes.
std::string PngHeader(uint32_t width, uint32_t height) {
    std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t v : {width, height})
        for (int shift : {24, 16, 8, 0})
            bytes.push_back(static_cast<uint8_t>(v >> shift));
    bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    return Base64Encode(bytes);
}

std::string Book(const std::string& body, const std::string& binaries = {}) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook xmlns:l=\"http://www.w3.org/1999/xlink\">"
           "<description><title-info><book-title>T</book-title></title-info></description><body><section>" +
           body + "</section></body>" + binaries + "</FictionBook>";
}

struct Layout : ::testing::Test {
    TFakeTarget target;
    TFictionBook book;
    TBookLayout layout;

    void Load(const std::string& text) {
        ASSERT_TRUE(book.LoadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), kKeepAll))
            << book.FailureText();
    }
    void Show(int32_t width, int32_t height) {
        layout.Measure(book, target, width, height);
        target.Runs.clear();
        target.Pictures.clear();
        layout.Paint(book, target, {0, 0, width, INT32_MAX / 2}, {0, 0});
    }
};

TEST_F(Layout, ParagraphsBreakIntoIndentedLines) {
    Load(Book("<p>aaaa bbbb cccc dddd eeee ffff gggg</p><p>short</p>"));
    Show(200, 400);  // 175 px of line: 17 characters
    const struct {
        const char* text;
        int32_t x, y;
    } expected[] = {{"aaaa bbbb cccc ", 25, 0}, {"dddd eeee ffff ", 0, 16}, {"gggg", 0, 32}, {"short", 25, 48}};
    ASSERT_EQ(target.Runs.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(target.Runs[i].Text, expected[i].text);
        EXPECT_EQ(target.Runs[i].X, expected[i].x) << expected[i].text;
        EXPECT_EQ(target.Runs[i].Y, expected[i].y) << expected[i].text;
        EXPECT_EQ(target.Runs[i].Font.PixelHeight, 16);
    }
    EXPECT_EQ(book.Height, 64);
}

TEST_F(Layout, TitlesEpigraphsAuthorsAndVerses) {
    Load(
        Book("<title><p>Head</p></title><epigraph><p>Motto</p><text-author>Who</text-author></epigraph>"
             "<poem><stanza><v>one</v><v>two</v></stanza><date>1999</date></poem><p>after</p>"));
    Show(300, 400);
    const auto* head = target.Find("Head");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->Font.PixelHeight, 21);  // 140 % of 12 pt, bold
    EXPECT_EQ(head->Font.Style & 1, 1);
    EXPECT_EQ(head->X, (275 - 40) / 2);  // centred
    EXPECT_EQ(head->Y, 8);               // half a line above
    const auto* motto = target.Find("Motto");
    ASSERT_TRUE(motto);
    EXPECT_EQ(motto->Y, 8 + 21 + 8);
    EXPECT_EQ(motto->Color, 0x000080u);
    EXPECT_EQ(motto->X, 25);
    const auto* who = target.Find("Who");
    ASSERT_TRUE(who);
    EXPECT_EQ(who->Color, 0x800000u);
    EXPECT_EQ(who->X, 30);
    EXPECT_EQ(who->Font.PixelHeight, 16);
    // Each verse and the date are lines of their own; the paragraph after them too.
    const auto* one = target.Find("one");
    const auto* two = target.Find("two");
    const auto* date = target.Find("1999");
    const auto* after = target.Find("after");
    ASSERT_TRUE(one && two && date && after);
    EXPECT_EQ(one->Text, "one");
    EXPECT_EQ(two->Y, one->Y + 16);
    EXPECT_EQ(date->Y, two->Y + 16);
    EXPECT_EQ(after->Y, date->Y + 16);
    EXPECT_EQ(after->X, 25);
}

TEST_F(Layout, SubtitlesAreCentredToTheirLastLine) {
    Load(Book("<subtitle>* * *</subtitle><p>x</p>"));
    Show(300, 400);
    const auto* stars = target.Find("* * *");
    ASSERT_TRUE(stars);
    EXPECT_EQ(stars->X, (275 - 50) / 2);
    EXPECT_EQ(target.Find("x")->X, 25);
}

TEST_F(Layout, PicturesAreFittedToTheViewAndCentred) {
    Load(Book("<image l:href=\"#wide\"/><image l:href=\"#tall\"/><image l:href=\"#giant\"/><image l:href=\"#none\"/>",
              "<binary id=\"wide\" content-type=\"image/png\">" + PngHeader(2000, 1000) +
                  "</binary><binary id=\"tall\" content-type=\"image/png\">" + PngHeader(100, 800) +
                  "</binary><binary id=\"giant\" content-type=\"image/png\">" + PngHeader(60000, 60000) + "</binary>"));
    Show(500, 400);
    ASSERT_EQ(target.Pictures.size(), 4u);
    const auto& wide = target.Pictures[0];
    EXPECT_EQ(wide.Width, 500);
    EXPECT_EQ(wide.Height, 250);
    EXPECT_EQ(wide.X, 0);
    EXPECT_EQ(wide.Y, 0);
    const auto& tall = target.Pictures[1];
    EXPECT_EQ(tall.Width, 50);
    EXPECT_EQ(tall.Height, 400);
    EXPECT_EQ(tall.X, 225);
    EXPECT_EQ(tall.Y, 250);
    // A header claiming 60000 x 60000 is no picture (never decoded); a missing binary neither.
    EXPECT_EQ(target.Pictures[2].Node, nullptr);
    EXPECT_EQ(target.Pictures[3].Node, nullptr);
    EXPECT_EQ(target.Pictures[2].X, (500 - 32) / 2);
    EXPECT_EQ(book.Height, 250 + 400 + 32 + 32);

    // A view without height or width: nothing is fitted, nothing divides by zero.
    for (const auto& [w, h] : {std::pair{500, 0}, std::pair{1, 1}, std::pair{0, 300}})
        EXPECT_NO_THROW(layout.Measure(book, target, w, h)) << w << "x" << h;
}

TEST_F(Layout, WhatIsPendingIsDrawnAboveAPictureOrAnEmptyLine) {
    Load(Book("<p>before <image l:href=\"#a\"/> after</p><p>x</p><empty-line/><p>y</p>",
              "<binary id=\"a\" content-type=\"image/png\">" + PngHeader(100, 50) + "</binary>"));
    Show(300, 400);
    const auto* before = target.Find("before");
    const auto* after = target.Find(" after");
    ASSERT_TRUE(before && after);
    ASSERT_EQ(target.Pictures.size(), 1u);
    EXPECT_EQ(before->Y, 0);
    EXPECT_EQ(target.Pictures[0].Y, 16);
    EXPECT_EQ(after->Y, 16 + 50);
    const auto* x = target.Find("x");
    const auto* y = target.Find("y");
    ASSERT_TRUE(x && y);
    EXPECT_EQ(y->Y, x->Y + 16 + 16);  // the empty line's height between them
}

TEST_F(Layout, TablesInSectionsTakeNoSpace) {
    Load(Book("<p>a</p><table><tr><td>cell</td></tr></table><p>b</p>"));
    Show(300, 400);
    EXPECT_EQ(target.Find("cell"), nullptr);
    EXPECT_EQ(target.Find("b")->Y, 16);
}

// A strip that starts inside a paragraph's second line still draws that line whole, though
// its first words come from a text run that began on the line above.
TEST_F(Layout, APaintStripInsideAParagraphKeepsItsFirstWords) {
    Load(Book("<p>aaaa bbbb cccc dddd <emphasis>eeee</emphasis> ffff</p>"));
    layout.Measure(book, target, 200, 400);
    target.Runs.clear();
    layout.Paint(book, target, {0, 20, 200, 100}, {0, 0});
    const auto* dddd = target.Find("dddd");
    const auto* eeee = target.Find("eeee");
    ASSERT_TRUE(dddd && eeee);
    EXPECT_EQ(dddd->Y, 16);
    EXPECT_EQ(dddd->X, 0);
    EXPECT_EQ(eeee->X, 50);
    EXPECT_EQ(eeee->Font.Style & 2, 2);
}

TEST_F(Layout, APaintStripLaysOutOnlyWhatReachesIt) {
    std::string body;
    for (int i = 0; i < 1000; ++i)
        body += "<p>p" + std::to_string(i) + "</p>";
    Load(Book(body));
    layout.Measure(book, target, 300, 400);
    EXPECT_EQ(book.Height, 16000);
    target.Runs.clear();
    layout.Paint(book, target, {0, 8000, 300, 8032}, {0, 0});
    ASSERT_EQ(target.Runs.size(), 2u);
    EXPECT_EQ(target.Runs[0].Text, "p500");
    EXPECT_EQ(target.Runs[0].Y, 8000);
    EXPECT_EQ(target.Runs[1].Text, "p501");
}

TEST_F(Layout, NarrowViewsEndAndLoseNoCharacter) {
    Load(Book("<p>Some words, and a verylongwordthatfitsnowhere.</p>"));
    for (int32_t width : {1, 20, 26, 30, 35, 60}) {
        layout.Measure(book, target, width, 100);
        target.Runs.clear();
        layout.Paint(book, target, {0, 0, width, INT32_MAX / 2}, {0, 0});
        std::string all;
        for (const auto& run : target.Runs)
            all += run.Text;
        EXPECT_EQ(all, "Some words, and a verylongwordthatfitsnowhere.") << width;
    }
}

}  // namespace
