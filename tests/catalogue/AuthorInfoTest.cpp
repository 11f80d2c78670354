#include "catalogue/AuthorList.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVDStream.h"
#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"

namespace {

// Test names are written in UTF-8 and used as engine text.
std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

struct Name {
    const char* first;
    const char* middle;
    const char* last;
    const char* nick;
};

struct MatchCase {
    const char* what;
    Name spelling;
    Name query;
    bool exact;  // expected result of the exact test
    bool loose;  // expected result of the loose test
};

const MatchCase kMatchCases[] = {
    {"same name", {"Иван", "Петрович", "Сидоров", ""}, {"Иван", "Петрович", "Сидоров", ""}, true, true},
    {"initial of the first name", {"Иван", "Петрович", "Сидоров", ""}, {"И.", "", "Сидоров", ""}, false, true},
    {"other first name", {"Иван", "Петрович", "Сидоров", ""}, {"Пётр", "", "Сидоров", ""}, false, false},
    {"initial of the middle name", {"Иван", "Петрович", "Сидоров", ""}, {"Иван", "П", "Сидоров", ""}, false, true},
    {"other middle name", {"Иван", "Петрович", "Сидоров", ""}, {"Иван", "Павлович", "Сидоров", ""}, false, false},
    {"no middle name in the spelling", {"Иван", "", "Сидоров", ""}, {"Иван", "Петрович", "Сидоров", ""}, false, true},
    {"no first name in the query", {"Иван", "Петрович", "Сидоров", ""}, {"", "", "Сидоров", ""}, false, true},
    {"first name in the query only", {"", "", "Сидоров", ""}, {"Иван", "", "Сидоров", ""}, false, false},
    {"two letters are no initial", {"Иван", "", "Сидоров", ""}, {"Ив", "", "Сидоров", ""}, false, false},
    {"same initial, other name", {"Игорь", "", "Сидоров", ""}, {"И", "", "Сидоров", ""}, false, true},
    {"other last name", {"Иван", "", "Сидоров", ""}, {"Иван", "", "Петров", ""}, false, false},
    {"Latin C in the last name", {"Иван", "", "Сидоров", ""}, {"Иван", "", "Cидоров", ""}, true, true},
    {"Latin look-alikes in the first name", {"Анна", "", "Каренина", ""}, {"Aннa", "", "Каренина", ""}, true, true},
    {"punctuation and case", {"Иван", "", "Сидоров", ""}, {" иван!", "", "СИДОРОВ.", ""}, true, true},
    {"Latin name, any case", {"Mark", "", "Twain", ""}, {"mark", "", "TWAIN", ""}, true, true},
    {"nickname in the query only", {"Иван", "", "Сидоров", ""}, {"Иван", "", "Сидоров", "Ваня"}, false, true},
    {"nickname only, same", {"", "", "", "Бегемот"}, {"", "", "", "бегемот!"}, true, true},
    {"nickname only, other", {"", "", "", "Бегемот"}, {"", "", "", "Кот"}, false, false},
    {"nickname only against a full name", {"Иван", "", "Сидоров", "Ваня"}, {"", "", "", "Ваня"}, true, true},
    {"nickname only against no nickname", {"Иван", "", "Сидоров", ""}, {"", "", "", "Ваня"}, false, false},
    {"empty query", {"", "", "", ""}, {"", "", "", ""}, false, false},
};

TEST(AuthorInfoTest, NameMatchingTable) {
    for (const auto& c : kMatchCases) {
        TAuthorName spelling(nullptr);
        spelling.SetParts(A(c.spelling.first), A(c.spelling.middle), A(c.spelling.last), A(c.spelling.nick));
        const TNameKeys q = TNameKeys::Of(A(c.query.first), A(c.query.middle), A(c.query.last), A(c.query.nick));
        EXPECT_EQ(spelling.NameMatches(q, true), c.exact) << c.what;
        EXPECT_EQ(spelling.NameMatches(q, false), c.loose) << c.what;
    }
}

TEST(AuthorInfoTest, DisplayName) {
    const std::pair<Name, const char*> cases[] = {
        {{" Иван ", "", "Сидоров", ""}, "Иван Сидоров"},
        {{"Иван", "Петрович", "Сидоров", "Ваня"}, "Иван Петрович Сидоров (Ваня)"},
        {{"", "", "", " Бегемот "}, "Бегемот"},
        {{"", "", "", ""}, ""},
    };
    for (const auto& [parts, expected] : cases) {
        TAuthorName spelling(nullptr);
        spelling.SetParts(A(parts.first), A(parts.middle), A(parts.last), A(parts.nick));
        EXPECT_EQ(AnsiToUtf8(spelling.DisplayName()), expected);
    }
}

TEST(AuthorInfoTest, SynonymFindsTheAuthorInTheLoosePassOnly) {
    TAuthorList list;
    TAuthorInfo* author = list.NewAuthor(true);
    TAuthorName* main = author->AddName(A("Иван"), "", "", A("Сидоров"));
    author->AddName(A("Иван"), A("Петрович"), "", A("Сидоров"));
    author->AddSynonym(TAuthorInfo::kFirst, A("Ваня"));
    EXPECT_EQ(list.FindName(A("Ваня"), "", "", A("Сидоров")), main);
    EXPECT_EQ(author->FindNameByParts(TNameKeys::Of(A("Ваня"), "", A("Сидоров"), ""), true), nullptr);
    // Parts spread over two spellings still name the author.
    TAuthorInfo* other = list.NewAuthor(true);
    TAuthorName* first = other->AddName(A("Анна"), "", "", A("Петрова"));
    other->AddName("", A("Сергеевна"), "", A("Петрова"));
    EXPECT_EQ(list.FindName(A("Анна"), A("Сергеевна"), "", A("Петрова")), first);
    EXPECT_EQ(list.FindName(A("Мария"), "", "", A("Петрова")), nullptr);
}

TEST(AuthorInfoTest, FindNamePrefersExactMatchesAndLaterAuthors) {
    TAuthorList list;
    TAuthorName* older = list.FindOrAddName(A("Иван"), "", "", A("Сидоров"));
    TAuthorName* newer = list.NewAuthor(true)->AddName(A("Игорь"), "", "", A("Сидоров"));
    EXPECT_EQ(list.FindName(A("Иван"), "", "", A("Сидоров")), older);  // exact beats loose
    EXPECT_EQ(list.FindName(A("И."), "", "", A("Сидоров")), newer);    // loose: from the last author
    std::vector<TAuthorName*> candidates;
    list.FindCandidates(A("И."), "", "", A("Сидоров"), candidates);
    EXPECT_EQ(candidates, (std::vector<TAuthorName*>{newer, older}));
    candidates.clear();
    list.FindCandidates(A("Иван"), "", "", A("Сидоров"), candidates);
    EXPECT_EQ(candidates, std::vector<TAuthorName*>{older});
    EXPECT_EQ(list.FindOrAddName(A("Иван"), "", "", A("Сидоров")), older);
    EXPECT_EQ(list.Count(), 2u);
}

TEST(AuthorInfoTest, AddNameFillsInOrKeepsMiddleNames) {
    TAuthorList list;
    TAuthorInfo* author = list.NewAuthor(true);
    TAuthorName* pavlovich = author->AddName(A("Иван"), A("Павлович"), "", A("Сидоров"));
    TAuthorName* petrovich = author->AddName(A("Иван"), A("Петрович"), "", A("Сидоров"));
    EXPECT_NE(petrovich, pavlovich);
    EXPECT_EQ(author->Count(), 2u);

    TAuthorInfo* second = list.NewAuthor(true);
    TAuthorName* bare = second->AddName(A("Пётр"), "", "", A("Иванов"));
    EXPECT_EQ(second->AddName(A("Пётр"), A("Сергеевич"), "", A("Иванов")), bare);
    EXPECT_EQ(bare->MiddleName(), A("Сергеевич"));
    // New spellings are trimmed and brought to one alphabet.
    TAuthorName* fixed = list.NewAuthor(true)->AddName(A(" Aннa "), "", "", A("Kаренина"));
    EXPECT_EQ(fixed->FirstName(), A("Анна"));
    EXPECT_EQ(fixed->LastName(), A("Каренина"));
}

TEST(AuthorInfoTest, NicknameLookups) {
    TAuthorList list;
    TAuthorName* cat = list.FindOrAddByNick(A("Бегемот"));
    EXPECT_EQ(list.FindOrAddByNick(A("бегемот.")), cat);
    EXPECT_EQ(list.Count(), 1u);
    TAuthorInfo* author = list.NewAuthor(true);
    TAuthorName* named = author->AddName(A("Иван"), "", "", A("Сидоров"));
    author->AddSynonym(TAuthorInfo::kNick, A("Ваня"));
    EXPECT_EQ(list.FindByNick(A("Ваня")), named);
    EXPECT_EQ(list.FindByNick(A("Кот")), nullptr);
}

TEST(AuthorInfoTest, NextIndexCountsDownToOneThenUp) {
    TAuthorList list;
    EXPECT_EQ(list.NextIndex(), 1);
    EXPECT_EQ(list.NextIndex(), 2);
    list.LowestIndex = 5;
    list.HighestIndex = 10;
    std::vector<int32_t> got;
    for (int i = 0; i < 5; ++i)
        got.push_back(list.NextIndex());
    EXPECT_EQ(got, (std::vector<int32_t>{4, 3, 2, 1, 11}));
}

TEST(AuthorInfoTest, CleanSynonymsDropsBlanksRepeatsAndSpelledParts) {
    TAuthorList list;
    TAuthorInfo* author = list.NewAuthor(true);
    author->AddName(A("Иван"), "", "", A("Сидоров"));
    author->SetSynonyms(TAuthorInfo::kFirst, {A("Ваня"), " . ", A("ваня!"), A("иван"), A("Ванечка")});
    author->CleanSynonyms();
    EXPECT_EQ(author->FirstNameSynonyms(), (std::vector<std::string>{A("Ваня"), A("Ванечка")}));
}

TEST(AuthorInfoTest, LinksAndTotals) {
    TAuthorList list;
    TAuthorInfo* author = list.NewAuthor(true);
    TAuthorName* a = author->AddName("A", "", "", "X");
    TAuthorName* b = author->AddName("B", "", "", "X");
    TBookInfo book(nullptr);
    book.EnsureTitleInfo().AddAuthor(a);
    book.TitleInfo->AddTranslator(a);
    book.EnsureDocumentInfo().AddAuthor(b);
    EXPECT_EQ(author->LinkCount(), 3);
    EXPECT_EQ(a->CountByRoles(1u << kRoleTitle | 1u << kRoleSrcAuthor), 1);
    EXPECT_THROW(author->DeleteName(a), EShelvaraError);
    EXPECT_THROW(list.DeleteAuthors({author}), EShelvaraError);
    // A stale total is corrected and reported.
    author->LinkTotal = 7;
    EXPECT_THROW(author->LinkCount(), EShelvaraError);
    EXPECT_EQ(author->LinkTotal, 3);
    book.Clear();
    EXPECT_EQ(author->LinkCount(), 0);
    list.DeleteAuthors({author});
    EXPECT_EQ(list.Count(), 0u);
}

TEST(AuthorInfoTest, MergeAndMoveSpellings) {
    TAuthorList list;
    TAuthorInfo* first = list.NewAuthor(true);
    TAuthorInfo* second = list.NewAuthor(true);
    TAuthorName* source = first->AddName(A("И."), "", "", A("Сидоров"));
    TAuthorName* target = second->AddName(A("Иван"), "", "", A("Сидоров"));
    TBookInfo book(nullptr);
    book.EnsureTitleInfo().AddAuthor(target);
    book.TitleInfo->AddAuthor(source);
    book.EnsureSrcTitleInfo().AddTranslator(source);
    TAuthorName::MergeInto(source, target);
    EXPECT_EQ(book.TitleInfo->Authors, (std::vector<TAuthorName*>{target, target}));
    EXPECT_EQ(book.SrcTitleInfo->Translators, std::vector<TAuthorName*>{target});
    EXPECT_EQ(first->LinkCount(), 0);
    EXPECT_EQ(second->LinkCount(), 3);

    TAuthorName::MoveToAuthor(target, first);
    EXPECT_EQ(second->Count(), 0u);
    EXPECT_EQ(first->Count(), 2u);
    EXPECT_EQ(first->LinkCount(), 3);
    EXPECT_EQ(second->LinkCount(), 0);
    EXPECT_EQ(list.FindName(A("Иван"), "", "", A("Сидоров")), target);
}

TEST(AuthorInfoTest, RecordRoundTrip) {
    SetNowSourceForTesting([] { return EncodeDateTime({2024, 3, 1, 12, 0, 0, 0}); });
    TAuthorList list;
    TAuthorInfo* author = list.NewAuthor(true);
    author->AddName(A("Иван"), A("Петрович"), "", A("Сидоров"))->Modified = EncodeDate(2020, 1, 2);
    author->AddNick(A("Ваня"));
    author->Emails = {"a@b.c", " ", "A@B.C", "x@y.z"};
    author->HomePages = {"http://example.org"};
    author->Note = "  note  ";
    author->SetSynonyms(TAuthorInfo::kLast, {A("Сидорофф")});
    author->ExtraNames = {"f", "m", "l"};
    author->Modified = EncodeDate(2021, 5, 6);
    TSVDStream w({}, false);
    list.SaveToStream(w);

    TAuthorList loaded;
    loaded.LoadFromStream(*TSVDStream::FromBytes(w.FileImage()));
    ASSERT_EQ(loaded.Count(), 1u);
    const TAuthorInfo* l = loaded.Author(0);
    ASSERT_EQ(l->Count(), 2u);
    EXPECT_EQ(l->Name(0)->MiddleName(), A("Петрович"));
    EXPECT_EQ(l->Name(0)->Modified, EncodeDate(2020, 1, 2));
    EXPECT_EQ(l->Name(1)->NickName(), A("Ваня"));
    // Reading drops blank addresses and keeps the last of equal ones.
    EXPECT_EQ(l->Emails, (std::vector<std::string>{"A@B.C", "x@y.z"}));
    EXPECT_EQ(l->Note, "note");
    EXPECT_EQ(l->LastNameSynonyms(), std::vector<std::string>{A("Сидорофф")});
    EXPECT_EQ(l->ExtraNames, (std::vector<std::string>{"f", "m", "l"}));
    EXPECT_EQ(l->Modified, EncodeDate(2021, 5, 6));
    EXPECT_EQ(loaded.FindName("", "", "", A("Сидорофф")), l->Name(0));
    SetNowSourceForTesting(nullptr);
}

TEST(AuthorInfoTest, PicturesAndDocumentsBitsFail) {
    for (const auto& [flag, message] :
         {std::pair{0x08, "Pics is not implemented yet!"}, std::pair{0x10, "Doc is not implemented yet!"}}) {
        std::vector<uint8_t> bytes = Bytes("Shelvaracatalog2");
        bytes.insert(bytes.end(), {0x01, 0x01, 0x00, 0x05, 0x01, static_cast<uint8_t>(flag), 0x00, 0x00, 0x00});
        TAuthorList list;
        try {
            list.LoadFromStream(*TSVDStream::FromBytes(bytes));
            FAIL() << message;
        } catch (const EShelvaraError& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

// The name index is only a filter: every lookup must answer as a walk over all authors would.
TEST(AuthorInfoTest, IndexedLookupsAgreeWithAWalkOverAllAuthors) {
    std::mt19937 random(11);
    const std::vector<std::string> firsts = {"", A("Иван"), A("И."), A("Игорь"), "Ivan"};
    const std::vector<std::string> middles = {"", A("Петрович"), A("П"), A("Павлович")};
    const std::vector<std::string> lasts = {"", A("Сидоров"), A("Cидоров"), A("Петров"), "Twain"};
    const std::vector<std::string> nicks = {"", A("Ваня"), A("Кот")};
    auto pick = [&](const std::vector<std::string>& v) { return v[random() % v.size()]; };

    TAuthorList list;
    for (int i = 0; i < 60; ++i) {
        TAuthorInfo* author = list.NewAuthor(true);
        for (int k = 0, n = 1 + static_cast<int>(random() % 3); k < n; ++k)
            author->AppendName()->SetParts(pick(firsts), pick(middles), pick(lasts), pick(nicks));
        if (random() % 4 == 0) author->AddSynonym(TAuthorInfo::kLast, pick(lasts));
        if (random() % 4 == 0) author->AddSynonym(TAuthorInfo::kFirst, pick(firsts));
        if (random() % 4 == 0) author->AddSynonym(TAuthorInfo::kNick, pick(nicks));
    }
    auto walk = [&](const TNameKeys& q) -> TAuthorName* {
        for (bool exact : {true, false})
            for (size_t i = list.Count(); i-- > 0;)
                if (TAuthorName* found = list.Author(i)->FindNameByParts(q, exact)) return found;
        return nullptr;
    };
    auto walkNick = [&](const std::string& nick) -> TAuthorName* {
        const std::string key = TNameKeys::Of("", "", "", nick).Nick;
        for (bool exact : {true, false})
            for (size_t i = list.Count(); i-- > 0;)
                if (TAuthorName* found = list.Author(i)->FindNameByNick(key, exact)) return found;
        return nullptr;
    };
    for (int i = 0; i < 2000; ++i) {
        const std::string f = pick(firsts), m = pick(middles), l = pick(lasts), n = pick(nicks);
        ASSERT_EQ(list.FindName(f, m, n, l), walk(TNameKeys::Of(f, m, l, n))) << i;
        ASSERT_EQ(list.FindByNick(n), walkNick(n)) << i;
        if (i % 50 == 0) {  // change the list between lookups
            list.Author(random() % list.Count())->Name(0)->SetParts(pick(firsts), pick(middles), pick(lasts), "");
            list.FindOrAddName(pick(firsts), pick(middles), pick(nicks), pick(lasts));
        }
    }
}

}  // namespace
