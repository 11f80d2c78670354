#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <memory>

#include "catalogue/ArchiveAccess.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookImport.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueObserver.h"
#include "catalogue/LostBookInfo.h"
#include "common/Text.h"

class TBookCollection;
class TSVDStream;

// A stored result of the duplicate search: two books and how similar their texts are.
struct TDuplicatePair {
    TBookInfo* Book1 = nullptr;
    TBookInfo* Book2 = nullptr;
    int32_t Similarity = 0;  // 0 to 100 000
};

// Flags of Sweep.
enum TSweepFlags : unsigned {
    kSweepAuthors = 1,
    kSweepGenres = 2,
    kSweepSeries = 4,
    kSweepLostBooks = 8,
    kJoinSameAuthors = 16,
    kJoinSameGenres = 32,
    kJoinSameSeries = 64,
    kSweepAll = 127,
};

// Sizes of the catalogue as `info` reports them.
struct TSVDCounts {
    int Genres = 0;  // nodes below the root
    int Authors = 0;
    int Spellings = 0;
    int Series = 0;  // nodes below the root
    int MountPoints = 0;
    int Folders = 0;
    int Books = 0;
    int LostBooks = 0;
    int Duplicates = 0;
};

// The catalogue: owns every genre, author, series, folder, book, lost book and duplicate pair
// of the open library, knows its library file, tracks changes and loads and saves itself.
// Used from the GUI thread; a resynchronisation worker changes it only under TCatalogueGuard.
class TSVD final {
public:
    TSVD();
    ~TSVD();
    TSVD(const TSVD&) = delete;
    TSVD& operator=(const TSVD&) = delete;

    // Path (engine text) of the library file last loaded or saved; empty after a failed load,
    // so that no save can overwrite the file that failed to load.
    std::string FileName;
    // Copied from the settings before a save: books keep their byte-frequency tables.
    bool SaveHuffman = false;

    // Copied from the settings before a save: sweep (all but the lost books) before writing.
    bool SweepBeforeSave = false;
    // Threads that write the books of a save; 0 for every core.
    unsigned SaveThreads = 0;

    TBookGenre Genres;
    TAuthorList Authors;
    TBookSequence Sequences;
    std::vector<std::unique_ptr<TMountPoint>> MountPoints;
    std::vector<std::unique_ptr<TLostBookInfo>> LostBooks;
    std::vector<TDuplicatePair> Duplicates;
    // Reads books inside ZIP archives; installed by the archive layer, may be null.
    std::unique_ptr<IArchiveAccess> Packer;
    // Settles ambiguous author names met by an import; without one the first candidate is taken.
    IAuthorChooser* AuthorChooser = nullptr;

    // Format of the file last loaded (a new catalogue counts as the current format).
    bool LoadedOldFormat = false;
    uint16_t LoadedVersion = 0;
    // What the last load left out (engine text): records whose names could lead outside their
    // folder, which only a damaged or crafted file holds.
    std::vector<std::string> LoadWarnings;

    // Loads a library file of either format. A file that cannot be read or has no known
    // header leaves the catalogue as it was; a damaged section raises rsErrLoadingError or
    // the stream's error and leaves what was read, tied to no file. Errors name the file.
    void LoadFromFile(const std::string& fileName);
    // Replaces the content from a reading stream; false when a section could not be read.
    bool LoadFromStream(TSVDStream& stream);

    // Saves to fileName: the new file is written completely under a temporary name, the
    // previous file becomes the backup (BackupName) and the new file takes its place. On
    // failure the previous file is untouched and the error is raised.
    bool SaveToFile(const std::string& fileName);
    // Numbers the entities and writes every section into a writing stream; false when a
    // section writer failed. Does not clear the modified flag: only a completed file does.
    bool SaveToStream(TSVDStream& stream, bool withImages);

    // books.sv2 -> booksOLD: the extension of the last path component is replaced by "OLD".
    static std::string BackupName(const std::string& fileName);
    // A name chosen for saving, blanks trimmed, with ".sv2" appended unless its file name is at
    // least five characters long and ends with ".sv2" in any letter case.
    static std::string WithLibraryExtension(const std::string& fileName);

    void Clear();
    // True while Clear frees everything.
    bool IsClearing() const { return clearing_; }
    bool IsModified() const { return modified_ || Authors.Modified; }
    void SetModified(bool modified);

    TSVDCounts Counts() const;

    // Appends a mount point for a directory; none when the path is empty or overlaps an existing
    // mount point (the same directory, one inside it, or one containing it).
    TMountPoint* AddMountPoint(const std::string& path);
    // Points a mount point at another directory without touching the disk. Raises when the
    // directory does not exist or overlaps another mount point (rsErrInvalidMP). Letter case counts.
    void RepointMountPoint(TMountPoint* mountPoint, const std::string& path);
    // Takes a mount point or lost book out of its list without freeing it.
    std::unique_ptr<TMountPoint> RemoveMountPoint(TMountPoint* mountPoint);
    std::unique_ptr<TLostBookInfo> RemoveLostBook(TLostBookInfo* book);
    TLostBookInfo* AddLostBook();
    void ClearDuplicates();
    // Drops the stored pairs that name a book about to be freed.
    void ForgetBook(const TBookInfo* book);
    // The last lost book with this CRC-32 (never 0) and, when both are known, this size.
    TLostBookInfo* FindLostBook(uint32_t crc, int64_t size = -1) const;
    // Lookups by path (engine text, "/"-separated) a person typed: exact names first, then
    // ignoring case (unless caselessFallback is false, for a path that names a real folder).
    TBookFolder* FindFolder(const std::string& path, bool caselessFallback = true) const;
    TBookInfo* FindBook(const std::string& path) const;
    // The path FindBook resolves to this book (for a packed book, archive path and entry).
    static std::string BookLocation(const TBookInfo& book);

    // A background resynchronisation works on the catalogue from another thread: until it
    // ends, commands of other threads that would free books refuse with rsErrThreadWorking.
    void BeginBackgroundWork(std::thread::id worker);
    void EndBackgroundWork();
    void CheckNoBackgroundWork() const;

    // A book or folder the background worker takes out of the catalogue is emptied (its links
    // go at once) but stays allocated until FreeRetired: the windows learn of its removal only
    // when the queued notice arrives, and may paint its row until then. Elsewhere the record is
    // freed at once. Call under the catalogue lock.
    void Retire(std::unique_ptr<TBookInfo> book);
    void Retire(std::unique_ptr<TBookFolder> folder);
    // Frees the retired records (GUI thread, once the worker's notices have been delivered);
    // nothing while a worker runs.
    void FreeRetired();
    size_t RetiredCount() const { return retiredBooks_.size() + retiredFolders_.size(); }

    // Removes what no book needs and joins same-named series; silent suppresses the
    // notifications of the author, lost-book and join steps.
    void Sweep(bool silent, unsigned flags);

    // The series of that name (by name key) anywhere in the tree, created under the root when
    // there is none.
    TBookSequence* FindOrAddSequence(const std::string& name, bool quiet);
    // Books in all mount points whose title-info and src-title-info list no author.
    void CollectBooksWithoutAuthor(TBookCollection& books) const;

    // Change notifications; each sets the modified flag unless it only shows what a look at the
    // disk found. Delivery waits while the calling thread holds the catalogue lock.
    void Notify(TObjectType type, const void* object, int kind, bool modifies = true);
    void AddObserver(ICatalogueObserver* observer);
    void RemoveObserver(ICatalogueObserver* observer);

    // Numbers of the genre and series records read, for the book records that follow.
    TBookGenre* GenreByNumber(int32_t number) const;
    TBookSequence* SequenceByNumber(int32_t number) const;
    // A text of a book record being read. It stays in the stream's copy of the file's texts,
    // which the catalogue keeps until it is cleared: a loaded library then holds each text
    // once, with no allocation of its own.
    TText ReadBookText(TSVDStream& stream) const;

private:
    bool ReadGenreSection(TSVDStream& stream);
    bool ReadAuthorSection(TSVDStream& stream);
    bool ReadSeriesSection(TSVDStream& stream);
    bool ReadMountPointSection(TSVDStream& stream);
    bool ReadLostBookSection(TSVDStream& stream);
    bool ReadDuplicateSection(TSVDStream& stream);
    bool ReadOldFormat(TSVDStream& stream);
    void NotifyLoaded();
    // Drops the loaded folders and books whose names could lead outside their folder, each
    // named in LoadWarnings.
    void CheckNames();
    void WriteDuplicate(TSVDStream& stream, const TDuplicatePair& pair) const;
    void IndexTreesForReading();
    void SweepAuthors(bool silent);
    void JoinSameSeries(bool silent);

    std::atomic<bool> modified_ = false;
    bool clearing_ = false;
    mutable std::mutex workerMutex_;
    std::thread::id worker_;
    std::vector<std::unique_ptr<TBookInfo>> retiredBooks_;
    std::vector<std::unique_ptr<TBookFolder>> retiredFolders_;
    bool RetiresHere() const;
    mutable std::vector<std::shared_ptr<const char[]>> textBlocks_;
    std::unordered_map<int32_t, TBookGenre*> genreByNumber_;
    std::unordered_map<int32_t, TBookSequence*> sequenceByNumber_;
    std::mutex observersMutex_;
    std::vector<ICatalogueObserver*> observers_;
};
