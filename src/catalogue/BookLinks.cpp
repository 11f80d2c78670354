#include "catalogue/BookLinks.h"

bool TBookLinks::Contains(const TBookInfo* book, uint8_t role) const {
    for (const TBookLink& link : links_)
        if (link.Book == book && link.Role == role) return true;
    return false;
}

void TBookLinks::Append(TBookInfo* book, uint8_t role) {
    if (links_.size() == links_.capacity()) {
        const size_t capacity = links_.capacity();
        links_.reserve(capacity + (capacity < 17 ? 4 : capacity < 65 ? 8 : capacity / 4));
    }
    links_.push_back({book, role});
}

bool TBookLinks::RemoveLast(const TBookInfo* book, uint8_t role) {
    for (size_t i = links_.size(); i-- > 0;) {
        if (links_[i].Book == book && (role == 0 || links_[i].Role == role)) {
            links_.erase(links_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

int TBookLinks::CountByRoles(unsigned roleSet) const {
    int n = 0;
    for (const TBookLink& link : links_)
        n += (roleSet >> link.Role) & 1;
    return n;
}

bool TBookCollection::Add(TBookInfo* book) {
    if (!seen_.insert(book).second) return false;
    books_.push_back(book);
    return true;
}
