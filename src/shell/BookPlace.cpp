#include "shell/BookPlace.h"

#include <filesystem>

#include "catalogue/ArchiveAccess.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "common/Encoding.h"

TBookPlace PlaceOf(const TBookInfo& book) {
    TCatalogueGuard guard;
    return {book.FullPath(), book.EntryName, book.Packed, static_cast<uint8_t>(book.GetFileType() & 0x7F),
            book.IsReadOnly()};
}

bool PlaceExists(IArchiveAccess& packer, const TBookPlace& place) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(AnsiToPath(place.Path), error)) return false;
    return !place.Packed || packer.Contains(place.Path, place.Entry);
}

std::vector<uint8_t> ReadPlace(IArchiveAccess& packer, const TBookPlace& place) {
    return ReadBookBytes(&packer, place.Path, place.Packed, place.Entry);
}
