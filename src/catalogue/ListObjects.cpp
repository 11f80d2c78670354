#include "catalogue/ListObjects.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "catalogue/AuthorList.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "fb2/Recoder.h"

namespace {

bool Contains(std::string_view value, const std::string& key) {
    return FilterKeyContains(value, key);
}

// Whether a text made only of these characters could contain the key at all: spares formatting
// dates and checksums for a key of letters.
bool OnlyOf(const std::string& key, std::string_view alphabet) {
    return key.find_first_not_of(alphabet) == std::string::npos;
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
    const std::string key = FilterKey(text);
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
            found = FoldYo(SearchKeyTrimmed(names[i])).find(key) != std::string::npos;
    } else if (column == 1) {
        found = std::to_string(s.BookCount()) == text;
    }
    for (size_t i = 0; i < s.Count() && !found; ++i)
        found = SequenceMatches(*s.Child(i), column, allNames, text, key);
    return found;
}

}  // namespace

bool TSequenceListObject::Matches(int column, int option, const std::string& text) const {
    return SequenceMatches(*Sequence, column, option != 0, text, FilterKey(text));
}

// ---- authors

const TRowClass TAuthorListObject::Class{{1061, 1062, 1063, 1064, 1067, 1065, 1068, 1069, 1066}};

namespace {

int CountRoles(const TAuthorInfo& author, unsigned roles) {
    int n = 0;
    for (size_t i = 0; i < author.Count(); ++i)
        n += author.Name(i)->CountByRoles(roles);
    return n;
}

const std::string& NamePart(const TAuthorName& s, int part) {
    switch (part) {
        case 0:
            return s.FirstName();
        case 1:
            return s.MiddleName();
        case 2:
            return s.LastName();
        default:
            return s.NickName();
    }
}

// A date shown in the short format contains the typed text or its key; no date never does.
bool DateContains(TDateTime date, const std::string& text, const std::string& key) {
    if (date == 0) return false;
    const std::string shown = ShortDateText(date);
    return shown.find(text) != std::string::npos || shown.find(key) != std::string::npos;
}

}  // namespace

TCellValue TAuthorListObject::GetValue(int column) const {
    const TAuthorName* first = Author->Count() ? Author->Name(0) : nullptr;
    if (column >= 0 && column <= 3) return TCellValue::OfText(first ? NamePart(*first, column) : std::string());
    if (!first && column >= 4 && column <= 7) return TCellValue::OfNumber(0);
    switch (column) {
        case 4:
            return TCellValue::OfNumber(Author->LinkCount());
        case 5:
            return TCellValue::OfNumber(CountRoles(*Author, 1u << 1 | 1u << 3));
        case 6:
            return TCellValue::OfNumber(CountRoles(*Author, 1u << 2 | 1u << 4));
        case 7:
            return TCellValue::OfNumber(CountRoles(*Author, 1u << 5));
        case 8: {
            const TDateTime latest = first ? Author->LatestModified() : 0;
            return TCellValue::OfDate(latest, latest != 0, kValueDateTime);
        }
        default:
            return {};
    }
}

void TAuthorListObject::CollectBooks(TBookCollection& books) const {
    Author->CollectBooks(books);
}

bool TAuthorListObject::CellMatches(int column, const std::string& text) const {
    const TCellValue v = GetValue(column);
    switch (v.Kind) {
        case kValueText:
        case kValueGroupText:
            return FoldYo(AnsiLowerCase(v.Text)).find(FoldYo(text)) != std::string::npos;
        case kValueInteger:
            return std::to_string(v.Number) == text;
        case kValueDate:
            return v.HasDate && ShortDateText(v.Date) == text;
        case kValueDateTime:
            return v.HasDate && ShortDateTimeText(v.Date) == text;
        default:
            return false;
    }
}

bool TAuthorListObject::Matches(int column, int option, const std::string& text) const {
    if (!option) {
        if (column >= 0) return CellMatches(column, text);
        for (int c = 0; c < ColumnCount(); ++c)
            if (CellMatches(c, text)) return true;
        return false;
    }
    const std::string key = FilterKey(text);
    const auto partContains = [&](const TAuthorName& s, int part) { return Contains(NamePart(s, part), key); };
    if (column < 0) {
        for (size_t i = 0; i < Author->Count(); ++i) {
            const TAuthorName& s = *Author->Name(i);
            for (int part = 0; part < 4; ++part)
                if (partContains(s, part)) return true;
            if (DateContains(s.Modified, text, key)) return true;
        }
        if (std::to_string(Author->LinkCount()) == text) return true;
        if (DateContains(Author->LatestModified(), text, key)) return true;
        for (int part = 0; part < 4; ++part)
            for (const std::string& synonym : Author->Synonyms(static_cast<TAuthorInfo::TNamePart>(part)))
                if (Contains(synonym, key)) return true;
        return false;
    }
    if (column <= 3) {
        for (size_t i = 0; i < Author->Count(); ++i)
            if (partContains(*Author->Name(i), column)) return true;
        return false;
    }
    if (column <= 7) return std::to_string(GetValue(column).Number) == text;
    if (column == 8) return DateContains(Author->LatestModified(), text, key);
    return false;
}

// ---- books

// The hidden mark comes only from old library files (nothing sets it), so for most libraries
// its column would call every book hidden: left out until the user adds it.
const TRowClass TBookListObject::Class{
    {1042, 1043, 1044, 1046, 1047, 1049, 1050, 1051, 1052, 1053, 1054, 1055, 1056, 1057, 1058, 1059, 1060}, {10}};

TCellValue TBookListObject::GetValue(int column) const {
    const TBookInfo& b = *Book;
    switch (column) {
        case 0:
            return TCellValue::OfText(b.TitleText());
        case 1:
            return TCellValue::OfText(b.AuthorsText());
        case 2:
            return TCellValue::OfText(b.SeriesText(), kValueGroupText);
        case 3:
            return TCellValue::OfNumber(b.SeriesNumber(), kValueOptional);
        case 4:
            return TCellValue::OfText(b.GenreNamesText());
        case 5:
            return TCellValue::OfDate(b.AddedDate, b.AddedDate != 0);
        case 6:
            return TCellValue::OfDate(b.FileDate, true, kValueDateTime);
        case 7:
            return TCellValue::OfText(b.Comment);
        case 8:
            return TCellValue::OfNumber(b.ReadDate != 0, kValueFlag);
        case 9:
            return TCellValue::OfDate(b.ReadDate, b.ReadDate != 0);
        case 10:
            return TCellValue::OfNumber((b.Flags & TBookInfo::kShown) == 0, kValueFlag);
        case 11:
            return TCellValue::OfNumber(b.Rating(), kValueThousandths);
        case 12:
            return TCellValue::OfNumber(b.Version);
        case 13:
            return TCellValue::OfText(b.FileNameInFolder());
        case 14:
            return TCellValue::OfText(b.FullPath());
        case 15:
            return TCellValue::OfNumber(b.Size);
        case 16:
            return TCellValue::OfNumber(b.Crc, kValueUnsigned);
        default:
            return {};
    }
}

void TBookListObject::CollectBooks(TBookCollection&) const {
    RaiseError(rsErrImproperCall);
}

namespace {

bool IsYes(const std::string& key) {
    return key == "1" || key == "true" || key == "x";
}

// 7750 reads 7.750, 500 reads .500.
std::string RatingText(int32_t rating) {
    std::string digits = std::to_string(rating);
    const size_t point = digits.size() > 3 ? digits.size() - 3 : 0;
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return digits.insert(point, ".");
}

}  // namespace

bool TBookListObject::ColumnMatches(int column, const std::string& key) const {
    const TBookInfo& b = *Book;
    const auto contains = [&](std::string_view value) { return Contains(value, key); };
    const auto dateContains = [&](TDateTime date) {
        return date != 0 && OnlyOf(key, "0123456789.-") && contains(ShortDateText(date));
    };
    switch (column) {
        case 0:
        case 1:
        case 2:
        case 7:
        case 13:
        case 14:
            return contains(GetValue(column).Text);
        case 4:  // a code finds its books as well as a name
            return contains(b.GenreNamesText()) || contains(b.GenresText());
        case 3:
            return std::to_string(b.SeriesNumber()) == key;
        case 5:
            return dateContains(b.AddedDate);
        case 6:
            return dateContains(b.FileDate);
        case 9:
            return dateContains(b.ReadDate);
        case 8:
            return IsYes(key) == (b.ReadDate != 0);
        case 10:
            return IsYes(key) == ((b.Flags & TBookInfo::kShown) == 0);
        case 11: {
            const int32_t rating = b.Rating();
            if (rating == 0) return key == "0";
            return RatingText(rating).rfind(key, 0) == 0;
        }
        case 12:
            return std::to_string(b.Version) == key;
        case 15:
            return std::to_string(b.Size) == key;
        case 16: {
            if (!OnlyOf(key, "0123456789abcdef")) return false;
            char crc[9];
            std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(b.Crc));
            return contains(crc);
        }
        default:
            return false;
    }
}

std::string TBookListObject::KeyOf(int option, const std::string& text) {
    return option ? FilterKey(text) : FoldYo(AnsiLowerCase(text));
}

bool TBookListObject::Matches(int column, int option, const std::string& text) const {
    const std::string key = KeyOf(option, text);
    if (column >= 0 && column < ColumnCount()) return ColumnMatches(column, key);
    return MatchesAnyColumn(key);
}

bool TBookListObject::MatchesAnyColumn(const std::string& key) const {
    // Every column but the read and hidden marks and the rating.
    for (int c : {0, 1, 2, 3, 4, 5, 6, 7, 9, 12, 13, 14, 15, 16})
        if (ColumnMatches(c, key)) return true;
    return false;
}

// Every column but the read and hidden marks and the rating: the texts searched (a line each,
// so a key, which holds no line end, is found within one), then the numbers compared.
std::string TBookListObject::SearchText() const {
    const TBookInfo& b = *Book;
    std::string text;
    text.reserve(256);
    const auto add = [&text](std::string_view value) {
        AppendFilterKey(text, value);
        text += '\n';
    };
    add(b.TitleText());
    add(b.AuthorsText());
    add(b.SeriesText());
    add(b.Comment);
    add(b.FileNameInFolder());
    add(b.FullPath());
    add(b.GenreNamesText());
    add(b.GenresText());
    for (TDateTime date : {b.AddedDate, b.FileDate, b.ReadDate})
        if (date != 0) add(ShortDateText(date));
    static const char kHex[] = "0123456789abcdef";  // the CRC's filter key: lower case
    for (int shift = 28; shift >= 0; shift -= 4)
        text += kHex[(static_cast<uint32_t>(b.Crc) >> shift) & 0xF];
    text += '\n';
    return text;
}

bool TBookListObject::MatchesEverywhere(const std::string& searchText, const std::string& key) const {
    if (key.find('\n') != std::string::npos) return MatchesAnyColumn(key);
    if (searchText.find(key) != std::string::npos) return true;
    return ColumnMatches(3, key) || ColumnMatches(12, key) || ColumnMatches(15, key);
}

// ---- the full-text filter

bool TextFilterMatches(std::string_view bookText, const std::string& filter, bool extended) {
    if (!extended) return FoldYo(AnsiLowerCase(bookText)).find(FoldYo(AnsiLowerCase(filter))) != std::string::npos;
    // The skeleton key ends with a NUL that would only match at the very end of the text.
    std::string key = FoldYo(MatchKey(filter));
    if (!key.empty() && key.back() == '\0') key.pop_back();
    const std::string text = FoldYo(MatchKey(bookText));
    return text.find(key) != std::string::npos;
}
