#include "common/Encoding.h"

#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "TestUtils.h"

namespace {

struct NameCase {
    const char* utf8;
    const char* ansi;
};

// Characters of the code page map to their byte; others are escaped.
const NameCase kNameCases[] = {
    {"plain.fb2", "plain.fb2"},
    {"\xD0\x9F\xD1\x83\xD1\x88\xD0\xBA\xD0\xB8\xD0\xBD.fb2", "\xCF\xF3\xF8\xEA\xE8\xED.fb2"},  // Пушкин
    {"\xD0\x81\xD0\xB6 \xE2\x84\x96 5", "\xA8\xE6 \xB9 5"},                                    // Ёж № 5
    {"\xE2\x82\xAC", "\x88"},                                                                  // euro sign
    {"caf\xC3\xA9", "caf\x98uE9;"},                                                            // é
    {"\xC5\x81\xC3\xB3"
     "d\xC5\xBA",
     "\x98u141;\x98uF3;d\x98u17A;"},                       // Łódź
    {"\xE4\xB8\xAD\xE6\x96\x87", "\x98u4E2D;\x98u6587;"},  // 中文
    {"\xF0\x9F\x93\x9A", "\x98u1F4DA;"},                   // emoji
    {"\xC2\x98", "\x98u98;"},                              // U+0098 itself
    {"bad\xFF\xC3", "bad\x98xFF;\x98xC3;"},                // not UTF-8
    {"\xC0\xAF", "\x98xC0;\x98xAF;"},                      // overlong slash
    {"\xED\xA0\x80", "\x98xED;\x98xA0;\x98x80;"},          // surrogate
};

TEST(EncodingTest, NamesMapToCodePageOrEscapes) {
    for (const auto& c : kNameCases) {
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
        EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8) << c.utf8;
    }
}

TEST(EncodingTest, EveryCodePageByteRoundTrips) {
    for (int b = 1; b < 256; ++b) {
        if (b == kAnsiEscape) continue;
        const std::string ansi(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(ansi)), ansi) << b;
    }
    EXPECT_EQ(AnsiCharToUnicode(0xA8), U'\u0401');
    EXPECT_EQ(AnsiCharToUnicode(0xB9), U'\u2116');
    EXPECT_EQ(AnsiCharToUnicode(0xC0), U'\u0410');
    EXPECT_EQ(AnsiCharToUnicode(0xFF), U'\u044F');
    EXPECT_EQ(UnicodeToAnsiChar(U'\u00E9'), -1);
}

TEST(EncodingTest, LoneEscapeByteShowsReplacementCharacter) {
    EXPECT_EQ(AnsiToUtf8("a\x98"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    // Non-canonical forms are not escapes: a code page character, leading zeros, lower case.
    EXPECT_EQ(AnsiToUtf8("\x98u410;"), "\xEF\xBF\xBDu410;");
    EXPECT_EQ(AnsiToUtf8("\x98u0E9;"), "\xEF\xBF\xBDu0E9;");
    EXPECT_EQ(AnsiToUtf8("\x98ue9;"), "\xEF\xBF\xBDue9;");
}

TEST(EncodingTest, ArbitraryBytesRoundTrip) {
    std::mt19937 random(1251);
    for (int i = 0; i < 5000; ++i) {
        std::string bytes(random() % 24, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() % 255 + 1);
        ASSERT_EQ(AnsiToUtf8(Utf8ToAnsi(bytes)), bytes);
    }
}

TEST(EncodingTest, FileNamesOnDiskAreFoundAgain) {
    TempDir dir;
    const char* names[] = {"caf\xC3\xA9.fb2", "\xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0.fb2",
                           "\xE4\xB8\xAD\xE6\x96\x87 \xC5\x82.fb2", "raw\xFF.fb2"};
    for (const char* name : names)
        std::ofstream(dir / name) << "x";
    int found = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string ansi = PathToAnsi(entry.path());
        EXPECT_TRUE(std::filesystem::exists(AnsiToPath(ansi))) << entry.path();
        ++found;
    }
    EXPECT_EQ(found, 4);
}

}  // namespace
