#pragma once

#include <sys/stat.h>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Whole-file helpers; failures raise the operating system's error (EShelvaraError).

// Owns a file descriptor and closes it on every path out.
class FileDescriptor final {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Opens an existing regular file for reading. Never blocks on a pipe or device that took the
// file's place: anything but a regular file is refused after opening. info, when given, gets
// what fstat said of the open file.
FileDescriptor OpenRegularFile(const std::filesystem::path& path, struct stat* info = nullptr);

// Reads up to size bytes at offset of an open file; fewer only at its end.
size_t ReadAt(int fd, void* data, size_t size, uint64_t offset, const std::filesystem::path& path);

// Reads a whole regular file. Other processes may keep reading and writing it meanwhile.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

// A regular file from its start, read in chunks until enough(the bytes so far) is true or the
// file ends.
std::vector<uint8_t> ReadFileHead(const std::filesystem::path& path,
                                  const std::function<bool(const std::vector<uint8_t>&)>& enough);

// Creates or truncates path and writes the bytes; with sync, flushes them to the disk. Only for
// files nobody depends on (exports the user names); everything else goes through ReplaceFile.
void WriteWholeFile(const std::filesystem::path& path, const void* data, size_t size, bool sync = false);

// Replaces the file at path with the bytes so that at every moment either the old or the new
// file is there in full: an exclusive temporary file in the target's folder (never followed
// through a link), written, flushed, renamed over the target, the folder flushed. A target that
// is a symbolic link is replaced where the link points. With backup, the previous file is first
// kept as backup(resolved target) by a hard link (a copy where links fail). The new file takes
// the old one's owner (where this user may), group and permissions; a file this user may not
// write, or that has no write permission at all, raises EACCES. Leftovers of writers that died are removed. Returns the
// path written (links resolved).
std::filesystem::path ReplaceFile(const std::filesystem::path& path, const void* data, size_t size,
                                  std::filesystem::path (*backup)(const std::filesystem::path&) = nullptr);

// The same for a file written in parts, one after the other.
std::filesystem::path ReplaceFile(const std::filesystem::path& path, std::span<const std::span<const uint8_t>> parts,
                                  std::filesystem::path (*backup)(const std::filesystem::path&) = nullptr);

// The path a chain of symbolic links ends at (the path itself when it is no link); the end
// need not exist. Raises ELOOP for a loop.
std::filesystem::path ResolveLinks(const std::filesystem::path& path);

// True for the name of a temporary file ReplaceFile made for target in the same folder.
bool IsTemporarySibling(const std::string& name, const std::string& targetName);
// True for the name of a temporary file ReplaceFile made for any target; stale tells whether
// the process that made it has ended (then nobody will ever rename it into place).
bool IsReplaceTemporary(const std::string& name, bool* stale = nullptr);

// Flushes the directory entry changes (renames, creations) of a folder to the disk.
void SyncDirectory(const std::filesystem::path& folder);

// True for a name that can stand for one directory entry: not empty, not "." or "..",
// without "/" or NUL.
bool IsValidEntryName(std::string_view name);
// A "/"-separated path of such names: relative ("a/b.fb2", an archive member) or, with absolute,
// starting with "/" and allowed to end in it (a mount point). "./a", "a//b", "../a" are not.
bool IsValidEntryPath(std::string_view path, bool absolute);

// Renames or moves a file or directory without ever replacing an existing entry. Across file
// systems the content is copied, flushed to the disk and only then is the source removed.
// Failures raise the operating system's error.
void MoveEntry(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes a file; false (with errno set) when it cannot be removed. A missing file counts as removed.
bool RemoveFile(const std::filesystem::path& path);
