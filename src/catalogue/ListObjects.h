#pragma once

#include <string_view>

#include "catalogue/ObjList.h"

class TAuthorInfo;
class TBookGenre;
class TBookInfo;
class TBookSequence;

// A genre row: code, Russian name, comment, books.
class TGenreListObject final : public TListObject {
public:
    explicit TGenreListObject(TBookGenre* genre) : Genre(genre) {}
    TBookGenre* Genre;

    static const TRowClass Class;
    const TRowClass& RowClass() const override { return Class; }
    const void* Entity() const override { return Genre; }
    TCellValue GetValue(int column) const override;
    void CollectBooks(TBookCollection& books) const override;
    // Columns 0 to 2: the text is found in the value (letter case and look-alike letters aside);
    // column 3: the text is the number of books. The option is not used.
    bool Matches(int column, int option, const std::string& text) const override;
};

// A series row: name, books.
class TSequenceListObject final : public TListObject {
public:
    explicit TSequenceListObject(TBookSequence* sequence) : Sequence(sequence) {}
    TBookSequence* Sequence;

    static const TRowClass Class;
    const TRowClass& RowClass() const override { return Class; }
    const void* Entity() const override { return Sequence; }
    TCellValue GetValue(int column) const override;
    void CollectBooks(TBookCollection& books) const override;
    // Column 0: the text is found in the first name, or with option non-zero in any name;
    // column 1: the text is the number of books. A series whose sub-series matches matches too.
    bool Matches(int column, int option, const std::string& text) const override;
};

// An author row: the first spelling's name parts, link counts, the latest change.
class TAuthorListObject final : public TListObject {
public:
    explicit TAuthorListObject(TAuthorInfo* author) : Author(author) {}
    TAuthorInfo* Author;  // maybe the placeholder author

    static const TRowClass Class;
    const TRowClass& RowClass() const override { return Class; }
    const void* Entity() const override { return Author; }
    TCellValue GetValue(int column) const override;
    void CollectBooks(TBookCollection& books) const override;
    // Option non-zero ("smart"): name parts of every spelling and the synonyms are searched by
    // their filter keys, numbers and dates as typed; otherwise the cell values of the column (a
    // negative column: of any column) are tested. A missing date never matches.
    bool Matches(int column, int option, const std::string& text) const override;

private:
    bool CellMatches(int column, const std::string& text) const;
};

// A book row: title, authors, series, dates, marks, file data.
class TBookListObject final : public TListObject {
public:
    explicit TBookListObject(TBookInfo* book) : Book(book) {}
    TBookInfo* Book;

    static const TRowClass Class;
    const TRowClass& RowClass() const override { return Class; }
    const void* Entity() const override { return Book; }
    TCellValue GetValue(int column) const override;
    // A book row stands for no collection of books: raises rsErrImproperCall.
    void CollectBooks(TBookCollection& books) const override;
    // The text (its filter key with option non-zero, else lower-cased) against the cell's
    // filter key; a column out of range searches the usual columns. A missing date never matches.
    bool Matches(int column, int option, const std::string& text) const override;

    // The key Matches compares for a filter text.
    static std::string KeyOf(int option, const std::string& text);
    // Every text the search of all columns looks in, each as its filter key, one a line: made
    // once, it serves every key typed after (a list keeps it while its filter is in use).
    std::string SearchText() const;
    // Matches over all columns with a key from KeyOf: column by column, stopping at the first
    // that matches; or with a SearchText made before, one search.
    bool MatchesAnyColumn(const std::string& key) const;
    bool MatchesEverywhere(const std::string& searchText, const std::string& key) const;

private:
    bool ColumnMatches(int column, const std::string& key) const;
};

// The book list's filter over a book's full text: the lower-cased filter in the lower-cased
// text, or, extended, the filter's comparison skeleton anywhere in the text's.
bool TextFilterMatches(std::string_view bookText, const std::string& filter, bool extended);

// The filter's reading of a number: the decimal integer the text holds, or fallback.
int64_t FilterNumber(const std::string& text, int64_t fallback);
