#include "scan/FolderSync.h"

#include <sys/stat.h>
#include <unistd.h>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>
#include <zip.h>

#include "TestUtils.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "scan/BookSearch.h"
#include "scan/Packer.h"
#include "scan/PackerArchiveAccess.h"

namespace {

namespace fs = std::filesystem;

std::string Fb2(const std::string& title, const std::string& author) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><genre>sf</genre>"
           "<author><last-name>" +
           author + "</last-name></author><book-title>" + title + "</book-title></title-info></description><body><p>" +
           title + " text</p></body></FictionBook>";
}

void WriteText(const fs::path& path, const std::string& text) {
    WriteBytes(path, Bytes(text));
}

std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& members) {
    TempDir dir;
    int error = 0;
    zip_t* z = zip_open((dir / "z.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& [name, content] : members) {
        zip_source_t* s = zip_source_buffer(z, content.data(), content.size(), 0);
        zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8);
    }
    zip_close(z);
    const std::vector<uint8_t> bytes = ReadBytes(dir / "z.zip");
    return std::string(bytes.begin(), bytes.end());
}

TEST(FolderSyncTest, ListFolderLooksIntoArchives) {
    TempDir dir;
    WriteText(dir / "a.fb2", "a");
    WriteText(dir / "b.zip", ZipBytes({{"x.fb2", "x"}, {"sub/y.txt", "y"}}));
    fs::create_directory(dir / "c");
    WriteText(dir / "d.zip", ZipBytes({{"inner.zip", ZipBytes({{"z.fb2", "z"}})}}));
    WriteText(dir / "e.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));  // an archive without members
    WriteText(dir / "f.zip", "not an archive");
    ASSERT_EQ(::mkfifo((dir / "g.fifo").c_str(), 0600), 0);  // never opened, so never blocks
    // Archives being written into place, by a live writer (init never ends) and a killed one.
    const std::string stale = "b.zip.tmp" + std::to_string(DeadPid()) + ".3";
    WriteText(dir / "a.fb2.tmp1.2", "in flight");
    WriteText(dir / stale, "left by a killed pack");
    const std::string notOurs = "notes.txt.tmp" + std::to_string(DeadPid()) + ".1";  // perhaps the user's
    WriteText(dir / notOurs, "kept");
    std::vector<std::string> warnings;
    std::vector<std::string> seen;
    for (const TFRec& r : ListFolder(dir.Path().string(), &warnings))
        seen.push_back(r.Name + (r.InArchive ? "|" + r.Member.Path : "") + (r.IsDirectory ? "/" : "") +
                       (r.Unreadable ? "!" : ""));
    EXPECT_EQ(seen, (std::vector<std::string>{"a.fb2", "b.zip|x.fb2", "b.zip|sub/y.txt", "c/", "d.zip|inner.zip/z.fb2",
                                              "f.zip!"}));
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(fs::exists(dir / "a.fb2.tmp1.2"));
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_TRUE(fs::exists(dir / notOurs));
}

TEST(FolderSyncTest, SearchClassesReportEntriesAndMembers) {
    TempDir dir;
    WriteText(dir / "a.fb2", "a");
    WriteText(dir / "noext", "n");
    WriteText(dir / "b.zip", ZipBytes({{"x.fb2", "x"}, {"inner.zip", ZipBytes({{"z.fb2", "z"}})}}));
    std::vector<std::string> all;
    TFileSearchClass search(dir.Path().string() + "/*.*");
    TFRec rec;
    for (bool found = search.FindFirst(rec); found; found = search.FindNext(rec))
        all.push_back(rec.Name + (rec.InArchive ? "|" + rec.Member.Path : ""));
    EXPECT_EQ(all, (std::vector<std::string>{".", "..", "a.fb2", "b.zip|x.fb2", "b.zip|inner.zip/z.fb2", "noext"}));
    TFileSearchClass fb2Only(dir.Path().string() + "/*.fb2");
    ASSERT_TRUE(fb2Only.FindFirst(rec));
    EXPECT_EQ(rec.Name, "a.fb2");
    EXPECT_FALSE(fb2Only.FindNext(rec));

    TArcSearchClass archive("b.zip");
    const std::vector<uint8_t> bytes = ReadBytes(dir / "b.zip");
    ASSERT_TRUE(archive.Open(bytes));
    TArcFileInfoRec member;
    std::vector<std::string> members;
    for (bool found = archive.FindFirst(member); found; found = archive.FindNext(member))
        members.push_back(member.Path);
    EXPECT_EQ(members, (std::vector<std::string>{"x.fb2", "inner.zip/z.fb2"}));
    EXPECT_FALSE(TArcSearchClass("bad.zip").Open(Bytes("not a zip")));
}

struct Library {
    TempDir dir;
    TSVD svd;
    TMountPoint* mount;
    TSyncStats stats;

    Library() {
        svd.Packer = std::make_unique<TPackerArchiveAccess>();
        WriteText(dir / "one.fb2", Fb2("One", "Alpha"));
        fs::create_directory(dir / "sub");
        WriteText(dir / "sub" / "two.fb2", Fb2("Two", "Beta"));
        WriteText(dir / "sub" / "pack.zip", ZipBytes({{"three.fb2", Fb2("Three", "Gamma")},
                                                      {"inner.zip", ZipBytes({{"four.fb2", Fb2("Four", "Delta")}})}}));
        mount = svd.AddMountPoint(dir.Path().string());
    }
    void Sync(bool scan = true) {
        stats = {};
        Resync(*mount, scan, true, stats);
    }
    std::vector<std::string> Titles() {
        TBookCollection books;
        mount->CollectBooks(books, true);
        std::vector<std::string> titles;
        for (TBookInfo* b : books.Books())
            titles.push_back(b->TitleText());
        std::sort(titles.begin(), titles.end());
        return titles;
    }
};

TEST(FolderSyncTest, ScanFindsEveryBookAndAgainChangesNothing) {
    Library lib;
    lib.Sync();
    EXPECT_EQ(lib.stats.Added, 4);
    EXPECT_EQ(lib.Titles(), (std::vector<std::string>{"Four", "One", "Three", "Two"}));
    EXPECT_EQ(lib.svd.Counts().Authors, 4);
    lib.Sync();
    EXPECT_EQ(lib.stats.Added, 0);
    EXPECT_EQ(lib.stats.Lost, 0);
    EXPECT_EQ(lib.stats.Refreshed, 4);
    EXPECT_EQ(lib.svd.Counts().Books, 4);
    EXPECT_EQ(lib.svd.Counts().Authors, 4);
}

TEST(FolderSyncTest, MembersNamedOutsideTheirArchiveAreLeftOutAndTheLibraryStillLoads) {
    Library lib;
    const char* bad[] = {"./c.fb2", "a//d.fb2", "../x.fb2", "/abs.fb2", "a/.."};
    std::vector<std::pair<std::string, std::string>> members{{"ok.fb2", Fb2("Ok", "Good")}};
    for (const char* name : bad)
        members.emplace_back(name, Fb2(name, "Evil"));
    // Once at the top (read from the directory alone), once in an archive inside an archive.
    WriteText(lib.dir / "evil.zip", ZipBytes(members));
    WriteText(lib.dir / "nest.zip", ZipBytes({{"in.zip", ZipBytes(members)}}));
    lib.Sync();
    EXPECT_EQ(lib.Titles(), (std::vector<std::string>{"Four", "Ok", "Ok", "One", "Three", "Two"}));
    EXPECT_EQ(lib.stats.Warnings.size(), 2 * std::size(bad));
    for (const std::string& w : lib.stats.Warnings)
        EXPECT_NE(w.find("not a plain path"), std::string::npos) << w;
    lib.Sync(false);  // a resync finds nothing new in them either
    EXPECT_EQ(lib.svd.Counts().Books, 6);
    const std::string file = (lib.dir / "lib.sv2").string();
    ASSERT_TRUE(lib.svd.SaveToFile(file));
    TSVD loaded;
    loaded.LoadFromFile(file);
    EXPECT_EQ(loaded.Counts().Books, 6);
    EXPECT_TRUE(loaded.LoadWarnings.empty());
}

TEST(FolderSyncTest, LostBooksAreFoundAgainByContent) {
    Library lib;
    lib.Sync();
    TBookInfo* two = lib.svd.FindBook((lib.dir / "sub" / "two.fb2").string());
    ASSERT_NE(two, nullptr);
    two->Comment = "keep me";
    two->ReadDate = EncodeDate(2020, 1, 1);
    fs::rename(lib.dir / "sub" / "two.fb2", lib.dir / "moved-away.tmp");
    lib.Sync(false);
    EXPECT_EQ(lib.stats.Lost, 1);
    ASSERT_EQ(lib.svd.LostBooks.size(), 1u);
    EXPECT_EQ(lib.svd.LostBooks[0]->OldPath, (lib.dir / "sub" / "two.fb2").string());
    fs::rename(lib.dir / "moved-away.tmp", lib.dir / "sub" / "renamed.fb2");
    lib.Sync();
    EXPECT_EQ(lib.stats.Recovered, 1);
    EXPECT_TRUE(lib.svd.LostBooks.empty());
    TBookInfo* found = lib.svd.FindBook((lib.dir / "sub" / "renamed.fb2").string());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Comment, "keep me");
    EXPECT_EQ(found->ReadDate, EncodeDate(2020, 1, 1));
    EXPECT_EQ(found->TitleText(), "Two");
}

TEST(FolderSyncTest, VanishedFoldersAndUnreadableArchives) {
    Library lib;
    lib.Sync();
    // An archive that is there but cannot be read keeps its books.
    const std::vector<uint8_t> archive = ReadBytes(lib.dir / "sub" / "pack.zip");
    WriteText(lib.dir / "sub" / "pack.zip", "damaged now");
    lib.Sync(false);
    EXPECT_EQ(lib.stats.Lost, 0);
    EXPECT_EQ(lib.svd.Counts().Books, 4);
    WriteBytes(lib.dir / "sub" / "pack.zip", archive);
    // A vanished folder: its books become lost books and the folder goes.
    fs::remove_all(lib.dir / "sub");
    lib.Sync(false);
    EXPECT_EQ(lib.stats.Lost, 3);
    EXPECT_EQ(lib.svd.Counts().Folders, 0);
    EXPECT_EQ(lib.svd.Counts().LostBooks, 3);
    // The mount point's own directory gone (an unplugged disk): offline, its books kept.
    const std::string saved = lib.dir.Path().string() + ".saved";
    fs::rename(lib.dir.Path(), saved);
    for (bool scan : {false, true}) {
        lib.Sync(scan);
        EXPECT_EQ(lib.svd.MountPoints.size(), 1u);
        EXPECT_TRUE(lib.mount->Flags & TBookFolder::kMissing);
        EXPECT_EQ(lib.svd.Counts().Books, 1);
        EXPECT_EQ(lib.stats.Lost, 0);
        EXPECT_EQ(lib.stats.Offline.size(), 1u);
    }
    // Its directory there but empty (the folder an unmounted share leaves): offline too.
    fs::create_directory(lib.dir.Path());
    for (bool scan : {false, true}) {
        lib.Sync(scan);
        EXPECT_TRUE(lib.mount->Flags & TBookFolder::kMissing);
        EXPECT_EQ(lib.svd.Counts().Books, 1);
        EXPECT_EQ(lib.stats.Lost, 0);
        EXPECT_EQ(lib.stats.Offline.size(), 1u);
    }
    fs::remove(lib.dir.Path());
    fs::rename(saved, lib.dir.Path());
    lib.Sync(false);
    EXPECT_FALSE(lib.mount->Flags & TBookFolder::kMissing);
    EXPECT_TRUE(lib.stats.Offline.empty());
    EXPECT_EQ(lib.svd.Counts().Books, 1);
    // Anything else left in the folder shows it is mounted: the missing book is lost.
    fs::remove(lib.dir / "one.fb2");
    WriteText(lib.dir / "notes.txt", "not a book");
    lib.Sync(false);
    EXPECT_TRUE(lib.stats.Offline.empty());
    EXPECT_EQ(lib.stats.Lost, 1);
}

TEST(FolderSyncTest, ReadOnlyFoldersAndLinkLoops) {
    Library lib;
    ASSERT_EQ(::symlink("..", (lib.dir / "sub" / "loop").c_str()), 0);
    lib.Sync();
    EXPECT_EQ(lib.svd.Counts().Books, 4);
    lib.mount->SetReadOnly(true);
    fs::remove(lib.dir / "one.fb2");
    lib.Sync();
    EXPECT_EQ(lib.svd.Counts().Books, 4);  // a read-only folder is left alone
}

TEST(FolderSyncTest, UnchangedFilesStayUnchangedAfterReloading) {
    Library lib;
    lib.Sync();
    TBookInfo* one = lib.svd.FindBook((lib.dir / "one.fb2").string());
    ASSERT_NE(one, nullptr);
    one->FileDate = DosToDateTime(DateTimeToDos(one->FileDate));  // as a save and load leave it
    EXPECT_FALSE(one->UpdateFileInfo(1));
}

TEST(FolderSyncTest, FbzFilesAreArchivesLikeZip) {
    for (const char* name : {"a.zip", "b.ZIP", "c.fbz", " d.FBZ "})
        EXPECT_EQ(TPacker::ArchiveKind(name), 1) << name;
    for (const char* name : {"e.fb2", "fbz", "zip.fb2", "dir.fbz/f.fb2"})
        EXPECT_EQ(TPacker::ArchiveKind(name), 0) << name;
    TempDir dir;
    WriteText(dir / "book.fbz", ZipBytes({{"book.fb2", Fb2("Zipped", "Z")}}));
    TSVD svd;
    svd.Packer = std::make_unique<TPackerArchiveAccess>();
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    TSyncStats stats;
    Resync(*mount, true, true, stats);
    ASSERT_EQ(mount->BookCount(), 1u);
    EXPECT_TRUE(mount->Book(0)->Packed);
    EXPECT_EQ(mount->Book(0)->EntryName, "book.fb2");
    EXPECT_EQ(mount->Book(0)->TitleText(), "Zipped");
}

TEST(FolderSyncTest, NamesDifferingOnlyInCaseAreSeparateEntries) {
    TempDir dir;
    fs::create_directory(dir / "Sub");
    fs::create_directory(dir / "sub");
    WriteText(dir / "Sub" / "x.fb2", Fb2("Upper folder", "A"));
    WriteText(dir / "sub" / "x.fb2", Fb2("Lower folder", "B"));
    WriteText(dir / "Book.fb2", Fb2("Upper file", "C"));
    WriteText(dir / "book.fb2", Fb2("Lower file, longer", "D"));
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    for (int pass = 0; pass < 2; ++pass) {
        TSyncStats stats;
        Resync(*mount, true, true, stats);
        EXPECT_EQ(stats.Added, pass == 0 ? 4 : 0);
        EXPECT_EQ(svd.Counts().Books, 4);
        EXPECT_EQ(svd.Counts().Folders, 2);
        // Each record describes its own file.
        for (const char* name : {"Book.fb2", "book.fb2", "Sub/x.fb2", "sub/x.fb2"}) {
            TBookInfo* book = svd.FindBook((dir / name).string());
            ASSERT_NE(book, nullptr) << name;
            EXPECT_EQ(book->FullPath(), (dir / name).string());
            EXPECT_EQ(book->Size, static_cast<int32_t>(fs::file_size(dir / name))) << name;
        }
    }
}

// Runs a callback at a chosen progress report, and can ask the run to stop there.
struct Trigger final : IProgressSink {
    int at = 1;
    bool cancel = false;
    std::function<void()> action;
    int seen = 0;
    void Progress(int64_t, int64_t, const std::string&) override {
        if (++seen == at && action) action();
    }
    bool Cancelled() const override { return cancel && seen >= at; }
};

TEST(FolderSyncTest, FolderRemovedDuringTheRunTurnsIntoLostBooks) {
    Library lib;
    fs::create_directory(lib.dir / "aaa");
    WriteText(lib.dir / "aaa" / "five.fb2", Fb2("Five", "Eps"));
    lib.Sync();
    ASSERT_EQ(lib.svd.Counts().Books, 5);
    // Known folders are walked from the last: "sub" reports first, then "aaa" has gone.
    Trigger trigger;
    trigger.action = [&] { fs::remove_all(lib.dir / "aaa"); };
    TSyncStats stats;
    EXPECT_NO_THROW(Resync(*lib.mount, true, true, stats, &trigger));
    EXPECT_TRUE(stats.Fatal.empty());
    EXPECT_EQ(stats.Lost, 1);
    EXPECT_EQ(lib.svd.Counts().Folders, 1);
    EXPECT_EQ(lib.svd.Counts().LostBooks, 1);
    EXPECT_EQ(lib.Titles(), (std::vector<std::string>{"Four", "One", "Three", "Two"}));
}

TEST(FolderSyncTest, CancelStopsAtTheNextFileAndKeepsTheCatalogueConsistent) {
    Library lib;
    Trigger trigger;
    trigger.cancel = true;
    TSyncStats stats;
    Resync(*lib.mount, true, true, stats, &trigger);
    EXPECT_TRUE(stats.Cancelled);
    EXPECT_LT(stats.Added, 4);
    EXPECT_GE(stats.Added, 1);
    TBookCollection books;
    lib.mount->CollectBooks(books, true);
    for (TBookInfo* book : books.Books())
        EXPECT_FALSE(book->IsLost()) << book->FullPath();
    // The next run picks up the rest.
    lib.Sync();
    EXPECT_EQ(lib.svd.Counts().Books, 4);
}

TEST(FolderSyncTest, ScanStopsAtTheDeepestLevelALibraryHolds) {
    TempDir dir;
    fs::path path = dir.Path();
    for (int level = 0; level < kMaxFolderDepth + 3; ++level)
        path /= "d";
    fs::create_directories(path);
    WriteText(path / "deep.fb2", Fb2("Deep", "Z"));
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    TSyncStats stats;
    Resync(*mount, true, true, stats);
    EXPECT_EQ(svd.Counts().Folders, kMaxFolderDepth);
    ASSERT_EQ(stats.Warnings.size(), 1u);
    EXPECT_NE(stats.Warnings[0].find("deeper than a library can hold"), std::string::npos);
    // What was scanned saves and loads again.
    const std::string file = (dir / "lib.sv2").string();
    svd.SaveToFile(file);
    TSVD again;
    again.LoadFromFile(file);
    EXPECT_EQ(again.Counts().Folders, kMaxFolderDepth);
}

}  // namespace
