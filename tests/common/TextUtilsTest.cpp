#include "common/TextUtils.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(TextUtilsTest, CaseMappingCoversCyrillicLetters) {
    EXPECT_EQ(AnsiLowerCase("ABC \xC0\xDF\xA8 \xB2\xAA\xAF\xA1\x80"), "abc \xE0\xFF\xB8 \xB3\xBA\xBF\xA2\x90");
    EXPECT_EQ(AnsiUpperCase("abc \xE0\xFF\xB8 \xB3\xBA\xBF\xA2\x90"), "ABC \xC0\xDF\xA8 \xB2\xAA\xAF\xA1\x80");
    // Punctuation and symbols stay: № « » and the euro sign.
    EXPECT_EQ(AnsiLowerCase("\xB9\xAB\xBB\x88"), "\xB9\xAB\xBB\x88");
}

TEST(TextUtilsTest, CaselessComparison) {
    // As comparing the lower-cased copies: Cyrillic letters above Latin, shorter prefixes first.
    const std::pair<const char*, const char*> pairs[] = {
        {"abc", "ABC"}, {"\xC0\xA8", "\xE0\xB8"}, {"ab", "abc"}, {"zebra", "\xDF"}, {"", ""}, {"b", "A"},
    };
    for (const auto& [a, b] : pairs) {
        const int expected = AnsiLowerCase(a).compare(AnsiLowerCase(b));
        EXPECT_EQ(AnsiCompareText(a, b), expected < 0 ? -1 : expected > 0 ? 1 : 0) << a << " " << b;
        EXPECT_EQ(AnsiSameText(a, b), expected == 0);
    }
}

struct TrimCase {
    const char* in;
    const char* out;
};

// The settings' and stored profiles' numbers: whole integers only, and a failure changes nothing.
TEST(TextUtilsTest, TextToInt) {
    const std::tuple<const char*, bool, int32_t> cases[] = {
        {"12", true, 12},    {" -7\t", true, -7}, {"+3", true, 3},          {"0001", true, 1},
        {"12abc", false, 5}, {"", false, 5},      {"2147483648", false, 5}, {"1 2", false, 5},
    };
    for (const auto& [text, ok, expected] : cases) {
        int32_t value = 5;
        EXPECT_EQ(TextToInt(text, value), ok) << text;
        EXPECT_EQ(value, expected) << text;
    }
}

TEST(TextUtilsTest, TrimPunctuation) {
    const TrimCase cases[] = {
        {"  name  ", "name"},
        {".name!", "name"},
        {"?!, ./name/. ,!?", "name"},
        {"\t\r\nname\x01", "name"},
        {"...", ""},
        {"", ""},
        {"a.b", "a.b"},
        {"(name)", "(name)"},  // brackets are kept
        {"\"name\"", "\"name\""},
        {"-name-", "-name-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrimPunctuation(c.in), c.out) << c.in;
}

TEST(TextUtilsTest, RepairMixedScript) {
    const TrimCase cases[] = {
        // Cyrillic word with Latin look-alikes: "Пушкин" with Latin 'u'? no: Latin 'K','e' in "Кеша".
        {"K\xE5\xF8\xE0", "\xCA\xE5\xF8\xE0"},                          // Latin K + "еша" -> all Cyrillic
        {"T\xEE\xEB\xF1\xF2\xEE\xE9", "\xD2\xEE\xEB\xF1\xF2\xEE\xE9"},  // Latin T in "Толстой"
        {"\xD2o\xEC", "\xD2\xEE\xEC"},                                  // Cyrillic Т, Latin o, Cyrillic м -> Том
        {"Smith", "Smith"},                                             // only Latin
        {"\xC8\xE2\xE0\xED", "\xC8\xE2\xE0\xED"},                       // only Cyrillic
        {"P\xE0ul", "Paul"},                                            // Latin word with Cyrillic а -> Latin
        {"\xC1ob", "\xC1ob"},           // Б has no Latin twin, b no Cyrillic: unchanged
        {"Ca\xF1", "Cac"},              // more Latin than Cyrillic: Latin
        {"C\xE0\xF1", "\xD1\xE0\xF1"},  // more Cyrillic: Cyrillic
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RepairMixedScript(c.in), c.out) << c.in;
}

TEST(TextUtilsTest, SearchKeys) {
    EXPECT_EQ(SearchKey("T\xEE\xEB\xF1\xF2\xEE\xE9"), "\xF2\xEE\xEB\xF1\xF2\xEE\xE9");
    EXPECT_EQ(SearchKey(" .Name! "), " .name! ");
    EXPECT_EQ(SearchKeyTrimmed(" .Name! "), "name");
    EXPECT_EQ(SearchKeyTrimmed(".T\xEE\xEB\xF1\xF2\xEE\xE9!"), "\xF2\xEE\xEB\xF1\xF2\xEE\xE9");
}

}  // namespace
