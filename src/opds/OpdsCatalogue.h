#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "opds/WordIndex.h"

class TAuthorInfo;
class TBookGenre;
class TBookInfo;
class TBookSequence;
class TSVD;

// A library as the server shows it: loaded once from its file and never changed afterwards, so
// any number of requests read it at once. Authors, series and genres are numbered by their
// place in this snapshot; a book is named in URLs by an identity made from its file and entry,
// which stays the same when other books come and go. A URL never carries a path.
class TOpdsCatalogue final {
public:
    // Loads the library file (engine text path); raises what the load raises. Lost books are
    // left out (there is nothing to serve), and so are books their collection's index deletes
    // unless includeDeleted.
    explicit TOpdsCatalogue(const std::string& libraryFile, bool includeDeleted = false);
    ~TOpdsCatalogue();
    TOpdsCatalogue(const TOpdsCatalogue&) = delete;
    TOpdsCatalogue& operator=(const TOpdsCatalogue&) = delete;

    const std::string& Title() const { return title_; }
    // When the library last gained a book (its newest added date; the file's date when none).
    double Updated() const { return updated_; }
    const std::vector<TBookInfo*>& Books() const { return books_; }
    // Book numbers, newest added first.
    const std::vector<int32_t>& Newest() const { return newest_; }
    const std::vector<TAuthorInfo*>& Authors() const { return authors_; }  // by name
    const std::vector<TBookSequence*>& Series() const { return series_; }  // with books, by name
    const std::vector<TBookGenre*>& Genres() const { return genres_; }     // every node, tree order

    // The number of an entity, -1 when it is not in the snapshot.
    int32_t BookNumber(const TBookInfo* book) const;
    // A book's identity: 16 lower-case hex digits from its file path and entry.
    std::string BookId(int32_t book) const;
    // The book of an identity, -1 for none.
    int32_t BookById(std::string_view id) const;
    int32_t GenreNumber(const TBookGenre* genre) const;
    // The first letter an author is filed under (engine text, upper case), "#" for none.
    static std::string AuthorLetter(const TAuthorInfo& author);
    // The letters authors are filed under, each with its authors' numbers (in name order).
    const std::map<std::string, std::vector<int32_t>>& AuthorsByLetter() const { return letters_; }
    // Book numbers of an author, a series (by number in the series) and a genre (with its
    // sub-genres), each book once.
    std::vector<int32_t> BooksOfAuthor(int32_t author) const;
    std::vector<int32_t> BooksOfSeries(int32_t series) const;
    std::vector<int32_t> BooksOfGenre(int32_t genre) const;
    // Books whose title, authors and series hold every word of the text, each as a word or
    // the start of one (ignoring case, ё as е).
    std::vector<int32_t> Search(const std::string& text) const;
    static std::string GenreCaption(const TBookGenre& genre);

private:
    std::unique_ptr<TSVD> library_;
    std::string title_;
    std::vector<TBookInfo*> books_;
    std::vector<int32_t> newest_;
    std::vector<TAuthorInfo*> authors_;
    std::vector<TBookSequence*> series_;
    std::vector<TBookGenre*> genres_;
    std::unordered_map<const TBookInfo*, int32_t> bookNumbers_;
    std::vector<uint64_t> bookIds_;
    std::unordered_map<uint64_t, int32_t> booksById_;
    double updated_ = 0;
    std::unordered_map<const TBookGenre*, int32_t> genreNumbers_;
    TWordIndex words_;                    // of each book's title, authors and series
    std::vector<std::string> titleKeys_;  // per book: the title's filter key, for ordering
    std::map<std::string, std::vector<int32_t>> letters_;
};
