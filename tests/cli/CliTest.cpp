#include "cli/Cli.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <algorithm>
#include <csignal>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "InpxGenerator.h"

#include "TestUtils.h"
#include "catalogue/BookGenre.h"
#include "catalogue/LibraryLock.h"
#include "catalogue/SVD.h"
#include "cli/Json.h"
#include "common/Encoding.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "format/FormatterSet.h"
#include "settings/SettingsStore.h"

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

// The books a `list ... books --json` printed.
size_t BooksListed(const std::string& json) {
    size_t n = 0;
    for (size_t at = json.find("\"path\":"); at != std::string::npos; at = json.find("\"path\":", at + 1))
        ++n;
    return n;
}

// An old-format library without content: 64 empty legacy genre names, no authors, no mount points.
std::vector<uint8_t> OldEmptyLibrary() {
    std::vector<uint8_t> old = Bytes("Shelvaracatalog.");
    old.insert(old.end(), {0x60, 0x00, 0x00, 0x40, 0x40});
    old.insert(old.end(), 64, 0);
    old.insert(old.end(), {0x00, 0x00});
    return old;
}

std::vector<uint8_t> EmptyLibrary() {
    std::vector<uint8_t> bytes = Bytes("Shelvaracatalog2");
    bytes.insert(bytes.end(), {0x01, 0x01, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0});
    return bytes;
}

TEST(CliTest, NewThenInfo) {
    TempDir dir;
    const std::string lib = (dir / "x.sv2").string();
    EXPECT_EQ(Cli({"new", lib}).status, 0);
    EXPECT_EQ(ReadBytes(lib), EmptyLibrary());

    const CliRun json = Cli({"info", "--json", lib});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out,
              "{\"format\":\"current\",\"version\":257,\"genres\":0,\"authors\":0,\"spellings\":0,\"series\":0,"
              "\"mountPoints\":0,\"folders\":0,\"books\":0,\"lostBooks\":0,\"duplicates\":0}\n");

    const CliRun text = Cli({"info", lib});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out,
              "format: current\nversion: 257\ngenres: 0\nauthors: 0\nname spellings: 0\nseries: 0\n"
              "mount points: 0\nfolders: 0\nbooks: 0\nlost books: 0\nduplicate pairs: 0\n");
}

TEST(CliTest, NewRefusesAnExistingFileUnlessForced) {
    TempDir dir;
    const std::string lib = (dir / "x.sv2").string();
    WriteBytes(lib, Bytes("precious"));
    const CliRun refused = Cli({"new", lib});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--force"), std::string::npos);
    EXPECT_EQ(ReadBytes(lib), Bytes("precious"));
    EXPECT_EQ(Cli({"new", "--force", lib}).status, 0);
    EXPECT_EQ(ReadBytes(lib), EmptyLibrary());
}

TEST(CliTest, ASecondWriterRefusesAndNamesTheHolder) {
    TempDir dir;
    const std::string lib = (dir / "x.sv2").string();
    ASSERT_EQ(Cli({"new", lib}).status, 0);
    {
        TLibraryLock held(lib, "the desktop program");
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"scan", lib, dir.Path().string()}, {"resync", lib}, {"sweep", lib}, {"convert", lib, lib}}) {
            const CliRun run = Cli(args);
            EXPECT_EQ(run.status, 1) << args[0];
            // The message up to the holder's name (the lock adds its process number).
            const std::string refusal = FormatMessageText(MessageText(rsErrLibraryInUse), {lib, "the desktop program"});
            const std::string named = refusal.substr(0, refusal.find("the desktop program") + 19);
            EXPECT_NE(run.err.find(AnsiToUtf8(named)), std::string::npos) << run.err;
        }
        EXPECT_EQ(Cli({"info", lib}).status, 0);  // readers need no lock
        EXPECT_TRUE(std::filesystem::exists(TLibraryLock::LockFileOf(lib)));
    }
    EXPECT_FALSE(std::filesystem::exists(TLibraryLock::LockFileOf(lib)));
    EXPECT_EQ(Cli({"sweep", lib}).status, 0);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"x.sv2", "xOLD"}));
}

TEST(CliTest, RepeatedFullResyncOfUnchangedFilesChangesNothing) {
    TempDir dir;
    const std::filesystem::path books = dir / "books";
    std::filesystem::create_directories(books / "Sub");
    std::filesystem::create_directories(books / "sub");
    auto book = [](const std::string& title, const std::string& author) {
        const std::string text =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
            "<author>" +
            author + "</author><book-title>" + title +
            "</book-title></title-info></description><body><p>x</p></body></FictionBook>";
        return std::vector<uint8_t>(text.begin(), text.end());
    };
    const std::string ivan = "<first-name>Ivan</first-name><last-name>Petrov</last-name><nickname>Kot</nickname>";
    const std::string semen = "<first-name>Semen</first-name><last-name>Sidorov</last-name><nickname>Kot</nickname>";
    const std::string kot = "<nickname>Kot</nickname>";
    const std::string iPetrov = "<first-name>I.</first-name><last-name>Petrov</last-name>";
    const std::string igor = "<first-name>Igor</first-name><last-name>Petrov</last-name>";
    int n = 0;
    for (const char* folder : {"Sub", "sub", "."})
        for (const std::string& author : {ivan, semen, kot, iPetrov, igor, kot}) {
            ++n;
            for (const char* name : {"Book", "book"})
                WriteBytes(books / folder / (name + std::to_string(n) + ".fb2"),
                           book(name + std::to_string(n), author));
        }
    const std::string lib = (dir / "lib.sv2").string();
    ASSERT_EQ(Cli({"scan", lib, books.string()}).status, 0);
    ASSERT_EQ(Cli({"resync", lib}).status, 0);
    const CliRun first = Cli({"list", lib, "books", "--json"});
    const CliRun firstAuthors = Cli({"list", lib, "authors", "--json"});
    EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '{'), 36);
    for (int pass = 0; pass < 2; ++pass) {
        const CliRun again = Cli({"resync", lib});
        ASSERT_EQ(again.status, 0);
        EXPECT_EQ(again.err.find("several authors match"), std::string::npos) << again.err;
        EXPECT_EQ(Cli({"list", lib, "books", "--json"}).out, first.out);
        EXPECT_EQ(Cli({"list", lib, "authors", "--json"}).out, firstAuthors.out);
    }
}

TEST(CliTest, JsonIsAlwaysUtf8) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"\xD0\x9F\xD1\x80", "\"\xD0\x9F\xD1\x80\""},  // Пр
        {"a\xFF\xFE"
         "b",
         "\"a\xEF\xBF\xBD\xEF\xBF\xBD"
         "b\""},                                                       // bytes of no UTF-8 sequence
        {"\xD0", "\"\xEF\xBF\xBD\""},                                  // cut short
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        {"q\"\\\x01", "\"q\\\"\\\\\\u0001\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonQuote(c.in), c.out) << c.in;
}

TEST(CliTest, ExportWritesEveryBookAsCsvOrJson) {
    TempDir dir;
    std::filesystem::create_directories(dir / "books");
    const std::string full =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><genre>sf</genre>"
        "<author><first-name>Иван</first-name><last-name>Петров</last-name></author><book-title>Один</book-title>"
        "<annotation><p>Он сказал: \"да, конечно\"</p></annotation><keywords>космос, море</keywords>"
        "<lang>ru</lang><translator><last-name>Смит</last-name></translator><sequence name=\"Цикл\" number=\"2\"/>"
        "</title-info><publish-info><publisher>Мир</publisher><year>1999</year><isbn>5-03-001</isbn>"
        "</publish-info></description><body><p>x</p></body></FictionBook>";
    WriteBytes(dir / "books" / "a.fb2", Bytes(full));
    WriteBytes(dir / "books" / "b.fb2", Bytes("<FictionBook><description><title-info><book-title>Два</book-title>"
                                              "</title-info></description><body><p>y</p></body></FictionBook>"));
    const std::string lib = (dir / "lib.sv2").string();
    ASSERT_EQ(Cli({"scan", lib, (dir / "books").string()}).status, 0);

    const CliRun csv = Cli({"export", lib, "--csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n")),
              "path,entry,title,authors,translators,series,genres,lang,publisher,isbn,year,annotation,keywords,"
              "added,read,size,crc");
    EXPECT_NE(csv.out.find(",Один,Иван Петров,Смит,Цикл #2,sf,ru,Мир,5-03-001,1999,"
                           "\"Он сказал: \"\"да, конечно\"\"\",\"космос, море\","),
              std::string::npos)
        << csv.out;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 3);  // the header and one row a book

    const CliRun json = Cli({"export", lib, "--json", "--filter", "петров"});
    ASSERT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"translators\":[\"Смит\"]"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"publisher\":\"Мир\",\"isbn\":\"5-03-001\",\"year\":\"1999\""), std::string::npos);
    EXPECT_NE(json.out.find("\"keywords\":\"космос, море\""), std::string::npos);
    EXPECT_EQ(json.out.find("Два"), std::string::npos);
    EXPECT_EQ(Cli({"export", lib}).status, 2);
    EXPECT_EQ(Cli({"export", lib, "--csv", "--json"}).status, 2);
}

TEST(CliTest, ConvertOldFormat) {
    TempDir dir;
    WriteBytes(dir / "old.svd", OldEmptyLibrary());
    EXPECT_NE(Cli({"info", (dir / "old.svd").string()}).out.find("format: old\nversion: 96\n"), std::string::npos);
    EXPECT_EQ(Cli({"convert", (dir / "old.svd").string(), (dir / "new.sv2").string()}).status, 0);
    EXPECT_NE(Cli({"info", (dir / "new.sv2").string()}).out.find("format: current\nversion: 257\ngenres: 128\n"),
              std::string::npos);
}

TEST(CliTest, SweepRemovesWhatNoBookNeeds) {
    TempDir dir;
    WriteBytes(dir / "old.svd", OldEmptyLibrary());
    const std::string lib = (dir / "lib.sv2").string();
    ASSERT_EQ(Cli({"convert", (dir / "old.svd").string(), lib}).status, 0);
    EXPECT_EQ(Cli({"sweep", lib, "--flags", "abc"}).status, 2);
    EXPECT_EQ(Cli({"sweep", lib, "--flags", "200"}).status, 2);
    const CliRun run = Cli({"sweep", lib, "--flags", "2"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("genres: 128 -> 0\n"), std::string::npos) << run.out;
    EXPECT_NE(Cli({"info", lib}).out.find("genres: 0\n"), std::string::npos);
}

TEST(CliTest, Fb2Description) {
    TempDir dir;
    const std::string book = (dir / "book.fb2").string();
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?><FictionBook><description><title-info>"
        "<genre>sf</genre><author><first-name>\xC8\xE2\xE0\xED</first-name><last-name>Petrov</last-name></author>"
        "<book-title>Tom &amp; Jerry</book-title><lang>ru</lang><sequence name=\"S\" number=\"2\">"
        "<sequence name=\"Inner\"/></sequence></title-info><document-info><program-used>x</program-used>"
        "</document-info><publish-info><year>1999</year></publish-info><custom-info info-type=\"t\">c</custom-info>"
        "</description><body><p>one</p><p>two</p></body></FictionBook>";
    WriteBytes(book, Bytes(text));
    const CliRun json = Cli({"fb2", book, "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"titleInfo\":{\"genres\":[\"sf\"],\"authors\":[{\"firstName\":\"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\","
              "\"middleName\":\"\",\"lastName\":\"Petrov\",\"nickname\":\"\"}],\"bookTitle\":\"Tom & Jerry\","
              "\"annotation\":\"\",\"keywords\":\"\",\"date\":\"\",\"lang\":\"ru\",\"srcLang\":\"\",\"translators\":[],"
              "\"sequences\":[{\"name\":\"S\",\"number\":2},{\"name\":\"Inner\",\"number\":null}]},"
              "\"srcTitleInfo\":null,\"documentInfo\":{\"authors\":[],\"programUsed\":\"x\",\"date\":\"\","
              "\"srcUrls\":[],\"srcOcr\":\"\",\"id\":\"\",\"version\":\"\",\"history\":\"\"},"
              "\"publishInfo\":{\"bookName\":\"\",\"publisher\":\"\",\"city\":\"\",\"year\":\"1999\",\"isbn\":\"\","
              "\"sequences\":[]},\"customInfo\":[{\"infoType\":\"t\",\"text\":\"c\"}]}\n");
    EXPECT_EQ(Cli({"fb2", book, "--text"}).out, "one\r\ntwo\r\n");
    const CliRun plain = Cli({"fb2", book});
    EXPECT_NE(plain.out.find("  title: Tom & Jerry\n"), std::string::npos);
    EXPECT_NE(plain.out.find("  author: \xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD Petrov\n"), std::string::npos);
    const CliRun noCover = Cli({"fb2", book, "--cover", (dir / "c.png").string()});
    EXPECT_EQ(noCover.status, 1);
    EXPECT_EQ(Cli({"fb2", (dir / "missing.fb2").string()}).status, 1);
    WriteBytes(dir / "bad.fb2", Bytes("<FictionBook>\n<description>\n<p>cut off"));
    const std::string bad = Cli({"fb2", (dir / "bad.fb2").string()}).err;
    EXPECT_NE(bad.find("bad.fb2: line 3: unclosed <p> (Damaged or not an XML file!)"), std::string::npos) << bad;
    // A scan keeps the book and says why its description was not read.
    std::filesystem::create_directories(dir / "shelf");
    std::filesystem::copy_file(dir / "bad.fb2", dir / "shelf" / "bad.fb2");
    const CliRun scan = Cli({"scan", (dir / "lib.sv2").string(), (dir / "shelf").string()});
    EXPECT_EQ(scan.status, 0);
    EXPECT_NE(scan.err.find("bad.fb2: line 3: unclosed <p>"), std::string::npos) << scan.err;
}

TEST(CliTest, Fb2CoverAsPng) {
    const std::filesystem::path book = std::filesystem::path(SHELVARA_CORPUS) / "fb2/coolreader/example.fb2";
    if (!std::filesystem::exists(book)) GTEST_SKIP() << "no corpus";
    TempDir dir;
    const std::string png = (dir / "cover.png").string();
    ASSERT_EQ(Cli({"fb2", book.string(), "--cover", png}).status, 0);
    const std::vector<uint8_t> bytes = ReadBytes(png);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 4), "PNG");
    EXPECT_EQ(bytes[16] << 24 | bytes[17] << 16 | bytes[18] << 8 | bytes[19], 120);  // width
}

// The corpus scanned into a library: every FB2 book shows what its own description says,
// scanning again changes nothing.
TEST(CliTest, ScanOfTheCorpus) {
    const std::filesystem::path corpus = std::filesystem::path(SHELVARA_CORPUS);
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus";
    TempDir dir;
    const std::string lib = (dir / "corpus.sv2").string();
    const CliRun first = Cli({"scan", lib, corpus.string()});
    ASSERT_EQ(first.status, 0) << first.err;
    const CliRun again = Cli({"scan", lib, corpus.string()});
    EXPECT_NE(again.out.find("books added 0,"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("lost 0,"), std::string::npos) << again.out;
    const CliRun list = Cli({"list", lib, "books", "--json"});
    ASSERT_EQ(list.status, 0);
    EXPECT_EQ(list.out.substr(0, 2), "[{");

    TSVD svd;
    svd.LoadFromFile(Utf8ToAnsi(lib));
    TBookCollection books;
    for (const auto& mp : svd.MountPoints)
        mp->CollectBooks(books, true);
    int compared = 0;
    for (TBookInfo* book : books.Books()) {
        if (book->GetFileType() != kFileFb2) continue;
        std::vector<std::string> args = {"fb2", AnsiToUtf8(book->FullPath()), "--json"};
        if (book->Packed) args.insert(args.end(), {"--entry", AnsiToUtf8(book->EntryName)});
        const CliRun fb2 = Cli(args);
        if (fb2.status != 0) continue;  // not FB2 after all (damaged, another root)
        // The title-info comes first in the object: its bookTitle is the first one.
        const std::string title = AnsiToUtf8(book->TitleInfo ? book->TitleInfo->Titles.front().str() : std::string());
        if (fb2.out.rfind("{\"titleInfo\":null", 0) == 0) {
            EXPECT_FALSE(book->TitleInfo && book->TitleInfo->HasData()) << AnsiToUtf8(book->FullPath());
        } else if (fb2.out.find("\"bookTitle\":\"\"") == fb2.out.find("\"bookTitle\":")) {
            EXPECT_EQ(title, AnsiToUtf8(book->FileNameInFolder()));  // untitled: the file name stands in
        } else {
            EXPECT_EQ(fb2.out.find("\"bookTitle\":" + JsonQuote(title)), fb2.out.find("\"bookTitle\":"))
                << AnsiToUtf8(book->FullPath());
        }
        ++compared;
    }
    EXPECT_GT(compared, 40);
    // Every genre the corpus names is shown by name; only made-up codes stay bare.
    std::vector<TBookGenre*> genres;
    svd.Genres.CollectNodes(genres);
    int named = 0;
    for (const TBookGenre* g : genres) {
        if (g == &svd.Genres || g->Count() > 0 || g->Code == "Unknown") continue;
        EXPECT_FALSE(g->RusName.empty()) << g->Code;
        ++named;
    }
    EXPECT_GT(named, 25);
}

// The whole round of a user's library: scan, list, lose a file, get it back, pack it.
TEST(CliTest, ScanResyncListAndPack) {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path books = dir / "books";
    fs::create_directories(books / "sub");
    WriteBytes(books / "a.fb2",
               Bytes("<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
                     "<genre>sf</genre><author><first-name>Иван</first-name><last-name>Петров</last-name></author>"
                     "<book-title>Один</book-title><lang>ru</lang><sequence name=\"Цикл\" number=\"2\"/>"
                     "</title-info></description><body><p>Первая книга.</p></body></FictionBook>"));
    WriteBytes(books / "sub" / "b.fb2",
               Bytes("<?xml version=\"1.0\" encoding=\"windows-1251\"?><FictionBook><description><title-info>"
                     "<genre>prose</genre><author><last-name>" +
                     Utf8ToAnsi("Сидоров") + "</last-name></author><book-title>" + Utf8ToAnsi("Два") +
                     "</book-title></title-info></description><body><p>b</p></body></FictionBook>"));
    const std::string lib = (dir / "lib.sv2").string();
    const auto list = [&] {
        const CliRun run = Cli({"list", lib, "books", "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    };

    const CliRun scan = Cli({"scan", lib, books.string()});
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_EQ(scan.out.rfind("books added 2, refreshed 0, recovered 0, lost 0, errors 0,", 0), 0u) << scan.out;
    std::string json = list();
    EXPECT_NE(json.find("\"title\":\"Один\",\"authors\":[\"Иван Петров\"],\"translators\":[],\"series\":[{"
                        "\"name\":\"Цикл\",\"number\":2}],\"genres\":[\"sf\"],\"lang\":\"ru\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"title\":\"Два\",\"authors\":[\"Сидоров\"]"), std::string::npos) << json;
    EXPECT_EQ(Cli({"scan", lib, books.string()}).out.rfind("books added 0, refreshed 2, recovered 0, lost 0,", 0), 0u);

    fs::rename(books / "a.fb2", dir / "a.fb2");
    EXPECT_EQ(Cli({"resync", lib}).out, "books added 0, refreshed 1, recovered 0, lost 1, errors 0\n");
    EXPECT_EQ(list().find("Один"), std::string::npos);
    fs::rename(dir / "a.fb2", books / "a.fb2");
    EXPECT_EQ(Cli({"resync", lib, "--mode", "update"}).out,
              "books added 0, refreshed 1, recovered 1, lost 0, errors 0\n");
    EXPECT_NE(list().find("\"title\":\"Один\""), std::string::npos);

    // "И. Петров" could be Иван or Игорь: the command line takes the first and says so.
    WriteBytes(books / "sub" / "c.fb2",
               Bytes("<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
                     "<author><first-name>Игорь</first-name><last-name>Петров</last-name></author>"
                     "<book-title>Три</book-title></title-info></description><body><p>c</p></body></FictionBook>"));
    ASSERT_EQ(Cli({"resync", lib}).status, 0);
    WriteBytes(books / "sub" / "d.fb2",
               Bytes("<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
                     "<author><first-name>И.</first-name><last-name>Петров</last-name></author>"
                     "<book-title>Четыре</book-title></title-info></description><body><p>d</p></body></FictionBook>"));
    const CliRun ambiguous = Cli({"resync", lib});
    EXPECT_EQ(ambiguous.status, 0);
    EXPECT_NE(ambiguous.err.find("d.fb2: several authors match, took "), std::string::npos) << ambiguous.err;
    EXPECT_NE(list().find("\"title\":\"Четыре\",\"authors\":[\"И"), std::string::npos);

    const CliRun pack = Cli({"pack", lib, (books / "a.fb2").string()});
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_FALSE(fs::exists(books / "a.fb2"));
    EXPECT_TRUE(fs::exists(books / "a.zip"));
    json = list();
    EXPECT_NE(
        json.find("\"path\":" + JsonQuote((books / "a.zip").string()) + ",\"entry\":\"a.fb2\",\"title\":\"Один\""),
        std::string::npos)
        << json;
    EXPECT_EQ(Cli({"resync", lib}).out, "books added 0, refreshed 4, recovered 0, lost 0, errors 0\n");
}

TEST(CliTest, ListRowsFilteredAndSorted) {
    TempDir dir;
    const auto book = [](const char* first, const char* last, const char* title, const char* series) {
        return Bytes(std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
                                 "<genre>sf</genre><author><first-name>") +
                     first + "</first-name><last-name>" + last + "</last-name></author><book-title>" + title +
                     "</book-title><sequence name=\"" + series +
                     "\" number=\"1\"/></title-info></description><body><p>x</p></body></FictionBook>");
    };
    std::filesystem::create_directories(dir / "books");
    WriteBytes(dir / "books" / "a.fb2", book("Иван", "Петров", "Один", "Цикл"));
    WriteBytes(dir / "books" / "b.fb2", book("Анна", "Сидорова", "Два", "Другой цикл"));
    const std::string lib = (dir / "lib.sv2").string();
    ASSERT_EQ(Cli({"scan", lib, (dir / "books").string()}).status, 0);

    const CliRun authors = Cli({"list", lib, "authors", "--sort", "Фамилия"});
    ASSERT_EQ(authors.status, 0) << authors.err;
    EXPECT_EQ(authors.out.substr(0, authors.out.find('\n')),
              "Имя\tОтчество\tФамилия\tНик\tСсылок\tкниг\tПереводов\tОформлений\tДата редактирования");
    EXPECT_LT(authors.out.find("Петров"), authors.out.find("Сидорова"));
    const CliRun reversed = Cli({"list", lib, "authors", "--sort", "0"});
    EXPECT_LT(reversed.out.find("Анна"), reversed.out.find("Иван"));
    const CliRun descending = Cli({"list", lib, "authors", "--sort", "Фамилия", "--desc"});
    EXPECT_GT(descending.out.find("Петров"), descending.out.find("Сидорова"));
    // Typed with Latin look-alikes ("a", "o"), the caption is found all the same.
    EXPECT_EQ(Cli({"list", lib, "authors", "--sort", "Фaмилия"}).out, authors.out);
    EXPECT_EQ(Cli({"list", lib, "books", "--sort", "Cерия"}).status, 0);
    EXPECT_EQ(Cli({"list", lib, "books", "--sort", "Серия"}).status, 0);

    const CliRun one = Cli({"list", lib, "authors", "--filter", "СИДОР", "--json"});
    EXPECT_EQ(one.out,
              "[{\"Имя\":\"Анна\",\"Отчество\":\"\",\"Фамилия\":\"Сидорова\",\"Ник\":\"\",\"Ссылок\":1,"
              "\"книг\":1,\"Переводов\":0,\"Оформлений\":0,\"Дата редактирования\":\"\"}]\n");
    const CliRun series = Cli({"list", lib, "series", "--filter", "друг"});
    EXPECT_EQ(series.out, "Название\tкниг\nДругой цикл\t1\n");
    EXPECT_NE(Cli({"list", lib, "genres", "--filter", "sf"}).out.find("sf\t"), std::string::npos);
    const CliRun two = Cli({"list", lib, "books", "--filter", "два", "--json"});
    EXPECT_NE(two.out.find("\"title\":\"Два\""), std::string::npos);
    EXPECT_EQ(two.out.find("\"title\":\"Один\""), std::string::npos);
    EXPECT_EQ(Cli({"list", lib, "lost"}).out.find('\n') + 1, Cli({"list", lib, "lost"}).out.size());  // header only
    // ё and е are one letter to a filter, either way round.
    WriteBytes(dir / "books" / "c.fb2", book("Пётр", "Журавлёв", "Ёлка", "Ещё цикл"));
    ASSERT_EQ(Cli({"scan", lib, (dir / "books").string()}).status, 0);
    for (const char* text : {"журавлев", "ЖУРАВЛЁВ", "журавлёв"}) {
        EXPECT_NE(Cli({"list", lib, "books", "--filter", text}).out.find("Ёлка"), std::string::npos) << text;
        EXPECT_NE(Cli({"list", lib, "authors", "--filter", text}).out.find("Журавлёв"), std::string::npos) << text;
    }
    EXPECT_NE(Cli({"list", lib, "series", "--filter", "еще"}).out.find("Ещё цикл"), std::string::npos);
    EXPECT_NE(Cli({"list", lib, "books", "--filter", "елка"}).out.find("Ёлка"), std::string::npos);
    EXPECT_EQ(Cli({"list", lib, "shelves"}).status, 2);
    EXPECT_EQ(Cli({"list", lib, "authors", "--sort", "Рост"}).status, 2);
}

TEST(CliTest, DupsFindsPlantedCopiesAndSavesThem) {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path books = dir / "books";
    fs::create_directories(books);
    std::mt19937 rng(7);
    const auto words = [&](size_t count) {
        std::string text;
        for (size_t i = 0; i < count; ++i) {
            for (int c = 0; c < 7; ++c)
                text += static_cast<char>('a' + rng() % 26);
            text += ' ';
        }
        return text;
    };
    const auto fb2 = [](const std::string& body) {
        return Bytes(
            "<?xml version=\"1.0\"?><FictionBook><description><title-info><book-title>t</book-title>"
            "</title-info></description><body><p>" +
            body + "</p></body></FictionBook>");
    };
    const std::string text = words(300);
    WriteBytes(books / "first.fb2", fb2(text));
    WriteBytes(books / "again.fb2", fb2(words(3) + text));
    WriteBytes(books / "other.fb2", fb2(words(300)));
    const std::string lib = (dir / "lib.sv2").string();
    ASSERT_EQ(Cli({"scan", lib, books.string()}).status, 0);

    const CliRun dups = Cli({"dups", lib, books.string(), "--mode", "0"});
    ASSERT_EQ(dups.status, 0) << dups.err;
    EXPECT_NE(dups.out.find("\t" + (books / "first.fb2").string() + "\t" + (books / "again.fb2").string() + "\n"),
              std::string::npos)
        << dups.out;
    EXPECT_NE(dups.out.find("\t" + (books / "again.fb2").string() + "\t" + (books / "first.fb2").string() + "\n"),
              std::string::npos);
    EXPECT_EQ(dups.out.find("other.fb2"), std::string::npos);
    EXPECT_EQ(std::count(dups.out.begin(), dups.out.end(), '\n'), 2);

    const CliRun saved = Cli({"dups", lib, books.string(), "--save", "--json"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.out.substr(0, 11), "[{\"book1\":\"");
    EXPECT_NE(Cli({"info", lib}).out.find("duplicate pairs: 2"), std::string::npos);
    EXPECT_EQ(Cli({"dups", lib, books.string(), "--mode", "7"}).status, 2);
    EXPECT_EQ(Cli({"dups", lib, (dir / "elsewhere").string()}).status, 1);
}

TEST(CliTest, DamagedFilesReportTheirMessage) {
    TempDir dir;
    std::vector<uint8_t> version = EmptyLibrary();
    version[16] = 0x02;
    std::vector<uint8_t> compressed = EmptyLibrary();
    compressed[18] = 1;
    std::vector<uint8_t> badInt = EmptyLibrary();
    badInt[22] = 0xF1;
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {Bytes("short"), "Неизвестный формат файла"},
        {version, "Неизвестная версия базы данных"},
        {compressed, "Неизвестный формат сжатия!"},
        {badInt, "Неверный формат потока!"},
    };
    for (const auto& [bytes, message] : cases) {
        WriteBytes(dir / "bad.sv2", bytes);
        const CliRun run = Cli({"info", (dir / "bad.sv2").string()});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const CliRun missing = Cli({"info", (dir / "missing.sv2").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing.sv2"), std::string::npos);
}

TEST(CliTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"frobnicate"}, {"info"}, {"info", "a", "b"}, {"info", "--xml", "a"}, {"new"}, {"convert", "a"},
    };
    for (const auto& args : cases) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(run.err.find("Usage: shelvara-cli"), std::string::npos);
    }
}

TEST(CliTest, HelpOnEveryCommand) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"new", "--help"}, {"info", "--help"}, {"convert", "x", "--help"}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("Usage: shelvara-cli"), std::string::npos);
    }
}

TEST(CliTest, NonAsciiPathsRoundTrip) {
    TempDir dir;
    for (const char* name : {"Библиотека.sv2", "café ł 中文.sv2"}) {
        const std::string lib = (dir / name).string();
        ASSERT_EQ(Cli({"new", lib}).status, 0) << name;
        EXPECT_EQ(Cli({"info", lib}).status, 0) << name;
        EXPECT_EQ(ReadBytes(lib), EmptyLibrary());
    }
}

// No damaged library may crash the reader: every truncation and random byte changes.
TEST(CliTest, DamagedLibrariesNeverCrash) {
    TempDir dir;
    const std::string lib = (dir / "fuzz.sv2").string();
    const std::vector<uint8_t> good = EmptyLibrary();
    for (size_t size = 0; size < good.size(); ++size) {
        WriteBytes(lib, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_EQ(Cli({"info", lib}).status, 1) << size;
    }
    std::mt19937 random(42);
    for (int i = 0; i < 500; ++i) {
        std::vector<uint8_t> bytes = good;
        for (int k = 0; k < 3; ++k)
            bytes[19 + random() % (bytes.size() - 19)] = static_cast<uint8_t>(random());
        if (random() % 2) bytes.resize(bytes.size() + random() % 8, static_cast<uint8_t>(random()));
        WriteBytes(lib, bytes);
        const int status = Cli({"info", lib}).status;
        EXPECT_TRUE(status == 0 || status == 1);
    }
}

// The settings store of the profiles lives in a temporary XDG config folder.
TEST(CliTest, FormatWithStoredProfilesAndExportedRules) {
    TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    {
        TSettingsStore store(TSettingsStore::DefaultFile(kProgramFolder));
        TFormatterSet set(store, kProgramKey + "\\" + kFormatRulesKey);
        set.NewProfile();
        set.SetName(Utf8ToAnsi("Чистка"));
        auto spaces = std::make_unique<TNoMoreSymbRule>();
        spaces->Name = "spaces";
        set.AddRule(std::move(spaces));
        set.AddRule(std::make_unique<TRegisterManageRule>());
        set.NewProfile();  // the default now, named 001 again since that name is free
        auto tabs = std::make_unique<TTabToSpacesRule>();
        tabs->Spaces = 1;
        set.AddRule(std::move(tabs));
    }
    const std::string in = (dir / "in.txt").string();
    const std::string cp1251 = Utf8ToAnsi("привет.   мир\r\n");
    WriteBytes(in, std::vector<uint8_t>(cp1251.begin(), cp1251.end()));

    // Listing never writes: a note of the user's stays, and so does the file's every byte.
    const auto settings = TSettingsStore::DefaultFile(kProgramFolder);
    std::vector<uint8_t> noted = ReadBytes(settings);
    const std::vector<uint8_t> note = Bytes("; keep this note\n");
    noted.insert(noted.end(), note.begin(), note.end());
    WriteBytes(settings, noted);
    const CliRun profiles = Cli({"profiles"});
    EXPECT_EQ(ReadBytes(settings), noted);
    EXPECT_EQ(profiles.status, 0);
    EXPECT_EQ(profiles.out,
              "1\tЧистка\n"
              "  1. Символы подряд \"spaces\": at most 1 of \" \"\n"
              "  2. Управление регистром: text none, sentence start all upper\n"
              "2\tNew formatting set 001\t(default)\n"
              "  1. Табуляция в пробелы: 1 spaces\n");

    const CliRun named = Cli({"format", "--profile", "чистка", in});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, "Привет. Мир\r\n");

    const std::string rules = (dir / "rules.bin").string();
    const std::string out = (dir / "out.txt").string();
    EXPECT_EQ(Cli({"profiles", "--export", "Чистка", rules}).status, 0);
    EXPECT_EQ(Cli({"format", "--rules", rules, in, out}).status, 0);
    const std::string expected = Utf8ToAnsi("Привет. Мир\r\n");
    EXPECT_EQ(ReadBytes(out), std::vector<uint8_t>(expected.begin(), expected.end()));

    // UTF-8 (with or without its mark) and KOI8-R come back as they came.
    const std::vector<std::pair<std::string, std::string>> encodings{
        {"", "utf-8"}, {"\xEF\xBB\xBF", "utf-8"}, {"", "koi8-r"}};
    for (const auto& [mark, name] : encodings) {
        auto encode = [&](const std::string& utf8) {
            if (name == "utf-8") return mark + utf8;
            std::string koi;
            for (char c : Utf8ToAnsi(utf8)) {
                const auto u = static_cast<uint8_t>(c);
                // Windows-1251 to KOI8-R for the letters of this text.
                static const std::string win =
                    Utf8ToAnsi("абвгдежзийклмнопрстуфхцчшщъыьэюяАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
                static const char* koiLetters =
                    "\xC1\xC2\xD7\xC7\xC4\xC5\xD6\xDA\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD2\xD3\xD4\xD5"
                    "\xC6\xC8\xC3\xDE\xDB\xDD\xDF\xD9\xD8\xDC\xC0\xD1";
                const size_t at = win.find(c);
                koi += u < 0x80 ? c : at < 32 ? koiLetters[at] : static_cast<char>(koiLetters[at - 32] ^ 0x20);
            }
            return koi;
        };
        const std::string source = encode("привет.   мир, привет\r\n");
        WriteBytes(in, std::vector<uint8_t>(source.begin(), source.end()));
        ASSERT_EQ(Cli({"format", "--rules", rules, in, out}).status, 0) << name;
        const std::string formatted = encode("Привет. Мир, привет\r\n");
        EXPECT_EQ(ReadBytes(out), std::vector<uint8_t>(formatted.begin(), formatted.end())) << name << mark.size();
    }
    WriteBytes(in, std::vector<uint8_t>(cp1251.begin(), cp1251.end()));

    const CliRun unchanged = Cli({"format", in});  // the default profile finds no tab
    EXPECT_EQ(unchanged.status, 0);
    EXPECT_NE(unchanged.err.find("unchanged"), std::string::npos);
    EXPECT_EQ(Cli({"format", "--profile", "nothing", in}).status, 1);
    EXPECT_EQ(Cli({"format", "--profile", "x", "--rules", rules, in}).status, 2);
    const std::string utf16 = (dir / "utf16.txt").string();
    WriteBytes(utf16, {0xFF, 0xFE, 'a', 0, '\t', 0});
    const CliRun refused = Cli({"format", utf16, out});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("NUL"), std::string::npos);
    unsetenv("XDG_CONFIG_HOME");
}

// An imported collection lists its members with their archives, and a second import adds nothing.
TEST(CliTest, ImportInpxThenListBooks) {
    TempDir dir;
    const TInpxFiles files = GenerateInpx(40, 20, 3);
    WriteInpx(dir / "c.inpx", files);
    WriteInpxArchives(dir.Path(), files);
    const std::string lib = (dir / "lib.sv2").string();
    const CliRun first = Cli({"import-inpx", lib, (dir / "c.inpx").string(), "--lang", "ru"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("Generated library: books added"), std::string::npos) << first.out;
    const CliRun again = Cli({"import-inpx", lib, (dir / "c.inpx").string(), "--lang", "ru"});
    EXPECT_NE(again.out.find("books added 0,"), std::string::npos) << again.out;
    const CliRun list = Cli({"list", lib, "books", "--json"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("fb2-100000-100019.zip"), std::string::npos);
    EXPECT_NE(list.out.find("\"entry\""), std::string::npos);
    const CliRun bad = Cli({"import-inpx", lib, (dir / "missing.inpx").string()});
    EXPECT_NE(bad.status, 0);

    // Books the index deletes are listed only when asked for.
    ASSERT_EQ(Cli({"import-inpx", lib, (dir / "c.inpx").string(), "--include-deleted"}).status, 0);
    auto books = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"list", lib, "books", "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        return BooksListed(Cli(args).out);
    };
    size_t deleted = 0;
    for (const auto& [name, lines] : files.Inps)
        for (const std::string& line : lines)
            deleted += line.find(
                           "\x04"
                           "1\x04"
                           "fb2\x04") != std::string::npos;
    ASSERT_GT(deleted, 0u);
    EXPECT_EQ(books({"--deleted"}), books({}) + deleted);
}

}  // namespace

namespace {

TEST(CliTest, ServeRefusesAPasswordFileOthersMayChange) {
    TempDir dir;
    const std::string lib = (dir / "x.sv2").string();
    ASSERT_EQ(Cli({"new", lib}).status, 0);
    const std::string secret = (dir / "secret").string();
    WriteBytes(secret, Bytes("password\n"));
    for (const mode_t mode : {0666, 0620, 0602}) {
        ::chmod(secret.c_str(), mode);
        const CliRun run = Cli({"serve", lib, "--port", "0", "--user", "reader", "--password-file", secret});
        EXPECT_NE(run.status, 0) << std::oct << mode;
        EXPECT_NE(run.err.find("may be changed by other users"), std::string::npos) << run.err;
    }
}

}  // namespace

namespace {

// Errors come in the locale's language where a language file for it is installed.
TEST(CliTest, MessagesFollowTheLocalesLanguage) {
    const std::filesystem::path lang =
        std::filesystem::path(SHELVARA_TEST_DATA).parent_path().parent_path() / "data" / "lang";
    TempDir dir;
    const std::string missing = (dir / "missing.sv2").string();
    for (const char* locale : {"", "C", "POSIX", "xx_YY.UTF-8"})
        EXPECT_FALSE(UseLanguageOf(locale, {lang})) << locale;
    EXPECT_NE(Cli({"info", missing}).err.find(AnsiToUtf8(MessageText(rsErrLoadingError))), std::string::npos);
    ASSERT_TRUE(UseLanguageOf("en_GB.UTF-8", {lang}));
    EXPECT_NE(Cli({"info", missing}).err.find("Loading error!"), std::string::npos);
    ResetMessageTexts();
}

}  // namespace

namespace {

// A Ctrl+C that comes while the server is still starting ends it. Run in a child process,
// where no other thread can take the signal.
TEST(CliTest, ServeEndsOnAnInterruptAtStartUp) {
    TempDir dir;
    const std::string lib = (dir / "x.sv2").string();
    ASSERT_EQ(Cli({"new", lib}).status, 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
        CliRun run;
        std::thread serving([&] { run = Cli({"serve", lib, "--port", "0"}); });
        ::kill(::getpid(), SIGINT);
        serving.join();
        ::_exit(run.status == 0 && run.err.find("stopped") != std::string::npos ? 0 : 3);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pid_t done = 0;
    while ((done = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the server did not stop";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

namespace {

TEST(CliTest, ServeRefusesALanguageItHasNoFileFor) {
    TempDir dir;
    const std::string lib = (dir / "x.sv2").string();
    ASSERT_EQ(Cli({"new", lib}).status, 0);
    const CliRun run = Cli({"serve", lib, "--port", "0", "--lang", "xx"});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("no language file for xx"), std::string::npos) << run.err;
}

}  // namespace

namespace {

// Restores the working folder when it goes.
struct InFolder {
    std::filesystem::path previous = std::filesystem::current_path();
    explicit InFolder(const std::filesystem::path& folder) { std::filesystem::current_path(folder); }
    ~InFolder() { std::filesystem::current_path(previous); }
};

// A book or folder named as a person types it is the one the clean absolute path names.
TEST(CliTest, TypedPathsNameBooksAndFoldersAsTheAbsoluteCleanPathDoes) {
    TempDir dir;
    const auto library = dir / "library";
    std::filesystem::create_directories(library / "sub");
    const std::string book =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><book-title>Т</book-title>"
        "</title-info></description><body><p>т</p></body></FictionBook>";
    const std::string lib = (dir / "x.sv2").string();
    const std::vector<std::string> books{(library / "sub" / "book.fb2").string(), "library/sub/book.fb2",
                                         "./library/./sub/book.fb2", "library//sub/../sub/book.fb2",
                                         "library/sub/book.fb2/"};
    const InFolder here(library.parent_path());
    for (const std::string& typed : books) {
        std::filesystem::remove_all(library / "sub");
        std::filesystem::create_directories(library / "sub");
        WriteBytes(library / "sub" / "book.fb2", Bytes(book));
        std::filesystem::remove(lib);
        ASSERT_EQ(Cli({"new", lib}).status, 0);
        ASSERT_EQ(Cli({"scan", lib, "library"}).status, 0);
        const CliRun pack = Cli({"pack", lib, typed});
        EXPECT_EQ(pack.status, 0) << typed << ": " << pack.err;
        EXPECT_TRUE(std::filesystem::exists(library / "sub" / "book.zip")) << typed;
    }
    {
        const InFolder deeper(library);  // relative to a folder below
        std::filesystem::remove_all(library / "sub");
        std::filesystem::create_directories(library / "sub");
        WriteBytes(library / "sub" / "book.fb2", Bytes(book));
        std::filesystem::remove(lib);
        ASSERT_EQ(Cli({"new", lib}).status, 0);
        ASSERT_EQ(Cli({"scan", lib, "."}).status, 0);
        EXPECT_EQ(Cli({"pack", lib, "sub/book.fb2"}).status, 0);
        for (const char* folder : {"sub", "./sub/", "sub/../sub", "."})
            EXPECT_EQ(Cli({"resync", lib, folder}).status, 0) << folder;
        EXPECT_NE(Cli({"resync", lib, "nosuch"}).status, 0);
    }
}

}  // namespace

namespace {

// A library kept among its books catalogues the books, not itself, its backup or its lock,
// however the folder is named.
TEST(CliTest, AScanLeavesTheLibrarysOwnFilesOut) {
    TempDir dir;
    const auto books = dir / "books";
    std::filesystem::create_directories(books);
    WriteBytes(books / "a.fb2", Bytes("<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
                                      "<book-title>А</book-title></title-info></description><body><p>а</p>"
                                      "</body></FictionBook>"));
    std::filesystem::create_symlink(books, dir / "link");
    const std::string lib = (books / "x.sv2").string();
    for (const std::string& folder : {books.string(), books.string(), (dir / "link").string()}) {
        const CliRun scan = Cli({"scan", lib, folder});
        ASSERT_EQ(scan.status, 0) << scan.err;
    }
    ASSERT_TRUE(std::filesystem::exists(books / "xOLD"));  // a backup is there to be left out
    const CliRun resync = Cli({"resync", lib});
    EXPECT_EQ(resync.status, 0) << resync.err;
    const CliRun list = Cli({"list", lib, "books", "--json"});
    EXPECT_EQ(BooksListed(list.out), 2u) << list.out;  // a.fb2, once under each mount point
    EXPECT_EQ(list.out.find("x.sv2"), std::string::npos);
    EXPECT_EQ(list.out.find("xOLD"), std::string::npos);
    EXPECT_EQ(list.out.find(".lock"), std::string::npos);
}

}  // namespace
