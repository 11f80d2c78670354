#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Dates.h"

// What the catalogue needs of ZIP archives to look after packed books. The archive layer
// implements it; paths are engine text, entry names as stored in the catalogue.
class IArchiveAccess {
public:
    virtual ~IArchiveAccess() = default;

    struct TMemberInfo {
        int64_t Size = 0;  // unpacked
        TDateTime Date = 0;
        uint32_t Crc = 0;  // the standard CRC-32 the archive stores (verified when the member is read)
    };

    // True when the archive holds the entry; false also when the archive cannot be read.
    virtual bool Contains(const std::string& archivePath, const std::string& entryName) = 0;
    // Size and date of the entry; false when it is not there.
    virtual bool MemberInfo(const std::string& archivePath, const std::string& entryName, TMemberInfo& info) = 0;
    // The unpacked content of the entry; raises on a damaged archive or a missing entry.
    virtual std::vector<uint8_t> ReadMember(const std::string& archivePath, const std::string& entryName) = 0;
    // The entry from its start, unpacked only until enough(the bytes so far) is true or the
    // entry ends; the whole entry unless overridden.
    virtual std::vector<uint8_t> ReadMemberHead(const std::string& archivePath, const std::string& entryName,
                                                const std::function<bool(const std::vector<uint8_t>&)>& enough) {
        (void)enough;
        return ReadMember(archivePath, entryName);
    }
    // Removes one entry and writes the archive back; raises on failure.
    virtual void RemoveMember(const std::string& archivePath, const std::string& entryName) = 0;
    // Forgets an archive held open.
    virtual void Reset() = 0;
};
