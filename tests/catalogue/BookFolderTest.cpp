#include "catalogue/BookFolder.h"

#include <fstream>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Encoding.h"
#include "common/Error.h"

namespace {

namespace fs = std::filesystem;

// A mount point over a temporary directory with one sub-folder and a book in each.
struct DiskTree {
    TempDir dir;
    TSVD svd;
    TMountPoint* mount;
    TBookFolder* sub;

    DiskTree() {
        fs::create_directory(dir / "sub");
        std::ofstream(dir / "top.fb2") << "top";
        std::ofstream(dir / "sub" / "inner.fb2") << "inner";
        mount = svd.AddMountPoint(dir.Path().string());
        mount->AddBook()->FileName = "top.fb2";
        sub = mount->AddFolder("sub");
        sub->AddBook()->FileName = "inner.fb2";
    }
};

TEST(BookFolderTest, PathsAndLookups) {
    DiskTree t;
    const std::string root = t.dir.Path().string();
    EXPECT_EQ(t.sub->FullPath(), root + "/sub");
    EXPECT_EQ(t.sub->Book(0)->FullPath(), root + "/sub/inner.fb2");
    EXPECT_EQ(t.svd.FindFolder(root + "/sub/"), t.sub);
    EXPECT_EQ(t.svd.FindFolder(root), t.mount);
    EXPECT_EQ(t.svd.FindBook("  " + root + "/sub/inner.fb2 "), t.sub->Book(0));
    // Letter case is a fallback only: an exact name wins.
    TBookInfo* upper = t.sub->AddBook();
    upper->FileName = "INNER.fb2";
    EXPECT_EQ(t.svd.FindBook(root + "/sub/INNER.fb2"), upper);
    EXPECT_EQ(t.svd.FindBook(root + "/SUB/Inner.FB2"), t.sub->Book(0));
    EXPECT_EQ(t.svd.FindBook(root + "/sub/none.fb2"), nullptr);
    EXPECT_EQ(t.svd.FindFolder(root + "2"), nullptr);
}

TEST(BookFolderTest, MountPointsMayNotOverlap) {
    TSVD svd;
    ASSERT_NE(svd.AddMountPoint("/media/c/Books"), nullptr);
    EXPECT_NE(svd.AddMountPoint("/media/d/Books"), nullptr);
    EXPECT_NE(svd.AddMountPoint("/media/c/Books2"), nullptr);  // a sibling, not a part
    EXPECT_EQ(svd.AddMountPoint("/media/c/Books/Fantasy"), nullptr);
    EXPECT_EQ(svd.AddMountPoint("/media/c/Books/"), nullptr);
    EXPECT_EQ(svd.AddMountPoint("/media/c"), nullptr);
    EXPECT_EQ(svd.AddMountPoint("  "), nullptr);
    EXPECT_EQ(svd.MountPoints.size(), 3u);
}

TEST(BookFolderTest, CreateRenameAndMoveChangeDiskAndCatalogue) {
    DiskTree t;
    EXPECT_TRUE(t.mount->CreateSubfolder("  new  "));
    ASSERT_EQ(t.mount->FolderCount(), 2u);
    TBookFolder* created = t.mount->Folder(1);
    EXPECT_EQ(created->Name, "new");
    EXPECT_TRUE(fs::is_directory(t.dir / "new"));
    for (const char* bad : {"", "..", ".", "a/b"})
        EXPECT_FALSE(t.mount->CreateSubfolder(bad)) << bad;

    // Names differ by letter case here: only the very same name is no rename.
    EXPECT_TRUE(t.sub->RenameFolder(" sub "));
    EXPECT_TRUE(t.sub->RenameFolder("SUB"));
    EXPECT_TRUE(fs::is_directory(t.dir / "SUB"));
    EXPECT_FALSE(fs::exists(t.dir / "sub"));
    EXPECT_EQ(t.sub->Name, "SUB");
    EXPECT_FALSE(t.sub->RenameFolder("  "));
    EXPECT_THROW(t.sub->RenameFolder("new"), EShelvaraError);  // never replaces a directory
    EXPECT_EQ(t.sub->Name, "SUB");
    EXPECT_TRUE(t.sub->RenameFolder("renamed"));
    EXPECT_TRUE(fs::exists(t.dir / "renamed" / "inner.fb2"));

    EXPECT_FALSE(t.mount->MoveFolder(created));  // a mount point has no parent
    EXPECT_TRUE(t.sub->MoveFolder(created));
    EXPECT_EQ(t.sub->Parent, created);
    EXPECT_TRUE(fs::exists(t.dir / "new" / "renamed" / "inner.fb2"));
    EXPECT_FALSE(created->MoveFolder(t.sub));  // not into its own subtree

    TBookInfo* top = t.mount->Book(0);
    EXPECT_TRUE(top->MoveToFolder(created));
    EXPECT_EQ(top->Folder, created);
    EXPECT_TRUE(fs::exists(t.dir / "new" / "top.fb2"));
    EXPECT_EQ(t.mount->BookCount(), 0u);
}

TEST(BookFolderTest, DeleteFolder) {
    DiskTree t;
    EXPECT_THROW(t.sub->DeleteFolder(false), EShelvaraError);
    EXPECT_TRUE(t.sub->DeleteFolder(true));
    EXPECT_FALSE(fs::exists(t.dir / "sub"));
    EXPECT_EQ(t.sub->BookCount(), 0u);
    t.mount->DeleteSubfolder(t.sub);
    EXPECT_EQ(t.mount->FolderCount(), 0u);
}

TEST(BookFolderTest, DeleteStopsAtAFileThatStays) {
    DiskTree t;
    // Three books; the middle one's "file" is a non-empty directory that unlink refuses.
    fs::create_directories(t.dir / "sub" / "stuck.fb2" / "x");
    std::ofstream(t.dir / "sub" / "last.fb2") << "last";
    t.sub->AddBook()->FileName = "stuck.fb2";
    t.sub->AddBook()->FileName = "last.fb2";
    EXPECT_THROW(t.sub->DeleteFolder(true), EShelvaraError);
    EXPECT_FALSE(fs::exists(t.dir / "sub" / "last.fb2"));
    ASSERT_EQ(t.sub->BookCount(), 2u);  // the stuck book and the one before it stay
    EXPECT_EQ(t.sub->Book(1)->FileName, "stuck.fb2");
    EXPECT_TRUE(fs::exists(t.dir / "sub" / "inner.fb2"));
}

TEST(BookFolderTest, ReadOnlyFoldersRefuseDiskChanges) {
    DiskTree t;
    t.mount->SetReadOnly(true);
    EXPECT_TRUE(t.sub->IsReadOnly());
    EXPECT_THROW(t.sub->CreateSubfolder("x"), EShelvaraError);
    EXPECT_THROW(t.sub->RenameFolder("x"), EShelvaraError);
    EXPECT_THROW(t.sub->DeleteFolder(true), EShelvaraError);
    EXPECT_THROW(t.sub->DeleteFromCatalogue(), EShelvaraError);
    EXPECT_TRUE(fs::exists(t.dir / "sub" / "inner.fb2"));
}

TEST(BookFolderTest, SetNameRebindsWithoutTouchingTheDisk) {
    DiskTree t;
    t.sub->SetName("elsewhere");
    EXPECT_EQ(t.sub->Name, "elsewhere");
    EXPECT_TRUE(t.sub->Flags & TBookFolder::kMissing);
    EXPECT_TRUE(fs::exists(t.dir / "sub"));
}

TEST(BookFolderTest, DescriptionOfBlanksIsNotStored) {
    TSVD svd;
    TMountPoint* mp = svd.AddMountPoint("/x");
    mp->Description = "   ";
    TSVDStream w({}, false);
    mp->SaveToStream(w, true);
    EXPECT_EQ(mp->Flags & TBookFolder::kHasDescription, 0);
    TMountPoint copy(&svd);
    ASSERT_TRUE(copy.LoadFromStream(*TSVDStream::FromBytes(w.FileImage())));
    EXPECT_EQ(copy.Description, "");
    EXPECT_EQ(copy.Name, "/x");
}

}  // namespace
