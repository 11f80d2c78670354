#include "dups/DupListObject.h"

#include <gtest/gtest.h>

#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"

namespace {

TEST(DupListObjectTest, PairRows) {
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint("/books");
    TBookInfo* one = mount->AddBook();
    one->FileName = "one.fb2";
    TBookInfo* two = mount->AddBook();
    two->FileName = "two.txt";
    TDupListObject row(one, 56250, two);
    EXPECT_EQ(row.ColumnCount(), 3);
    EXPECT_EQ(AnsiToUtf8(row.ColumnCaption(2)), "Похожесть");
    EXPECT_EQ(row.GetValue(0).Text, "/books/one.fb2");
    EXPECT_EQ(row.GetValue(1).Text, "/books/two.txt");
    EXPECT_EQ(CellText(row.GetValue(2)), "56.2");
    EXPECT_TRUE(row.Matches(-1, 0, "TWO"));
    EXPECT_TRUE(row.Matches(2, 0, "56.2"));
    EXPECT_FALSE(row.Matches(0, 0, "two"));

    TBookCollection books;
    TDupListObject(one, 100000, one).CollectBooks(books);
    row.CollectBooks(books);
    EXPECT_EQ(books.Count(), 2u);

    TDupListObject gone(nullptr, 1, two);
    EXPECT_EQ(gone.GetValue(0).Text, "ERROR!");
}

TEST(DupListObjectTest, MergingPairsKeepsEachOnceWithTheSmallerSimilarity) {
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint("/books");
    TBookInfo* a = mount->AddBook();
    TBookInfo* b = mount->AddBook();
    TBookInfo* c = mount->AddBook();
    std::vector<TDuplicatePair> pairs{{a, b, 90000}};
    TObjList rows;
    rows.Add(std::make_unique<TDupListObject>(b, 80000, a));
    rows.Add(std::make_unique<TDupListObject>(a, 99000, c));
    rows.Add(std::make_unique<TDupListObject>(c, 95000, a));
    MergeDuplicateRows(rows, pairs);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].Similarity, 80000);
    EXPECT_EQ(pairs[1].Book2, c);
    EXPECT_EQ(pairs[1].Similarity, 95000);
}

}  // namespace
