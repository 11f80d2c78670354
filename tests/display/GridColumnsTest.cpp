#include "display/GridColumns.h"

#include <gtest/gtest.h>

#include "catalogue/ObjList.h"
#include "common/Error.h"

namespace {

std::vector<std::pair<int, int>> IdsAndWidths(const TSVGridCols& cols) {
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < cols.Count(); ++i)
        out.emplace_back(cols.Columns[i].Id, cols.Width(i));
    return out;
}

using IW = std::vector<std::pair<int, int>>;

TEST(GridColumnsTest, LayoutTextReadLenientlyAndWrittenBack) {
    TSVGridCols cols;
    cols.SetLayoutString("3;120,0,0;64,2,0;50,5,0");
    EXPECT_EQ(IdsAndWidths(cols), (IW{{0, 120}, {2, 64}, {5, 50}}));
    EXPECT_EQ(cols.LayoutString(), "3;120,0,0;64,2,0;50,5,0");

    cols.SetLayoutString("2;100,1,0;80,x");
    EXPECT_EQ(IdsAndWidths(cols), (IW{{1, 100}}));
    EXPECT_EQ(cols.PositionCount(), 2u);

    const std::pair<const char*, IW> cases[] = {
        {"2 ; 30 , 4 , 2 ;; 40,1,1", {{4, 30}, {1, 40}}},  // blanks and extra separators
        {"1;0,3,0", {{3, 1}}},                             // a width below 1 becomes 1
        {"1;10,3,7", {}},                                  // an unknown alignment digit
        {"1;,3,0", {}},                                    // no width
        {"1;99999999999,3,0", {}},                         // a width that does not convert
        {"0", {}},
    };
    for (const auto& [text, expected] : cases) {
        cols.SetLayoutString(text);
        EXPECT_EQ(IdsAndWidths(cols), expected) << text;
    }
    cols.SetLayoutString("1;10,3,2");
    EXPECT_EQ(cols.Columns[0].Alignment, 1);  // stored 2 is right
    EXPECT_EQ(cols.LayoutString(), "1;10,3,2");

    cols.BuildDefault(3);
    EXPECT_THROW(cols.SetLayoutString("x;1,2,0"), EConvertError);
    EXPECT_EQ(cols.Count(), 0u);
}

TEST(GridColumnsTest, WidthsStayWithPositions) {
    TSVGridCols cols;
    cols.BuildDefault(3);
    cols.SetWidth(0, 10);
    cols.SetWidth(1, 20);
    cols.SetWidth(2, 30);
    cols.RemoveById(1);
    EXPECT_EQ(IdsAndWidths(cols), (IW{{0, 10}, {2, 20}}));
    cols.AddById(1);
    EXPECT_EQ(IdsAndWidths(cols), (IW{{0, 10}, {2, 20}, {1, TSVGridCols::kDefaultWidth}}));
    cols.Move(2, 0);
    EXPECT_EQ(cols.Columns[0].Id, 1);
    EXPECT_EQ(cols.Width(7), 50);
}

TEST(GridColumnsTest, StripedColours) {
    EXPECT_EQ(StripedColor(0xFFFFFF), 0xEFEFEFu);
    EXPECT_EQ(StripedColor(0x000000), 0x303030u);
    EXPECT_EQ(StripedColor(0x60FF61), 0x90EF51u);
}

struct Row final : TListObject {
    const TRowClass& RowClass() const override {
        static const TRowClass c{{1001}};
        return c;
    }
    TCellValue GetValue(int) const override { return {}; }
    void CollectBooks(TBookCollection&) const override {}
    bool Matches(int, int, const std::string&) const override { return false; }
};

std::string Flags(const TObjList& list) {
    std::string s;
    for (int32_t i = 0; i < list.Count(); ++i)
        s += list.Get(i)->Selected() ? '1' : '0';
    return s;
}

TEST(GridColumnsTest, SelectionLivesInTheRows) {
    TObjList list;
    SelectOnly(list, 3);  // an empty list changes nothing
    for (int i = 0; i < 5; ++i)
        list.Add(std::make_unique<Row>());
    SelectOnly(list, 9);
    EXPECT_EQ(Flags(list), "00001");
    ToggleRow(list, 1, true);
    EXPECT_EQ(Flags(list), "01001");
    ToggleRow(list, 1, false);
    EXPECT_EQ(Flags(list), "01000");
    SelectRange(list, 3, -2, true);
    EXPECT_EQ(Flags(list), "11110");
    SelectRange(list, 0, 2, false);
    EXPECT_EQ(Flags(list), "00100");
    SelectAll(list);
    EXPECT_EQ(list.SelectedCount(), 5);
}

}  // namespace
