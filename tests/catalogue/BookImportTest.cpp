#include "catalogue/BookImport.h"

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "fb2/FBParser.h"
#include "fb2/XMLPars.h"

namespace {

std::unique_ptr<TFictionBook> Document(const std::string& description) {
    const std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description>" + description +
                             "</description><body><p>x</p></body></FictionBook>";
    auto book = std::make_unique<TFictionBook>();
    EXPECT_TRUE(book->LoadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), kKeepDescription));
    return book;
}

struct Fixture {
    TSVD svd;
    TBookInfo* book;
    Fixture() {
        svd.Genres.LoadBuiltIn();
        book = svd.AddMountPoint("/books")->AddBook();
        book->FileName = "file.fb2";
    }
    void Import(const std::string& description, bool replace = false) {
        auto document = Document(description);
        ImportDescription(*book, *document, replace);
    }
};

TEST(BookImportTest, GenresFoundOrCreatedOnce) {
    Fixture f;
    struct Observer final : ICatalogueObserver {
        int added = 0;
        void CatalogueChanged(TObjectType type, int kind, const void*) override {
            added += type == TObjectType::Genre && kind == TBookGenre::kAdded;
        }
        void LibraryLoaded() override {}
    } observer;
    f.svd.AddObserver(&observer);
    f.Import("<title-info><genre>sf_fantasy</genre><genre>my_code</genre><genre> </genre></title-info>");
    f.Import("<title-info><genre>my_code</genre></title-info>");
    f.svd.RemoveObserver(&observer);
    ASSERT_EQ(f.book->TitleInfo->Genres.size(), 2u);
    EXPECT_EQ(f.book->TitleInfo->Genres[0]->Parent->Code, "SF, Fantasy");
    EXPECT_EQ(f.book->TitleInfo->Genres[1]->Parent, &f.svd.Genres);
    EXPECT_EQ(f.book->TitleInfo->Genres[1]->Links.Count(), 1u);
    EXPECT_EQ(observer.added, 1);
    EXPECT_TRUE(f.svd.Genres.Links.Empty());  // the empty genre did not link the root
}

TEST(BookImportTest, GenresOfOneBookAreCapped) {
    Fixture f;
    std::string genres;
    for (int i = 0; i < 5000; ++i)
        genres += "<genre>made_up_" + std::to_string(i) + "</genre>";
    f.Import("<title-info>" + genres + "</title-info>");
    EXPECT_EQ(f.book->TitleInfo->Genres.size(), kMaxGenresPerBook);
    EXPECT_EQ(f.book->TitleInfo->Genres.back()->Code, "made_up_" + std::to_string(kMaxGenresPerBook - 1));
}

TEST(BookImportTest, TitlesTextsAndReplace) {
    Fixture f;
    f.Import("<title-info><book-title></book-title><annotation><p>Old</p></annotation></title-info>", true);
    EXPECT_EQ(f.book->TitleInfo->Titles, std::vector<std::string>{"file.fb2"});
    EXPECT_EQ(f.book->TitleInfo->Annotation, "Old");
    f.Import("<title-info><book-title>Real</book-title><annotation></annotation><lang>ru</lang></title-info>", true);
    EXPECT_EQ(f.book->TitleInfo->Titles, std::vector<std::string>{"Real"});
    EXPECT_EQ(f.book->TitleInfo->Annotation, "Old");  // an empty annotation keeps the old one
    EXPECT_EQ(f.book->TitleInfo->Lang, "ru");
}

TEST(BookImportTest, Series) {
    Fixture f;
    f.Import(
        "<title-info><sequence name=\"Outer\" number=\"2\"><sequence name=\"Inner\" number=\"12a\"/></sequence>"
        "<sequence name=\"Plain\"/></title-info>");
    const TSequenceEntries& entries = f.book->TitleInfo->Sequences;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Sequence->DisplayName(), "Outer");
    EXPECT_EQ(entries[0].Number, 2);
    EXPECT_EQ(entries[1].Sequence->DisplayName(), "Inner");
    EXPECT_EQ(entries[1].Number, 1);
    EXPECT_EQ(entries[2].Number, 1);
    // Again without replace: one entry per series; with replace a corrected number arrives.
    f.Import("<title-info><sequence name=\"Outer\" number=\"2\"/></title-info>");
    EXPECT_EQ(entries.size(), 3u);
    f.Import("<title-info><sequence name=\"outer.\" number=\"5\"/></title-info>", true);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Number, 5);
    EXPECT_EQ(entries[0].Sequence->Links.Count(), 1u);
}

TEST(BookImportTest, AuthorsAndNicknames) {
    Fixture f;
    TAuthorName* cat = f.svd.Authors.FindOrAddByNick(Utf8ToAnsi("Бегемот"));
    const std::string author =
        "<author><first-name>\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD</first-name>"
        "<last-name>Petrov</last-name><email>a@b.c</email></author>";
    f.Import("<title-info>" + author + author +
             "<author><nickname>\xD0\xB1\xD0\xB5\xD0\xB3\xD0\xB5\xD0\xBC\xD0\xBE"
             "\xD1\x82!</nickname></author></title-info>");
    f.Import("<title-info>" + author + "</title-info>");
    const std::vector<TAuthorName*>& authors = f.book->TitleInfo->Authors;
    ASSERT_EQ(authors.size(), 2u);
    EXPECT_EQ(authors[1], cat);
    EXPECT_EQ(authors[0]->Links.Count(), 1u);
    EXPECT_EQ(authors[0]->Author->Emails, std::vector<std::string>{"a@b.c"});
}

TEST(BookImportTest, AmbiguousNamesAreSettledByTheChooser) {
    Fixture f;
    TAuthorName* ivan = f.svd.Authors.FindOrAddName("Ivan", "", "", "Petrov");
    f.svd.Authors.NewAuthor(true)->AddName("Igor", "", "", "Petrov");
    struct Chooser final : IAuthorChooser {
        size_t offered = 0;
        TAuthorName* pick = nullptr;
        bool askedUnderLock = false;
        TAuthorName* ChooseAuthor(TBookInfo&, uint8_t role, const std::vector<TAuthorName*>& candidates,
                                  const std::string&) override {
            offered = candidates.size();
            askedUnderLock |= TCatalogueLock::Instance().HeldByThisThread();
            EXPECT_EQ(role, kRoleTitle);
            return pick;
        }
    } chooser;
    chooser.pick = ivan;
    f.svd.AuthorChooser = &chooser;
    {
        // As a refresh imports: under the catalogue lock. The question waits for its release.
        TCatalogueGuard guard;
        f.Import("<title-info><author><first-name>I.</first-name><last-name>Petrov</last-name></author></title-info>");
        EXPECT_EQ(chooser.offered, 0u);
    }
    EXPECT_EQ(chooser.offered, 2u);
    EXPECT_FALSE(chooser.askedUnderLock);
    ASSERT_EQ(f.book->TitleInfo->Authors.size(), 1u);
    EXPECT_EQ(f.book->TitleInfo->Authors[0], ivan);
}

TEST(BookImportTest, RefreshesKeepTheSpellingAndNicknamesAreChosenLikeNames) {
    Fixture f;
    TAuthorName* petrov = f.svd.Authors.FindOrAddName("Ivan", "", "Kot", "Petrov");
    TAuthorName* sidorov = f.svd.Authors.NewAuthor(true)->AddName("Semen", "", "Kot", "Sidorov");
    struct Chooser final : IAuthorChooser {
        int asked = 0;
        TAuthorName* pick = nullptr;
        TAuthorName* ChooseAuthor(TBookInfo&, uint8_t, const std::vector<TAuthorName*>& candidates,
                                  const std::string&) override {
            ++asked;
            EXPECT_EQ(candidates.size(), 2u);
            return pick;
        }
    } chooser;
    f.svd.AuthorChooser = &chooser;
    const std::string nickOnly = "<title-info><author><nickname>Kot</nickname></author></title-info>";
    // Two authors carry the nickname: a question, as for two with one name.
    chooser.pick = petrov;
    f.Import(nickOnly, true);
    EXPECT_EQ(chooser.asked, 1);
    ASSERT_EQ(f.book->TitleInfo->Authors.size(), 1u);
    EXPECT_EQ(f.book->TitleInfo->Authors[0], petrov);
    // Refreshes of the unchanged file keep the choice, ask nothing and add no author.
    const size_t authors = f.svd.Authors.Count();
    for (int pass = 0; pass < 3; ++pass)
        f.Import(nickOnly, true);
    EXPECT_EQ(chooser.asked, 1);
    EXPECT_EQ(f.book->TitleInfo->Authors[0], petrov);
    EXPECT_EQ(f.svd.Authors.Count(), authors);
    // A spelling that is only the nickname is the one a nickname alone means.
    TAuthorName* bare = f.svd.Authors.NewAuthor(true)->AddNick("Kot");
    TBookInfo* other = f.book->Folder->AddBook();
    other->FileName = "other.fb2";
    ImportDescription(*other, *Document(nickOnly), true);
    EXPECT_EQ(other->TitleInfo->Authors[0], bare);
    EXPECT_EQ(chooser.asked, 1);
    // A changed name in the file does move the book.
    f.Import(
        "<title-info><author><first-name>Semen</first-name><last-name>Sidorov</last-name></author>"
        "</title-info>",
        true);
    EXPECT_EQ(f.book->TitleInfo->Authors[0], sidorov);
}

TEST(BookImportTest, DocumentAndPublishInfo) {
    Fixture f;
    f.Import(
        "<document-info><program-used>FBE</program-used><date value=\"2005-06-07\">June 2005</date>"
        "<src-url>http://A</src-url><src-url>http://a</src-url><id>x1</id><history><p>h</p></history>"
        "</document-info><publish-info><publisher>P</publisher><year>1999</year>"
        "<sequence name=\"Classics\" number=\"3\"/></publish-info><custom-info info-type=\"t\">Note</custom-info>"
        "<custom-info>note</custom-info>");
    const TDocumentInfo& doc = *f.book->DocumentInfo;
    EXPECT_EQ(doc.ProgramUsed, "FBE");
    EXPECT_EQ(doc.Date, EncodeDate(2005, 6, 7));
    EXPECT_EQ(doc.SrcUrls, std::vector<std::string>{"http://A"});
    EXPECT_EQ(doc.History, "h");
    const TPublishInfo& pub = *f.book->PublishInfo;
    EXPECT_EQ(pub.Publisher, "P");
    ASSERT_EQ(pub.Sequences.size(), 1u);
    EXPECT_EQ(pub.Sequences[0].Number, 3);
    EXPECT_EQ(pub.CustomInfo, std::vector<std::string>{"Note"});
}

TEST(BookImportTest, ParseDatePatterns) {
    const TDateTime fallback = 12345;
    const std::pair<const char*, TDateTime> cases[] = {
        {"2004-05-06", EncodeDate(2004, 5, 6)},
        {"06.05.2004", EncodeDate(2004, 5, 6)},
        {"05/06/2004", EncodeDate(2004, 6, 5)},
        {"06/05/04 3:15 PM", EncodeDate(2006, 5, 4)},
        {"May 6 2004", EncodeDate(2004, 5, 6)},
        {"May 6, 2004", fallback},
        {"no digits", fallback},
        {"1750-01-01", fallback},
        {"December 31 99", EncodeDate(1999, 12, 31)},
        {"", fallback},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseDate(text, fallback), expected) << text;
}

TEST(BookImportTest, UpdateFromDiskImportsTheDescription) {
    TempDir dir;
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
        "<genre>sf</genre><author><last-name>Twain</last-name></author><book-title>Tom</book-title>"
        "</title-info></description><body><p>text</p></body></FictionBook>";
    WriteBytes(dir / "tom.fb2", Bytes(text));
    TSVD svd;
    TBookInfo* book = svd.AddMountPoint(dir.Path().string())->AddBook();
    book->FileName = "tom.fb2";
    EXPECT_TRUE(book->UpdateFromDisk(7, true));
    EXPECT_EQ(book->TitleText(), "Tom");
    EXPECT_EQ(book->AuthorsText(), "Twain");
    EXPECT_EQ(book->GenresText(), "sf");
    EXPECT_EQ(book->Size, static_cast<int32_t>(text.size()));
    std::filesystem::remove(dir / "tom.fb2");
    EXPECT_TRUE(book->UpdateFromDisk(7, true));
    EXPECT_TRUE(book->IsLost());
}

}  // namespace
