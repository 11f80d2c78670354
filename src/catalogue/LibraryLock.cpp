#include "catalogue/LibraryLock.h"

#include <fcntl.h>
#include <pwd.h>
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

namespace {

// Who holds a lock, as its file names it; else the file's owner.
std::string HolderOf(int fd, const struct stat& st) {
    char text[512] = {};
    const ssize_t n = fd >= 0 ? ::pread(fd, text, sizeof text - 1, 0) : 0;
    std::string who = n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
    while (!who.empty() && (who.back() == '\n' || who.back() == '\r'))
        who.pop_back();
    if (!who.empty()) return Utf8ToAnsi(who);
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    const std::string user = ::getpwuid_r(st.st_uid, &entry, buffer, sizeof buffer, &found) == 0 && found
                                 ? std::string(found->pw_name)
                                 : "user " + std::to_string(st.st_uid);
    return "another program of " + user;
}

[[noreturn]] void RaiseStrangeLock(const std::string& libraryPath, const std::filesystem::path& file,
                                   const std::string& why) {
    RaiseFixedError("Cannot lock library \"" + libraryPath + "\": its lock file " + PathToAnsi(file) + " " + why +
                    "; it was not made by this program: remove it and try again");
}

}  // namespace

TLibraryLock::TLibraryLock(const std::string& libraryPath, const std::string& holder) : file_(LockFileOf(libraryPath)) {
    for (int attempt = 0;; ++attempt) {
        if (attempt >= 100) RaiseOsError("Cannot lock library", libraryPath, EAGAIN);
        // A lock file of our own making is written; one already there is only locked, never
        // followed through a link nor opened for writing when it belongs to somebody else.
        FileDescriptor fd(::open(file_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        const bool created = fd.get() >= 0;
        if (!created) {
            if (errno != EEXIST) {
                // A folder we cannot write in holds a library nobody here can save: no lock
                // needed to read it, and a save will say why it fails.
                if (errno == EACCES || errno == EROFS || errno == EPERM) return;
                RaiseOsError("Cannot lock library", libraryPath, errno);
            }
            fd = FileDescriptor(::open(file_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
            if (fd.get() < 0 && (errno == EACCES || errno == EROFS))
                fd = FileDescriptor(::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
            if (fd.get() < 0) {
                if (errno == ENOENT) continue;  // released meanwhile
                if (errno == ELOOP) RaiseStrangeLock(libraryPath, file_, "is a symbolic link");
                struct stat st {};
                if (errno == EACCES && ::stat(file_.c_str(), &st) == 0)
                    RaiseError(rsErrLibraryInUse, {libraryPath, HolderOf(-1, st)});
                RaiseOsError("Cannot lock library", libraryPath, errno);
            }
        }
        struct stat held {};
        if (::fstat(fd.get(), &held) != 0) RaiseOsError("Cannot lock library", libraryPath, errno);
        if (!S_ISREG(held.st_mode)) RaiseStrangeLock(libraryPath, file_, "is not a plain file");
        // A second name of the same file (a planted hard link) would have us overwrite it.
        if (held.st_nlink != 1) RaiseStrangeLock(libraryPath, file_, "has " + std::to_string(held.st_nlink) + " links");
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK) RaiseOsError("Cannot lock library", libraryPath, errno);
            RaiseError(rsErrLibraryInUse, {libraryPath, HolderOf(fd.get(), held)});
        }
        // The holder before us may have removed the file between our open and our lock: then
        // we locked a file nobody else sees, and must lock the one at the path.
        struct stat named {};
        if (::lstat(file_.c_str(), &named) != 0 || held.st_ino != named.st_ino || held.st_dev != named.st_dev) continue;
        if (held.st_uid != ::geteuid()) {
            // Left by a writer of another user that died: gone, and made again as ours. Where
            // the folder lets nobody but its owner remove it, the lock held on it is enough.
            if (::unlink(file_.c_str()) == 0) continue;
            fd_ = std::move(fd);
            return;
        }
        if (created) {
            // The library's group may write it, so its other writers can take this lock too.
            struct stat library {};
            if (::stat(AnsiToPath(libraryPath).c_str(), &library) == 0) {
                if (library.st_gid != held.st_gid && ::fchown(fd.get(), static_cast<uid_t>(-1), library.st_gid) != 0) {
                    // not a member of that group: the owner's own group stays
                }
                ::fchmod(fd.get(), library.st_mode & 0666);
            }
        }
        const std::string who = holder + " (process " + std::to_string(::getpid()) + ")\n";
        if (::ftruncate(fd.get(), 0) == 0 && ::pwrite(fd.get(), who.data(), who.size(), 0) < 0) {
            // The name of the holder is a courtesy; the lock itself is what counts.
        }
        fd_ = std::move(fd);
        return;
    }
}

TLibraryLock::~TLibraryLock() {
    if (fd_.get() < 0) return;
    // Removed while still locked, so nobody takes a lock on a file about to vanish unseen.
    ::unlink(file_.c_str());
}
