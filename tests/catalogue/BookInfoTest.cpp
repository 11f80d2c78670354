#include "catalogue/BookInfo.h"

#include <sys/stat.h>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "TestUtils.h"
#include "catalogue/LostBookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Crc32.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"

namespace {

std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

TEST(BookInfoTest, RatingIsTheMeanMarkTimesThousand) {
    TBookInfo book(nullptr);
    EXPECT_EQ(book.Rating(), 0);
    book.Votes[7] = 3;
    book.Votes[10] = 1;
    EXPECT_EQ(book.Rating(), 7750);
    TBookInfo zeros(nullptr);
    zeros.Votes[0] = 5;  // only votes for mark 0
    EXPECT_EQ(zeros.Rating(), 0);
}

TEST(BookInfoTest, FileTypesByExtension) {
    const std::pair<const char*, int> cases[] = {
        {"book.FB2", 3}, {"book.fb", 3},   {"book.tar", 14}, {"a.TXT", 1},      {"page.shtml", 2}, {"x.jpeg", 7},
        {"x.prc", 10},   {"arch.zip", 11}, {"noext", 14},    {"dir.fb2/x", 14}, {"a.rar", 13},
    };
    for (const auto& [name, type] : cases)
        EXPECT_EQ(FileTypeOfName(name), type) << name;
    TBookInfo packed(nullptr);
    packed.FileName = "archive.zip";
    packed.EntryName = "book.fb2";
    packed.Packed = true;
    EXPECT_EQ(packed.GetFileType(), 3);
    EXPECT_EQ(packed.FileNameInFolder(), "archive.zip/book.fb2");
    packed.FileType = 9;
    EXPECT_EQ(packed.GetFileType(), 9);
}

TEST(BookInfoTest, TextAccessors) {
    TSVD svd;
    TBookInfo book(&svd);
    EXPECT_EQ(book.TitleText(), "");
    EXPECT_EQ(book.SeriesNumber(), -1);
    TTitleInfo& title = book.EnsureTitleInfo();
    title.Titles = {" Main ", " Second", "Third "};
    title.AddAuthor(svd.Authors.FindOrAddName("Ivan", "", "", "Petrov"));
    title.AddAuthor(svd.Authors.FindOrAddByNick("Cat"));
    TBookSequence* blank = svd.Sequences.AddChild("  ", true);
    title.AddSequence(blank, 9, true);
    title.AddSequence(svd.FindOrAddSequence("Series", true), 4, true);
    title.AddGenre(TBookGenre::AddGenre(&svd.Genres, -1, "sf", true), true);
    title.AddGenre(TBookGenre::AddGenre(&svd.Genres, -1, "", true, "no code"), true);
    title.AddGenre(TBookGenre::AddGenre(&svd.Genres, -1, "prose", true), true);
    EXPECT_EQ(book.TitleText(), "Main (=Second, =Third)");
    EXPECT_EQ(book.AuthorsText(), "Ivan Petrov, Cat");
    EXPECT_EQ(book.SeriesText(), "Series");
    EXPECT_EQ(book.SeriesNumber(), 4);
    EXPECT_EQ(book.GenresText(), "sf, prose");
}

TEST(BookInfoTest, AddTitleDropsTheProvisionalFileName) {
    TBookInfo book(nullptr);
    book.FileName = "file.fb2";
    TTitleInfo& title = book.EnsureTitleInfo();
    title.AddTitle("file.fb2");
    title.AddTitle("");
    title.AddTitle("Real Title");
    title.AddTitle("REAL TITLE");
    EXPECT_EQ(title.Titles, std::vector<std::string>{"Real Title"});
}

TEST(BookInfoTest, FlagsFollowTheDataWhenWritten) {
    TSVD svd;
    TBookInfo book(&svd);
    book.EnsureTitleInfo().Titles = {"   "};  // a title of blanks is no data
    book.ByteCounts[32] = 5;
    book.Flags = TBookInfo::kHasByteCounts | 0x0002;
    svd.SaveHuffman = false;
    TSVDStream w({}, false);
    book.SaveToStream(w, true);
    EXPECT_EQ(book.Flags, 0x0002);

    svd.SaveHuffman = true;
    book.Comment = " x ";
    book.Version = 1;
    book.Color = 2;
    book.ReadDate = 40000;
    book.Votes[3] = 1;
    TSVDStream w2({}, false);
    book.SaveToStream(w2, true);
    EXPECT_EQ(book.Flags, 0x0002 | TBookInfo::kHasByteCounts | TBookInfo::kHasComment | TBookInfo::kHasVersion |
                              TBookInfo::kHasColor | TBookInfo::kHasReadDate | TBookInfo::kHasVotes);
}

TEST(BookInfoTest, RepeatedSeriesAndGenresAreReadOnce) {
    TSVD svd;
    TBookSequence* series = svd.FindOrAddSequence("S", true);
    TBookGenre* genre = TBookGenre::AddGenre(&svd.Genres, -1, "g", true);
    TBookInfo book(&svd);
    TTitleInfo& title = book.EnsureTitleInfo();
    title.AddSequence(series, 1, true);
    title.AddSequence(series, 2, true);
    title.AddGenre(genre, true);
    title.AddGenre(genre, true);
    title.Genres.push_back(genre);  // as a merge can leave it
    int32_t counter = 0;
    svd.Genres.Number(counter);
    counter = 0;
    svd.Sequences.Number(counter);
    TSVDStream w({}, false);
    book.SaveToStream(w, true);

    TSVDStream w0({}, false);
    svd.SaveToStream(w0, true);
    TSVD loaded;
    ASSERT_TRUE(loaded.LoadFromStream(*TSVDStream::FromBytes(w0.FileImage())));
    TBookInfo copy(&loaded);
    copy.LoadFromStream(*TSVDStream::FromBytes(w.FileImage()));
    ASSERT_TRUE(copy.TitleInfo);
    EXPECT_EQ(copy.TitleInfo->Sequences.size(), 1u);
    EXPECT_EQ(copy.TitleInfo->Sequences[0].Number, 1);
    EXPECT_EQ(copy.TitleInfo->Genres.size(), 1u);
    EXPECT_EQ(copy.TitleInfo->Genres[0]->Links.Count(), 1u);
}

TEST(BookInfoTest, UnknownGenreNumberFailsTheRecord) {
    TSVD svd;
    TBookGenre* genre = TBookGenre::AddGenre(&svd.Genres, 5, "g", true);
    TBookInfo book(&svd);
    book.EnsureTitleInfo().AddGenre(genre, true);
    TSVDStream w({}, false);
    book.SaveToStream(w, true);
    TSVD empty;
    TBookInfo copy(&empty);
    try {
        copy.LoadFromStream(*TSVDStream::FromBytes(w.FileImage()));
        FAIL();
    } catch (const EShelvaraError& e) {
        EXPECT_EQ(e.MessageId(), 10001);
    }
}

TEST(BookInfoTest, AssignCopiesEverythingAndLinksTheCopy) {
    TempDir dir;
    TSVD svd;
    BuildFullCatalogue(svd, dir.Path().string());
    TBookInfo* source = svd.MountPoints[0]->Book(0);
    TLostBookInfo lost(&svd);
    lost.Assign(*source);
    EXPECT_EQ(lost.OldPath, source->FullPath());
    EXPECT_EQ(lost.FullPath(), source->FullPath());
    EXPECT_EQ(lost.ReadDate, source->ReadDate);
    EXPECT_EQ(lost.Comment, source->Comment);
    EXPECT_EQ(lost.Votes, source->Votes);
    EXPECT_EQ(lost.TitleInfo->Titles, source->TitleInfo->Titles);
    TAuthorName* author = source->TitleInfo->Authors[0];
    EXPECT_TRUE(author->Links.Contains(&lost, kRoleTitle));
    EXPECT_EQ(source->TitleInfo->Genres[0]->Links.Count(), 5u);  // four books and the copy
    EXPECT_TRUE(lost.DeleteFile());
}

TEST(BookInfoTest, RenameOnDisk) {
    TempDir dir;
    TSVD svd;
    TMountPoint* mp = svd.AddMountPoint(dir.Path().string());
    TBookInfo* book = mp->AddBook();
    book->FileName = "Old.fb2";
    std::ofstream(dir / "Old.fb2") << "x";
    book->Rename(" Old.fb2 ");  // the same name: nothing happens
    EXPECT_EQ(book->FileName, "Old.fb2");
    book->Rename("old.FB2");  // another letter case is another name
    EXPECT_EQ(book->FileName, "old.FB2");
    EXPECT_TRUE(std::filesystem::exists(dir / "old.FB2"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Old.fb2"));
    book->Rename(A("  Новое.fb2 "));
    EXPECT_EQ(book->FileName, A("Новое.fb2"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Новое.fb2"));
    std::ofstream(dir / "taken.fb2") << "y";
    EXPECT_THROW(book->Rename("taken.fb2"), EShelvaraError);  // never replaces a file
    EXPECT_EQ(book->FileName, A("Новое.fb2"));
    EXPECT_THROW(book->Rename("a/b.fb2"), EShelvaraError);
    book->Packed = true;
    EXPECT_THROW(book->Rename("x.fb2"), EShelvaraError);
}

TEST(BookInfoTest, ReadOnlyBooksAndFoldersRefuseFileOperations) {
    TempDir dir;
    TSVD svd;
    TMountPoint* mp = svd.AddMountPoint(dir.Path().string());
    TBookInfo* book = mp->AddBook();
    book->FileName = "a.fb2";
    std::ofstream(dir / "a.fb2") << "x";
    mp->SetReadOnly(true);
    EXPECT_TRUE(book->IsReadOnly());
    EXPECT_THROW(book->Rename("b.fb2"), EShelvaraError);
    EXPECT_THROW(book->DeleteFile(), EShelvaraError);
    mp->SetReadOnly(false);
    book->Flags |= TBookInfo::kReadOnly;
    EXPECT_THROW(book->DeleteFile(), EShelvaraError);
    EXPECT_TRUE(std::filesystem::exists(dir / "a.fb2"));
}

TEST(BookInfoTest, UpdateFileInfoReadsSizeDateAndCrcOfAtMostSixteenMebibytes) {
    TempDir dir;
    TSVD svd;
    TMountPoint* mp = svd.AddMountPoint(dir.Path().string());
    TBookInfo* book = mp->AddBook();
    book->FileName = "big.txt";
    std::vector<uint8_t> content((16 << 20) + 1000);
    std::mt19937 random(3);
    for (auto& b : content)
        b = static_cast<uint8_t>(random());
    WriteBytes(dir / "big.txt", content);
    EXPECT_TRUE(book->UpdateFileInfo(3));
    EXPECT_EQ(book->Size, static_cast<int32_t>(content.size()));
    EXPECT_EQ(book->Crc, Crc32Update(0, content.data(), 16 << 20));
    EXPECT_NE(book->FileDate, 0);
    EXPECT_NE(book->AddedDate, 0);
    int64_t counted = 0;
    for (int32_t n : book->ByteCounts)
        counted += n;
    EXPECT_EQ(counted, static_cast<int64_t>(content.size()));
    EXPECT_FALSE(book->UpdateFileInfo(1));  // nothing changed since
    EXPECT_TRUE(book->CheckExists());
    std::filesystem::remove(dir / "big.txt");
    EXPECT_FALSE(book->CheckExists());
    EXPECT_TRUE(book->IsLost());
}

TEST(BookInfoTest, PackedBooksWithoutArchiveAccessAreRefused) {
    TSVD svd;
    TMountPoint* mp = svd.AddMountPoint("/nowhere");
    TBookInfo* book = mp->AddBook();
    book->FileName = "a.zip";
    book->EntryName = "b.fb2";
    book->Packed = true;
    // Deleting the archive would take every other book in it along.
    EXPECT_THROW(book->DeleteFile(), EShelvaraError);
    EXPECT_THROW(book->UpdateFileInfo(1), EShelvaraError);
    EXPECT_FALSE(book->CheckExists());
}

// A book's file swapped for a pipe after the folder was listed: read for any part, under any
// name, it is refused rather than taken for an empty book.
TEST(BookInfoTest, APipeInABooksPlaceIsNoBook) {
    TempDir dir;
    for (const char* name : {"book.fb2", "notes.txt", "noext"}) {
        ASSERT_EQ(::mkfifo((dir / name).c_str(), 0600), 0);
        for (unsigned what : {0u, 1u, 2u, 4u, 7u})
            EXPECT_EQ(ErrorOf([&] { PrepareBookContent(nullptr, (dir / name).string(), false, {}, what); }),
                      rsErrNotRegularFile)
                << name << " " << what;
    }
}

}  // namespace
