#include "catalogue/LibraryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"

std::filesystem::path TLibraryLock::LockFileOf(const std::string& libraryPath) {
    std::filesystem::path lock = ResolveLinks(AnsiToPath(libraryPath));
    lock += ".lock";
    return lock;
}

TLibraryLock::TLibraryLock(const std::string& libraryPath, const std::string& holder) : file_(LockFileOf(libraryPath)) {
    for (int attempt = 0;; ++attempt) {
        FileDescriptor fd(::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (fd.get() < 0) {
            // A folder we cannot write in holds a library nobody here can save: no lock needed
            // to read it, and a save will say why it fails.
            if (errno == EACCES || errno == EROFS || errno == EPERM) return;
            RaiseOsError("Cannot lock library", libraryPath, errno);
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK) RaiseOsError("Cannot lock library", libraryPath, errno);
            char text[512] = {};
            const ssize_t n = ::pread(fd.get(), text, sizeof text - 1, 0);
            std::string who = n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string("another program");
            while (!who.empty() && (who.back() == '\n' || who.back() == '\r'))
                who.pop_back();
            RaiseError(rsErrLibraryInUse, {libraryPath, Utf8ToAnsi(who)});
        }
        // The holder before us may have removed the file between our open and our lock: then
        // we locked a file nobody else sees, and must lock the one at the path.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd.get(), &held) == 0 && ::stat(file_.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            const std::string who = holder + " (process " + std::to_string(::getpid()) + ")\n";
            if (::ftruncate(fd.get(), 0) == 0 && ::pwrite(fd.get(), who.data(), who.size(), 0) < 0) {
                // The name of the holder is a courtesy; the lock itself is what counts.
            }
            fd_ = std::move(fd);
            return;
        }
        if (attempt >= 100) RaiseOsError("Cannot lock library", libraryPath, EAGAIN);
    }
}

TLibraryLock::~TLibraryLock() {
    if (fd_.get() < 0) return;
    // Removed while still locked, so nobody takes a lock on a file about to vanish unseen.
    ::unlink(file_.c_str());
}
