#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Dates.h"
#include "scan/Packer.h"

// One item of a folder as the catalogue sees it: a sub-folder, a plain file, or a file member
// of a ZIP archive in the folder (members of inner archives too, their paths joined by "/").
struct TFRec {
    std::string Name;  // the directory entry's name; for members the archive file's name
    TDateTime Time = 0;
    int64_t Size = 0;
    bool IsDirectory = false;
    bool InArchive = false;
    // An archive that is there but could not be read: reported once, as a plain file.
    bool Unreadable = false;
    uint64_t Device = 0, Inode = 0;  // the file's identity on disk (of the archive, for members)
    TArcFileInfoRec Member;          // EntryPath is Member.Path
};

// The items of one directory (engine-text path), sub-directories not entered. Only regular
// files and directories are reported (no pipes, sockets or devices); names come in byte order.
// Problems with single entries are skipped and described in warnings; readable tells whether
// the directory itself could be listed (an empty list then means an empty folder).
std::vector<TFRec> ListFolder(const std::string& folderPath, std::vector<std::string>* warnings = nullptr,
                              bool* readable = nullptr);

// The folder iterator: FindFirst, then FindNext until false. Reports what ListFolder lists,
// preceded by the "." and ".." entries a directory search gives, and keeps those whose names
// match the pattern's name part ("*.*" matches every name, also names without a dot).
class TFileSearchClass final {
public:
    // pattern: a folder path and a name mask ("/books/*.*"); a folder alone means every name.
    explicit TFileSearchClass(const std::string& pattern);
    bool FindFirst(TFRec& record);
    bool FindNext(TFRec& record);
    void FindClose() { items_.clear(), next_ = 0; }
    const std::vector<std::string>& Warnings() const { return warnings_; }

private:
    std::string folder_, mask_;
    std::vector<TFRec> items_;
    std::vector<std::string> warnings_;
    size_t next_ = 0;
};

// The file members of an archive held in memory, inner archives entered, as a search over
// them: member paths joined by "/".
class TArcSearchClass final {
public:
    explicit TArcSearchClass(const std::string& name) : name_(name) {}
    bool Open(std::vector<uint8_t> archive);
    bool FindFirst(TArcFileInfoRec& member);
    bool FindNext(TArcFileInfoRec& member);
    void FindClose() { members_.clear(), next_ = 0; }

private:
    std::string name_;
    std::vector<TArcFileInfoRec> members_;
    size_t next_ = 0;
};
