#include "catalogue/ListObjects.h"

#include <gtest/gtest.h>

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"

namespace {

std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

struct Shelf {
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint("/books");
    TBookGenre* genre =
        TBookGenre::AddGenre(&svd.Genres, -1, "sf_space", true, A("Космос и корабли"), A("Космическая фантастика"));
    TBookGenre* subgenre = TBookGenre::AddGenre(genre, -1, "sf_mars", true);
    TBookSequence* saga = svd.FindOrAddSequence(A("Сага"), true);
    TBookSequence* part = saga->AddChild(A("Марсианский цикл"), true);

    Shelf() {
        saga->AddName("Saga");
        for (int i = 0; i < 3; ++i) {
            TBookInfo* book = mount->AddBook();
            book->FileName = "b" + std::to_string(i) + ".fb2";
            book->EnsureTitleInfo().AddGenre(i == 2 ? subgenre : genre, true);
            book->TitleInfo->AddSequence(i == 0 ? saga : part, i, true);
        }
    }
};

TEST(ListObjectsTest, GenreRows) {
    Shelf shelf;
    TGenreListObject row(shelf.genre);
    EXPECT_EQ(row.ColumnCount(), 4);
    EXPECT_EQ(AnsiToUtf8(row.ColumnCaption(1)), "Название рус");
    EXPECT_EQ(row.ColumnCaption(4), "");
    EXPECT_EQ(row.GetValue(0).Text, "sf_space");
    EXPECT_EQ(row.GetValue(3).Kind, kValueInteger);
    EXPECT_EQ(row.GetValue(3).Number, 3);  // the subtree's books
    TBookCollection books;
    row.CollectBooks(books);
    EXPECT_EQ(books.Count(), 3u);

    const std::tuple<int, const char*, bool> cases[] =
        {
            {0, "SPACE", true}, {0, "mars", false}, {1, "ФАНТАСТ", true}, {2, "кораб", true},
            {2, "", true},      {3, "3", true},     {3, "3x", false},     {3, "", false},
            {4, "sf", false},   {1, "Кoсм", true},  // a Latin look-alike letter inside a Cyrillic word
            {1, "KOCM", false},                     // an all-Latin word stays Latin
        };
    for (const auto& [column, text, expected] : cases)
        EXPECT_EQ(row.Matches(column, 0, A(text)), expected) << column << " " << text;
}

TEST(ListObjectsTest, SeriesRows) {
    Shelf shelf;
    TSequenceListObject row(shelf.saga);
    EXPECT_EQ(row.ColumnCount(), 2);
    EXPECT_EQ(AnsiToUtf8(row.GetValue(0).Text), "Сага");
    EXPECT_EQ(row.GetValue(1).Number, 3);
    EXPECT_TRUE(row.Matches(0, 0, A("сага")));
    EXPECT_FALSE(row.Matches(0, 0, "saga"));  // only the first name without the option
    EXPECT_TRUE(row.Matches(0, 1, "SAGA"));
    EXPECT_TRUE(row.Matches(0, 0, A("марсиан")));  // through the sub-series
    EXPECT_TRUE(row.Matches(1, 0, "3"));
    EXPECT_TRUE(row.Matches(1, 0, "2"));  // the sub-series has two books
    EXPECT_FALSE(row.Matches(1, 0, " 3"));
    EXPECT_FALSE(row.Matches(5, 1, "a"));
}

}  // namespace

namespace {

TEST(ListObjectsTest, AuthorRows) {
    Shelf shelf;
    TAuthorName* pushkin = shelf.svd.Authors.FindOrAddName(A("Александр"), A("Сергеевич"), "", A("Пушкин"));
    TAuthorInfo& author = *pushkin->Author;
    author.AddSynonym(TAuthorInfo::kLast, A("Pouchkine"));
    pushkin->LinkBook(shelf.mount->Book(0), kRoleTitle);
    pushkin->LinkBook(shelf.mount->Book(1), kRoleTitleTranslator);
    pushkin->LinkBook(shelf.mount->Book(2), kRoleDocumentAuthor);
    TAuthorListObject row(&author);
    EXPECT_EQ(row.ColumnCount(), 9);
    EXPECT_EQ(AnsiToUtf8(row.ColumnCaption(8)), "Дата редактирования");
    EXPECT_EQ(AnsiToUtf8(row.GetValue(2).Text), "Пушкин");
    const int64_t counts[] = {3, 1, 1, 1};
    for (int c = 4; c <= 7; ++c)
        EXPECT_EQ(row.GetValue(c).Number, counts[c - 4]) << c;
    EXPECT_FALSE(row.GetValue(8).HasDate);

    // Smart: keys of every spelling and synonym; Latin look-alikes inside a Cyrillic name.
    EXPECT_TRUE(row.Matches(-1, 1, A("пушк")));
    EXPECT_TRUE(row.Matches(2, 1, A("Пyшкин")));  // a Latin y
    EXPECT_TRUE(row.Matches(-1, 1, "pouch"));
    EXPECT_FALSE(row.Matches(0, 1, A("пушк")));
    EXPECT_TRUE(row.Matches(4, 1, "3"));
    EXPECT_TRUE(row.Matches(-1, 1, "3"));
    // A missing date never matches, however the year of the empty date reads.
    EXPECT_FALSE(row.Matches(-1, 1, "1899"));
    EXPECT_FALSE(row.Matches(8, 1, "12"));
    pushkin->Modified = EncodeDateTime({2024, 3, 7, 10, 0, 0, 0});
    EXPECT_TRUE(row.Matches(8, 1, "03.2024"));
    EXPECT_TRUE(row.Matches(-1, 1, "07.03"));

    // Plain: the cells, texts lower-cased against the text as given.
    EXPECT_TRUE(row.Matches(2, 0, A("ушкин")));
    EXPECT_FALSE(row.Matches(2, 0, A("Пушкин")));
    EXPECT_TRUE(row.Matches(5, 0, "1"));
    EXPECT_TRUE(row.Matches(-1, 0, "07.03.2024 10:00:00"));
    EXPECT_FALSE(row.Matches(-1, 0, "07.03.2024"));

    TAuthorListObject nameless(shelf.svd.Authors.NewAuthor(true));
    EXPECT_EQ(nameless.GetValue(0).Text, "");
    EXPECT_EQ(nameless.GetValue(4).Number, 0);
    EXPECT_FALSE(nameless.GetValue(8).HasDate);
    EXPECT_FALSE(nameless.Matches(-1, 0, "0.0"));
}

}  // namespace

namespace {

TEST(ListObjectsTest, BookRows) {
    Shelf shelf;
    TBookInfo* read = shelf.mount->Book(0);
    TBookInfo* unread = shelf.mount->Book(1);
    read->ReadDate = EncodeDateTime({2025, 11, 5, 0, 0, 0, 0});
    read->Votes[7] = 1;
    read->Votes[8] = 1;  // 7.5
    read->Crc = 0xCA6598D0;
    read->Size = 4096;
    TBookListObject a(read), b(unread);
    EXPECT_EQ(a.ColumnCount(), 17);
    EXPECT_EQ(AnsiToUtf8(a.ColumnCaption(2)), "Cерия");  // with a Latin C, as stored
    EXPECT_EQ(a.GetValue(2).Kind, kValueGroupText);
    EXPECT_EQ(a.GetValue(3).Kind, kValueOptional);
    EXPECT_EQ(CellText(a.GetValue(11)), "7.5");
    EXPECT_EQ(CellText(a.GetValue(16)), "$CA6598D0");
    EXPECT_EQ(CellText(a.GetValue(9)), "05.11.2025");
    EXPECT_EQ(CellText(b.GetValue(9)), "");
    EXPECT_EQ(a.GetValue(8).Number, 1);
    EXPECT_EQ(b.GetValue(8).Number, 0);
    TBookCollection books;
    EXPECT_THROW(a.CollectBooks(books), EShelvaraError);

    const std::tuple<int, std::string, bool, bool> cases[] = {
        // column, text, matches the read book, matches the unread one
        {8, "x", true, false},       {8, "TRUE", true, false},  {8, "0", false, true},   {11, "7", true, false},
        {11, "7.5", true, false},    {11, "0", false, true},    {11, ".", false, false}, {9, "11.2025", true, false},
        {9, "12", false, false},  // no read date is no date at all
        {16, "98d0", true, false},   {15, "4096", true, false}, {13, "b1", false, true}, {2, A("сага"), true, false},
        {-1, "ca6598", true, false}, {-1, "2025", true, false},
    };
    for (const auto& [column, text, forRead, forUnread] : cases) {
        SCOPED_TRACE(std::to_string(column) + " " + text);
        EXPECT_EQ(a.Matches(column, 1, text), forRead);
        EXPECT_EQ(b.Matches(column, 1, text), forUnread);
    }
}

}  // namespace

namespace {

TEST(ListObjectsTest, FullTextFilter) {
    const std::string text = A("Мой дядя самых честных правил, когда не в шутку занемог");
    EXPECT_TRUE(TextFilterMatches(text, A("ЧЕСТНЫХ"), false));
    EXPECT_FALSE(TextFilterMatches(text, A("честных  правил"), false));
    // Extended: the skeletons, so letter case and look-alike letters do not matter, and the
    // words are found anywhere, not only at the end.
    EXPECT_TRUE(TextFilterMatches(text, A("чeстных"), true));  // a Latin e
    EXPECT_TRUE(TextFilterMatches(text, A("ПРАВИЛ, КОГДА"), true));
    EXPECT_TRUE(TextFilterMatches(text, A("занемог"), true));
    EXPECT_FALSE(TextFilterMatches(text, A("дядька"), true));
}

}  // namespace
