#pragma once

#include <cstdint>
#include <string>
#include <vector>

class IArchiveAccess;
class TBookInfo;

// Where a book's file is, copied under the catalogue lock, so that the disk can be asked
// without the record (on another thread, while a worker may rename it).
struct TBookPlace {
    std::string Path;   // the file, or the archive of a packed book (engine text)
    std::string Entry;  // the member of a packed book
    bool Packed = false;
    uint8_t Type = 0;  // file type without the packed bit
};
TBookPlace PlaceOf(const TBookInfo& book);

// The file, or its member, is on disk; asked through the caller's own archive access.
bool PlaceExists(IArchiveAccess& packer, const TBookPlace& place);
// The bytes of the file or member (raises the reason when they cannot be read).
std::vector<uint8_t> ReadPlace(IArchiveAccess& packer, const TBookPlace& place);
