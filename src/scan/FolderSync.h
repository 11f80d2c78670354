#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Progress.h"

class TBookFolder;

// Keeps catalogue folders in step with their directories.
struct TSyncStats {
    int Added = 0;                      // new books
    int Refreshed = 0;                  // known books read again
    int Recovered = 0;                  // new books that took over a lost book
    int Lost = 0;                       // books turned into lost books
    std::vector<std::string> Warnings;  // UTF-8; files skipped and why
    std::vector<std::string> Offline;   // UTF-8; mount points whose folder is missing or unreadable
    bool Cancelled = false;             // stopped on request; what was done is kept
    std::string Fatal;                  // UTF-8; the error that ended the run, empty when none

    void Merge(const TSyncStats& other);
};

// What the disk says of a folder: there, really gone (no entry of that name), or there but
// not reachable now (no permission, an I/O error).
enum class TFolderState { Present, Gone, Unreachable };
TFolderState FolderState(const std::string& path);

// Turns books whose files are gone into lost books and drops sub-folders that vanished. A
// folder that cannot be read keeps its books. False when the directory is gone. Reads the disk
// without the catalogue lock and changes the catalogue under it.
bool CheckPresence(TBookFolder& folder, TSyncStats& stats, IProgressSink* sink = nullptr);
// Moves every book below a vanished folder to the lost books and drops its sub-folders, under
// the catalogue lock.
void ConvertToLost(TBookFolder& folder, TSyncStats& stats);
// Adds new files as books (taking over a lost book with the same content), refreshes known
// ones and adds new sub-folders. One unreadable file is skipped with a warning; a folder
// removed meanwhile turns into lost books; folders below the deepest level a library file
// can hold are left out with a warning.
bool Scan(TBookFolder& folder, bool replace, TSyncStats& stats, IProgressSink* sink = nullptr);
// The presence check, then with scan the scan. A mount point whose own folder is missing or
// unreadable is offline: nothing changes, the run says so in Offline and Warnings, false.
bool Resync(TBookFolder& folder, bool scan, bool replace, TSyncStats& stats, IProgressSink* sink = nullptr);
// Files below a directory, archives counted as one.
int CountFiles(const std::string& path);
