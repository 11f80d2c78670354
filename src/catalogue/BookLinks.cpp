#include "catalogue/BookLinks.h"

#include <stdexcept>

#include "catalogue/BookInfo.h"

static_assert(alignof(TBookInfo) >= 8, "a link keeps its role in the book address's low bits");

bool TBookLinks::Contains(const TBookInfo* book, uint8_t role) const {
    const uintptr_t packed = Pack(book, role);
    for (const uintptr_t link : links_)
        if (link == packed) return true;
    return false;
}

void TBookLinks::Append(TBookInfo* book, uint8_t role) {
    if (role > kRoleBits) throw std::invalid_argument("TBookLinks: role out of range");
    if (links_.size() == links_.capacity()) {
        const size_t capacity = links_.capacity();
        links_.reserve(capacity + (capacity < 17 ? 4 : capacity < 65 ? 8 : capacity / 4));
    }
    links_.push_back(Pack(book, role));
}

bool TBookLinks::RemoveLast(const TBookInfo* book, uint8_t role) {
    for (size_t i = links_.size(); i-- > 0;) {
        const TBookLink link = Unpack(links_[i]);
        if (link.Book == book && (role == 0 || link.Role == role)) {
            links_.erase(links_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

int TBookLinks::CountByRoles(unsigned roleSet) const {
    int n = 0;
    for (const uintptr_t link : links_)
        n += (roleSet >> (link & kRoleBits)) & 1;
    return n;
}

bool TBookCollection::Add(TBookInfo* book) {
    if (!seen_.insert(book).second) return false;
    books_.push_back(book);
    return true;
}
