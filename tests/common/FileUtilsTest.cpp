#include "common/FileUtils.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "common/Error.h"

namespace {

namespace fs = std::filesystem;

std::string Text(const fs::path& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void Replace(const fs::path& path, const std::string& text, fs::path (*backup)(const fs::path&) = nullptr) {
    ReplaceFile(path, text.data(), text.size(), backup);
}

fs::path BackupOf(const fs::path& p) {
    return p.parent_path() / (p.filename().string() + ".bak");
}

TEST(FileUtilsTest, ReplaceFileKeepsPermissionsAndMakesAWholeBackup) {
    TempDir dir;
    Replace(dir / "lib", "first");
    EXPECT_EQ(Text(dir / "lib"), "first");
    ::chmod((dir / "lib").c_str(), 0640);
    Replace(dir / "lib", "second", BackupOf);
    EXPECT_EQ(Text(dir / "lib"), "second");
    EXPECT_EQ(Text(dir / "lib.bak"), "first");
    Replace(dir / "lib", "third", BackupOf);
    EXPECT_EQ(Text(dir / "lib.bak"), "second");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "lib").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Only the file and its backup remain: no temporary, no link name left over.
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"lib", "lib.bak"}));
}

TEST(FileUtilsTest, ReplaceFileRefusesWhatTheUserMayNotWriteAndKeepsTheOwner) {
    TempDir dir;
    Replace(dir / "book.fb2", "old");
    // Made read-only by its owner: refused even where the folder is writable.
    ::chmod((dir / "book.fb2").c_str(), 0444);
    EXPECT_THROW(Replace(dir / "book.fb2", "new"), EShelvaraError);
    EXPECT_EQ(Text(dir / "book.fb2"), "old");
    if (::geteuid() != 0) GTEST_SKIP() << "acting as other users needs root";
    // Another user's book in a folder anyone may write: refused; the owner's own write keeps
    // the owner, group and mode it had.
    ::chmod(dir.Path().c_str(), 0777);
    ::chmod((dir / "book.fb2").c_str(), 0640);
    ASSERT_EQ(::chown((dir / "book.fb2").c_str(), 40001, 4242), 0);
    EXPECT_EQ(AsUser(40002,
                     [&] {
                         Replace(dir / "book.fb2", "by someone else");
                         return 0;
                     }),
              91);
    EXPECT_EQ(Text(dir / "book.fb2"), "old");
    Replace(dir / "book.fb2", "by root");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "book.fb2").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 40001u);
    EXPECT_EQ(st.st_gid, 4242u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Text(dir / "book.fb2"), "by root");
}

TEST(FileUtilsTest, ReplaceFileWritesThroughSymbolicLinks) {
    TempDir dir;
    fs::create_directory(dir / "real");
    Replace(dir / "real" / "lib", "old");
    fs::create_symlink("real/lib", dir / "link");
    fs::create_symlink("link", dir / "link2");
    const fs::path written = ReplaceFile(dir / "link2", "new", 3, BackupOf);
    EXPECT_EQ(written, dir / "real" / "lib");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(fs::is_symlink(dir / "link2"));
    EXPECT_EQ(Text(dir / "real" / "lib"), "new");
    EXPECT_EQ(Text(dir / "real" / "lib.bak"), "old");
    // A link that points nowhere yet makes its target.
    fs::create_symlink("real/fresh", dir / "dangling");
    Replace(dir / "dangling", "made");
    EXPECT_EQ(Text(dir / "real" / "fresh"), "made");
    fs::create_symlink("loop", dir / "loop");
    EXPECT_THROW(Replace(dir / "loop", "x"), EShelvaraError);
}

TEST(FileUtilsTest, ReplaceFileRemovesTemporariesOfDeadWritersOnly) {
    TempDir dir;
    const std::string dead = "lib.tmp" + std::to_string(DeadPid()) + ".7";
    const std::string alive = "lib.tmp1.3";  // init never dies
    const std::string other = "other.tmp" + std::to_string(DeadPid()) + ".1";
    const std::string notOurs = "lib.tmp12x";
    const std::string deadBackup = "lib.bak.tmp" + std::to_string(DeadPid()) + ".2";
    for (const std::string& name : {dead, alive, other, notOurs, deadBackup})
        Replace(dir / name, "left over");
    Replace(dir / "lib", "first");
    EXPECT_TRUE(IsTemporarySibling(dead, "lib"));
    EXPECT_FALSE(IsTemporarySibling(notOurs, "lib"));
    Replace(dir / "lib", "saved", BackupOf);
    const std::vector<std::string> names = dir.List();
    EXPECT_EQ(std::count(names.begin(), names.end(), dead), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), deadBackup), 0);
    for (const std::string& kept : {alive, other, notOurs, std::string("lib")})
        EXPECT_EQ(std::count(names.begin(), names.end(), kept), 1) << kept;
}

TEST(FileUtilsTest, ReadingRefusesWhatIsNoRegularFileWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    // Without a writer, a blocking open of a FIFO would never return.
    EXPECT_THROW(ReadWholeFile(dir / "fifo"), EShelvaraError);
    EXPECT_THROW(ReadWholeFile(dir.Path()), EShelvaraError);
    EXPECT_THROW(ReadWholeFile(dir / "missing"), EShelvaraError);
}

}  // namespace
