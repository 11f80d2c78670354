#pragma once

#include <cstdint>
#include <filesystem>

// Writes a synthetic library of FB2 books under root: nested folders, plain files and ZIP
// archives (one book, several books, and archives inside archives), texts declared in
// Windows-1251, UTF-8 and KOI8-R, some with a cover, sizes from a few KB to a few MB.
// With plainOnly every book is a plain file. Returns the number of books written.
int GenerateDiskLibrary(const std::filesystem::path& root, int books, uint32_t seed = 1, bool plainOnly = false);
