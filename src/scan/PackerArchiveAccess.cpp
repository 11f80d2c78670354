#include "scan/PackerArchiveAccess.h"

#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"

bool TPackerArchiveAccess::OpenArchive(const std::string& archivePath) {
    if (stale_.exchange(false)) packer_.Close();
    if (packer_.IsOpen() && packer_.ArchiveName() == archivePath) return true;
    return packer_.Open(archivePath, false);
}

bool TPackerArchiveAccess::Contains(const std::string& archivePath, const std::string& entryName) {
    std::lock_guard lock(mutex_);
    return OpenArchive(archivePath) && packer_.EntryExists(entryName, true);
}

bool TPackerArchiveAccess::MemberInfo(const std::string& archivePath, const std::string& entryName, TMemberInfo& info) {
    std::lock_guard lock(mutex_);
    TArcFileInfoRec member;
    if (!OpenArchive(archivePath) || !packer_.FindEntry(entryName, member, true)) return false;
    info.Size = member.Size;
    info.Date = member.Date;
    info.Crc = member.Crc;
    return true;
}

std::vector<uint8_t> TPackerArchiveAccess::ReadMember(const std::string& archivePath, const std::string& entryName) {
    std::lock_guard lock(mutex_);
    if (!OpenArchive(archivePath)) RaiseError(rsErrCannotOpenArchive, {archivePath});
    return packer_.Extract(entryName);
}

std::vector<uint8_t> TPackerArchiveAccess::ReadMemberHead(
    const std::string& archivePath, const std::string& entryName,
    const std::function<bool(const std::vector<uint8_t>&)>& enough) {
    std::lock_guard lock(mutex_);
    if (!OpenArchive(archivePath)) RaiseError(rsErrCannotOpenArchive, {archivePath});
    return packer_.Extract(entryName, enough);
}

void TPackerArchiveAccess::RemoveMember(const std::string& archivePath, const std::string& entryName) {
    std::lock_guard lock(mutex_);
    if (!OpenArchive(archivePath)) RaiseError(rsErrCannotOpenArchive, {archivePath});
    if (packer_.Remove(entryName)) packer_.Close();
}

void TPackerArchiveAccess::Reset() {
    // Marked only: a caller on the window's thread must not wait for a worker's extraction.
    stale_ = true;
}
