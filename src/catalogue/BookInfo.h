#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Dates.h"

class TAuthorName;
class TBookFolder;
class TBookGenre;
class TBookInfo;
class TBookSequence;
class TSVD;

// One series entry of a description part: the series and the book's number in it.
struct TSequenceEntry {
    TBookSequence* Sequence = nullptr;
    int32_t Number = 0;

    bool operator==(const TSequenceEntry&) const = default;
};
using TSequenceEntries = std::vector<TSequenceEntry>;

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
    std::vector<TBookGenre*> Genres;
    std::vector<TAuthorName*> Authors;
    std::vector<std::string> Titles;
    std::string Annotation;
    std::string Keywords;
    std::string DateText;
    std::vector<uint8_t> Cover;  // a Windows BMP file image, empty when none
    std::string Lang;
    std::string SrcLang;
    std::vector<TAuthorName*> Translators;
    TSequenceEntries Sequences;

    uint8_t GenreRole() const { return IsSource ? 2 : 1; }
    uint8_t AuthorRole() const { return IsSource ? kRoleSrcAuthor : kRoleTitle; }
    uint8_t TranslatorRole() const { return IsSource ? kRoleSrcTranslator : kRoleTitleTranslator; }
    uint8_t SequenceRole() const { return IsSource ? 2 : 1; }

    void AddGenre(TBookGenre* genre, bool quiet);
    void AddAuthor(TAuthorName* spelling);
    void AddTranslator(TAuthorName* spelling);
    void AddSequence(TBookSequence* series, int32_t number, bool quiet);
    // Replaces the first occurrence of source by target at the end of the list; false when
    // source is not listed.
    bool ReplaceGenre(TBookGenre* source, TBookGenre* target);
    void Clear();

private:
    void LinkSequence(TBookSequence* series, bool quiet);
};

// The FB2 document-info of a book; its authors are linked with role 5.
class TDocumentInfo final {
public:
    explicit TDocumentInfo(TBookInfo* book) : Book(book) {}
    ~TDocumentInfo() { Clear(); }
    TDocumentInfo(const TDocumentInfo&) = delete;
    TDocumentInfo& operator=(const TDocumentInfo&) = delete;

    TBookInfo* const Book;
    std::vector<TAuthorName*> Authors;
    std::string ProgramUsed;
    TDateTime Date = 0;
    std::vector<std::string> SrcUrls;
    std::string SrcOcr;
    std::string Id;
    std::string DocVersion;
    std::string History;

    void AddAuthor(TAuthorName* spelling);
    void Clear();
};

// The FB2 publish-info of a book with the texts of its custom-info elements; its series
// entries are linked with role 3.
class TPublishInfo final {
public:
    explicit TPublishInfo(TBookInfo* book) : Book(book) {}
    ~TPublishInfo() { Clear(); }
    TPublishInfo(const TPublishInfo&) = delete;
    TPublishInfo& operator=(const TPublishInfo&) = delete;

    TBookInfo* const Book;
    std::string BookName;
    std::string Publisher;
    std::string City;
    std::string Year;
    std::string Isbn;
    TSequenceEntries Sequences;
    std::vector<std::string> CustomInfo;

    void AddSequence(TBookSequence* series, int32_t number, bool quiet);
    void Clear();
};

// One book file of the catalogue and what its FB2 description says.
class TBookInfo {
public:
    // Notification kinds.
    static constexpr int kRemoved = 0, kAdded = 1, kMoved = 2, kChanged = 3;

    // catalogue receives the book's notifications; may be null in tests.
    explicit TBookInfo(TSVD* catalogue);
    virtual ~TBookInfo();
    TBookInfo(const TBookInfo&) = delete;
    TBookInfo& operator=(const TBookInfo&) = delete;

    TBookFolder* Folder = nullptr;
    uint16_t Flags = 0;
    uint8_t FileType = 0;
    bool Packed = false;
    std::unique_ptr<TTitleInfo> TitleInfo;
    std::unique_ptr<TTitleInfo> SrcTitleInfo;
    std::unique_ptr<TDocumentInfo> DocumentInfo;
    std::unique_ptr<TPublishInfo> PublishInfo;
    std::array<int32_t, 11> Votes{};
    TDateTime FileDate = 0;
    TDateTime AddedDate = 0;
    TDateTime ReadDate = 0;
    std::string FileName;
    std::string EntryName;
    int32_t Size = 0;
    uint32_t Crc = 0;
    std::string Comment;
    uint8_t Version = 0;
    std::array<int32_t, 256> ByteCounts{};
    uint8_t Color = 0;

    TSVD* Container() const { return catalogue_; }

    // The part for a role of a series entry (1 title-info, 2 src-title-info, 3 publish-info).
    TSequenceEntries* SequenceEntries(uint8_t role);
    // The spelling list for an author role (1 to 5), or null when the part is missing.
    std::vector<TAuthorName*>* AuthorList(uint8_t role);

    // The description parts, created on first use.
    TTitleInfo& EnsureTitleInfo();
    TTitleInfo& EnsureSrcTitleInfo();
    TDocumentInfo& EnsureDocumentInfo();
    TPublishInfo& EnsurePublishInfo();

    void NotifyChanged();
    void NotifyRemoved();
    void NotifyAdded();
    void NotifyMoved();

    // Frees the description parts (unlinking everything) and resets every field.
    virtual void Clear();

protected:
    void Notify(int kind);

private:
    TSVD* catalogue_;
};
