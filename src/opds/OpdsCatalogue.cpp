#include "opds/OpdsCatalogue.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/AuthorName.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/BookSequence.h"
#include "catalogue/SVD.h"
#include "catalogue/TitleInfo.h"
#include "common/Dates.h"
#include "common/Encoding.h"
#include "common/TextUtils.h"
#include "scan/InpxImport.h"

namespace {

template <typename Node, typename Visit>
void WalkTree(Node& node, Visit&& visit) {
    for (size_t i = 0; i < node.Count(); ++i) {
        visit(node.Child(i));
        WalkTree(*node.Child(i), visit);
    }
}

// FNV-1a: stable across runs and machines, unlike std::hash.
uint64_t Fnv64(std::string_view text, uint64_t hash = 14695981039346656037ull) {
    for (const char c : text) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace

TOpdsCatalogue::TOpdsCatalogue(const std::string& libraryFile, bool includeDeleted)
    : library_(std::make_unique<TSVD>()) {
    library_->LoadFromFile(libraryFile);
    // A library of one imported collection is called by the collection's name.
    title_ = library_->MountPoints.size() == 1 && IsInpxCollection(*library_->MountPoints[0]) &&
                     !TrimBlanks(library_->MountPoints[0]->Caption).empty()
                 ? TrimBlanks(library_->MountPoints[0]->Caption)
                 : PathToAnsi(AnsiToPath(libraryFile).stem());
    TBookCollection all;
    for (const auto& mount : library_->MountPoints)
        mount->CollectBooks(all, true);
    for (TBookInfo* book : all.Books())
        if (!book->IsLost() && (includeDeleted || !IsInpxDeleted(*book))) books_.push_back(book);
    bookNumbers_.reserve(books_.size());
    bookIds_.reserve(books_.size());
    booksById_.reserve(books_.size());
    std::vector<std::string> searchTexts;
    searchTexts.reserve(books_.size());
    for (size_t i = 0; i < books_.size(); ++i) {
        bookNumbers_.emplace(books_[i], static_cast<int32_t>(i));
        const TBookInfo& b = *books_[i];
        // The path and entry name the book; a clash (unlikely in 64 bits) takes the next value.
        uint64_t id = Fnv64(b.EntryName, Fnv64(std::string_view("\0", 1), Fnv64(b.FullPath())));
        while (!booksById_.emplace(id, static_cast<int32_t>(i)).second)
            ++id;
        bookIds_.push_back(id);
        searchTexts.push_back(b.TitleText() + "\n" + b.AuthorsText() + "\n" + b.SeriesText());
        titleKeys_.push_back(FilterKey(b.TitleText()));
    }
    words_ = TWordIndex(searchTexts);
    searchTexts = {};
    newest_.resize(books_.size());
    for (size_t i = 0; i < newest_.size(); ++i)
        newest_[i] = static_cast<int32_t>(i);
    std::stable_sort(newest_.begin(), newest_.end(),
                     [&](int32_t a, int32_t b) { return books_[a]->AddedDate > books_[b]->AddedDate; });
    updated_ = newest_.empty() ? 0 : books_[static_cast<size_t>(newest_.front())]->AddedDate;
    if (updated_ <= 0) {
        std::error_code error;
        const auto written = std::filesystem::last_write_time(AnsiToPath(libraryFile), error);
        if (!error)
            updated_ = UnixToDateTime(std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::file_clock::to_sys(written).time_since_epoch())
                                          .count());
    }

    // Authors and series with a book served.
    auto served = [&](const std::vector<TBookInfo*>& books) {
        return std::any_of(books.begin(), books.end(), [&](const TBookInfo* b) { return BookNumber(b) >= 0; });
    };
    for (size_t i = 0; i < library_->Authors.Count(); ++i) {
        TAuthorInfo* author = library_->Authors.Author(i);
        TBookCollection books;
        author->CollectBooks(books);
        if (served(books.Books())) authors_.push_back(author);
    }
    std::vector<std::pair<std::string, TAuthorInfo*>> byName;
    for (TAuthorInfo* a : authors_) {
        const TAuthorName* first = a->Count() > 0 ? a->Name(0) : nullptr;
        const std::string key =
            first ? first->LastName() + " " + first->FirstName() + " " + first->MiddleName() : a->DisplayName();
        byName.emplace_back(FilterKey(key), a);
    }
    std::stable_sort(byName.begin(), byName.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (size_t i = 0; i < byName.size(); ++i) {
        authors_[i] = byName[i].second;
        letters_[AuthorLetter(*authors_[i])].push_back(static_cast<int32_t>(i));
    }

    std::vector<std::pair<std::string, TBookSequence*>> seriesByName;
    WalkTree(library_->Sequences, [&](TBookSequence* s) {
        bool any = false;
        for (const TBookLink& link : s->Links)
            any = any || BookNumber(link.Book) >= 0;
        if (any) seriesByName.emplace_back(FilterKey(s->DisplayName()), s);
    });
    std::stable_sort(seriesByName.begin(), seriesByName.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    for (const auto& [key, s] : seriesByName)
        series_.push_back(s);
    WalkTree(library_->Genres, [&](TBookGenre* g) {
        genreNumbers_.emplace(g, static_cast<int32_t>(genres_.size()));
        genres_.push_back(g);
    });
}

TOpdsCatalogue::~TOpdsCatalogue() = default;

int32_t TOpdsCatalogue::BookNumber(const TBookInfo* book) const {
    const auto it = bookNumbers_.find(book);
    return it == bookNumbers_.end() ? -1 : it->second;
}

std::string TOpdsCatalogue::BookId(int32_t book) const {
    if (book < 0 || static_cast<size_t>(book) >= bookIds_.size()) return {};
    static const char* hex = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15, v = 0; i >= 0; --i, ++v)
        text[static_cast<size_t>(i)] = hex[(bookIds_[static_cast<size_t>(book)] >> (4 * v)) & 15];
    return text;
}

int32_t TOpdsCatalogue::BookById(std::string_view id) const {
    if (id.size() != 16) return -1;
    uint64_t value = 0;
    for (const char c : id) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return -1;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    const auto it = booksById_.find(value);
    return it == booksById_.end() ? -1 : it->second;
}

int32_t TOpdsCatalogue::GenreNumber(const TBookGenre* genre) const {
    const auto it = genreNumbers_.find(genre);
    return it == genreNumbers_.end() ? -1 : it->second;
}

std::string TOpdsCatalogue::AuthorLetter(const TAuthorInfo& author) {
    const TAuthorName* first = author.Count() > 0 ? author.Name(0) : nullptr;
    std::string name = TrimBlanks(first ? first->LastName() : std::string());
    if (name.empty() && first) name = TrimBlanks(first->NickName());
    if (name.empty()) name = TrimBlanks(author.DisplayName());
    if (name.empty()) return "#";
    std::string letter = FoldYo(AnsiUpperCase(name.substr(0, 1)));
    const auto c = static_cast<uint8_t>(letter[0]);
    const bool isLetter = (c >= 'A' && c <= 'Z') || c >= 0xC0;
    return isLetter ? letter : "#";
}

std::vector<int32_t> TOpdsCatalogue::BooksOfAuthor(int32_t author) const {
    std::vector<int32_t> result;
    if (author < 0 || static_cast<size_t>(author) >= authors_.size()) return result;
    TBookCollection books;
    authors_[static_cast<size_t>(author)]->CollectBooks(books);
    for (TBookInfo* b : books.Books())
        if (const int32_t n = BookNumber(b); n >= 0) result.push_back(n);
    std::sort(result.begin(), result.end(), [&](int32_t x, int32_t y) {
        return titleKeys_[static_cast<size_t>(x)] < titleKeys_[static_cast<size_t>(y)];
    });
    return result;
}

std::vector<int32_t> TOpdsCatalogue::BooksOfSeries(int32_t series) const {
    std::vector<int32_t> result;
    if (series < 0 || static_cast<size_t>(series) >= series_.size()) return result;
    TBookCollection books;
    for (const TBookLink& link : series_[static_cast<size_t>(series)]->Links)
        books.Add(link.Book);
    for (TBookInfo* b : books.Books())
        if (const int32_t n = BookNumber(b); n >= 0) result.push_back(n);
    std::stable_sort(result.begin(), result.end(),
                     [&](int32_t x, int32_t y) { return books_[x]->SeriesNumber() < books_[y]->SeriesNumber(); });
    return result;
}

std::vector<int32_t> TOpdsCatalogue::BooksOfGenre(int32_t genre) const {
    std::vector<int32_t> result;
    if (genre < 0 || static_cast<size_t>(genre) >= genres_.size()) return result;
    TBookCollection books;
    auto take = [&](const TBookGenre* g) {
        for (const TBookLink& link : g->Links)
            books.Add(link.Book);
    };
    TBookGenre* root = genres_[static_cast<size_t>(genre)];
    take(root);
    WalkTree(*root, [&](TBookGenre* g) { take(g); });
    for (TBookInfo* b : books.Books())
        if (const int32_t n = BookNumber(b); n >= 0) result.push_back(n);
    return result;
}

std::vector<int32_t> TOpdsCatalogue::Search(const std::string& text) const {
    return words_.Find(text);
}

std::string TOpdsCatalogue::GenreCaption(const TBookGenre& genre) {
    return genre.RusName.empty() ? genre.Code : genre.RusName;
}
