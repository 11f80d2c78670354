#include "scan/InpxImport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "InpxGenerator.h"
#include "TestUtils.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/PublishInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/TitleInfo.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "scan/FolderSync.h"
#include "scan/Packer.h"
#include "scan/PackerArchiveAccess.h"

namespace {

const char kSep = '\x04';

std::string A(const std::string& utf8) {
    return Utf8ToAnsi(utf8);
}

// A line of the fixture's structure: the default fields, then LANG, LIBRATE, KEYWORDS, INSNO and
// FOLDER, which the import does not need.
std::string Line(const std::string& authors, const std::string& genres, const std::string& title,
                 const std::string& file, bool deleted = false, const std::string& series = "",
                 const std::string& serno = "", const std::string& lang = "ru", const std::string& keywords = "",
                 const std::string& folder = "") {
    return InpxLine(authors, genres, title, series, serno, file, 1234, std::stoi(file), deleted, "2011-02-03") + lang +
           kSep + "4" + kSep + keywords + kSep + "7" + kSep + folder + kSep;
}

struct Collection {
    TempDir dir;
    TInpxFiles files;
    Collection() {
        files.Collection = "Флибуста тест";
        files.Structure =
            "AUTHOR;GENRE;TITLE;SERIES;SERNO;FILE;SIZE;LIBID;DEL;EXT;DATE;LANG;LIBRATE;KEYWORDS;INSNO;FOLDER;";
        files.Inps = {
            {"fb2-000001-000010.inp",
             {Line("Иванов,Иван,Иванович:", "sf:sf_space:", "Звёзды", "1", false, "Космос", "2", "ru", "ракеты, луна"),
              Line("Иванов,Иван,Иванович:Петров,Пётр,:", "prose_classic:", "Вдвоём", "2"),
              Line(":", "made_up_genre:", "Ничья", "3"),
              Line("Smith,John,:", "thriller:", "Gone", "4", true, "", "", "en"),
              // A line with fewer fields than the structure.
              std::string("Smith,John,:") + kSep + "thriller:" + kSep + "Short" + kSep + kSep + kSep + "5" + kSep +
                  "99" + kSep + "5",
              Line("Smith,J.,:", "thriller:", "Missing member", "6", false, "", "", "en")}},
            {"fb2-000011-000020.inp", {Line("Петров,Пётр,:", "sf:", "Без архива", "11")}},
        };
    }
    std::string Write() {
        WriteInpx(dir / "index.inpx", files);
        // The first archive holds its members but the sixth; the second archive is missing.
        if (files.Inps.empty()) return PathToAnsi(dir / "index.inpx");
        TInpxFiles archives;
        archives.Inps = {files.Inps[0]};
        archives.Inps[0].second.pop_back();
        WriteInpxArchives(dir.Path(), archives);
        return PathToAnsi(dir / "index.inpx");
    }
};

std::vector<TBookInfo*> Books(TSVD& svd) {
    TBookCollection books;
    for (const auto& mount : svd.MountPoints)
        mount->CollectBooks(books, true);
    return books.Books();
}

TBookInfo* Book(TSVD& svd, const std::string& entry) {
    for (TBookInfo* book : Books(svd))
        if (book->EntryName == entry) return book;
    return nullptr;
}

bool HasCustom(const TBookInfo& book, const std::string& text) {
    if (!book.PublishInfo) return false;
    const auto& custom = book.PublishInfo->CustomInfo;
    return std::find(custom.begin(), custom.end(), text) != custom.end();
}

TEST(InpxImportTest, BooksComeWithTheirDescriptionsArchivesAndMarks) {
    Collection c;
    const std::string inpx = c.Write();
    TSVD svd;
    const TInpxStats stats = ImportInpx(svd, inpx, {});
    EXPECT_EQ(stats.Collection, "Флибуста тест");
    EXPECT_EQ(stats.Added, 6);
    EXPECT_EQ(stats.SkippedDeleted, 1);
    EXPECT_EQ(stats.Lost, 2);  // the missing member and the book of the missing archive
    ASSERT_EQ(svd.MountPoints.size(), 1u);
    EXPECT_EQ(svd.MountPoints[0]->Caption, A("Флибуста тест"));
    EXPECT_TRUE(IsInpxCollection(*svd.MountPoints[0]));

    TBookInfo* stars = Book(svd, "1.fb2");
    ASSERT_TRUE(stars);
    EXPECT_TRUE(stars->Packed);
    EXPECT_EQ(stars->FileName, "fb2-000001-000010.zip");
    EXPECT_EQ(stars->TitleText(), A("Звёзды"));
    EXPECT_EQ(stars->AuthorsText(), A("Иван Иванович Иванов"));
    EXPECT_EQ(stars->SeriesText(), A("Космос"));
    EXPECT_EQ(stars->SeriesNumber(), 2);
    EXPECT_EQ(stars->TitleInfo->Lang, "ru");
    EXPECT_EQ(stars->TitleInfo->Keywords, A("ракеты, луна"));
    EXPECT_EQ(stars->TitleInfo->Genres.size(), 2u);
    EXPECT_TRUE(HasCustom(*stars, "inpx-libid: 1"));
    EXPECT_FALSE(stars->IsLost());
    EXPECT_EQ(stars->Size, 14);  // the member's size in the archive
    EXPECT_EQ(Book(svd, "2.fb2")->TitleInfo->Authors.size(), 2u);
    EXPECT_EQ(Book(svd, "2.fb2")->TitleInfo->Authors[0], stars->TitleInfo->Authors[0]);  // one author, matched
    EXPECT_TRUE(Book(svd, "3.fb2")->TitleInfo->Authors.empty());
    EXPECT_TRUE(svd.Genres.FindByCode("made_up_genre"));
    EXPECT_EQ(Book(svd, "4.fb2"), nullptr);  // deleted
    EXPECT_EQ(Book(svd, "5.fb2")->TitleText(), "Short");
    EXPECT_TRUE(Book(svd, "6.fb2")->IsLost());
    EXPECT_TRUE(Book(svd, "11.fb2")->IsLost());
    EXPECT_FALSE(stats.Warnings.empty());

    // The library saves and loads with everything the import set.
    const std::string file = PathToAnsi(c.dir / "lib.sv2");
    svd.SaveToFile(file);
    TSVD again;
    again.LoadFromFile(file);
    ASSERT_TRUE(Book(again, "1.fb2"));
    EXPECT_TRUE(HasCustom(*Book(again, "1.fb2"), "inpx-libid: 1"));
    EXPECT_EQ(Book(again, "1.fb2")->SeriesNumber(), 2);
    EXPECT_TRUE(IsInpxCollection(*again.MountPoints[0]));
}

// A second import adds nothing; a newer index adds its new books and marks those it deletes.
TEST(InpxImportTest, ANewerIndexAddsAndMarks) {
    Collection c;
    const std::string inpx = c.Write();
    TSVD svd;
    ImportInpx(svd, inpx, {});
    const TInpxStats second = ImportInpx(svd, inpx, {});
    EXPECT_EQ(second.Added, 0);
    EXPECT_EQ(second.Existing, 6);
    EXPECT_EQ(Books(svd).size(), 6u);

    c.files.Inps[0].second[0] = Line("Иванов,Иван,Иванович:", "sf:", "Звёзды", "1", true);
    c.files.Inps[1].second.push_back(Line("Петров,Пётр,:", "sf:", "Новая", "12"));
    c.Write();
    const TInpxStats newer = ImportInpx(svd, inpx, {});
    EXPECT_EQ(newer.Added, 1);
    EXPECT_EQ(newer.MarkedDeleted, 1);
    EXPECT_TRUE(HasCustom(*Book(svd, "1.fb2"), kInpxDeletedMark));
    EXPECT_TRUE(Book(svd, "12.fb2"));
}

TEST(InpxImportTest, DeletedBooksAndLanguagesOnRequest) {
    Collection c;
    const std::string inpx = c.Write();
    TSVD svd;
    TInpxOptions options;
    options.IncludeDeleted = true;
    options.Languages = {"EN"};
    const TInpxStats stats = ImportInpx(svd, inpx, options);
    // The deleted English book, the one with the missing member, and the one whose line gives
    // no language (which no filter can rule out).
    EXPECT_EQ(stats.Added, 3);
    EXPECT_EQ(stats.SkippedLanguage, 4);
    EXPECT_TRUE(Book(svd, "5.fb2"));
    ASSERT_TRUE(Book(svd, "4.fb2"));
    EXPECT_TRUE(HasCustom(*Book(svd, "4.fb2"), kInpxDeletedMark));
}

// A resynchronisation trusts the index for members of unchanged size; a full one reads them.
TEST(InpxImportTest, AnUpdateReadsNoUnchangedMember) {
    Collection c;
    const std::string inpx = c.Write();
    TSVD svd;
    svd.Packer = std::make_unique<TPackerArchiveAccess>();
    ImportInpx(svd, inpx, {});
    TBookFolder& mount = *svd.MountPoints[0];
    TSyncStats update;
    Resync(mount, true, false, update);
    EXPECT_EQ(update.Refreshed, 0);
    // Nothing the index does not list comes in: not the index file itself, nor the member of
    // the book the index deletes (it is in its archive all the same).
    EXPECT_EQ(update.Added, 0);
    EXPECT_EQ(Book(svd, "4.fb2"), nullptr);
    EXPECT_EQ(Book(svd, "1.fb2")->TitleText(), A("Звёзды"));
    EXPECT_FALSE(Book(svd, "1.fb2")->IsLost());
    // A member whose size changed is read.
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open(PathToAnsi(c.dir / "fb2-000001-000010.zip"), false));
        const std::string book =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
            "<book-title>From the file</book-title></title-info></description></FictionBook>";
        packer.AddFromBytes("1.fb2", Bytes(book), 0, 0, true);
        packer.Close();
    }
    svd.Packer->Reset();
    TSyncStats changed;
    Resync(mount, true, false, changed);
    EXPECT_EQ(changed.Refreshed, 1);  // that member
    EXPECT_NE(Book(svd, "1.fb2")->TitleText().find("From the file"), std::string::npos);
    TSyncStats full;
    Resync(mount, true, true, full);
    EXPECT_EQ(full.Refreshed, 4);  // a full refresh reads every listed member there
}

TEST(InpxImportTest, AStopRequestEndsBetweenBatches) {
    Collection c;
    const std::string inpx = c.Write();
    TSVD svd;
    TCancelFlag stop;
    stop.Cancel();
    const TInpxStats stats = ImportInpx(svd, inpx, {}, &stop);
    EXPECT_TRUE(stats.Cancelled);
    EXPECT_EQ(stats.Added, 0);
}

// Bad input is told with the .inp file and line, and the library stays as it was.
TEST(InpxImportTest, LinesNamingFilesOutsideTheCollectionAreRefusedAndNamed) {
    Collection c;
    c.files.Collection = std::string(
        "Evil\x1b]0;owned\x07 \xc2\x9b"
        "2J name");
    std::vector<std::string>& lines = c.files.Inps[1].second;
    // FILE and EXT fields as written; the line number each lands on.
    const std::vector<std::pair<std::string, std::string>> bad{
        {"../12", "fb2"}, {"/etc/13", "fb2"}, {std::string("14\0hidden", 9), "fb2"}, {"15", "fb2/../../y"}};
    for (const auto& [file, ext] : bad)
        lines.push_back(InpxLine("Петров,Пётр,:", "sf:", "Плохая", "", "", file, 10, 99, false, "2011-02-03") + "ru" +
                        kSep + "4" + kSep + kSep + "7" + kSep + "x" + kSep);
    for (size_t i = 0; i < bad.size(); ++i) {
        // EXT is the tenth field of the default order.
        std::string& line = lines[1 + i];
        size_t at = 0;
        for (int field = 0; field < 9; ++field)
            at = line.find(kSep, at) + 1;
        line.replace(at, line.find(kSep, at) - at, bad[i].second);
    }
    const std::string inpx = c.Write();
    TSVD svd;
    const TInpxStats stats = ImportInpx(svd, inpx, {});
    EXPECT_EQ(stats.Refused, 4);
    EXPECT_EQ(stats.Added, 6);
    ASSERT_EQ(stats.Warnings.size(), 5u);  // the missing archive, then the four lines
    for (size_t i = 0; i < bad.size(); ++i)
        EXPECT_NE(stats.Warnings[1 + i].find("fb2-000011-000020.inp, line " + std::to_string(2 + i)), std::string::npos)
            << stats.Warnings[1 + i];
    for (const std::string& text : stats.Warnings)
        for (char ch : text)
            EXPECT_GE(static_cast<unsigned char>(ch), 0x20u) << text;
    EXPECT_EQ(stats.Collection, "Evil?]0;owned? ?2J name");
    const std::string file = PathToAnsi(c.dir / "lib.sv2");
    ASSERT_TRUE(svd.SaveToFile(file));
    TSVD loaded;
    loaded.LoadFromFile(file);
    EXPECT_TRUE(loaded.LoadWarnings.empty());
    EXPECT_EQ(loaded.Counts().Books, 6);
}

TEST(InpxImportTest, AHighlyRepetitiveIndexIsInflatedWithinItsBudgetOnce) {
    // Over half the budget of so small an archive, so reading it twice would count as a bomb.
    Collection c;
    std::string keywords;
    while (keywords.size() < 8000)
        keywords += "ракета, ";
    const std::string line = Line("Иванов,Иван,Иванович:", "sf:", "Звёзды", "1", false, "", "", "ru", keywords);
    c.files.Inps.resize(1);
    c.files.Inps[0].second.assign((34u << 20) / (line.size() + 2), line);
    const std::string inpx = c.Write();
    TPacker packer;
    ASSERT_TRUE(packer.OpenBytes(ReadBytes(c.dir / "index.inpx"), "index.inpx"));
    ASSERT_LT(packer.InflateBudget(), int64_t{80} << 20);
    TSVD svd;
    const TInpxStats stats = ImportInpx(svd, inpx, {});
    EXPECT_EQ(stats.Added, 1);
    EXPECT_EQ(stats.Existing, static_cast<int64_t>(c.files.Inps[0].second.size()) - 1);
}

TEST(InpxImportTest, BadIndexesAreToldAndChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(Collection&)> spoil;
        const char* message;
    };
    const std::vector<Case> cases{
        {"no .inp files", [](Collection& c) { c.files.Inps.clear(); }, "holds no .inp files"},
        {"no separators", [](Collection& c) { c.files.Inps[1].second.push_back("just text"); },
         "fb2-000011-000020.inp, line 2: no field separators"},
        {"long field",
         [](Collection& c) { c.files.Inps[0].second[2] = Line(std::string(70000, 'a'), "sf:", "x", "3"); },
         "fb2-000001-000010.inp, line 3: a field is longer than 64 KiB"},
    };
    for (const Case& k : cases) {
        Collection c;
        k.spoil(c);
        const std::string inpx = c.Write();
        TSVD svd;
        try {
            ImportInpx(svd, inpx, {});
            ADD_FAILURE() << k.name << ": no error";
        } catch (const EShelvaraError& e) {
            EXPECT_NE(std::string(e.what()).find(k.message), std::string::npos) << k.name << ": " << e.what();
        }
        EXPECT_TRUE(svd.MountPoints.empty()) << k.name;
    }
    Collection c;
    WriteBytes(c.dir / "damaged.inpx", Bytes("PK\x03\x04 not really a zip"));
    TSVD svd;
    EXPECT_EQ(ErrorOf([&] { ImportInpx(svd, PathToAnsi(c.dir / "damaged.inpx"), {}); }), -1);
    EXPECT_EQ(ErrorOf([&] { ImportInpx(svd, PathToAnsi(c.dir / "absent.inpx"), {}); }), -1);
    EXPECT_TRUE(svd.MountPoints.empty());
}

// Indexes as collections write them: Windows-1251 or UTF-8 with a byte order mark, books listed
// in another archive's .inp (FOLDER), a series number 0, names with letters Windows-1251 lacks.
TEST(InpxImportTest, IndexesInTheirOwnEncodingsAndFolders) {
    Collection c;
    const std::string stars = Line("Иванов,Иван,:", "sf:", "Звёзды", "1", false, "Космос", "0");
    const std::string zoe =
        Line("Brontë,Zoë,:", "prose:", "Zoë", "2", false, "", "", "en", "", "fb2-000001-000010.zip");
    const std::string third = Line("Петров,Пётр,:", "sf:", "Третья", "3");
    TInpxFiles archives;
    archives.Inps = {{"fb2-000001-000010.inp", {stars, zoe}}, {"fb2-000011-000020.inp", {third}}};
    WriteInpxArchives(c.dir.Path(), archives);
    // The first .inp in Windows-1251; the second with a byte order mark, listing a book that
    // lies in the first archive, as its FOLDER says.
    c.files.Inps = {{"fb2-000001-000010.inp", {Utf8ToAnsi(stars)}},
                    {"fb2-000011-000020.inp", {"\xEF\xBB\xBF" + zoe, third}}};
    WriteInpx(c.dir / "index.inpx", c.files);
    TSVD svd;
    const TInpxStats stats = ImportInpx(svd, PathToAnsi(c.dir / "index.inpx"), {});
    EXPECT_EQ(stats.Added, 3);
    TBookInfo* first = Book(svd, "1.fb2");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->AuthorsText(), A("Иван Иванов"));
    EXPECT_EQ(first->SeriesNumber(), 0);  // as a scan of the book keeps it
    TBookInfo* second = Book(svd, "2.fb2");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->FileName, "fb2-000001-000010.zip");
    EXPECT_FALSE(second->IsLost());
    EXPECT_EQ(second->TitleText(), "Zoe");  // folded as a scan folds the book's own title
    EXPECT_EQ(second->AuthorsText(), "Zoe Bronte");
    EXPECT_FALSE(Book(svd, "3.fb2")->IsLost());
    // The collection's version is kept with it.
    EXPECT_EQ(InpxVersion(*svd.MountPoints[0]), "20240101");
    EXPECT_TRUE(IsInpxCollection(*svd.MountPoints[0]));
}

// A newer index corrects the descriptions of unchanged files, and takes its deleted mark back.
TEST(InpxImportTest, ANewerIndexCorrectsDescriptionsAndRestoresBooks) {
    Collection c;
    const std::string inpx = c.Write();
    TSVD svd;
    ImportInpx(svd, inpx, {});
    c.files.Inps[0].second[0] = Line("Иванов,Иван,Иванович:", "sf:", "Звёзды", "1", true);
    c.Write();
    ImportInpx(svd, inpx, {});
    ASSERT_TRUE(HasCustom(*Book(svd, "1.fb2"), kInpxDeletedMark));
    c.files.Version = "20250101";
    c.files.Inps[0].second[0] =
        Line("Сидоров,Сидор,:", "sf:", "Звёзды и тернии", "1", false, "Космос", "3", "ru", "ракеты, луна");
    c.Write();
    const TInpxStats newer = ImportInpx(svd, inpx, {});
    EXPECT_EQ(newer.Updated, 1);
    EXPECT_EQ(newer.Undeleted, 1);
    EXPECT_EQ(newer.Added, 0);
    TBookInfo* stars = Book(svd, "1.fb2");
    EXPECT_FALSE(HasCustom(*stars, kInpxDeletedMark));
    EXPECT_EQ(stars->TitleText(), A("Звёзды и тернии"));
    EXPECT_EQ(stars->AuthorsText(), A("Сидор Сидоров"));
    EXPECT_EQ(stars->SeriesNumber(), 3);
    EXPECT_EQ(InpxVersion(*svd.MountPoints[0]), "20250101");
    EXPECT_EQ(ImportInpx(svd, inpx, {}).Updated, 0);  // the same index again changes nothing
}

}  // namespace
