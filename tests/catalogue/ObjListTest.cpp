#include "catalogue/ObjList.h"

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "common/Error.h"

namespace {

struct Row final : TListObject {
    int key, id;
    Row(int k, int i) : key(k), id(i) {}
    const TRowClass& RowClass() const override {
        static const TRowClass kClass{{1036}};
        return kClass;
    }
    TCellValue GetValue(int) const override { return TCellValue::OfNumber(key); }
    void CollectBooks(TBookCollection&) const override {}
    bool Matches(int, int, const std::string&) const override { return false; }
};

struct View final : IListView {
    std::vector<int> kinds;
    bool detached = false;
    void ListChanged(TListChange kind) override { kinds.push_back(kind); }
    void ListDetached() override { detached = true; }
};

int KeyOrder(const TListObject* a, const TListObject* b) {
    return static_cast<const Row*>(a)->key - static_cast<const Row*>(b)->key;
}

std::string ErrorText(const std::function<void()>& f) {
    try {
        f();
    } catch (const EShelvaraError& e) {
        return e.what();
    }
    return {};
}

TEST(ObjListTest, ChangesInsideAnUpdateAreReportedOnce) {
    View view;
    TObjList list;
    list.View = &view;
    list.BeginUpdate();
    for (int i = 0; i < 3; ++i)
        list.Add(std::make_unique<Row>(i, i));
    list.EndUpdate();
    EXPECT_EQ(view.kinds, std::vector<int>{kRowAdded});

    view.kinds.clear();
    list.BeginUpdate();
    list.Add(std::make_unique<Row>(9, 9));
    list.BeginUpdate();
    const std::unique_ptr<TListObject> taken = list.Delete(0);
    list.EndUpdate();
    EXPECT_TRUE(view.kinds.empty());  // still inside the outer update
    list.EndUpdate();
    EXPECT_EQ(view.kinds, std::vector<int>{kRowsChanged});
    EXPECT_EQ(static_cast<Row*>(taken.get())->id, 0);

    view.kinds.clear();
    list.Add(nullptr);  // an empty slot is no added row
    list.Delete(list.Count() - 1);
    EXPECT_EQ(view.kinds, std::vector<int>{kRowsRemoved});
}

TEST(ObjListTest, BoundsCapacityAndCount) {
    View view;
    TObjList list;
    std::vector<int32_t> capacities;
    for (int i = 0; i < 130; ++i) {
        list.Add(std::make_unique<Row>(i, i));
        if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{16, 32, 48, 64, 80, 100, 125, 156}));
    EXPECT_EQ(ErrorText([&] { list.Get(130); }), "List index out of bounds (130)");
    EXPECT_EQ(ErrorText([&] { list.Insert(131, nullptr); }), "List index out of bounds (131)");
    EXPECT_EQ(ErrorText([&] { list.SetCapacity(10); }), "List capacity out of bounds (10)");
    EXPECT_EQ(ErrorText([&] { list.SetCount(-1); }), "List count out of bounds (-1)");

    list.Get(3)->Selection = 1;
    list.Get(7)->Selection = 1;
    EXPECT_EQ(static_cast<Row*>(list.FirstSelected())->id, 3);
    EXPECT_EQ(list.SelectedCount(), 2);

    list.View = &view;
    list.BeginUpdate();
    list.SetCount(5);
    list.SetCount(8);
    list.EndUpdate();
    EXPECT_EQ(view.kinds, std::vector<int>{kRowsRemoved});
    EXPECT_EQ(list.Get(7), nullptr);
    EXPECT_EQ(list.SelectedCount(), 1);

    list.Fresh = false;
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
    EXPECT_TRUE(list.Fresh);
}

TEST(ObjListTest, SortingSmallListsKeepsEqualRowsInOrder) {
    for (int n : {2, 16, 17, 200}) {
        SCOPED_TRACE(n);
        TObjList list;
        std::mt19937 rng(static_cast<unsigned>(n));
        for (int i = 0; i < n; ++i)
            list.Add(std::make_unique<Row>(static_cast<int>(rng() % 5), i));
        list.Sort(KeyOrder);
        for (int i = 1; i < n; ++i) {
            const auto* a = static_cast<Row*>(list.Get(i - 1));
            const auto* b = static_cast<Row*>(list.Get(i));
            ASSERT_LE(a->key, b->key);
            if (n <= 16 && a->key == b->key) {
                EXPECT_LT(a->id, b->id);
            }
        }
    }
}

TEST(ObjListTest, ASelfContradictingComparisonStaysInsideTheList) {
    TObjList list;
    for (int i = 0; i < 300; ++i)
        list.Add(std::make_unique<Row>(i, i));
    std::mt19937 rng(1);
    list.Sort([&](const TListObject*, const TListObject*) { return static_cast<int>(rng() % 3) - 1; });
    EXPECT_EQ(list.Count(), 300);
    std::vector<int> ids;
    for (int i = 0; i < 300; ++i)
        ids.push_back(static_cast<Row*>(list.Get(i))->id);
    std::sort(ids.begin(), ids.end());
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(ids[static_cast<size_t>(i)], i);
}

TEST(ObjListTest, DestroyingDetachesTheView) {
    View view;
    {
        TObjList list;
        list.View = &view;
        list.Add(std::make_unique<Row>(1, 1));
    }
    EXPECT_TRUE(view.detached);
}

}  // namespace

namespace {

struct Cells final : TListObject {
    std::vector<TCellValue> values;
    explicit Cells(std::vector<TCellValue> v) : values(std::move(v)) {}
    const TRowClass& RowClass() const override {
        static const TRowClass kClass{{1042, 1044, 1046}};
        return kClass;
    }
    TCellValue GetValue(int column) const override {
        return column >= 0 && column < static_cast<int>(values.size()) ? values[static_cast<size_t>(column)]
                                                                       : TCellValue{};
    }
    void CollectBooks(TBookCollection&) const override {}
    bool Matches(int, int, const std::string&) const override { return false; }
};

std::unique_ptr<TListObject> Book(const char* title, const char* series, int number) {
    return std::make_unique<Cells>(std::vector<TCellValue>{TCellValue::OfText(title),
                                                           TCellValue::OfText(series, kValueGroupText),
                                                           TCellValue::OfNumber(number, kValueOptional)});
}

std::vector<std::string> Titles(const TObjList& list) {
    std::vector<std::string> titles;
    for (int i = 0; i < list.Count(); ++i)
        titles.push_back(list.Get(i)->GetValue(0).Text);
    return titles;
}

TEST(ObjListTest, GridOrderGroupsSeriesByNumberAndBreaksTies) {
    TObjList list;
    list.Add(Book("c", "Beta", 1));
    list.Add(Book("x", "alpha", 3));
    list.Add(Book("b", "Alpha", 1));
    list.Add(Book("a", "ALPHA", 2));
    list.Add(Book("a", "Beta", -1));
    TRowOrder order;
    order.SortColumn = 1;
    order.Columns = {0, 1, 2};
    list.Sort([&](const TListObject* a, const TListObject* b) { return CompareRows(*a, *b, order); });
    // Within a series by number (no number first), not by title.
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"b", "a", "x", "a", "c"}));

    order.Descending = true;
    list.Sort([&](const TListObject* a, const TListObject* b) { return CompareRows(*a, *b, order); });
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"c", "a", "x", "a", "b"}));

    // By title: equal titles fall back to the series, then the number.
    order = {0, false, true, {0, 1, 2}};
    list.Sort([&](const TListObject* a, const TListObject* b) { return CompareRows(*a, *b, order); });
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"a", "a", "b", "c", "x"}));
    EXPECT_EQ(list.Get(0)->GetValue(1).Text, "ALPHA");

    // Letter case counts when the grid compares exactly.
    order = {1, false, false, {1}};
    list.Sort([&](const TListObject* a, const TListObject* b) { return CompareRows(*a, *b, order); });
    EXPECT_EQ(list.Get(0)->GetValue(1).Text, "ALPHA");
    EXPECT_EQ(list.Get(4)->GetValue(1).Text, "alpha");
}

}  // namespace
