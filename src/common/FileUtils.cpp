#include "common/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "common/Encoding.h"
#include "common/Error.h"

namespace {

// Closes a descriptor on every path out of a function.
class FileDescriptor final {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

[[noreturn]] void Fail(const char* operation, const std::filesystem::path& path, int errnum) {
    RaiseOsError(operation, PathToAnsi(path), errnum);
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) Fail("Cannot open file", path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) Fail("Cannot read file", path, errno);
    if (S_ISDIR(st.st_mode)) Fail("Cannot read file", path, EISDIR);
    std::vector<uint8_t> bytes;
    bytes.reserve(st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0);
    // Read until end of file rather than trusting the size: the file may change meanwhile.
    uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read file", path, errno);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void WriteWholeFile(const std::filesystem::path& path, const void* data, size_t size, bool sync) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0) Fail("Cannot create file", path, errno);
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd.get(), p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write file", path, errno);
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    if (sync && ::fsync(fd.get()) != 0) Fail("Cannot write file", path, errno);
    if (::close(fd.release()) != 0) Fail("Cannot write file", path, errno);
}

void SyncDirectory(const std::filesystem::path& folder) {
    FileDescriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot sync a directory; the data itself is already on disk then.
    if (fd.get() >= 0) ::fsync(fd.get());
}

bool IsValidEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
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
