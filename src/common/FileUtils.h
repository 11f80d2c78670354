#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

// Whole-file helpers; failures raise the operating system's error (EShelvaraError).

// Reads a whole file. Other processes may keep reading and writing it meanwhile.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Creates or replaces path and writes the bytes; with sync, flushes them to the disk.
void WriteWholeFile(const std::filesystem::path& path, const void* data, size_t size, bool sync = false);

// Flushes the directory entry changes (renames, creations) of a folder to the disk.
void SyncDirectory(const std::filesystem::path& folder);
