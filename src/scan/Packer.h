#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/Dates.h"

struct zip;
struct zip_source;

// What a listing or a lookup tells of one archive member. Paths are engine text with "/"
// between folders; names stored without the ZIP UTF-8 flag are read as CP866.
struct TArcFileInfoRec {
    std::string Path;
    uint32_t Attributes = 0;  // DOS attributes (0x10 a folder)
    int64_t CompressedSize = 0;
    int64_t Size = 0;
    uint32_t Crc = 0;
    bool Encrypted = false;
    TDateTime Date = 0;
    bool Found = false;

    bool IsFolder() const { return (Attributes & 0x10) || (!Path.empty() && Path.back() == '/'); }
};

// Members of an archive file read through its central directory, from the file itself: the
// archive is never read whole, whatever its size (ZIP64 too). Read-only; members inside inner
// archives are not reached. Not thread-safe.
class TZipFileReader final {
public:
    explicit TZipFileReader(const std::string& fileName);
    ~TZipFileReader();
    TZipFileReader(const TZipFileReader&) = delete;
    TZipFileReader& operator=(const TZipFileReader&) = delete;

    bool IsOpen() const { return archive_ != nullptr; }
    // Every member, in archive order; false when a name or a record cannot be read from the
    // directory alone (the list is then incomplete).
    bool List(std::vector<TArcFileInfoRec>& members) const;
    // A member by its exact path.
    bool Find(const std::string& path, TArcFileInfoRec& info);
    // As TPacker::Extract, with the same limits and a budget of the file's size.
    std::vector<uint8_t> Extract(const std::string& path,
                                 const std::function<bool(const std::vector<uint8_t>&)>& enough = {});

private:
    struct ArchiveDiscard {
        void operator()(zip* archive) const;
    };
    std::string name_;
    std::unique_ptr<zip, ArchiveDiscard> archive_;
    int64_t IndexOf(const std::string& path);

    std::unordered_map<std::string, int64_t> indexOf_;
    bool indexed_ = false;
    int64_t budget_ = 0;  // known at the first extraction
    int64_t inflated_ = 0;
};

// The way into ZIP archives, also archives stored inside archives ("outer.zip" holding
// "inner.zip/book.fb2"). An archive is read from memory and written back only when it was
// changed: to a temporary file renamed into place, or, for an inner archive, into its outer one
// before the outer one is written. Not thread-safe: one thread at a time.
class TPacker final {
public:
    explicit TPacker(TPacker* owner = nullptr);
    ~TPacker();
    TPacker(const TPacker&) = delete;
    TPacker& operator=(const TPacker&) = delete;

    // Opens an archive file (engine text path); with allowCreate a missing or empty file starts a
    // new archive. False when the name is no archive or the file cannot be read as one, and
    // also, doing nothing, when that archive is already open (exact name): IsOpen tells then.
    bool Open(const std::string& fileName, bool allowCreate);
    // Opens an archive held in memory; name is how its owner knows it. Without an owner, such
    // an archive can be read and changed but Close refuses to write it anywhere.
    bool OpenBytes(std::vector<uint8_t> bytes, const std::string& name);
    // Writes a changed archive back (raising the error when that fails) and closes it.
    void Close();
    // Closes the archive and gives its bytes with the changes made, writing nothing: for an
    // archive made in memory (OpenBytes with no bytes).
    std::vector<uint8_t> CloseToBytes();
    bool IsOpen() const { return archive_ != nullptr; }
    bool IsModified() const { return modified_; }
    const std::string& ArchiveName() const { return name_; }

    // Every member, in archive order; a member whose name is flagged as UTF-8 but is not is left
    // out (SkippedCount tells how many).
    std::vector<TArcFileInfoRec> List();
    size_t SkippedCount() const { return skipped_.size(); }
    // A member by its exact path; with deep, a path that leads into an inner archive is looked
    // up there.
    bool FindEntry(const std::string& path, TArcFileInfoRec& info, bool deep);
    bool EntryExists(const std::string& path, bool deep);
    // The unpacked content of a member. Raises for a missing or encrypted member, a damaged
    // archive, or a size no book can have (2 GiB or more, or a ratio only a ZIP bomb has).
    std::vector<uint8_t> Extract(const std::string& path);
    // The member from its start until enough(bytes so far) is true or it ends: a caller that
    // needs only a head never inflates the rest.
    std::vector<uint8_t> Extract(const std::string& path,
                                 const std::function<bool(const std::vector<uint8_t>&)>& enough);
    // The bytes one opened archive, with the archives inside it, may inflate in all: a few dozen
    // times its packed size. A member read whole counts once.
    int64_t InflateBudget() const;
    // Adds or replaces a member (Deflate level 9). overwrite false keeps an existing member and
    // returns false. date 0 means now.
    bool AddFromBytes(const std::string& path, const std::vector<uint8_t>& bytes, TDateTime date, uint32_t attributes,
                      bool overwrite);
    // Adds a file with its own time; the caller deletes the source only after Close succeeded.
    bool AddFile(const std::string& path, const std::string& fileName, bool overwrite);
    bool Remove(const std::string& path);

    // The members of an archive file from its central directory alone (nothing inflated, the
    // file not read whole); false when that is not enough and the archive must be opened.
    static bool ListFile(const std::string& fileName, std::vector<TArcFileInfoRec>& members);
    // 1 for names ending in .zip or .fbz (any case, blanks trimmed), else 0.
    static int ArchiveKind(const std::string& name);
    // Members larger than this are refused.
    static constexpr int64_t kMaxMemberSize = (int64_t{1} << 31) - 1;
    // Inner archives are entered this deep at most.
    static constexpr int kMaxNesting = 8;

private:
    // The packer that holds the rest of path: this one, or an inner archive entered for it.
    TPacker* Resolve(const std::string& path, std::string& rest);
    int64_t IndexOf(const std::string& path);
    TArcFileInfoRec InfoAt(size_t index);
    void CheckOpen() const;
    std::vector<uint8_t> ArchiveBytes();
    // Back to closed: no archive, nothing remembered.
    void Forget();
    int Depth() const;
    // Drops the UTF-8 flag of the members whose names are not UTF-8, in the central directory
    // and the local headers; their indexes go to cleared. False when there was none.
    static bool ClearFalseUtf8Flags(std::vector<uint8_t>& data, std::unordered_set<uint64_t>& cleared);

    TPacker* owner_;
    std::string name_;
    std::vector<uint8_t> data_;  // the archive as read
    struct SourceFree {
        void operator()(zip_source* source) const;
    };
    struct ArchiveDiscard {
        void operator()(zip* archive) const;
    };
    std::unique_ptr<zip_source, SourceFree> source_;  // our own reference, kept to read the result back
    std::unique_ptr<zip, ArchiveDiscard> archive_;
    bool modified_ = false;
    std::unique_ptr<TPacker> nested_;
    std::vector<std::string> names_;  // engine-text member names by index, read once per opening
    std::unordered_map<std::string, int64_t> indexOf_;
    // Members added since opening: libzip reads only what the archive held when it was opened.
    std::unordered_map<std::string, std::vector<uint8_t>> added_;
    bool namesRead_ = false;
    int64_t inflated_ = 0;                 // bytes inflated since opening, by this archive and those inside it
    std::unordered_set<int64_t> counted_;  // members read whole, counted in inflated_ once
    bool onDisk_ = false;                  // opened from a file, so Close may write it back there
    // Members whose names are flagged as UTF-8 but are not: listed as none.
    std::unordered_set<uint64_t> skipped_;
};
