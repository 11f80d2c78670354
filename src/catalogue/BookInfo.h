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
class TFictionBook;
class TSVD;
class TSVDStream;

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
    // Adds a non-empty title not listed yet (ignoring case); a provisional title equal to the
    // book's file name then makes way for the real one.
    void AddTitle(const std::string& title);
    // Replaces the first occurrence of source by target at the end of the list; false when
    // source is not listed.
    bool ReplaceGenre(TBookGenre* source, TBookGenre* target);
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
    bool HasData() const;
    void Assign(const TDocumentInfo& other);
    void Clear();

    void SaveToStream(TSVDStream& stream) const;
    void LoadFromStream(TSVDStream& stream, const TSVD& catalogue);
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
    bool HasData() const;
    void Assign(const TPublishInfo& other);
    void Clear();

    void SaveToStream(TSVDStream& stream) const;
    void LoadFromStream(TSVDStream& stream, const TSVD& catalogue);
};

// File types by extension.
enum TFileType : uint8_t {
    kFileText = 1,
    kFileHtml = 2,
    kFileFb2 = 3,
    kFileRtf = 4,
    kFileBmp = 5,
    kFilePng = 6,
    kFileJpeg = 7,
    kFileGif = 8,
    kFileXml = 9,
    kFilePalm = 10,
    kFileZip = 11,
    kFileArj = 12,
    kFileRar = 13,
    kFileOther = 14,
};
// The type of a file name by its extension (lower-cased), kFileOther when unknown.
uint8_t FileTypeOfName(const std::string& name);

// The byte-frequency table of a book's text. Most books have none, so it takes memory only
// while it holds counts; without one every count reads 0.
class TByteCounts final {
public:
    using TTable = std::array<int32_t, 256>;

    TByteCounts() = default;
    TByteCounts(const TByteCounts& other) { *this = other; }
    TByteCounts& operator=(const TByteCounts& other) {
        if (this != &other) table_ = other.table_ ? std::make_unique<TTable>(*other.table_) : nullptr;
        return *this;
    }
    TByteCounts& operator=(const TTable& table) {
        table_ = std::make_unique<TTable>(table);
        return *this;
    }

    int32_t operator[](size_t byte) const { return table_ ? (*table_)[byte] : 0; }
    // Writing access creates the table.
    int32_t& operator[](size_t byte) {
        if (!table_) table_ = std::make_unique<TTable>();
        return (*table_)[byte];
    }
    const int32_t* begin() const { return table_ ? table_->data() : Zeros().data(); }
    const int32_t* end() const { return begin() + 256; }
    // Some byte was counted at least once.
    bool Any() const;
    void Reset() { table_.reset(); }
    bool operator==(const TByteCounts& other) const;

private:
    static const TTable& Zeros();
    std::unique_ptr<TTable> table_;
};

// What a refresh reads of a book file or archive member, ready to be taken over: it can be
// prepared on another thread, away from the catalogue.
struct TPreparedContent {
    int64_t Size = 0;
    TDateTime Date = 0;
    bool HasCrc = false;
    uint32_t Crc = 0;  // over at most the first 16 MiB
    bool HasCounts = false;
    TByteCounts Counts;
    std::shared_ptr<TFictionBook> Document;  // the parsed description of an FB2 book
    std::string ParseError;                  // why an FB2 book's description could not be read
};

class IArchiveAccess;
// The bytes of a book file or archive member (packer is needed for packed books only). Raises
// when they cannot be read, and for files of 2 GiB or more.
std::vector<uint8_t> ReadBookBytes(IArchiveAccess* packer, const std::string& fullPath, bool packed,
                                   const std::string& entryName);

// Reads a book's content once: with 1 in what the CRC-32, with 2 the byte counts, with 4 (an
// FB2 book) the description. packer is needed for packed books only. Raises when the file
// cannot be read.
TPreparedContent PrepareBookContent(IArchiveAccess* packer, const std::string& fullPath, bool packed,
                                    const std::string& entryName, unsigned what);

// One book file of the catalogue and what its FB2 description says.
class TBookInfo {
public:
    // Notification kinds.
    static constexpr int kRemoved = 0, kAdded = 1, kMoved = 2, kChanged = 3;
    // Flags.
    static constexpr uint16_t kShown = 0x0001, kReadOnly = 0x0004, kHasByteCounts = 0x0008, kHasTitleInfo = 0x0010,
                              kHasSrcTitleInfo = 0x0020, kHasDocumentInfo = 0x0040, kHasPublishInfo = 0x0080,
                              kHasVotes = 0x0100, kHasReadDate = 0x0200, kHasComment = 0x0400, kHasVersion = 0x0800,
                              kHasColor = 0x1000, kLost = 0x2000;
    // CRC-32 and byte counts of a file cover at most its first 16 MiB.
    static constexpr int64_t kCrcLimit = 16 << 20;

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
    TByteCounts ByteCounts;
    uint8_t Color = 0;

    TSVD* Container() const { return catalogue_; }

    // FileName, or FileName/EntryName for a packed book.
    std::string FileNameInFolder() const;
    // The folder's path and FileName (the archive's path for a packed book); a lost book's old path.
    virtual std::string FullPath() const;
    // FileType, or the type of the extension of EntryName (packed) or FileName.
    uint8_t GetFileType() const;
    bool IsLost() const { return Flags & kLost; }
    void SetLost(bool lost);
    bool IsReadOnly() const;
    // Raises "Document is read only!" for a read-only book.
    void CheckWritable() const;
    // The file (and for a packed book its archive entry) is there; sets the lost state.
    // The file (and for a packed book its member) is there; changes nothing.
    bool ExistsOnDisk() const;
    bool CheckExists();
    // Refreshes size, date and, with 1 in what, the CRC-32 and, with 2, the byte counts from
    // the file (for a packed book from its archive entry). True when something changed.
    bool UpdateFileInfo(unsigned what);
    void ComputeByteCounts(const uint8_t* data, size_t size);
    // The refresh of a scan: the lost state, the file facts (UpdateFileInfo) and, with 4 in
    // what, the FB2 description, imported with replace as given. prepared, when given, is what
    // PrepareBookContent read of this book ahead of time. Sends the change notification after
    // the catalogue lock is released; true when anything changed.
    bool UpdateFromDisk(unsigned what, bool replace, const TPreparedContent* prepared = nullptr);

    // The mean mark times 1000 (0 to 10 000).
    int32_t Rating() const;
    std::string TitleText() const;
    std::string AuthorsText() const;
    std::string SeriesText() const;
    int32_t SeriesNumber() const;
    std::string GenresText() const;

    void SetNames(const std::string& fileName, const std::string& entryName);
    // Renames the file on disk within its folder; packed books are refused.
    void Rename(const std::string& newName);
    // Deletes the file (a packed book: its archive entry); false when that failed.
    virtual bool DeleteFile();
    // Moves the file into another catalogue folder's directory.
    bool MoveToFolder(TBookFolder* folder);
    // Copies everything from another book; the description parts are linked to this book.
    virtual void Assign(const TBookInfo& other);

    virtual void SaveToStream(TSVDStream& stream, bool withImages);
    virtual void LoadFromStream(TSVDStream& stream);
    void LoadOldFromStream(TSVDStream& stream);

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
    // Recomputes the presence flags from the data, just before writing.
    void UpdateFlags();

private:
    TSVD* catalogue_;
};

// A book whose file was not found any more; kept by the catalogue with its old path.
class TLostBookInfo final : public TBookInfo {
public:
    explicit TLostBookInfo(TSVD* catalogue) : TBookInfo(catalogue) {}

    std::string OldPath;
    TDateTime LostDate = 0;

    std::string FullPath() const override { return OldPath; }
    // Nothing to delete: only the removal is announced.
    bool DeleteFile() override;
    // Takes over a book: its old path and the time it was lost (now), or those of a lost book.
    void Assign(const TBookInfo& other) override;
    void Clear() override;
    void SaveToStream(TSVDStream& stream, bool withImages) override;
    void LoadFromStream(TSVDStream& stream) override;
};
