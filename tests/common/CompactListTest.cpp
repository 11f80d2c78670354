#include "common/CompactList.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"

namespace {

TEST(TextTest, OwnedAndPooledTextsReadAlikeAndCopiesOwnTheirBytes) {
    // Odd and even addresses: a pooled text may start anywhere in its block.
    const char block[] = "\0odd\0even";
    for (const char* at : {block + 1, block + 5}) {
        const TText pooled = TText::Pooled(at);
        EXPECT_TRUE(pooled.IsPooled());
        EXPECT_EQ(pooled, std::string(at));
        EXPECT_EQ(pooled.size(), std::string(at).size());
        const TText copy = pooled;
        EXPECT_FALSE(copy.IsPooled());
        EXPECT_EQ(copy, pooled);
        EXPECT_NE(copy.c_str(), pooled.c_str());
    }
    EXPECT_TRUE(TText::Pooled(block).empty());  // "" holds nothing
    TText same = TText::Pooled(block + 1);
    same = std::string("odd");  // the same text again stays where it is
    EXPECT_EQ(same.c_str(), block + 1);
    same = same.view();  // from itself
    EXPECT_EQ(same, "odd");
    // A text ends at its first NUL, as the library file keeps it.
    EXPECT_EQ(TText(std::string("ab\0cd", 5)), "ab");
    TText text = "x";
    text = std::string();
    EXPECT_TRUE(text.empty());
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ("<" + TText("a") + ">", "<a>");
}

// Lists of pointers and texts keep one item in place of the block; every operation must read
// the same whether the items stand alone or sit in a block.
template <typename T>
void CheckListOperations(const std::vector<T>& items) {
    TCompactList<T> list;
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
    std::vector<T> model;
    for (const T& item : items) {
        list.push_back(item);
        model.push_back(item);
        EXPECT_EQ(list, model);
    }
    list.insert(list.begin(), items[1]);
    model.insert(model.begin(), items[1]);
    EXPECT_EQ(list, model);
    list.erase(list.begin() + 1);
    model.erase(model.begin() + 1);
    EXPECT_EQ(list, model);
    TCompactList<T> copy = list;
    TCompactList<T> moved = std::move(copy);
    EXPECT_EQ(moved, model);
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved list is empty
    while (!model.empty()) {
        list.erase(list.begin());
        model.erase(model.begin());
        EXPECT_EQ(list, model);
        EXPECT_EQ(list.size(), model.size());
    }
    list.push_back(items[0]);  // one item again, after a block was made
    EXPECT_EQ(list.front(), items[0]);
    list = {items[2]};
    EXPECT_EQ(std::vector<T>(list), std::vector<T>{items[2]});
    list.clear();
    EXPECT_TRUE(list.empty());
}

TEST(CompactListTest, OperationsReadAlikeForEveryKindOfItem) {
    int a = 1, b = 2, c = 3;
    CheckListOperations<int*>({&a, &b, &c});
    CheckListOperations<int*>({nullptr, &a, nullptr});  // a null pointer cannot stand alone
    // Bytes at odd addresses cannot stand alone either (a block pointer is marked by that bit).
    const char bytes[] = "abcd";
    CheckListOperations<const char*>({bytes + 1, bytes, bytes + 3});
    const char pool[] = "\0first\0second";
    CheckListOperations<TText>({TText::Pooled(pool + 1), TText("owned"), TText::Pooled(pool + 7)});
    CheckListOperations<TText>({TText(), TText("x"), TText()});  // an empty text cannot stand alone
    CheckListOperations<std::pair<int, int>>({{1, 2}, {3, 4}, {5, 6}});
}

TEST(CompactListTest, OneItemNeedsNoBlockAndAListGrowsFromItself) {
    int a = 1;
    TCompactList<int*> pointers;
    pointers.reserve(1);
    pointers.push_back(&a);
    EXPECT_EQ(sizeof pointers, sizeof(void*));
    EXPECT_EQ(pointers.capacity(), 1u);
    EXPECT_EQ(pointers.data(), static_cast<const void*>(&pointers));  // kept in place
    // An item of the list itself pushed while the list grows.
    TCompactList<TText> texts{TText("one")};
    for (int i = 0; i < 5; ++i)
        texts.push_back(texts.front());
    EXPECT_EQ(texts.size(), 6u);
    for (const TText& text : texts)
        EXPECT_EQ(text, "one");
    texts.assign(texts.begin() + 1, texts.end());
    EXPECT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts.back(), "one");
}

}  // namespace
