#include "catalogue/CellValue.h"

#include <gtest/gtest.h>

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
