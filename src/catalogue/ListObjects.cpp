#include "catalogue/ListObjects.h"

#include <cerrno>
#include <cstdlib>

#include "catalogue/BookGenre.h"
#include "catalogue/BookSequence.h"
#include "common/TextUtils.h"

namespace {

bool Contains(std::string_view value, const std::string& key) {
    return SearchKey(value).find(key) != std::string::npos;
}

}  // namespace

int64_t FilterNumber(const std::string& text, int64_t fallback) {
    if (text.empty()) return fallback;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || end == text.c_str()) return fallback;
    return value;
}

const TRowClass TGenreListObject::Class{{1036, 1037, 1038, 1039}};

TCellValue TGenreListObject::GetValue(int column) const {
    switch (column) {
        case 0:
            return TCellValue::OfText(Genre->Code);
        case 1:
            return TCellValue::OfText(Genre->RusName);
        case 2:
            return TCellValue::OfText(Genre->Comment);
        case 3:
            return TCellValue::OfNumber(Genre->BookCount());
        default:
            return {};
    }
}

void TGenreListObject::CollectBooks(TBookCollection& books) const {
    Genre->CollectBooks(books);
}

bool TGenreListObject::Matches(int column, int, const std::string& text) const {
    const std::string key = SearchKey(text);
    switch (column) {
        case 0:
            return Contains(Genre->Code, key);
        case 1:
            return Contains(Genre->RusName, key);
        case 2:
            return Contains(Genre->Comment, key);
        case 3:
            return FilterNumber(text, -100) == Genre->BookCount();
        default:
            return false;
    }
}

const TRowClass TSequenceListObject::Class{{1040, 1041}};

TCellValue TSequenceListObject::GetValue(int column) const {
    switch (column) {
        case 0:
            return TCellValue::OfText(Sequence->Names().empty() ? std::string() : Sequence->Names().front());
        case 1:
            return TCellValue::OfNumber(Sequence->BookCount());
        default:
            return {};
    }
}

void TSequenceListObject::CollectBooks(TBookCollection& books) const {
    Sequence->CollectBooks(books);
}

namespace {

bool SequenceMatches(const TBookSequence& s, int column, bool allNames, const std::string& text,
                     const std::string& key) {
    bool found = false;
    if (column == 0) {
        const auto& names = s.Names();
        for (size_t i = 0; i < names.size() && !found && (allNames || i == 0); ++i)
            found = SearchKeyTrimmed(names[i]).find(key) != std::string::npos;
    } else if (column == 1) {
        found = std::to_string(s.BookCount()) == text;
    }
    for (size_t i = 0; i < s.Count() && !found; ++i)
        found = SequenceMatches(*s.Child(i), column, allNames, text, key);
    return found;
}

}  // namespace

bool TSequenceListObject::Matches(int column, int option, const std::string& text) const {
    return SequenceMatches(*Sequence, column, option != 0, text, SearchKey(text));
}
