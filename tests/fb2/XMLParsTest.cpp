#include "fb2/XMLPars.h"

#include <string>

#include <gtest/gtest.h>

#include "common/Encoding.h"
#include "common/Error.h"

namespace {

struct Parsed {
    bool ok;
    std::unique_ptr<TXMLDocument> doc;
};

Parsed ParseText(const std::string& text, int keep = kKeepAll) {
    auto doc = std::make_unique<TXMLDocument>();
    const bool ok = doc->LoadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), keep);
    return {ok, std::move(doc)};
}

TEST(XMLParsTest, DeclarationVariants) {
    const std::pair<std::string, bool> cases[] = {
        {"<?xml version=\"1.0\"?><a/>", true},
        {"<?xml version='1.0' encoding='windows-1251' standalone='yes'?><a/>", true},
        {"<?xml version=\"1.1\"?><a/>", false},
        {"<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", false},
        {"<?xml version=\"1.0\" standalone=\"no\" encoding=\"utf-8\"?><a/>", false},  // order matters
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?><a/>", true},                            // byte-order mark
        {"  \r\n<?xml version=\"1.0\"?><a/>", true},                                  // blanks first
        {"<a/>", true},                                                               // no declaration
        {"<?xml version=\"1.0\"?><a/><b/>", false},                                   // two roots
        {"<?xml version=\"1.0\"?><a/> trailing", false},
        {"<?xml version=\"1.0\"?><!-- c --><?xml-stylesheet href=\"x\"?><a/><!-- end -->", true},
    };
    for (const auto& [text, ok] : cases)
        EXPECT_EQ(ParseText(text).ok, ok) << text;
}

TEST(XMLParsTest, EncodingsAreConvertedToWindows1251) {
    const std::string ru = Utf8ToAnsi("Тест");
    const std::pair<std::string, std::string> cases[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82</a>", ru},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><a>\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82</a>", ru},
        {"<?xml version=\"1.0\" encoding=\"koi8-r\"?><a>\xF4\xC5\xD3\xD4</a>", ru},
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?><a>" + ru + "</a>", ru},
        {"<?xml version=\"1.0\"?><a>" + ru + "</a>", ru},                        // Windows-1251 bytes
        {"<?xml version=\"1.0\"?><a>\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82</a>", ru},  // reads as UTF-8
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?><a>&#1058;&#x435;&#1089;&#1090;</a>", ru},
    };
    for (const auto& [text, value] : cases) {
        Parsed p = ParseText(text);
        ASSERT_TRUE(p.ok) << text;
        ASSERT_EQ(p.doc->Root->Children.size(), 1u);
        EXPECT_EQ(p.doc->Root->Children[0]->Text, value) << text;
    }
    // UTF-16 with and without a byte-order mark.
    const std::string utf16le("\xFF\xFE<\0a\0>\0\x22\x04<\0/\0a\0>\0", 18);
    const std::string utf16be("\0<\0a\0>\x04\x22\0<\0/\0a\0>", 16);
    for (const std::string& text : {utf16le, utf16be}) {
        Parsed p = ParseText(text);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.doc->Root->Children[0]->Text, Utf8ToAnsi("Т"));
    }
}

TEST(XMLParsTest, ElementsAttributesAndText) {
    Parsed p = ParseText("<?xml version=\"1.0\"?><a x=\"1\" y='say \"hi\"'> <b>t &amp; u</b> <c/></a>");
    ASSERT_TRUE(p.ok);
    const TXMLElement& a = *p.doc->Root;
    ASSERT_EQ(a.Attributes.size(), 2u);
    EXPECT_EQ(a.Attributes[1].Value, "say \"hi\"");
    ASSERT_EQ(a.Children.size(), 2u);  // whitespace before a tag is no node
    EXPECT_EQ(static_cast<const TXMLElement&>(*a.Children[0]).Children[0]->Text, "t &amp; u");
    EXPECT_EQ(a.AsText(), "<a x=\"1\" y='say \"hi\"'><b>t &amp; u</b><c/></a>");
}

TEST(XMLParsTest, MalformedInput) {
    EXPECT_FALSE(ParseText("<?xml version=\"1.0\"?><p a>x</p>").ok);  // attribute without a value
    EXPECT_FALSE(ParseText("<?xml version=\"1.0\"?><a>text").ok);     // cut inside a text run
    EXPECT_TRUE(ParseText("<?xml version=\"1.0\"?><a><b>x</b>").ok);  // cut after a complete tag
    EXPECT_TRUE(ParseText("<?xml version=\"1.0\"?><a><b>x</b>  ").ok);
    EXPECT_FALSE(ParseText("<?xml version=\"1.0\"?><a><?xml version=\"1.0\"?></a>").ok);
    // A stray end tag is swallowed; b gets "x" and a text starting with ">".
    Parsed p = ParseText("<?xml version=\"1.0\"?><a><b>x</c></b></a>");
    ASSERT_TRUE(p.ok);
    const auto& b = static_cast<const TXMLElement&>(*p.doc->Root->Children[0]);
    ASSERT_EQ(b.Children.size(), 2u);
    EXPECT_EQ(b.Children[0]->Text, "x");
    EXPECT_EQ(b.Children[1]->Text, ">");
    EXPECT_THROW(ParseText("<?xml version=\"1.0\"?><!DOCTYPE x><a/>"), EShelvaraError);
}

TEST(XMLParsTest, TheFirstErrorIsToldWithItsLine) {
    const struct {
        const char* text;
        int line;
        const char* what;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<a>\n<p>text", 3, "unclosed <p>"},
        {"<?xml version=\"1.0\"?>\n<a>\n<b>x</c>\n</a>", 3, "</c> where </b> was expected"},
        {"<?xml version=\"2.0\"?><a/>", 1, "the XML declaration lacks version=\"1.0\""},
        {"<?xml version=\"1.0\"?>\n\n<a/>\ntext", 4, "text after the root element"},
        {"<?xml version=\"1.0\"?>\nno markup", 2, "no root element"},
        {"<?xml version=\"1.0\"?><a>\n<p x>y</p></a>", 2, "malformed start tag <p>"},
    };
    for (const auto& c : cases) {
        const Parsed p = ParseText(c.text);
        EXPECT_FALSE(p.ok) << c.text;
        ASSERT_TRUE(p.doc->Error.Set) << c.text;
        EXPECT_EQ(p.doc->Error.Line, c.line) << c.text;
        EXPECT_EQ(p.doc->Error.What, c.what) << c.text;
    }
    // The offset is that of the text as parsed.
    const Parsed p = ParseText("<a>\n<p>x");
    EXPECT_EQ(p.doc->Error.Offset, 4u);
    EXPECT_EQ(p.doc->Error.Text(), "line 2: unclosed <p>");
    // A stray end tag that its element survives is no error.
    const Parsed stray = ParseText("<a><b>x</c></b></a>");
    EXPECT_TRUE(stray.ok);
    EXPECT_FALSE(stray.doc->Error.Set);
}

TEST(XMLParsTest, DeepNestingFailsInsteadOfOverflowing) {
    std::string text = "<?xml version=\"1.0\"?>";
    for (int i = 0; i < 100000; ++i)
        text += "<a>";
    EXPECT_FALSE(ParseText(text).ok);
}

TEST(XMLParsTest, StripElements) {
    // Nested elements of the same name are not counted: the first end tag closes.
    std::string text = "<r><body>1</body><x/><body a='b'>2<body>3</body>4</body><bodyx/>tail</r>";
    EXPECT_TRUE(StripElements(text.data(), "body"));
    EXPECT_EQ(std::string(text.c_str()), "<r><x/>4</body>tail</r>");
    std::string unterminated = "<r><body>never closed";
    EXPECT_FALSE(StripElements(unterminated.data(), "body"));
    EXPECT_EQ(std::string(unterminated.c_str()), "<r><body>never closed");
}

TEST(XMLParsTest, DescriptionOnlyReadsNothingAfterTheDescription) {
    const std::string book =
        "<?xml version=\"1.0\"?><FictionBook><description><title-info><book-title>T</book-title></title-info>"
        "</description><body><p>broken <b></p></body><binary id='x'>trunc";
    EXPECT_TRUE(ParseText(book, kKeepDescription).ok);
    EXPECT_FALSE(ParseText(book, kKeepAll).ok);
}

}  // namespace
