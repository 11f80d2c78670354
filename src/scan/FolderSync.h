#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TBookFolder;

// Keeps catalogue folders in step with their directories.
struct TSyncStats {
    int Added = 0;                      // new books
    int Refreshed = 0;                  // known books read again
    int Recovered = 0;                  // new books that took over a lost book
    int Lost = 0;                       // books turned into lost books
    std::vector<std::string> Warnings;  // UTF-8; files skipped and why
};

// Progress of a scan: files handled so far, files in all, the path at hand (engine text).
using TSyncProgress = std::function<void(int done, int total, const std::string& path)>;

// Turns books whose files are gone into lost books and drops sub-folders that vanished; a
// folder whose directory is gone keeps its place, marked missing. False when the directory is gone.
bool CheckPresence(TBookFolder& folder, TSyncStats& stats);
// Moves every book below a vanished folder to the lost books and drops its sub-folders.
void ConvertToLost(TBookFolder& folder, TSyncStats& stats);
// Adds new files as books (taking over a lost book with the same content), refreshes known
// ones and adds new sub-folders. One unreadable file is skipped with a warning.
bool Scan(TBookFolder& folder, bool replace, TSyncStats& stats, const TSyncProgress& progress = {});
// The presence check, then with scan the scan.
bool Resync(TBookFolder& folder, bool scan, bool replace, TSyncStats& stats, const TSyncProgress& progress = {});
// Files below a directory, archives counted as one.
int CountFiles(const std::string& path);
