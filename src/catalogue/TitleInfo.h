#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/CompactList.h"
#include "common/Text.h"

class TAuthorName;
class TBookGenre;
class TBookInfo;
class TBookSequence;
class TSVD;
class TSVDStream;

// One series entry of a description part: the series and the book's number in it.
struct TSequenceEntry {
    TBookSequence* Sequence = nullptr;
    int32_t Number = 0;

    bool operator==(const TSequenceEntry&) const = default;
};
using TSequenceEntries = TCompactList<TSequenceEntry>;
using TSpellingList = TCompactList<TAuthorName*>;
using TTextList = TCompactList<TText>;

// Roles of a book's references to genres (1, 2), series (1, 2, 3) and spellings (1 to 5).
enum TBookRole : uint8_t {
    kRoleTitle = 1,            // title-info: genres, series, authors
    kRoleTitleTranslator = 2,  // title-info translators; src-title-info genres and series
    kRoleSrcAuthor = 3,        // src-title-info authors; publish-info series
    kRoleSrcTranslator = 4,
    kRoleDocumentAuthor = 5,
};

// The FB2 title-info or src-title-info of a book. Every genre, series and spelling it lists is
// linked back to the book with this part's role.
class TTitleInfo final {
public:
    TTitleInfo(TBookInfo* book, bool source) : Book(book), IsSource(source) {}
    ~TTitleInfo() { Clear(); }
    TTitleInfo(const TTitleInfo&) = delete;
    TTitleInfo& operator=(const TTitleInfo&) = delete;

    TBookInfo* const Book;
    const bool IsSource;  // src-title-info
    TCompactList<TBookGenre*> Genres;
    TSpellingList Authors;
    TTextList Titles;
    TText Annotation;
    TText Keywords;
    TText DateText;
    TCompactList<uint8_t> Cover;  // a Windows BMP file image, empty when none
    TText Lang;
    TText SrcLang;
    TSpellingList Translators;
    TSequenceEntries Sequences;

    uint8_t GenreRole() const { return IsSource ? 2 : 1; }
    uint8_t AuthorRole() const { return IsSource ? kRoleSrcAuthor : kRoleTitle; }
    uint8_t TranslatorRole() const { return IsSource ? kRoleSrcTranslator : kRoleTitleTranslator; }
    uint8_t SequenceRole() const { return IsSource ? 2 : 1; }

    void AddGenre(TBookGenre* genre, bool quiet);
    void AddAuthor(TAuthorName* spelling);
    void AddTranslator(TAuthorName* spelling);
    void AddSequence(TBookSequence* series, int32_t number, bool quiet);
    // Adds a non-empty title not listed yet (ignoring case); a provisional title equal to the
    // book's file name then makes way for the real one.
    void AddTitle(const std::string& title);
    // Replaces the first occurrence of source by target at the end of the list; false when
    // source is not listed.
    bool ReplaceGenre(TBookGenre* source, TBookGenre* target);
    // Replace a whole list, unlinking what goes and linking what comes (the list dialog's OK).
    void SetAuthors(const std::vector<TAuthorName*>& spellings);
    void SetTitles(const std::vector<std::string>& titles);
    void SetGenres(const std::vector<TBookGenre*>& genres);
    void SetSequences(const TSequenceEntries& entries);
    bool HasData() const;
    // Copies every list and text and links the copies to this part's book.
    void Assign(const TTitleInfo& other);
    void Clear();

    void SaveToStream(TSVDStream& stream, bool withImages) const;
    // Raises rsDebugError for a genre or spelling number the catalogue has not read.
    void LoadFromStream(TSVDStream& stream, const TSVD& catalogue);

private:
    void LinkSequence(TBookSequence* series, bool quiet);
};
