#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Progress.h"

class TBookFolder;
class TSVD;

struct TInpxOptions {
    std::string Root;                    // the archives' folder (engine text); empty: the INPX file's
    bool IncludeDeleted = false;         // also books the index marks deleted
    std::vector<std::string> Languages;  // only books in these languages; empty: all
};

struct TInpxStats {
    std::string Collection;
    int64_t Added = 0;           // new books
    int64_t Existing = 0;        // already in the library
    int64_t SkippedDeleted = 0;  // deleted in the index, not imported
    int64_t SkippedLanguage = 0;
    int64_t MarkedDeleted = 0;          // in the library, deleted by this index
    int64_t Undeleted = 0;              // in the library marked deleted, no longer deleted by this index
    int64_t Updated = 0;                // in the library, described otherwise by this index
    int64_t Lost = 0;                   // their archive or member is missing
    int64_t Refused = 0;                // lines naming a file outside the collection's folder
    std::vector<std::string> Warnings;  // UTF-8
    bool Cancelled = false;
};

// The custom-information texts an imported book carries.
inline constexpr const char* kInpxLibIdPrefix = "inpx-libid: ";
inline constexpr const char* kInpxDeletedMark = "inpx-deleted";
// How an imported collection's mount point is described, so that a resynchronisation knows it.
inline constexpr const char* kInpxDescriptionPrefix = "INPX: ";
inline constexpr const char* kInpxVersionPrefix = "version.info: ";
bool IsInpxCollection(const TBookFolder& mountPoint);
class TBookInfo;
// Whether the collection's index deletes the book: such books are left out of lists and feeds
// unless asked for.
bool IsInpxDeleted(const TBookInfo& book);
// The description of an imported collection's mount point: its name, then its index's version
// on a second line when it has one.
std::string InpxDescription(const std::string& collection, const std::string& version);
// The version of the index a collection was last imported from; empty when unknown.
std::string InpxVersion(const TBookFolder& mountPoint);

// Adds the books of an index to a library: a mount point for the archives' folder named after
// the collection, the archives' books as packed books with their descriptions matched as a scan
// matches them. Books already there keep their place: the index's deleted mark is set or
// cleared, and a description the index gives otherwise replaces theirs;
// a book whose archive or member is missing is lost. Writes happen under the catalogue lock in
// batches; stops between batches when the sink asks. Raises (before any change) when the index
// cannot be read or the folder cannot be a mount point.
TInpxStats ImportInpx(TSVD& library, const std::string& inpxFile, const TInpxOptions& options,
                      IProgressSink* sink = nullptr);
