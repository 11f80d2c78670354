#include "catalogue/LibraryLock.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "common/Error.h"

namespace {

TEST(LibraryLockTest, AWriterKilledWithItsLockHeldBlocksNobody) {
    TempDir dir;
    const std::string library = (dir / "lib.sv2").string();
    // A child takes the lock and dies without releasing it, leaving the lock file behind.
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            TLibraryLock lock(library, "a writer that dies");
            ::_exit(std::filesystem::exists(TLibraryLock::LockFileOf(library)) ? 0 : 1);
        } catch (...) {
            ::_exit(2);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(std::filesystem::exists(TLibraryLock::LockFileOf(library)));
    {
        TLibraryLock lock(library, "the next writer");
        std::ifstream holder(TLibraryLock::LockFileOf(library));
        std::string text;
        std::getline(holder, text);
        EXPECT_EQ(text.rfind("the next writer (process ", 0), 0u) << text;
        EXPECT_THROW(TLibraryLock(library, "a third writer"), EShelvaraError);
    }
    EXPECT_FALSE(std::filesystem::exists(TLibraryLock::LockFileOf(library)));
}

TEST(LibraryLockTest, ALinkedLibraryIsLockedWhereItLies) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    std::filesystem::create_symlink("real/lib.sv2", dir / "link.sv2");
    EXPECT_EQ(TLibraryLock::LockFileOf((dir / "link.sv2").string()), dir / "real" / "lib.sv2.lock");
    TLibraryLock lock((dir / "link.sv2").string(), "through the link");
    EXPECT_THROW(TLibraryLock((dir / "real" / "lib.sv2").string(), "directly"), EShelvaraError);
}

TEST(LibraryLockTest, TwoUsersOfAGroupFolderShareOneLock) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as two users needs root";
    TempDir dir;
    const std::filesystem::path shared = dir / "shared";
    std::filesystem::create_directory(shared);
    ASSERT_EQ(::chown(dir.Path().c_str(), 0, 4242), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chown(shared.c_str(), 0, 4242), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 02770), 0);
    const std::string library = (shared / "lib.sv2").string();
    int toA[2], fromA[2];
    ASSERT_EQ(::pipe(toA), 0);
    ASSERT_EQ(::pipe(fromA), 0);
    // User A makes the library (group-writable, as a shared one is) and holds its lock until told.
    const pid_t a = ::fork();
    if (a == 0) {
        ::_exit(AsUser(40001, [&] {
            ::close(toA[1]);
            ::close(fromA[0]);
            std::ofstream(library) << "library";
            ::chmod(library.c_str(), 0660);
            TLibraryLock lock(library, "user A's scan");
            char byte = 1;
            if (::write(fromA[1], &byte, 1) != 1 || ::read(toA[0], &byte, 1) != 1) return 3;
            return 0;
        }));
    }
    ::close(toA[0]);
    ::close(fromA[1]);
    char byte = 0;
    ASSERT_EQ(::read(fromA[0], &byte, 1), 1);
    // User B must be refused, told who holds it, while A works.
    const int refused = AsUser(40002, [&] {
        try {
            TLibraryLock lock(library, "user B");
            return 1;
        } catch (const EShelvaraError& e) {
            return std::string(e.what()).find("user A's scan") != std::string::npos ? 0 : 2;
        }
    });
    EXPECT_EQ(refused, 0);
    ASSERT_EQ(::write(toA[1], &byte, 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(a, &status, 0), a);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Once A is done, B takes it.
    EXPECT_EQ(AsUser(40002,
                     [&] {
                         TLibraryLock lock(library, "user B");
                         return 0;
                     }),
              0);
    // A lock file A's killed writer left behind blocks nobody who can open it; one B may not
    // even open could be held, so B is refused and told whose it is.
    for (const mode_t mode : {0640, 0600}) {
        EXPECT_EQ(AsUser(40001,
                         [&] {
                             std::ofstream(TLibraryLock::LockFileOf(library)) << "";
                             return ::chmod(TLibraryLock::LockFileOf(library).c_str(), mode);
                         }),
                  0);
        EXPECT_EQ(AsUser(40002,
                         [&] {
                             try {
                                 TLibraryLock lock(library, "user B");
                                 struct stat st {};
                                 return ::stat(TLibraryLock::LockFileOf(library).c_str(), &st) == 0 &&
                                                st.st_uid == 40002
                                            ? 10
                                            : 11;
                             } catch (const EShelvaraError& e) {
                                 return std::string(e.what()).find("user 40001") != std::string::npos ? 20 : 21;
                             }
                         }),
                  mode == 0640 ? 10 : 20);
    }
    ::close(toA[1]);
    ::close(fromA[0]);
}

TEST(LibraryLockTest, APlantedLinkIsNeitherFollowedNorWritten) {
    TempDir dir;
    const std::string library = (dir / "lib.sv2").string();
    WriteBytes(dir / "precious", Bytes("keep me"));
    for (bool hard : {true, false}) {
        std::filesystem::remove(TLibraryLock::LockFileOf(library));
        if (hard)
            std::filesystem::create_hard_link(dir / "precious", TLibraryLock::LockFileOf(library));
        else
            std::filesystem::create_symlink(dir / "precious", TLibraryLock::LockFileOf(library));
        try {
            TLibraryLock lock(library, "a writer");
            ADD_FAILURE() << (hard ? "hard" : "symbolic") << " link taken as the lock";
        } catch (const EShelvaraError& e) {
            EXPECT_NE(std::string(e.what()).find("not made by this program"), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadBytes(dir / "precious"), Bytes("keep me"));
    }
}

}  // namespace
