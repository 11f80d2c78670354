#include "fb2/Recoder.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Encoding.h"

namespace {

std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

std::string Utf8InPlace(std::string text) {
    Utf8ToAnsiInPlace(text.data());
    return text.c_str();
}

std::string ReferencesInPlace(std::string text) {
    DecodeNumericEntitiesInPlace(text.data());
    return text.c_str();
}

TEST(RecoderTest, Utf8Decoding) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82", A("Тест")},
        {"\xD0\x82", "\x80"},          // Ђ
        {"\xE2\x80\x94", "\x97"},      // em dash
        {"\xC3\xA9t\xC3\xA9", "ete"},  // é folds to e
        {"\xC3\x9F", "ss"},            // ß
        {"\xC5\x82\xC3\xBC", "lu"},    // ł ü
        {"\xE4\xB8\xAD", " "},         // no fold: a blank
        {"\xE2\x80\x8B", ""},          // zero-width space vanishes
        {"a\x80"
         "b",
         "a?b"},             // stray continuation byte
        {"\xE2\x82", "??"},  // cut-off sequence
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(Utf8InPlace(in), out) << in;
}

TEST(RecoderTest, NumericReferencesGiveTheirCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"&#1105;", A("ё")},      {"&#1025;", A("Ё")}, {"&#x451;", A("ё")},
        {"&#X401;", A("Ё")},      {"&#8212;", "\x97"}, {"&#1040;&#1103;", A("Ая")},
        {"&#333;", "o"},          {"&#60;", "&#60;"},  {"&#0200;", "E"},
        {"&#20013;", "&#20013;"},  // no fold: kept as written
        {"&#;", "&#;"},           {"&#12", "&#12"},    {"&amp;", "&amp;"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(ReferencesInPlace(in), out) << in;
}

TEST(RecoderTest, XmlEntitiesInValues) {
    EXPECT_EQ(DecodeXmlEntities("Tom &amp; Jerry"), "Tom & Jerry");
    EXPECT_EQ(DecodeXmlEntities("&lt;b&gt; &quot;x&quot; &apos;y&apos;"), "<b> \"x\" 'y'");
    EXPECT_EQ(DecodeXmlEntities("&#1105; &nbsp; &"), A("ё") + " &nbsp; &");
}

TEST(RecoderTest, SingleByteEncodings) {
    // "Привет" in KOI8-R, CP866 and ISO-8859-5; "café" in Windows-1252.
    const std::pair<TSourceEncoding, std::string> cases[] = {
        {TSourceEncoding::Koi8r, "\xF0\xD2\xC9\xD7\xC5\xD4"},
        {TSourceEncoding::Cp866, "\x8F\xE0\xA8\xA2\xA5\xE2"},
        {TSourceEncoding::Iso88595, "\xBF\xE0\xD8\xD2\xD5\xE2"},
    };
    for (const auto& [encoding, bytes] : cases) {
        std::string text = bytes;
        SingleByteToAnsiInPlace(text.data(), encoding);
        EXPECT_EQ(std::string(text.c_str()), A("Привет"));
    }
    std::string latin = "caf\xE9 \x93q\x94";
    SingleByteToAnsiInPlace(latin.data(), TSourceEncoding::Windows1252);
    EXPECT_EQ(std::string(latin.c_str()), "cafe \x93q\x94");
    EXPECT_EQ(EncodingByName(" KOI8-R "), TSourceEncoding::Koi8r);
    EXPECT_EQ(EncodingByName("IBM866"), TSourceEncoding::Cp866);
    EXPECT_EQ(EncodingByName("utf8"), TSourceEncoding::Utf8);
}

TEST(RecoderTest, Utf16) {
    const uint8_t le[] = {'<', 0, 0x1F, 0x04, 0x3D, 0xD8, 0x00, 0xDE};  // <, П, an emoji
    EXPECT_EQ(Utf16ToUtf8(le, sizeof le, false), "<\xD0\x9F\xF0\x9F\x98\x80");
    const uint8_t be[] = {0, '<', 0x04, 0x1F};
    EXPECT_EQ(Utf16ToUtf8(be, sizeof be, true), "<\xD0\x9F");
}

TEST(RecoderTest, CodePageConversionsAreExactInverses) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    for (TCodePageId page : {cpDos, cpKoi8}) {
        std::vector<uint8_t> text(all.begin() + 1, all.end());
        ConvertCodePage(text.data(), text.size(), cpWindows, page);
        ConvertCodePage(text.data(), text.size(), page, cpWindows);
        EXPECT_EQ(text, std::vector<uint8_t>(all.begin() + 1, all.end()));
    }
    std::vector<uint8_t> zero = {0};
    ConvertCodePage(zero.data(), 1, cpDos, cpWindows);
    EXPECT_EQ(zero[0], 13);
}

TEST(RecoderTest, AutoRecodeFindsTheCodePage) {
    const std::string russian =
        A("Съешь же ещё этих мягких французских булок, да выпей чаю. Широкая электрификация "
          "южных губерний даст мощный толчок подъёму сельского хозяйства.");
    std::vector<uint8_t> dos(russian.begin(), russian.end());
    ConvertCodePage(dos.data(), dos.size(), cpWindows, cpDos);
    ASSERT_TRUE(AutoRecode(dos.data(), dos.size(), 3));
    EXPECT_EQ(std::string(dos.begin(), dos.end()), russian);
    // KOI8 letters are all Windows-1251 letters too: such text already looks right and stays.
    const std::string noYo = A("Широкая электрификация южных губерний даст мощный толчок сельскому хозяйству.");
    std::vector<uint8_t> koi(noYo.begin(), noYo.end());
    ConvertCodePage(koi.data(), koi.size(), cpWindows, cpKoi8);
    const std::vector<uint8_t> before = koi;
    EXPECT_TRUE(AutoRecode(koi.data(), koi.size(), 3));
    EXPECT_EQ(koi, before);
    std::vector<uint8_t> plain(russian.begin(), russian.end());
    EXPECT_TRUE(AutoRecode(plain.data(), plain.size(), 3));  // already right: unchanged
    EXPECT_EQ(std::string(plain.begin(), plain.end()), russian);
}

TEST(RecoderTest, MatchKeys) {
    EXPECT_EQ(MatchKey(A("Ёлка")).substr(0, 4), "alka");
    EXPECT_EQ(MatchKey(A("елки")).substr(0, 4), "alka");
    EXPECT_EQ(MatchKey("Sun 42!"), std::string("can 42 ") + '\0');
}

}  // namespace
