#include "common/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

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
