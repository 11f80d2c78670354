#include "catalogue/CellValue.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/Encoding.h"
#include "common/Error.h"

namespace {

TEST(CellValueTest, DisplayTexts) {
    const TDateTime date = EncodeDateTime({2024, 3, 7, 9, 5, 2, 0});
    const std::pair<TCellValue, std::string> cases[] = {
        {TCellValue::OfText("abc"), "abc"},
        {TCellValue::OfNumber(-12), "-12"},
        {TCellValue::OfNumber(-1, kValueOptional), ""},
        {TCellValue::OfNumber(3, kValueOptional), "3"},
        {TCellValue::OfNumber(1, kValueFlag), "TRUE"},
        {TCellValue::OfNumber(0, kValueFlag), ""},
        {TCellValue::OfDate(date, true), "07.03.2024"},
        {TCellValue::OfDate(date, false), ""},
        {TCellValue::OfDate(date, true, kValueDateTime), "07.03.2024 09:05:02"},
        {TCellValue::OfNumber(12345, kValueThousandths), "12.3"},
        {TCellValue::OfNumber(50000, kValueThousandths), "50.0"},
        {TCellValue::OfNumber(999, kValueThousandths), "0.9"},
        {TCellValue::OfNumber(0xCA6598D0, kValueUnsigned), "$CA6598D0"},
        {TCellValue{}, "???????????"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(CellText(value), text) << int(value.Kind);
}

TEST(CellValueTest, Ordering) {
    const auto text = [](const char* utf8) { return TCellValue::OfText(Utf8ToAnsi(utf8)); };
    // Windows-1251 letters, not the system locale, decide letter case.
    EXPECT_EQ(CompareCells(text("Ёж"), text("ёж"), true), 0);
    EXPECT_LT(CompareCells(text("Ёж"), text("ёж"), false), 0);
    EXPECT_LT(CompareCells(text("zebra"), text("Ящик"), true), 0);
    EXPECT_GT(CompareCells(text("б"), text("А"), true), 0);

    EXPECT_LT(CompareCells(TCellValue::OfNumber(-5), TCellValue::OfNumber(3), false), 0);
    EXPECT_LT(CompareCells(TCellValue::OfNumber(1, kValueFlag), TCellValue::OfNumber(0, kValueFlag), false), 0);
    EXPECT_GT(
        CompareCells(TCellValue::OfNumber(0xF0000000, kValueUnsigned), TCellValue::OfNumber(1, kValueUnsigned), false),
        0);
    const TCellValue none = TCellValue::OfDate(0, false), early = TCellValue::OfDate(1000, true),
                     late = TCellValue::OfDate(2000, true);
    EXPECT_LT(CompareCells(none, early, false), 0);
    EXPECT_LT(CompareCells(early, late, false), 0);
    EXPECT_EQ(CompareCells(none, none, false), 0);
    EXPECT_THROW(CompareCells(early, TCellValue{}, false), EShelvaraError);
}

}  // namespace

namespace {

// Grids show dates as the user's locale writes them; what no pattern of numbers can show is
// refused and the format stays.
TEST(CellValueDateFormatTest, DatesFollowTheShortFormatSet) {
    const TDateTime date = EncodeDate(2024, 3, 7) + 0.5;
    struct Case {
        const char* pattern;
        bool accepted;
        const char* text;
    };
    const std::vector<Case> cases{
        {"M/d/yy", true, "3/7/24"},
        {"yyyy-MM-dd", true, "2024-03-07"},
        {"d.M.yyyy", true, "7.3.2024"},
        {"dd/MM/yyyy", true, "07/03/2024"},
        {"d MMM yyyy", false, "07/03/2024"},    // a month name: the last format stays
        {"dddd, d.M.yy", false, "07/03/2024"},  // a day name
        {"dd.MM", false, "07/03/2024"},         // no year
        {"dd.MM.yyyy", true, "07.03.2024"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetShortDateFormat(c.pattern), c.accepted) << c.pattern;
        EXPECT_EQ(ShortDateText(date), c.text) << c.pattern;
    }
    EXPECT_EQ(ShortDateTimeText(date), "07.03.2024 12:00:00");
    ASSERT_TRUE(SetShortDateFormat("yyyy-MM-dd"));
    EXPECT_EQ(CellText(TCellValue::OfDate(date, true, kValueDateTime)), "2024-03-07 12:00:00");
    SetShortDateFormat("dd.MM.yyyy");
}

}  // namespace
