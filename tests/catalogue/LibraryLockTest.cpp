#include "catalogue/LibraryLock.h"

#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>

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

}  // namespace
