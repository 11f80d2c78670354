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
    TArcFileInfoRec Member;  // EntryPath is Member.Path
};

// The items of one directory (engine-text path), sub-directories not entered. Only regular
// files and directories are reported (no pipes, sockets or devices); names come in byte order.
// Problems with single entries are skipped and described in warnings.
std::vector<TFRec> ListFolder(const std::string& folderPath, std::vector<std::string>* warnings = nullptr);
