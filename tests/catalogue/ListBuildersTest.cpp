#include "catalogue/ListBuilders.h"

#include <gtest/gtest.h>

#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "catalogue/ListObjects.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"

namespace {

std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

// Four people: a writer, a translator, one who writes and translates, a designer.
struct People {
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint("/books");
    People() {
        for (int i = 0; i < 4; ++i)
            mount->AddBook()->FileName = "b" + std::to_string(i) + ".fb2";
        Link(A("Писатель"), {kRoleTitle});
        Link(A("Переводчик"), {kRoleTitleTranslator});
        Link(A("Оба"), {kRoleSrcAuthor, kRoleSrcTranslator});
        Link(A("Художник"), {kRoleDocumentAuthor});
    }
    void Link(const std::string& last, std::initializer_list<uint8_t> roles) {
        TAuthorName* name = svd.Authors.FindOrAddName("", "", "", last);
        int i = 0;
        for (uint8_t role : roles)
            name->LinkBook(mount->Book(i++), role);
    }
};

std::vector<std::string> Names(const TObjList& rows) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < rows.Count(); ++i)
        names.push_back(AnsiToUtf8(rows.Get(i)->GetValue(2).Text));
    return names;
}

using S = std::vector<std::string>;
using R = TRoleCheck;

TEST(ListBuildersTest, AuthorRoleBoxes) {
    People p;
    TObjList rows;
    const std::tuple<TAuthorRoleChecks, S> cases[] = {
        {{R::Checked, R::Grayed, R::Grayed, R::Grayed}, {"Писатель", "Оба"}},
        {{R::Checked, R::Unchecked, R::Grayed, R::Grayed}, {"Писатель"}},
        {{R::Grayed, R::Checked, R::Grayed, R::Grayed}, {"Переводчик", "Оба"}},
        {{R::Grayed, R::Grayed, R::Checked, R::Grayed}, {"Художник"}},
        {{R::Unchecked, R::Unchecked, R::Grayed, R::Grayed}, {}},
        {{R::Grayed, R::Grayed, R::Grayed, R::Grayed}, {}},
        {{R::Grayed, R::Grayed, R::Grayed, R::Checked}, {"-- Нет автора --"}},  // the placeholder alone
        {{R::Checked, R::Checked, R::Checked, R::Checked},
         {"-- Нет автора --", "Писатель", "Переводчик", "Оба", "Художник"}},
    };
    for (const auto& [checks, expected] : cases) {
        BuildAuthorRows(p.svd, checks, {}, rows);
        EXPECT_EQ(Names(rows), expected);
        EXPECT_FALSE(rows.Stale);
    }
    // A filter hides the placeholder and narrows the rows.
    TListFilter filter{A("ОБ"), -1, false};
    BuildAuthorRows(p.svd, {R::Checked, R::Checked, R::Checked, R::Checked}, filter, rows);
    EXPECT_EQ(Names(rows), S{"Оба"});
}

TEST(ListBuildersTest, SeriesAndGenresDepthFirstWithFilters) {
    TSVD svd;
    TBookSequence* saga = svd.FindOrAddSequence(A("Сага"), true);
    saga->AddChild(A("Марс"), true);
    svd.FindOrAddSequence(A("Дюна"), true);
    TObjList rows;
    BuildSequenceRows(svd, {}, rows);
    ASSERT_EQ(rows.Count(), 3);
    EXPECT_EQ(AnsiToUtf8(rows.Get(1)->GetValue(0).Text), "Марс");
    BuildSequenceRows(svd, {A("мар"), 0, false}, rows);
    ASSERT_EQ(rows.Count(), 2);  // the saga matches through its sub-series
    EXPECT_EQ(AnsiToUtf8(rows.Get(0)->GetValue(0).Text), "Сага");

    TBookGenre* hidden = TBookGenre::AddGenre(&svd.Genres, -1, "sf", true);
    TBookGenre::AddGenre(hidden, -1, "sf_space", true);
    TBookGenre::AddGenre(&svd.Genres, -1, "prose", true);
    BuildGenreRows(svd, {}, rows);
    EXPECT_EQ(rows.Count(), 3);
    hidden->Flags |= TBookGenre::kHidden;
    BuildGenreRows(svd, {}, rows);
    ASSERT_EQ(rows.Count(), 2);  // its sub-genre stays
    EXPECT_EQ(rows.Get(0)->GetValue(0).Text, "sf_space");
    BuildGenreRows(svd, {"sf_space", 0, false}, rows);
    ASSERT_EQ(rows.Count(), 1);
    BuildGenreRows(svd, {"sf_space", -1, false}, rows);
    EXPECT_EQ(rows.Count(), 1);
}

TEST(ListBuildersTest, SaveAsNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"abc", "abc.sv2"},         {"lib.SV2", "lib.SV2"},       {".sv2", ".sv2.sv2"},
        {" /x/b.sv2 ", "/x/b.sv2"}, {"/x.sv2/a", "/x.sv2/a.sv2"}, {"a.svd", "a.svd.sv2"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(TSVD::WithLibraryExtension(in), out) << in;
}

}  // namespace
