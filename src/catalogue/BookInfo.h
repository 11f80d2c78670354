#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/DocumentInfo.h"
#include "catalogue/PublishInfo.h"
#include "catalogue/TitleInfo.h"
#include "common/Dates.h"

class TAuthorName;
class TBookFolder;
class TBookGenre;
class TBookInfo;
class TBookSequence;
class TFictionBook;
class TSVD;
class TSVDStream;

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

// A table of counts that most books leave empty (the byte frequencies of a book's text, the
// votes for each mark): it takes memory only while it holds counts; without one every count
// reads 0.
template <size_t N>
class TCountTable final {
public:
    using TTable = std::array<int32_t, N>;

    TCountTable() = default;
    TCountTable(const TCountTable& other) { *this = other; }
    TCountTable& operator=(const TCountTable& other) {
        if (this != &other) table_ = other.table_ ? std::make_unique<TTable>(*other.table_) : nullptr;
        return *this;
    }
    TCountTable& operator=(const TTable& table) {
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
    const int32_t* end() const { return begin() + N; }
    static constexpr size_t size() { return N; }
    // Some count is at least 1.
    bool Any() const {
        return table_ && std::any_of(table_->begin(), table_->end(), [](int32_t n) { return n >= 1; });
    }
    void Reset() { table_.reset(); }
    bool operator==(const TCountTable& other) const { return std::equal(begin(), end(), other.begin()); }

private:
    static const TTable& Zeros() {
        static const TTable zeros{};
        return zeros;
    }
    std::unique_ptr<TTable> table_;
};
using TByteCounts = TCountTable<256>;
// Votes for the marks 0 to 10.
using TVotes = TCountTable<11>;

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
// The book file, or its archive member, is on disk (packer is needed for packed books only;
// without one a packed book counts as missing).
bool BookFileExists(IArchiveAccess* packer, const std::string& fullPath, bool packed, const std::string& entryName);

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
    uint8_t Version = 0;
    uint8_t Color = 0;
    std::unique_ptr<TTitleInfo> TitleInfo;
    std::unique_ptr<TTitleInfo> SrcTitleInfo;
    std::unique_ptr<TDocumentInfo> DocumentInfo;
    std::unique_ptr<TPublishInfo> PublishInfo;
    TVotes Votes;
    TDateTime FileDate = 0;
    TDateTime AddedDate = 0;
    TDateTime ReadDate = 0;
    TText FileName;
    TText EntryName;
    int32_t Size = 0;
    uint32_t Crc = 0;
    TText Comment;
    TByteCounts ByteCounts;

    TSVD* Container() const { return catalogue_; }

    // FileName, or FileName/EntryName for a packed book.
    std::string FileNameInFolder() const;
    // The folder's path and FileName (the archive's path for a packed book); a lost book's old path.
    virtual std::string FullPath() const;
    // FileType, or the type of the extension of EntryName (packed) or FileName.
    uint8_t GetFileType() const;
    bool IsLost() const { return Flags & kLost; }
    void SetLost(bool lost);
    // The lost mark as a look at the disk found it while the book was shown: the windows follow,
    // the library is not thereby changed (it is saved with the next change).
    void ShowPresence(bool exists);
    bool IsReadOnly() const;
    // Raises "Document is read only!" for a read-only book.
    void CheckWritable() const;
    // The file (and for a packed book its archive entry) is there; sets the lost state.
    // The file (and for a packed book its member) is there; changes nothing. packer: the access
    // to ask about the member, else the catalogue's.
    bool ExistsOnDisk(IArchiveAccess* packer = nullptr) const;
    bool CheckExists();
    // Refreshes size, date and, with 1 in what, the CRC-32 and, with 2, the byte counts from
    // the file (for a packed book from its archive entry). True when something changed.
    bool UpdateFileInfo(unsigned what);
    void ComputeByteCounts(const uint8_t* data, size_t size);
    // The refresh of a scan: the lost state, the file facts (UpdateFileInfo) and, with 4 in
    // what, the FB2 description, imported with replace as given. prepared, when given, is what
    // PrepareBookContent read of this book ahead of time; packer, when given, reads a packed
    // book instead of the catalogue's. Sends the change notification after the catalogue lock
    // is released; true when anything changed.
    bool UpdateFromDisk(unsigned what, bool replace, const TPreparedContent* prepared = nullptr,
                        IArchiveAccess* packer = nullptr);

    // The mean mark times 1000 (0 to 10 000).
    int32_t Rating() const;
    std::string TitleText() const;
    std::string AuthorsText() const;
    std::string SeriesText() const;
    int32_t SeriesNumber() const;
    std::string GenresText() const;
    // As the reader sees them: each genre's name, or its code when it has none.
    std::string GenreNamesText() const;

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
    TSpellingList* AuthorList(uint8_t role);

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
