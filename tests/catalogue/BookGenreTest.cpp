#include "catalogue/BookGenre.h"

#include <climits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"

namespace {

TEST(BookGenreTest, BuiltInTableMakesFourteenHiddenGroups) {
    TBookGenre root;
    root.LoadBuiltIn();
    ASSERT_EQ(root.Count(), 14u);
    EXPECT_EQ(root.NodeCount(), 129);
    for (size_t g = 0; g < root.Count(); ++g) {
        const TBookGenre* group = root.Child(g);
        EXPECT_EQ(group->Index, static_cast<int32_t>((0x20 + g) << 24)) << g;
        EXPECT_TRUE(group->IsHidden());
        for (size_t n = 0; n < group->Count(); ++n) {
            EXPECT_EQ(group->Child(n)->Index, group->Index + static_cast<int32_t>(n) + 1);
            EXPECT_FALSE(group->Child(n)->IsHidden());
        }
    }
    EXPECT_EQ(root.Child(0)->Code, "SF, Fantasy");
    EXPECT_EQ(root.Child(0)->Child(0)->Code, "sf_history");
    EXPECT_EQ(root.Child(2)->Code, "Prose ");
    EXPECT_EQ(root.Child(13)->Index, 0x2D000000);
    EXPECT_EQ(root.Child(13)->Child(9)->Code, "home");
    // Russian names are Windows-1251: "Альтернативная история" starts with А (0xC0).
    EXPECT_EQ(static_cast<unsigned char>(root.Child(0)->Child(0)->RusName[0]), 0xC0);
}

TEST(BookGenreTest, FindByCodeSearchesLaterGroupsFirstAndCaseSensitively) {
    TBookGenre root;
    root.LoadBuiltIn();
    TBookGenre* found = root.FindByCode("sf_detective");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Parent->Code, "Detectives, Thrillers");
    EXPECT_EQ(root.FindByCode("SF_DETECTIVE"), nullptr);
    EXPECT_EQ(root.FindByIndex(0x20000001), root.Child(0)->Child(0));
}

TEST(BookGenreTest, AddGenreComparesAllThreeTexts) {
    TBookGenre root;
    root.LoadBuiltIn();
    TBookGenre* sf = root.Child(0);
    TBookGenre* added = TBookGenre::AddGenre(sf, -1, "  SF_HISTORY ", true);
    EXPECT_NE(added, sf->Child(0));
    EXPECT_EQ(added, sf->Child(sf->Count() - 1));
    EXPECT_EQ(added->Code, "  SF_HISTORY ");
    EXPECT_EQ(added->Index, INT32_MAX);
    // Equal after trimming and lower-casing: the same node comes back.
    EXPECT_EQ(TBookGenre::AddGenre(sf, 5, "sf_history", true), added);
    EXPECT_EQ(TBookGenre::AddGenre(&root, -1, "x", true)->Index, INT32_MAX - 1);
}

TEST(BookGenreTest, LinksKeepOneEntryPerBookAndRole) {
    TBookGenre root;
    TBookGenre* g = TBookGenre::AddGenre(&root, 1, "g", true);
    TBookInfo a(nullptr), b(nullptr);
    g->LinkBook(&a, 1, true);
    g->LinkBook(&a, 1, true);
    EXPECT_EQ(g->BookCount(), 1);
    g->LinkBook(&a, 2, true);
    g->LinkBook(&b, 1, true);
    EXPECT_EQ(g->BookCount(), 3);
    EXPECT_EQ(root.BookCount(), 3);
    g->UnlinkBook(&a, 0, true);  // the last link of a, whatever its role
    ASSERT_EQ(g->Links.Count(), 2u);
    EXPECT_EQ(g->Links[0], (TBookLink{&a, 1}));
    EXPECT_EQ(g->Links[1], (TBookLink{&b, 1}));
    TBookCollection books;
    root.CollectBooks(books);
    EXPECT_EQ(books.Books(), (std::vector<TBookInfo*>{&a, &b}));
}

TEST(BookGenreTest, LinkArraysGrowByTheirPolicy) {
    TBookLinks links;
    TBookInfo book(nullptr);
    std::vector<size_t> capacities;
    for (int i = 0; i < 70; ++i) {
        links.Append(&book, 1);
        if (capacities.empty() || capacities.back() != links.Capacity()) capacities.push_back(links.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<size_t>{4, 8, 12, 16, 20, 28, 36, 44, 52, 60, 68, 85}));
}

TEST(BookGenreTest, SweepKeepsOnlyThePathToBooks) {
    TBookGenre root;
    root.LoadBuiltIn();
    TBookInfo book(nullptr);
    book.EnsureTitleInfo().AddGenre(root.FindByCode("sf_fantasy"), true);
    root.SweepEmpty();
    ASSERT_EQ(root.NodeCount(), 3);
    EXPECT_EQ(root.Child(0)->Code, "SF, Fantasy");
    EXPECT_EQ(root.Child(0)->Child(0)->Code, "sf_fantasy");
}

TEST(BookGenreTest, MoveToRefusesOwnSubtree) {
    TBookGenre root;
    TBookGenre* a = TBookGenre::AddGenre(&root, 1, "a", true);
    TBookGenre* b = TBookGenre::AddGenre(a, 2, "b", true);
    TBookGenre* c = TBookGenre::AddGenre(&root, 3, "c", true);
    EXPECT_FALSE(TBookGenre::MoveTo(a, b));
    EXPECT_FALSE(TBookGenre::MoveTo(a, a));
    EXPECT_TRUE(TBookGenre::MoveTo(a, c));
    EXPECT_EQ(a->Parent, c);
    EXPECT_EQ(root.Count(), 1u);
    EXPECT_TRUE(TBookGenre::IsDescendantOf(b, c));
}

TEST(BookGenreTest, MergeMovesBooksToTarget) {
    TBookGenre root;
    TBookGenre* source = TBookGenre::AddGenre(&root, 1, "source", true);
    TBookGenre* target = TBookGenre::AddGenre(&root, 2, "target", true);
    TBookInfo a(nullptr), b(nullptr);
    a.EnsureTitleInfo().AddGenre(source, true);
    b.EnsureSrcTitleInfo().AddGenre(source, true);
    b.EnsureSrcTitleInfo().AddGenre(target, true);
    TBookGenre::MergeInto(source, target, true);
    EXPECT_TRUE(source->Links.Empty());
    EXPECT_EQ(root.Count(), 2u);  // the source stays until a sweep
    EXPECT_EQ(a.TitleInfo->Genres, (std::vector<TBookGenre*>{target}));
    // A book that listed both lists the target twice until its record is read again.
    EXPECT_EQ(b.SrcTitleInfo->Genres, (std::vector<TBookGenre*>{target, target}));
    EXPECT_EQ(target->Links.Count(), 2u);
    EXPECT_TRUE(target->Links.Contains(&a, 1));
    EXPECT_TRUE(target->Links.Contains(&b, 2));
}

TEST(BookGenreTest, RecordRoundTripTrimsTextsAndKeepsFlags) {
    TBookGenre root;
    TBookGenre* g = TBookGenre::AddGenre(&root, 7, " code ", true, "   ", "name");
    g->Flags = 0xA1;  // hidden plus bits that are only carried
    TBookGenre::AddGenre(g, 8, "child", true);
    TSVDStream w({}, false);
    root.SaveToStream(w);
    auto r = TSVDStream::FromBytes(w.FileImage());
    TBookGenre loaded;
    ASSERT_TRUE(loaded.LoadFromStream(*r));
    ASSERT_EQ(loaded.Count(), 1u);
    const TBookGenre* lg = loaded.Child(0);
    EXPECT_EQ(lg->Code, "code");
    EXPECT_EQ(lg->RusName, "name");
    EXPECT_EQ(lg->Comment, "");
    EXPECT_EQ(lg->Flags & 0xE1, 0xA1);
    EXPECT_EQ(lg->Flags & 0x08, 0);  // no comment bit for a blank comment
    EXPECT_EQ(lg->Index, 7);
    EXPECT_EQ(lg->Child(0)->Code, "child");
}

TEST(BookGenreTest, NotificationsReachTheCatalogue) {
    struct Observer final : ICatalogueObserver {
        std::vector<int> kinds;
        void CatalogueChanged(TObjectType type, int kind, const void*) override {
            if (type == TObjectType::Genre) kinds.push_back(kind);
        }
        void LibraryLoaded() override {}
    } observer;
    TSVD svd;
    svd.AddObserver(&observer);
    TBookGenre* a = TBookGenre::AddGenre(&svd.Genres, -1, "a", false);
    TBookGenre* b = TBookGenre::AddGenre(&svd.Genres, -1, "b", false);
    TBookGenre::MoveTo(b, a);
    svd.Genres.SweepEmpty();
    EXPECT_EQ(observer.kinds, (std::vector<int>{2, 2, 1, 3, 3}));
    svd.RemoveObserver(&observer);
}

TEST(BookGenreTest, TheCodeIndexFollowsTheTree) {
    TBookGenre root;
    TBookGenre* a = TBookGenre::AddGenre(&root, -1, "a", true);
    TBookGenre* b = TBookGenre::AddGenre(a, -1, "b", true);
    TBookGenre* twin = TBookGenre::AddGenre(&root, -1, "b", true, "another comment");
    // The first in search order: the root's last child is searched first.
    EXPECT_EQ(root.FindByCode("b"), twin);
    EXPECT_EQ(root.FindByCode("a"), a);
    root.DeleteChild(twin);
    EXPECT_EQ(root.FindByCode("b"), b);
    b->SetCode("c");
    EXPECT_EQ(root.FindByCode("b"), nullptr);
    EXPECT_EQ(root.FindByCode("c"), b);
    root.Clear();
    EXPECT_EQ(root.FindByCode("c"), nullptr);
    EXPECT_EQ(root.FindByCode(""), &root);
}

}  // namespace

namespace {

// A book's code the built-in table knows enters with the table's names, in its group; an unknown
// code stays bare; a code in two groups lands where a search of the full table finds it.
TEST(BookGenreTest, KnownCodesOfANewTreeTakeTheirNamesAndGroup) {
    TBookGenre root;
    struct Case {
        const char* code;
        const char* group;  // empty: directly under the root
        const char* comment;
    };
    const Case cases[] = {
        {"sf_fantasy", "SF, Fantasy", "Fantasy"},
        {"sf_detective", "Detectives, Thrillers", "Detective SF"},
        {"sci_religion", "Religion", "Religious Studies"},
        {"literature_rus_classsic", "Prose ", "Russian classics"},  // common, not in the table
        {"unrecognised", "Other", "Unsorted"},
        {"my_code", "", ""},
    };
    for (const Case& c : cases) {
        TBookGenre* genre = root.ForCode(c.code, true);
        EXPECT_EQ(genre->Code, c.code);
        EXPECT_EQ(genre->Comment, c.comment) << c.code;
        EXPECT_EQ(genre->Parent == &root ? std::string() : genre->Parent->Code, c.group) << c.code;
        EXPECT_EQ(genre->RusName.empty(), *c.group == 0) << c.code;
        EXPECT_EQ(root.ForCode(c.code, true), genre) << "found again, not made twice: " << c.code;
    }
    // One group each, hidden as the full table's groups are.
    EXPECT_EQ(root.Count(), 6u);
    EXPECT_TRUE(root.FindByCode("sf_fantasy")->Parent->IsHidden());
    EXPECT_EQ(root.ForCode("sf_epic", true)->Parent, root.FindByCode("sf_fantasy")->Parent);
}

// An older library's bare codes give their books to the named genres; what the user made stays.
TEST(BookGenreTest, MergeBuiltInNamesTheBareCodesOfAnOlderLibrary) {
    TBookGenre root;
    TBookGenre* bare = TBookGenre::AddGenre(&root, 5, "sf_fantasy", true);
    TBookGenre* own = TBookGenre::AddGenre(&root, 6, "my_code", true);
    TBookInfo book(nullptr);
    book.EnsureTitleInfo().AddGenre(bare, true);
    book.EnsureTitleInfo().AddGenre(own, true);
    TBookGenre full;
    full.LoadBuiltIn();
    EXPECT_EQ(root.MergeBuiltIn(true), full.NodeCount() - 1 + 1);  // every row added, one code named
    EXPECT_EQ(root.NodeCount(), full.NodeCount() + 1);             // the bare code went, the user's stayed
    TBookGenre* named = root.FindByCode("sf_fantasy");
    EXPECT_EQ(named->Parent->Code, "SF, Fantasy");
    EXPECT_EQ(book.TitleInfo->Genres, (std::vector<TBookGenre*>{own, named}));  // as a join puts it
    EXPECT_TRUE(named->Links.Contains(&book, 1));
    EXPECT_EQ(root.MergeBuiltIn(true), 0);  // a second run adds nothing
}

}  // namespace
