#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "catalogue/ArchiveAccess.h"
#include "scan/Packer.h"

// The catalogue's way into the archives of packed books, over one shared packer that one thread
// at a time uses. Removing a member writes the archive at once, so that a failure reaches the
// command that caused it.
// With fromFile, or for an archive too big to hold in memory, members are read through the
// archive's directory from the file (a server fetching one book of a big archive); members of
// inner archives still take the archive in memory.
class TPackerArchiveAccess final : public IArchiveAccess {
public:
    explicit TPackerArchiveAccess(bool fromFile = false) : fromFile_(fromFile) {}
    bool Contains(const std::string& archivePath, const std::string& entryName) override;
    bool MemberInfo(const std::string& archivePath, const std::string& entryName, TMemberInfo& info) override;
    std::vector<uint8_t> ReadMember(const std::string& archivePath, const std::string& entryName) override;
    std::vector<uint8_t> ReadMemberHead(const std::string& archivePath, const std::string& entryName,
                                        const std::function<bool(const std::vector<uint8_t>&)>& enough) override;
    void RemoveMember(const std::string& archivePath, const std::string& entryName) override;
    // The archive held open is closed before the next use; returns at once.
    void Reset() override;

private:
    bool OpenArchive(const std::string& archivePath);
    // The file reader for the archive when members are read from the file and it holds entryName.
    TZipFileReader* FileReader(const std::string& archivePath, const std::string& entryName);

    bool fromFile_;
    std::unique_ptr<TZipFileReader> reader_;
    std::string readerName_;

    std::mutex mutex_;
    std::atomic<bool> stale_{false};
    TPacker packer_;
};
