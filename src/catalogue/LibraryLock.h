#pragma once

#include <string>

#include "common/FileUtils.h"

// An advisory lock on a library file for a writer's whole load-change-save, so that two
// programs never both save their own version of one library. Kept in a lock file beside the
// library (links resolved) that names its holder; the file goes when the lock is released.
class TLibraryLock final {
public:
    // Takes the lock for the library (engine-text path); holder names this program for the
    // message another writer gets ("shelvara-cli scan"). Raises, naming the holder, when another
    // process has it.
    TLibraryLock(const std::string& libraryPath, const std::string& holder);
    ~TLibraryLock();
    TLibraryLock(const TLibraryLock&) = delete;
    TLibraryLock& operator=(const TLibraryLock&) = delete;

    // The lock file of a library.
    static std::filesystem::path LockFileOf(const std::string& libraryPath);

private:
    std::filesystem::path file_;
    FileDescriptor fd_;
};
