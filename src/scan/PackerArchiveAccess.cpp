#include "scan/PackerArchiveAccess.h"

#include <filesystem>

#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"

bool TPackerArchiveAccess::OpenArchive(const std::string& archivePath) {
    if (stale_.exchange(false)) packer_.Close();
    if (packer_.IsOpen() && packer_.ArchiveName() == archivePath) return true;
    return packer_.Open(archivePath, false);
}

TZipFileReader* TPackerArchiveAccess::FileReader(const std::string& archivePath, const std::string& entryName) {
    if (stale_.exchange(false)) {
        packer_.Close();
        reader_.reset();
    }
    if (!reader_ || readerName_ != archivePath) {
        // The size is looked at once per archive, not for each of its books.
        if (!fromFile_) {
            if (packer_.IsOpen() && packer_.ArchiveName() == archivePath) return nullptr;
            std::error_code ec;
            const auto size = std::filesystem::file_size(AnsiToPath(archivePath), ec);
            if (ec || size <= static_cast<uintmax_t>(TPacker::kMaxMemberSize)) return nullptr;
        }
        reader_ = std::make_unique<TZipFileReader>(archivePath);
        readerName_ = archivePath;
    }
    TArcFileInfoRec member;
    return reader_->IsOpen() && reader_->Find(entryName, member) ? reader_.get() : nullptr;
}

bool TPackerArchiveAccess::Contains(const std::string& archivePath, const std::string& entryName) {
    std::lock_guard lock(mutex_);
    if (FileReader(archivePath, entryName)) return true;
    return OpenArchive(archivePath) && packer_.EntryExists(entryName, true);
}

bool TPackerArchiveAccess::MemberInfo(const std::string& archivePath, const std::string& entryName, TMemberInfo& info) {
    std::lock_guard lock(mutex_);
    TArcFileInfoRec member;
    TZipFileReader* reader = FileReader(archivePath, entryName);
    if (reader ? !reader->Find(entryName, member)
               : !OpenArchive(archivePath) || !packer_.FindEntry(entryName, member, true))
        return false;
    info.Size = member.Size;
    info.Date = member.Date;
    info.Crc = member.Crc;
    return true;
}

std::vector<uint8_t> TPackerArchiveAccess::ReadMember(const std::string& archivePath, const std::string& entryName) {
    std::lock_guard lock(mutex_);
    if (TZipFileReader* reader = FileReader(archivePath, entryName)) return reader->Extract(entryName);
    if (!OpenArchive(archivePath)) RaiseError(rsErrCannotOpenArchive, {archivePath});
    return packer_.Extract(entryName);
}

std::vector<uint8_t> TPackerArchiveAccess::ReadMemberHead(
    const std::string& archivePath, const std::string& entryName,
    const std::function<bool(const std::vector<uint8_t>&)>& enough) {
    std::lock_guard lock(mutex_);
    if (TZipFileReader* reader = FileReader(archivePath, entryName)) return reader->Extract(entryName, enough);
    if (!OpenArchive(archivePath)) RaiseError(rsErrCannotOpenArchive, {archivePath});
    return packer_.Extract(entryName, enough);
}

void TPackerArchiveAccess::RemoveMember(const std::string& archivePath, const std::string& entryName) {
    std::lock_guard lock(mutex_);
    reader_.reset();  // the archive is about to change
    if (!OpenArchive(archivePath)) RaiseError(rsErrCannotOpenArchive, {archivePath});
    if (packer_.Remove(entryName)) packer_.Close();
}

void TPackerArchiveAccess::Reset() {
    // Marked only: a caller on the window's thread must not wait for a worker's extraction.
    stale_ = true;
}
