#include "shell/BookPlace.h"

#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"

TBookPlace PlaceOf(const TBookInfo& book) {
    TCatalogueGuard guard;
    return {book.FullPath(), book.EntryName, book.Packed, static_cast<uint8_t>(book.GetFileType() & 0x7F)};
}

bool PlaceExists(IArchiveAccess& packer, const TBookPlace& place) {
    return BookFileExists(&packer, place.Path, place.Packed, place.Entry);
}

std::vector<uint8_t> ReadPlace(IArchiveAccess& packer, const TBookPlace& place) {
    return ReadBookBytes(&packer, place.Path, place.Packed, place.Entry);
}
