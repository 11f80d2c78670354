#include "common/FileUtils.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"

namespace {

[[noreturn]] void Fail(const char* operation, const std::filesystem::path& path, int errnum) {
    RaiseOsError(operation, PathToAnsi(path), errnum);
}

void WriteAll(int fd, const std::filesystem::path& path, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write file", path, errno);
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor OpenRegularFile(const std::filesystem::path& path, struct stat* info) {
    // O_NONBLOCK: a FIFO put in a book's place must not hold the caller for ever.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) Fail("Cannot open file", path, errno);
    struct stat own {};
    struct stat& st = info ? *info : own;
    if (::fstat(fd.get(), &st) != 0) Fail("Cannot read file", path, errno);
    if (S_ISDIR(st.st_mode)) Fail("Cannot read file", path, EISDIR);
    if (!S_ISREG(st.st_mode)) RaiseError(rsErrNotRegularFile, {PathToAnsi(path)});
    // Reads of a regular file never block; the flag only mattered for the open.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

size_t ReadAt(int fd, void* data, size_t size, uint64_t offset, const std::filesystem::path& path) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, static_cast<char*>(data) + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read file", path, errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    return ReadFileHead(path, [](const std::vector<uint8_t>&) { return false; });
}

std::vector<uint8_t> ReadFileHead(const std::filesystem::path& path,
                                  const std::function<bool(const std::vector<uint8_t>&)>& enough) {
    struct stat st {};
    FileDescriptor fd = OpenRegularFile(path, &st);
    std::vector<uint8_t> bytes;
    // One byte more than the size, so that the read that finds the end needs no growth.
    bytes.reserve((st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0) + 1);
    // Read straight into the result, until end of file rather than trusting the size: the file
    // may change meanwhile.
    constexpr size_t kChunk = 256 * 1024;
    while (!enough(bytes)) {
        const size_t filled = bytes.size();
        if (filled == bytes.capacity()) bytes.reserve(2 * filled);  // it grew meanwhile
        bytes.resize(filled + std::min(bytes.capacity() - filled, kChunk));
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        bytes.resize(filled + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read file", path, errno);
        }
        if (n == 0) break;
    }
    return bytes;
}

void WriteWholeFile(const std::filesystem::path& path, const void* data, size_t size, bool sync) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0) Fail("Cannot create file", path, errno);
    WriteAll(fd.get(), path, data, size);
    if (sync && ::fsync(fd.get()) != 0) Fail("Cannot write file", path, errno);
    if (::close(fd.release()) != 0) Fail("Cannot write file", path, errno);
}

namespace {

constexpr const char* kTemporaryInfix = ".tmp";

// "<name>.tmp<pid>.<n>": the pid tells a later writer whether its maker is still alive.
std::string TemporaryName(const std::string& targetName, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    return targetName + kTemporaryInfix + std::to_string(::getpid()) + "." + std::to_string(counter++ + attempt);
}

// The pid in a temporary name of ours, or 0.
pid_t TemporaryOwner(const std::string& name, const std::string& targetName) {
    const std::string prefix = targetName + kTemporaryInfix;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
    size_t i = prefix.size();
    pid_t pid = 0;
    size_t digits = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && digits < 10; ++i, ++digits)
        pid = pid * 10 + (name[i] - '0');
    if (digits == 0 || i >= name.size() || name[i] != '.' || i + 1 == name.size()) return 0;
    for (++i; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return 0;
    return pid;
}

// Removes the temporary files of writers of target that died before renaming them.
void RemoveStaleTemporaries(const std::filesystem::path& folder, const std::string& targetName) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t pid = TemporaryOwner(entry->d_name, targetName);
        if (pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) stale.push_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : stale)
        ::unlink((folder / name).c_str());
}

// An exclusive new file in folder, never a link followed; returns it open with its path.
FileDescriptor CreateTemporary(const std::filesystem::path& folder, const std::string& targetName,
                               std::filesystem::path& made) {
    for (unsigned attempt = 0;; ++attempt) {
        made = folder / TemporaryName(targetName, attempt);
        FileDescriptor fd(::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd.get() >= 0) return fd;
        if (errno == EEXIST && attempt < 100) continue;
        const int error = errno;
        if (error == EACCES || error == EROFS || error == EPERM)
            RaiseError(rsErrSaveReadOnlyFolder, {PathToAnsi(folder / targetName), Utf8ToAnsi(std::strerror(error))});
        Fail("Cannot create file", made, error);
    }
}

// Keeps the current target as backup: a hard link where the file system has them, else a
// copy; either way made under a temporary name and renamed, so a backup is always whole.
void MakeBackup(const std::filesystem::path& target, const std::filesystem::path& backup) {
    const std::filesystem::path folder = backup.parent_path();
    const std::string name = backup.filename().string();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path link = folder / TemporaryName(name, attempt);
        if (::link(target.c_str(), link.c_str()) == 0) {
            if (::rename(link.c_str(), backup.c_str()) != 0) {
                const int error = errno;
                ::unlink(link.c_str());
                Fail("Cannot write file", backup, error);
            }
            return;
        }
        if (errno == EEXIST) continue;
        break;
    }
    const std::vector<uint8_t> content = ReadWholeFile(target);
    ReplaceFile(backup, content.data(), content.size());
}

}  // namespace

std::filesystem::path ResolveLinks(const std::filesystem::path& path) {
    std::filesystem::path p = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        if (hops >= 40) Fail("Cannot resolve link", path, ELOOP);
        std::error_code ec;
        const std::filesystem::path target = std::filesystem::read_symlink(p, ec);
        if (ec) Fail("Cannot resolve link", p, ec.value());
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
}

bool IsTemporarySibling(const std::string& name, const std::string& targetName) {
    return TemporaryOwner(name, targetName) != 0;
}

bool IsReplaceTemporary(const std::string& name, bool* stale) {
    const size_t at = name.rfind(kTemporaryInfix);
    const pid_t pid = at == std::string::npos || at == 0 ? 0 : TemporaryOwner(name, name.substr(0, at));
    if (stale) *stale = pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
    return pid > 0;
}

std::filesystem::path ReplaceFile(const std::filesystem::path& path, const void* data, size_t size,
                                  std::filesystem::path (*backup)(const std::filesystem::path&)) {
    const std::span<const uint8_t> whole(static_cast<const uint8_t*>(data), size);
    return ReplaceFile(path, std::span<const std::span<const uint8_t>>(&whole, 1), backup);
}

std::filesystem::path ReplaceFile(const std::filesystem::path& path, std::span<const std::span<const uint8_t>> parts,
                                  std::filesystem::path (*backup)(const std::filesystem::path&)) {
    const std::filesystem::path target = ResolveLinks(path);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    const std::string name = target.filename().string();
    RemoveStaleTemporaries(folder, name);

    // Being allowed to write in the folder is not being allowed to write the file: a file this
    // user may not write, or one its owner made read-only, is refused.
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    if (replacing && ((st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0))
        Fail("Cannot write file", target, EACCES);
    std::filesystem::path temp;
    FileDescriptor fd = CreateTemporary(folder, name, temp);
    try {
        if (replacing) {
            // The new file keeps the owner, group and permissions of the one it replaces, as
            // far as this user may give them (only root can give a file away).
            if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0 &&
                ::fchown(fd.get(), static_cast<uid_t>(-1), st.st_gid)) {
                // the group stays the folder's
            }
            ::fchmod(fd.get(), st.st_mode & 07777);
        }
        for (const std::span<const uint8_t> part : parts)
            WriteAll(fd.get(), temp, part.data(), part.size());
        if (::fsync(fd.get()) != 0) Fail("Cannot write file", temp, errno);
        if (::close(fd.release()) != 0) Fail("Cannot write file", temp, errno);
        struct stat existing {};
        if (backup && ::lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
            const std::filesystem::path kept = backup(target);
            RemoveStaleTemporaries(kept.parent_path().empty() ? "." : kept.parent_path(), kept.filename().string());
            MakeBackup(target, kept);
        }
        if (::rename(temp.c_str(), target.c_str()) != 0) Fail("Cannot write file", target, errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    SyncDirectory(folder);
    return target;
}

void SyncDirectory(const std::filesystem::path& folder) {
    FileDescriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot sync a directory; the data itself is already on disk then.
    if (fd.get() >= 0) ::fsync(fd.get());
}

bool IsValidEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool IsValidEntryPath(std::string_view path, bool absolute) {
    if (path.empty() || absolute != (path[0] == '/')) return false;
    if (absolute) {
        path.remove_prefix(1);
        if (!path.empty() && path.back() == '/') path.remove_suffix(1);
        if (path.empty()) return true;
    }
    for (size_t start = 0;;) {
        const size_t end = std::min(path.find('/', start), path.size());
        if (!IsValidEntryName(path.substr(start, end - start))) return false;
        if (end == path.size()) return true;
        start = end + 1;
    }
}

namespace {

// rename(2) replaces an existing target; renameat2 can refuse instead.
int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without RENAME_NOREPLACE: check first, then rename.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

void CopyFileSynced(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::vector<uint8_t> content = ReadWholeFile(from);
    FileDescriptor fd(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) Fail("Cannot create file", to, errno);
    struct stat st {};
    if (::stat(from.c_str(), &st) == 0) ::fchmod(fd.get(), st.st_mode & 07777);
    ::close(fd.release());
    WriteWholeFile(to, content.data(), content.size(), true);
    timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, to.c_str(), times, 0);
}

void CopyTreeSynced(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!std::filesystem::is_directory(from)) {
        CopyFileSynced(from, to);
        return;
    }
    if (::mkdir(to.c_str(), 0777) != 0) Fail("Cannot create folder", to, errno);
    for (const auto& entry : std::filesystem::directory_iterator(from))
        CopyTreeSynced(entry.path(), to / entry.path().filename());
}

}  // namespace

void MoveEntry(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (RenameNoReplace(from, to) == 0) {
        SyncDirectory(to.parent_path());
        return;
    }
    if (errno != EXDEV) Fail("Cannot move", from, errno);
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) Fail("Cannot move", from, EEXIST);
    try {
        CopyTreeSynced(from, to);
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove_all(to, ec);
        throw;
    }
    SyncDirectory(to.parent_path());
    std::error_code ec;
    std::filesystem::remove_all(from, ec);
    if (ec) Fail("Cannot delete", from, ec.value());
}

bool RemoveFile(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) == 0) return true;
    return errno == ENOENT;
}
