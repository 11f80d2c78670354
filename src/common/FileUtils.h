#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Whole-file helpers; failures raise the operating system's error (EShelvaraError).

// Reads a whole file. Other processes may keep reading and writing it meanwhile.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Creates or replaces path and writes the bytes; with sync, flushes them to the disk.
void WriteWholeFile(const std::filesystem::path& path, const void* data, size_t size, bool sync = false);

// Flushes the directory entry changes (renames, creations) of a folder to the disk.
void SyncDirectory(const std::filesystem::path& folder);

// True for a name that can stand for one directory entry: not empty, not "." or "..",
// without "/" or NUL.
bool IsValidEntryName(const std::string& name);

// Renames or moves a file or directory without ever replacing an existing entry. Across file
// systems the content is copied, flushed to the disk and only then is the source removed.
// Failures raise the operating system's error.
void MoveEntry(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes a file; false (with errno set) when it cannot be removed. A missing file counts as removed.
bool RemoveFile(const std::filesystem::path& path);
