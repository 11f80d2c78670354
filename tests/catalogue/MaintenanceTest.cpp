#include <gtest/gtest.h>

#include "TestUtils.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"

namespace {

struct Announcements final : ICatalogueObserver {
    std::vector<std::pair<TObjectType, int>> seen;
    void CatalogueChanged(TObjectType type, int kind, const void*) override { seen.emplace_back(type, kind); }
    void LibraryLoaded() override {}
    int Count(TObjectType type, int kind) const {
        return static_cast<int>(std::count(seen.begin(), seen.end(), std::make_pair(type, kind)));
    }
};

// A catalogue with one folder; books are added to it by the tests.
struct Catalogue {
    TSVD svd;
    TBookFolder* folder = svd.AddMountPoint("/books");

    TBookInfo* Book() { return folder->AddBook(); }
};

TEST(MaintenanceTest, SweepAuthorsDropsUnlinkedSpellingsAndEmptyAuthors) {
    Catalogue c;
    TAuthorInfo* lonely = c.svd.Authors.NewAuthor(true);
    lonely->AddName("A", "", "", "Lonely");
    TAuthorInfo* mixed = c.svd.Authors.NewAuthor(true);
    TAuthorName* linked = mixed->AddName("B", "", "", "Mixed");
    mixed->AddNick("unused");
    c.Book()->EnsureTitleInfo().AddAuthor(linked);
    Announcements a;
    c.svd.AddObserver(&a);
    c.svd.Sweep(false, kSweepAuthors);
    c.svd.RemoveObserver(&a);
    ASSERT_EQ(c.svd.Authors.Count(), 1u);
    EXPECT_EQ(c.svd.Authors.Author(0), mixed);
    ASSERT_EQ(mixed->Count(), 1u);
    EXPECT_EQ(mixed->Name(0), linked);
    EXPECT_EQ(a.Count(TObjectType::Author, TAuthorInfo::kNameDeleted), 2);
    EXPECT_EQ(a.Count(TObjectType::Author, TAuthorInfo::kDeleted), 1);
}

TEST(MaintenanceTest, SweepGenresAndSeries) {
    Catalogue c;
    c.svd.Genres.LoadBuiltIn();
    TBookInfo* book = c.Book();
    book->EnsureTitleInfo().AddGenre(c.svd.Genres.FindByCode("sf_fantasy"), true);
    TBookSequence* kept = c.svd.FindOrAddSequence("Name", true);
    kept->AddName("NAME");
    book->TitleInfo->AddSequence(kept, 1, true);
    c.svd.FindOrAddSequence("Orphan", true);
    c.svd.Sweep(false, kSweepGenres | kSweepSeries);
    EXPECT_EQ(c.svd.Counts().Genres, 2);
    EXPECT_EQ(c.svd.Counts().Series, 1);
    EXPECT_EQ(kept->Names(), std::vector<std::string>{"Name"});
}

TEST(MaintenanceTest, SweepLostBooksAnnouncesEach) {
    Catalogue c;
    c.svd.AddLostBook()->Crc = 1;
    c.svd.AddLostBook()->Crc = 2;
    Announcements a;
    c.svd.AddObserver(&a);
    c.svd.Sweep(false, kSweepLostBooks);
    c.svd.RemoveObserver(&a);
    EXPECT_TRUE(c.svd.LostBooks.empty());
    EXPECT_EQ(a.Count(TObjectType::Book, TBookInfo::kRemoved), 2);
}

TEST(MaintenanceTest, JoinFlagsForAuthorsAndGenresChangeNothing) {
    Catalogue c;
    c.svd.Authors.FindOrAddName("A", "", "", "B");
    c.svd.Authors.FindOrAddByNick("unused");
    TBookGenre::AddGenre(&c.svd.Genres, -1, "g", true);
    c.svd.Sweep(false, kJoinSameAuthors | kJoinSameGenres);
    EXPECT_EQ(c.svd.Authors.Count(), 2u);
    EXPECT_EQ(c.svd.Counts().Genres, 1);
}

TEST(MaintenanceTest, JoinSeriesThatDifferOnlyInCase) {
    Catalogue c;
    TBookSequence* first = c.svd.Sequences.AddChild("Saga", true);
    TBookSequence* second = c.svd.Sequences.AddChild("saga.", true);
    TBookInfo* a = c.Book();
    TBookInfo* b = c.Book();
    a->EnsureTitleInfo().AddSequence(first, 1, true);
    b->EnsureTitleInfo().AddSequence(second, 2, true);
    c.svd.Sweep(false, kJoinSameSeries);
    ASSERT_EQ(c.svd.Sequences.Count(), 1u);
    TBookSequence* survivor = c.svd.Sequences.Child(0);
    EXPECT_EQ(survivor->Links.Count(), 2u);
    EXPECT_EQ(a->TitleInfo->Sequences[0].Sequence, survivor);
    EXPECT_EQ(b->TitleInfo->Sequences[0], (TSequenceEntry{survivor, 2}));
}

TEST(MaintenanceTest, JoinKeepsTheSeriesWhoseNamesAreAllInTheOther) {
    Catalogue c;
    TBookSequence* twoNames = c.svd.Sequences.AddChild("One", true);
    twoNames->AddName("Two");
    TBookSequence* oneName = c.svd.Sequences.AddChild("one", true);
    TBookInfo* a = c.Book();
    TBookInfo* b = c.Book();
    a->EnsureTitleInfo().AddSequence(twoNames, 1, true);
    b->EnsureTitleInfo().AddSequence(oneName, 2, true);
    c.svd.Sweep(false, kJoinSameSeries);
    ASSERT_EQ(c.svd.Sequences.Count(), 1u);
    EXPECT_EQ(c.svd.Sequences.Child(0), oneName);
    EXPECT_EQ(oneName->Names(), std::vector<std::string>{"one"});
    EXPECT_EQ(oneName->Links.Count(), 2u);
}

TEST(MaintenanceTest, JoinMergesIntoTheSeriesWithSubSeries) {
    Catalogue c;
    TBookSequence* plain = c.svd.Sequences.AddChild("Cycle", true);
    TBookSequence* parent = c.svd.Sequences.AddChild("cycle", true);
    TBookSequence* child = parent->AddChild("Volume", true);
    TBookInfo* a = c.Book();
    TBookInfo* b = c.Book();
    a->EnsureTitleInfo().AddSequence(plain, 1, true);
    b->EnsureTitleInfo().AddSequence(child, 1, true);
    Announcements ann;
    c.svd.AddObserver(&ann);
    c.svd.Sweep(false, kJoinSameSeries);
    c.svd.RemoveObserver(&ann);
    ASSERT_EQ(c.svd.Sequences.Count(), 1u);
    EXPECT_EQ(c.svd.Sequences.Child(0), parent);
    EXPECT_EQ(parent->Count(), 1u);
    EXPECT_EQ(a->TitleInfo->Sequences[0].Sequence, parent);
    EXPECT_EQ(ann.Count(TObjectType::Series, TBookSequence::kDeleted), 1);
}

TEST(MaintenanceTest, SweepBeforeSaveKeepsLostBooks) {
    Catalogue c;
    c.svd.SweepBeforeSave = true;
    c.svd.AddLostBook()->Comment = "precious";
    c.svd.Authors.FindOrAddByNick("unused");
    TSVDStream w({}, false);
    ASSERT_TRUE(c.svd.SaveToStream(w, true));
    EXPECT_EQ(c.svd.LostBooks.size(), 1u);
    EXPECT_EQ(c.svd.Authors.Count(), 0u);
}

TEST(MaintenanceTest, LostBooksAreNotRecognisedByAZeroCrc) {
    Catalogue c;
    TLostBookInfo* unread = c.svd.AddLostBook();
    TLostBookInfo* known = c.svd.AddLostBook();
    known->Crc = 0x1234;
    known->Size = 100;
    EXPECT_EQ(c.svd.FindLostBook(0), nullptr);
    EXPECT_EQ(c.svd.FindLostBook(0x1234, 100), known);
    EXPECT_EQ(c.svd.FindLostBook(0x1234, -1), known);
    EXPECT_EQ(c.svd.FindLostBook(0x1234, 200), nullptr);
    (void)unread;
}

}  // namespace
