#include "catalogue/SVD.h"

#include <sys/resource.h>
#include <algorithm>
#include <csignal>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "TestUtils.h"
#include "catalogue/SVDStream.h"
#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"

namespace {

// Header, record-area length 8, then the empty sections: genre root (flags, index), author
// count, series root (flags, index), mount points, lost books, duplicate pairs. No texts.
const std::vector<uint8_t> kEmptyLibrary = [] {
    std::vector<uint8_t> bytes = Bytes("Shelvaracatalog2");
    bytes.insert(bytes.end(), {0x01, 0x01, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0});
    return bytes;
}();

// An old-format library without content: 64 empty legacy genre names (pool of 64 bytes,
// whose length takes the two-byte old form), no authors, no mount points.
std::vector<uint8_t> OldEmptyLibrary() {
    std::vector<uint8_t> bytes = Bytes("Shelvaracatalog.");
    bytes.insert(bytes.end(), {0x60, 0x00, 0x00, 0x40, 0x40});
    bytes.insert(bytes.end(), 64, 0);
    bytes.insert(bytes.end(), {0x00, 0x00});
    return bytes;
}

std::vector<uint8_t> OldLibrary(const std::vector<std::string>& texts, const std::vector<uint8_t>& records);

// An old-format library: the texts make the pool (the first 64 are the legacy genre names),
// the records follow it. The pool length takes the two-byte old form, so it stays below 16 KiB.
std::vector<uint8_t> OldLibrary(const std::vector<std::string>& texts, const std::vector<uint8_t>& records) {
    std::vector<uint8_t> pool;
    for (const std::string& t : texts) {
        pool.insert(pool.end(), t.begin(), t.end());
        pool.push_back(0);
    }
    std::vector<uint8_t> bytes = Bytes("Shelvaracatalog.");
    bytes.insert(bytes.end(), {0x60, 0x00, 0x00});
    bytes.push_back(static_cast<uint8_t>(0x40 | (pool.size() >> 8)));
    bytes.push_back(static_cast<uint8_t>(pool.size() & 0xFF));
    bytes.insert(bytes.end(), pool.begin(), pool.end());
    bytes.insert(bytes.end(), records.begin(), records.end());
    return bytes;
}

int LoadError(TSVD& svd, const std::string& fileName) {
    try {
        svd.LoadFromFile(fileName);
    } catch (const EShelvaraError& e) {
        return e.MessageId();
    }
    return -1;
}

TEST(SVDTest, EmptyLibraryBytesAndRoundTrip) {
    TempDir dir;
    const std::string name = (dir / "books.sv2").string();
    TSVD svd;
    svd.SetModified(true);
    ASSERT_TRUE(svd.SaveToFile(name));
    EXPECT_EQ(ReadBytes(name), kEmptyLibrary);
    EXPECT_FALSE(svd.IsModified());
    EXPECT_EQ(svd.FileName, name);

    TSVD loaded;
    loaded.LoadFromFile(name);
    EXPECT_FALSE(loaded.IsModified());
    EXPECT_EQ(loaded.FileName, name);
    EXPECT_FALSE(loaded.LoadedOldFormat);
    EXPECT_EQ(loaded.LoadedVersion, 0x0101);
}

TEST(SVDTest, SecondSaveKeepsExactlyOneBackup) {
    TempDir dir;
    const std::string name = (dir / "books.sv2").string();
    WriteBytes(name, Bytes("previous library"));
    TSVD svd;
    ASSERT_TRUE(svd.SaveToFile(name));
    EXPECT_EQ(ReadBytes(dir / "booksOLD"), Bytes("previous library"));
    ASSERT_TRUE(svd.SaveToFile(name));
    EXPECT_EQ(ReadBytes(dir / "booksOLD"), kEmptyLibrary);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"books.sv2", "booksOLD"}));
}

TEST(SVDTest, BackupNameCutsTheExtensionOfTheFileNameOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"books.sv2", "booksOLD"},
        {"books", "booksOLD"},
        {"/home/u/books.svd", "/home/u/booksOLD"},
        {"/home/u/lib.v2/books", "/home/u/lib.v2/booksOLD"},
        {"/home/u/lib.v2/books.sv2", "/home/u/lib.v2/booksOLD"},
        {"my.books.sv2", "my.booksOLD"},
    };
    for (const auto& [name, backup] : cases)
        EXPECT_EQ(TSVD::BackupName(name), backup) << name;
}

TEST(SVDTest, LibraryWithoutExtensionIsBackedUp) {
    TempDir dir;
    const std::string name = (dir / "books").string();
    TSVD svd;
    ASSERT_TRUE(svd.SaveToFile(name));
    ASSERT_TRUE(svd.SaveToFile(name));
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"books", "booksOLD"}));
}

TEST(SVDTest, Version256FileHasNoDuplicateSection) {
    TempDir dir;
    std::vector<uint8_t> v256 = kEmptyLibrary;
    v256[16] = 0x00;  // version 0x0100
    v256[19] = 0x07;  // one section less
    v256.pop_back();
    const std::string name = (dir / "old.sv2").string();
    WriteBytes(name, v256);
    TSVD svd;
    svd.LoadFromFile(name);
    EXPECT_EQ(svd.LoadedVersion, 0x0100);
    ASSERT_TRUE(svd.SaveToFile((dir / "new.sv2").string()));
    EXPECT_EQ(ReadBytes(dir / "new.sv2"), kEmptyLibrary);
}

TEST(SVDTest, OldFormatLoadsWithTheBuiltInGenresAndSavesInCurrentFormat) {
    TempDir dir;
    const std::string name = (dir / "old.svd").string();
    WriteBytes(name, OldEmptyLibrary());
    TSVD svd;
    svd.LoadFromFile(name);
    EXPECT_TRUE(svd.LoadedOldFormat);
    EXPECT_EQ(svd.LoadedVersion, 96);
    EXPECT_FALSE(svd.IsModified());
    EXPECT_EQ(svd.Counts().Genres, 128);
    ASSERT_TRUE(svd.SaveToFile((dir / "new.sv2").string()));
    TSVD reloaded;
    reloaded.LoadFromFile((dir / "new.sv2").string());
    EXPECT_FALSE(reloaded.LoadedOldFormat);
    EXPECT_EQ(reloaded.Counts().Genres, 128);
}

TEST(SVDTest, NamesThatLeaveTheirFolderAreLeftOutOfTheLoadAndNeverSaved) {
    struct Case {
        const char* mount;
        const char* folder;
        const char* file;
        const char* entry;
        int bad;  // which name is bad: 0 none, 1 mount, 2 folder, 3 file, 4 entry
    };
    const Case cases[] = {
        {"/books", "sub", "a.fb2", nullptr, 0},
        {"/books/", "sub", "a.zip", "dir/a.fb2", 0},
        {"/books", "sub", "../../etc/passwd", nullptr, 3},
        {"/books", "sub", "..", nullptr, 3},
        {"/books", "a/b", "a.fb2", nullptr, 2},
        {"/books", "..", "a.fb2", nullptr, 2},
        {"/books/../etc", "sub", "a.fb2", nullptr, 1},
        {"books", "sub", "a.fb2", nullptr, 1},
        {"/books", "sub", "a.zip", "../../x.fb2", 4},
        {"/books", "sub", "a.zip", "/abs.fb2", 4},
        {"/books", "sub", "a.zip", "./c.fb2", 4},
        {"/books", "sub", "a.zip", "a//d.fb2", 4},
        {"/books", "sub", "a.zip", "a/..", 4},
    };
    TempDir dir;
    const std::string file = (dir / "lib.sv2").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mount) + " " + c.folder + " " + c.file + " " + (c.entry ? c.entry : ""));
        // Only a damaged or crafted file holds such a name: the good file is patched.
        const std::string badValue = c.bad == 1   ? c.mount
                                     : c.bad == 2 ? c.folder
                                     : c.bad == 3 ? c.file
                                     : c.entry    ? c.entry
                                                  : "";
        const std::string stand =
            c.bad == 1 ? "/" + std::string(badValue.size() - 1, 'Q') : std::string(badValue.size(), 'Q');
        auto name = [&](int which, const char* value) { return which == c.bad ? stand : std::string(value); };
        TSVD svd;
        svd.MountPoints.push_back(std::make_unique<TMountPoint>(&svd));
        svd.MountPoints.back()->Name = name(1, c.mount);
        TBookInfo* book = svd.MountPoints.back()->AddFolder(name(2, c.folder))->AddBook();
        book->FileName = name(3, c.file);
        book->Packed = c.entry != nullptr;
        if (c.entry) book->EntryName = name(4, c.entry);
        // A sibling that stays whatever is left out.
        svd.MountPoints.push_back(std::make_unique<TMountPoint>(&svd));
        svd.MountPoints.back()->Name = "/kept";
        svd.MountPoints.back()->AddBook()->FileName = "k.fb2";
        ASSERT_TRUE(svd.SaveToFile(file));
        if (c.bad) {
            std::vector<uint8_t> bytes = ReadBytes(file);
            const auto at = std::search(bytes.begin(), bytes.end(), stand.begin(), stand.end());
            ASSERT_NE(at, bytes.end());
            std::copy(badValue.begin(), badValue.end(), at);
            WriteBytes(file, bytes);
        }
        TSVD loaded;
        ASSERT_NO_THROW(loaded.LoadFromFile(file));
        EXPECT_EQ(loaded.FileName, file);
        EXPECT_EQ(loaded.Counts().Books, c.bad ? 1 : 2);
        ASSERT_EQ(loaded.LoadWarnings.size(), c.bad ? 1u : 0u);
        if (c.bad) {
            EXPECT_NE(loaded.LoadWarnings[0].find(badValue), std::string::npos) << loaded.LoadWarnings[0];
            EXPECT_NE(loaded.LoadWarnings[0].find("left out"), std::string::npos) << loaded.LoadWarnings[0];
            // What is left saves and loads again, clean.
            ASSERT_TRUE(loaded.SaveToFile(file));
            TSVD again;
            again.LoadFromFile(file);
            EXPECT_TRUE(again.LoadWarnings.empty());
            EXPECT_EQ(again.Counts().Books, 1);
        }
    }
}

TEST(SVDTest, ANameTheLoadWouldLeaveOutIsNeverSaved) {
    TempDir dir;
    const std::string file = (dir / "lib.sv2").string();
    TSVD svd;
    svd.MountPoints.push_back(std::make_unique<TMountPoint>(&svd));
    svd.MountPoints.back()->Name = "/books";
    ASSERT_TRUE(svd.SaveToFile(file));
    const std::vector<uint8_t> before = ReadBytes(file);
    TBookInfo* book = svd.MountPoints.back()->AddBook();
    book->FileName = "a.zip";
    book->Packed = true;
    book->EntryName = "../x.fb2";
    try {
        svd.SaveToFile(file);
        ADD_FAILURE() << "saved a name the load leaves out";
    } catch (const EShelvaraError& e) {
        EXPECT_NE(std::string(e.what()).find("../x.fb2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadBytes(file), before);
}

TEST(SVDTest, UnreadableFileLeavesTheCatalogueAsItWas) {
    TempDir dir;
    const std::string good = (dir / "good.sv2").string();
    TSVD svd;
    ASSERT_TRUE(svd.SaveToFile(good));
    svd.SetModified(true);
    WriteBytes(dir / "bad.sv2", Bytes("not a library at all"));
    EXPECT_EQ(LoadError(svd, (dir / "bad.sv2").string()), rsErrUnknownFormat);
    EXPECT_EQ(svd.FileName, good);
    EXPECT_TRUE(svd.IsModified());
}

TEST(SVDTest, FailedLoadTiesTheCatalogueToNoFile) {
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int error;
    };
    std::vector<uint8_t> truncated = kEmptyLibrary;
    truncated[19] = 0x04;  // the record area ends inside the series root
    truncated.resize(24);
    std::vector<uint8_t> badInt = kEmptyLibrary;
    badInt[22] = 0xF5;  // author count
    std::vector<uint8_t> hugeCount = kEmptyLibrary;
    hugeCount[25] = 0x7F;  // 127 mount points in two bytes
    const Case cases[] = {
        {"truncated", truncated, rsErrFileDamaged},
        {"bad integer", badInt, rsErrInvalidStreamFormat},
        {"count beyond the file", hugeCount, rsErrFileDamaged},
    };
    for (const auto& c : cases) {
        const std::string name = (dir / "damaged.sv2").string();
        WriteBytes(name, c.bytes);
        TSVD svd;
        svd.FileName = "elsewhere.sv2";
        EXPECT_EQ(LoadError(svd, name), c.error) << c.name;
        EXPECT_EQ(svd.FileName, "") << c.name;
        EXPECT_FALSE(svd.IsModified()) << c.name;
    }
}

// Limits the size of files this process may write, so that writing fails half-way.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int);
};

TEST(SVDTest, FailedWriteLeavesThePreviousFileAndTheModifiedFlag) {
    TempDir dir;
    const std::string name = (dir / "books.sv2").string();
    const std::vector<uint8_t> previous = Bytes("previous library");
    WriteBytes(name, previous);
    TSVD svd;
    svd.FileName = name;
    svd.SetModified(true);
    {
        FileSizeLimit limit(10);
        EXPECT_THROW(svd.SaveToFile(name), EShelvaraError);
    }
    EXPECT_EQ(ReadBytes(name), previous);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"books.sv2"});
    EXPECT_TRUE(svd.IsModified());
    EXPECT_EQ(svd.FileName, name);
}

TEST(SVDTest, SaveIntoMissingFolderFailsAndKeepsTheName) {
    TempDir dir;
    TSVD svd;
    svd.FileName = "kept.sv2";
    svd.SetModified(true);
    EXPECT_THROW(svd.SaveToFile((dir / "no/such/folder/x.sv2").string()), EShelvaraError);
    EXPECT_EQ(svd.FileName, "kept.sv2");
    EXPECT_TRUE(svd.IsModified());
}

TEST(SVDTest, SaveToStreamLeavesTheModifiedFlag) {
    TSVD svd;
    svd.SetModified(true);
    TSVDStream stream({}, false);
    ASSERT_TRUE(svd.SaveToStream(stream, true));
    EXPECT_TRUE(svd.IsModified());
    EXPECT_EQ(stream.Version, 0x0101);
}

TEST(SVDTest, ClearAndNotificationsSetModified) {
    TSVD svd;
    EXPECT_FALSE(svd.IsModified());
    svd.Clear();
    EXPECT_TRUE(svd.IsModified());
    svd.SetModified(false);
    svd.Notify(TObjectType::Book, nullptr, TBookInfo::kRemoved);
    EXPECT_TRUE(svd.IsModified());
}

TEST(SVDTest, ObserversHearOfEachLoadOnce) {
    struct Observer final : ICatalogueObserver {
        int loads = 0;
        void CatalogueChanged(TObjectType, int, const void*) override {}
        void LibraryLoaded() override { ++loads; }
    } observer;
    TSVD svd;
    svd.AddObserver(&observer);
    svd.AddObserver(&observer);
    TSVDStream written({}, false);
    ASSERT_TRUE(TSVD().SaveToStream(written, true));
    ASSERT_TRUE(svd.LoadFromStream(*TSVDStream::FromBytes(written.FileImage())));
    EXPECT_EQ(observer.loads, 1);
    svd.RemoveObserver(&observer);
    ASSERT_TRUE(svd.LoadFromStream(*TSVDStream::FromBytes(written.FileImage())));
    EXPECT_EQ(observer.loads, 1);
}

// Old integer coding of small values: one byte below 64.
void OldInt(std::vector<uint8_t>& bytes, int value) {
    bytes.push_back(static_cast<uint8_t>(value));
}

TEST(SVDTest, OldFormatLegacyGenresAndAuthors) {
    // Pool: 64 legacy genre names, then the texts of the author records.
    std::vector<std::string> texts(64);
    texts[0] = "sf_history";
    texts[5] = "my_genre";
    texts[9] = "other_genre";
    for (const char* t : {"Ivan", "", "Sidorov", "I.", "P.", "Sidorov", "Vanya", "Sidoroff", "f", "m", "l"})
        texts.push_back(t);
    std::vector<uint8_t> records;
    OldInt(records, 1);  // one author
    OldInt(records, 7);  // its index
    OldInt(records, 2);  // two spellings
    OldInt(records, 8);  // index of the first
    OldInt(records, 3);  // index of the second
    OldInt(records, 1);  // first-name synonyms
    OldInt(records, 0);  // middle-name synonyms
    OldInt(records, 1);  // last-name synonyms
    OldInt(records, 1);  // extra triples
    OldInt(records, 0);  // no mount points

    SetNowSourceForTesting([] { return EncodeDateTime({2024, 3, 1, 12, 0, 0, 0}); });
    TSVD svd;
    ASSERT_TRUE(svd.LoadFromStream(*TSVDStream::FromBytes(OldLibrary(texts, records))));
    SetNowSourceForTesting(nullptr);

    EXPECT_EQ(svd.Genres.FindByCode("sf_history")->Index, 0);
    const TBookGenre* legacy = svd.Genres.FindByCode("my_genre");
    ASSERT_NE(legacy, nullptr);
    EXPECT_EQ(legacy->Index, 5);
    EXPECT_EQ(legacy->RusName, "my_genre");
    const TBookGenre* group = legacy->Parent;
    EXPECT_EQ(group->Code, "from SVD");
    EXPECT_EQ(group->Flags, 1);
    EXPECT_EQ(group->Index, INT32_MAX);
    EXPECT_EQ(group->Count(), 2u);
    EXPECT_EQ(svd.Genres.FindByCode("other_genre")->Parent, group);
    EXPECT_EQ(svd.Counts().Genres, 128 + 3);

    ASSERT_EQ(svd.Authors.Count(), 1u);
    const TAuthorInfo* author = svd.Authors.Author(0);
    EXPECT_EQ(author->Index, 7);
    ASSERT_EQ(author->Count(), 2u);
    EXPECT_EQ(author->Name(1)->FirstName(), "I.");
    EXPECT_EQ(author->Name(1)->MiddleName(), "P.");
    EXPECT_EQ(author->Name(1)->Index, 3);
    EXPECT_EQ(author->FirstNameSynonyms(), std::vector<std::string>{"Vanya"});
    EXPECT_EQ(author->LastNameSynonyms(), std::vector<std::string>{"Sidoroff"});
    EXPECT_EQ(author->ExtraNames, (std::vector<std::string>{"f", "m", "l"}));
    EXPECT_EQ(author->Modified, EncodeDateTime({2024, 3, 1, 12, 0, 0, 0}));
    EXPECT_EQ(svd.Authors.LowestIndex, 3);
    EXPECT_EQ(svd.Authors.HighestIndex, 8);
    EXPECT_EQ(svd.Authors.FindByIndex(8), author->Name(0));
}

TEST(SVDTest, GenresAuthorsAndSeriesRoundTripByteForByte) {
    TempDir dir;
    TSVD svd;
    svd.Genres.LoadBuiltIn();
    TBookGenre* mine = TBookGenre::AddGenre(&svd.Genres, -1, "mine", true, "comment", Utf8ToAnsi("Моё"));
    TBookGenre::AddGenre(mine, -1, "sub", true)->Flags |= TBookGenre::kHidden;
    svd.Genres.Child(0)->Flags &= static_cast<uint8_t>(~TBookGenre::kHidden);

    TAuthorInfo* author = svd.Authors.NewAuthor(true);
    author->AddName(Utf8ToAnsi("Лев"), Utf8ToAnsi("Николаевич"), "", Utf8ToAnsi("Толстой"));
    // "Л. Толстой" would match the first spelling by its initial, so it is put in as it is.
    TAuthorName* initials = author->AppendName();
    initials->SetParts(Utf8ToAnsi("Л."), "", Utf8ToAnsi("Толстой"), "");
    initials->Modified = EncodeDate(2010, 1, 1);
    author->AddName("Leo", "", "", "Tolstoy");
    author->AddSynonym(TAuthorInfo::kFirst, "Lyova");
    author->AddEmail("leo@example.org");
    author->Note = "note";
    author->Modified = EncodeDateTime({2011, 2, 3, 4, 5, 6, 0});
    svd.Authors.FindOrAddByNick(Utf8ToAnsi("Бегемот"));

    TBookSequence* series = svd.FindOrAddSequence(Utf8ToAnsi("Война и мир"), true);
    series->AddName("War and Peace");
    series->AddChild(Utf8ToAnsi("Том 1"), true)->AddChild("Part", true);
    svd.FindOrAddSequence("Other", true);

    const std::string first = (dir / "first.sv2").string(), second = (dir / "second.sv2").string();
    ASSERT_TRUE(svd.SaveToFile(first));
    TSVD loaded;
    loaded.LoadFromFile(first);
    const TSVDCounts counts = loaded.Counts();
    EXPECT_EQ(counts.Genres, 130);
    EXPECT_EQ(counts.Authors, 2);
    EXPECT_EQ(counts.Spellings, 4);
    EXPECT_EQ(counts.Series, 4);
    ASSERT_TRUE(loaded.SaveToFile(second));
    EXPECT_EQ(ReadBytes(first), ReadBytes(second));
    EXPECT_EQ(loaded.FindOrAddSequence("war and peace", true)->DisplayName(), Utf8ToAnsi("Война и мир"));
    EXPECT_EQ(loaded.Authors.FindName("Lyova", "", "", Utf8ToAnsi("Толстой")), loaded.Authors.Author(0)->Name(0));
}

TEST(SVDTest, FullCatalogueRoundTripsByteForByte) {
    TempDir dir;
    TSVD svd;
    BuildFullCatalogue(svd, dir.Path().string());
    const std::string first = (dir / "first.sv2").string(), second = (dir / "second.sv2").string();
    ASSERT_TRUE(svd.SaveToFile(first));
    TSVD loaded;
    loaded.SaveHuffman = true;
    loaded.LoadFromFile(first);
    const TSVDCounts c = loaded.Counts();
    EXPECT_EQ(c.MountPoints, 2);
    EXPECT_EQ(c.Folders, 2);
    EXPECT_EQ(c.Books, 4);
    EXPECT_EQ(c.LostBooks, 1);
    EXPECT_EQ(c.Duplicates, 2);  // the pair with a packed book survives
    ASSERT_TRUE(loaded.SaveToFile(second));
    EXPECT_EQ(ReadBytes(first), ReadBytes(second));

    const TBookInfo* packed = loaded.MountPoints[0]->Folder(0)->Book(0);
    EXPECT_TRUE(packed->Packed);
    EXPECT_EQ(packed->EntryName, "inner/book.fb2");
    EXPECT_EQ(loaded.Duplicates[1].Book1, packed);
    EXPECT_EQ(packed->TitleInfo->Cover, TinyBitmap());
    EXPECT_EQ(packed->Rating(), 7750);
    EXPECT_EQ(packed->DocumentInfo->Date, EncodeDate(2005, 6, 7));
    EXPECT_EQ(packed->PublishInfo->CustomInfo, (std::vector<std::string>{"custom one", "custom two"}));
    EXPECT_EQ(packed->ByteCounts['a'], 102);
    EXPECT_TRUE(loaded.MountPoints[0]->Folder(0)->Folder(0)->IsReadOnly());
    EXPECT_EQ(loaded.LostBooks[0]->LostDate, EncodeDate(2008, 1, 1));
    EXPECT_EQ(loaded.LostBooks[0]->TitleInfo->Authors[0]->Links.Count(), 4u);  // three books and the lost one
}

// A loaded library keeps its books' texts in one block read straight from the file; copies
// own their bytes and outlive the catalogue, and a file cut anywhere fails cleanly.
TEST(SVDTest, LoadedTextsStayInTheCatalogueAndCutFilesFail) {
    TempDir dir;
    TSVD svd;
    BuildFullCatalogue(svd, dir.Path().string());
    const std::string name = (dir / "books.sv2").string();
    ASSERT_TRUE(svd.SaveToFile(name));
    TSVD loaded;
    loaded.LoadFromFile(name);
    const TBookInfo* packed = loaded.MountPoints[0]->Folder(0)->Book(0);
    ASSERT_TRUE(packed->EntryName.IsPooled());
    const std::vector<TText> copies = {packed->EntryName, packed->PublishInfo->CustomInfo[1]};
    loaded.Clear();  // frees the block
    EXPECT_EQ(copies, (std::vector<TText>{"inner/book.fb2", "custom two"}));

    const std::vector<uint8_t> good = ReadBytes(name);
    const std::string cut = (dir / "cut.sv2").string();
    // Every cut in the header and the last texts, and a sample between.
    for (size_t size = 0; size < good.size(); size += size < 64 || size + 32 > good.size() ? 1 : 7) {
        WriteBytes(cut, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
        TSVD damaged;
        EXPECT_NE(LoadError(damaged, cut), -1) << size;
    }
}

// The books of a large library are written on every core, in runs: a big folder's books, and
// neighbouring folders with all below them. Whatever the threads, the bytes are the same, and
// they load back into the same books in the same places.
TEST(SVDTest, BooksWrittenOnEveryCoreKeepTheirOrder) {
    TSVD svd;
    svd.Genres.LoadBuiltIn();
    TMountPoint* mount = svd.AddMountPoint("/library");
    int serial = 0;
    auto addBooks = [&](TBookFolder* folder, int count) {
        for (int i = 0; i < count; ++i) {
            TBookInfo* book = folder->AddBook();
            book->FileName = "b" + std::to_string(serial++) + ".fb2";
            TTitleInfo& title = book->EnsureTitleInfo();
            title.Titles.push_back("title " + std::to_string(serial));
            title.AddAuthor(svd.Authors.FindOrAddName("A", "", "", "Author" + std::to_string(serial % 50)));
            if (serial % 3 == 0) book->EnsurePublishInfo().Publisher = "publisher";
        }
    };
    addBooks(mount, 2500);                       // cut into runs of its own
    TBookFolder* big = mount->AddFolder("big");  // more than a run below: cut further down
    addBooks(big->AddFolder("inner"), 1200);
    addBooks(big->AddFolder("few"), 3);
    for (int i = 0; i < 400; ++i)  // neighbours grouped into runs
        addBooks(mount->AddFolder("small" + std::to_string(i)), 1 + i % 7);
    addBooks(mount->AddFolder("last"), 10);

    std::vector<uint8_t> images[3];
    for (unsigned threads : {1u, 2u, 3u}) {
        svd.SaveThreads = threads;
        TSVDStream stream({}, false);
        ASSERT_TRUE(svd.SaveToStream(stream, true));
        images[threads - 1] = stream.FileImage();
    }
    EXPECT_EQ(images[0], images[1]);
    EXPECT_EQ(images[0], images[2]);

    TSVD loaded;
    loaded.LoadFromStream(*TSVDStream::FromBytes(images[2]));
    std::vector<std::string> before, after;
    for (const TSVD* catalogue : {&svd, &loaded}) {
        std::vector<std::string>& names = catalogue == &svd ? before : after;
        std::vector<const TBookFolder*> pending{catalogue->MountPoints[0].get()};
        while (!pending.empty()) {
            const TBookFolder* folder = pending.back();
            pending.pop_back();
            for (size_t b = 0; b < folder->BookCount(); ++b)
                names.push_back(folder->FullPath() + "/" + folder->Book(b)->FileName +
                                folder->Book(b)->TitleInfo->Titles.front());
            for (size_t f = folder->FolderCount(); f-- > 0;)
                pending.push_back(folder->Folder(f));
        }
    }
    EXPECT_EQ(before.size(), 2500u + 1200 + 3 + 1597 + 10);
    EXPECT_EQ(after, before);
}

TEST(SVDTest, WithoutHuffmanTheByteCountsAreLeftOut) {
    TempDir dir;
    TSVD svd;
    BuildFullCatalogue(svd, dir.Path().string());
    svd.SaveHuffman = false;
    ASSERT_TRUE(svd.SaveToFile((dir / "x.sv2").string()));
    TSVD loaded;
    loaded.LoadFromFile((dir / "x.sv2").string());
    EXPECT_EQ(loaded.MountPoints[0]->Book(0)->ByteCounts['a'], 0);
    EXPECT_EQ(loaded.MountPoints[0]->Book(0)->Flags & TBookInfo::kHasByteCounts, 0);
}

TEST(SVDTest, FreeingABookDropsItsStoredPairs) {
    TempDir dir;
    TSVD svd;
    BuildFullCatalogue(svd, dir.Path().string());
    TBookFolder* nested = svd.MountPoints[0]->Folder(0);
    nested->DeleteBook(nested->Book(0));
    ASSERT_EQ(svd.Duplicates.size(), 1u);
    EXPECT_EQ(svd.Duplicates[0].Similarity, 87'500);
}

TEST(SVDTest, OldFormatBooksConvertToTheCurrentFormat) {
    std::vector<std::string> texts(64);
    texts[2] = "sf_history";
    for (const char* t : {"Ivan", "", "Petrov",                     // the author's spelling
                          "Caption", "/books", "description",       // mount point, its folder
                          "book.fb2", "Title", "Saga", "comment"})  // the book
        texts.push_back(t);
    std::vector<uint8_t> bytes;
    bytes.insert(bytes.end(), {1, 1, 1, 5, 0, 0, 0, 0});  // an author (1) with one spelling (5)
    bytes.insert(bytes.end(), {1, 0});                    // one mount point, not read-only
    bytes.push_back(1);                                   // one book in its folder
    bytes.insert(bytes.end(), {1, 1, 5});                 // one author (spelling 5), one title
    bytes.insert(bytes.end(), {0x39, 0x30, 0, 0});        // size 12345
    bytes.insert(bytes.end(), {0x64, 0x00});              // file date: day 100 after 2003-01-01
    bytes.insert(bytes.end(), {0xDC, 0x05});              // rating 1500
    bytes.push_back(2);                                   // genre slot 2
    bytes.insert(bytes.end(), {0x78, 0x56, 0x34, 0x12});  // CRC
    bytes.push_back(0x03);                                // shown, read
    bytes.push_back(7);                                   // version
    bytes.insert(bytes.end(), {0xC8, 0x00});              // added: day 200
    bytes.push_back(4);                                   // colour
    bytes.insert(bytes.end(), {0, 0});                    // no sub-folders, not missing

    TempDir dir;
    WriteBytes(dir / "old.svd", OldLibrary(texts, bytes));
    TSVD old;
    old.LoadFromFile((dir / "old.svd").string());
    ASSERT_TRUE(old.SaveToFile((dir / "new.sv2").string()));
    TSVD svd;
    svd.LoadFromFile((dir / "new.sv2").string());
    ASSERT_EQ(svd.MountPoints.size(), 1u);
    const TMountPoint* mp = svd.MountPoints[0].get();
    EXPECT_EQ(mp->Caption, "Caption");
    EXPECT_EQ(mp->Name, "/books");
    EXPECT_EQ(mp->Description, "description");
    ASSERT_EQ(mp->BookCount(), 1u);
    const TBookInfo* book = mp->Book(0);
    EXPECT_EQ(book->FileName, "book.fb2");
    EXPECT_EQ(book->AuthorsText(), "Ivan Petrov");
    EXPECT_EQ(book->TitleText(), "Title");
    EXPECT_EQ(book->SeriesText(), "Saga");
    EXPECT_EQ(book->SeriesNumber(), 1);
    EXPECT_EQ(book->GenresText(), "sf_history");
    EXPECT_EQ(book->Comment, "comment");
    EXPECT_EQ(book->Size, 12345);
    EXPECT_EQ(book->FileDate, EncodeDate(2003, 1, 1) + 100);
    EXPECT_EQ(book->ReadDate, book->FileDate);
    EXPECT_EQ(book->AddedDate, EncodeDate(2003, 1, 1) + 200);
    EXPECT_EQ(book->Votes[10], 1);
    EXPECT_EQ(book->Rating(), 10000);
    EXPECT_EQ(book->Crc, 0x12345678u);
    EXPECT_EQ(book->Flags & TBookInfo::kShown, TBookInfo::kShown);
    EXPECT_EQ(book->Version, 7);
    EXPECT_EQ(book->Color, 4);
}

// Damaged copies of a rich library file: every load either succeeds or reports an error,
// and never reads outside the file (the sanitizers watch that).
TEST(SVDTest, DamagedFullCatalogueNeverCrashes) {
    TempDir dir;
    TSVD svd;
    BuildFullCatalogue(svd, dir.Path().string());
    TSVDStream written({}, false);
    ASSERT_TRUE(svd.SaveToStream(written, true));
    const std::vector<uint8_t> good = written.FileImage();
    std::mt19937 random(1251);
    int failures = 0;
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> bytes = good;
        const int mode = i % 3;
        if (mode == 0) {
            bytes.resize(20 + random() % (bytes.size() - 20));
        } else {
            for (int k = 0; k < 1 + i % 4; ++k)
                bytes[20 + random() % (bytes.size() - 20)] = static_cast<uint8_t>(random());
        }
        TSVD loaded;
        try {
            if (!loaded.LoadFromStream(*TSVDStream::FromBytes(bytes))) ++failures;
        } catch (const EShelvaraError&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);
}

// Inputs the fuzzer once crashed the reader with; each must now load or fail cleanly.
TEST(SVDTest, FuzzFindingsLoadOrFailCleanly) {
    const std::filesystem::path dir = std::filesystem::path(SHELVARA_TEST_DATA) / "fuzz" / "library";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++files;
        TSVD svd;
        try {
            svd.LoadFromStream(*TSVDStream::FromBytes(ReadBytes(entry.path())));
        } catch (const EShelvaraError&) {
        }
    }
    EXPECT_GT(files, 0);
}

TEST(SVDTest, NotifyParamPacksKindAndType) {
    EXPECT_EQ(NotifyParam(TObjectType::Genre, 3), 0x03000E13u);
    EXPECT_EQ(NotifyParam(TObjectType::Book, 0), 0x00000E10u);
}

}  // namespace
