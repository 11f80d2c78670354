#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TBookCollection;
class TBookInfo;
class TBookWriteJobs;
class TSVD;
class TSVDStream;

// A catalogue folder mirroring one directory: its sub-folders and the books found directly in
// it. Owns both. Paths are engine text joined with "/".
class TBookFolder {
public:
    // Notification kinds.
    static constexpr int kChanged = 0, kMoved = 1, kAdded = 2, kDeleted = 3;
    // Flags.
    static constexpr uint8_t kReadOnly = 0x01, kMissing = 0x02, kHasDescription = 0x04, kHasFolders = 0x08,
                             kHasBooks = 0x10, kMissingAtScan = 0x20;

    explicit TBookFolder(TBookFolder* parent);
    virtual ~TBookFolder();
    TBookFolder(const TBookFolder&) = delete;
    TBookFolder& operator=(const TBookFolder&) = delete;

    TBookFolder* Parent;
    uint8_t Flags = 0;
    // The directory's name in its parent; for a mount point the full path of the directory.
    std::string Name;
    std::string Description;

    size_t FolderCount() const { return folders_.size(); }
    TBookFolder* Folder(size_t i) const { return folders_[i].get(); }
    size_t BookCount() const { return books_.size(); }
    TBookInfo* Book(size_t i) const { return books_[i].get(); }

    virtual TSVD* Container() const;
    virtual std::string DisplayName() const { return Name; }
    // A folder renames its directory; a mount point changes its caption.
    virtual bool Rename(const std::string& newName) { return RenameFolder(newName); }

    std::string FullPath() const;
    // The directory exists; sets the missing bit to the opposite.
    bool Exists();
    bool IsReadOnly() const;
    // Raises "Folder is read only!" for a read-only folder.
    void CheckWritable() const;
    void SetReadOnly(bool readOnly);

    // Path lookups. Names are compared exactly; with ignoreCase as the Windows program did.
    TBookFolder* FindFolderByPath(const std::string& path, bool ignoreCase);
    TBookInfo* FindBookByPath(const std::string& path, bool ignoreCase);
    void CollectBooks(TBookCollection& books, bool recursive) const;

    // Catalogue-only changes.
    TBookInfo* AddBook();
    TBookFolder* AddFolder(const std::string& name);
    void AdoptBook(std::unique_ptr<TBookInfo> book);
    std::unique_ptr<TBookInfo> ExtractBook(TBookInfo* book);
    // Announces and frees a sub-folder or a book.
    void DeleteSubfolder(TBookFolder* folder);
    void DeleteBook(TBookInfo* book);

    // Disk-changing operations; each refuses a read-only folder first.
    bool CreateSubfolder(const std::string& name);
    bool RenameFolder(const std::string& newName);
    bool MoveFolder(TBookFolder* newParent);
    // With contents, deletes every file and sub-folder first and stops at the first file that
    // cannot be deleted, keeping the records not deleted yet. The caller frees the folder.
    bool DeleteFolder(bool withContents);
    // Rebinds the folder to another directory name without touching the disk.
    void SetName(const std::string& name);
    void DeleteFromCatalogue();

    // jobs, when given, writes the books (on every core; the caller runs it).
    virtual void SaveToStream(TSVDStream& stream, bool withImages, TBookWriteJobs* jobs = nullptr);
    virtual bool LoadFromStream(TSVDStream& stream, int depth = 0);
    virtual bool LoadOldFromStream(TSVDStream& stream, int depth = 0);

    void NotifyDeleted();
    void NotifyChanged();
    void NotifyMoved();
    void NotifyAdded();

    void Clear();
    int FolderCountDeep() const;
    int BookCountDeep() const;

protected:
    bool ReadFolderBody(TSVDStream& stream, int depth);

    std::vector<std::unique_ptr<TBookFolder>> folders_;
    std::vector<std::unique_ptr<TBookInfo>> books_;
};

// A disk directory bound into the catalogue: the root of a folder tree.
class TMountPoint final : public TBookFolder {
public:
    explicit TMountPoint(TSVD* catalogue);

    TSVD* const Catalogue;
    std::string Caption;

    TSVD* Container() const override { return Catalogue; }
    std::string DisplayName() const override;
    bool Rename(const std::string& newName) override;

    void SaveToStream(TSVDStream& stream, bool withImages, TBookWriteJobs* jobs = nullptr) override;
    bool LoadFromStream(TSVDStream& stream, int depth = 0) override;
    bool LoadOldFromStream(TSVDStream& stream, int depth = 0) override;
};

// How deep a damaged library file may nest folder records.
inline constexpr int kMaxFolderDepth = 512;

// Joins a directory path and a name with one "/".
std::string JoinPath(const std::string& directory, const std::string& name);
