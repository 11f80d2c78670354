#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Progress.h"

class TBookFolder;
class TSVD;

// The fields of an INPX line, as structure.info names them.
struct TInpxRecord {
    std::string Authors;  // "Last,First,Middle:" repeated
    std::string Genres;   // "code:" repeated
    std::string Title, Series, SerNo, File, Size, LibId, Del, Ext, Date, Lang, Keywords;
};

// One archive of the collection and its books, in index order.
struct TInpxArchive {
    std::string Name;  // the archive's file name (engine text), "fb2-000024-030559.zip"
    std::vector<TInpxRecord> Books;
};

// An INPX index read whole. Texts are engine text.
struct TInpxIndex {
    std::string Collection;  // line 1 of collection.info
    std::string Version;     // version.info
    std::vector<TInpxArchive> Archives;
    size_t BookCount = 0;
};

// Reads an INPX file (a ZIP of .inp files). Raises, naming the .inp file and line, on a damaged
// archive, an index without .inp files, a line without field separators, text that is not
// UTF-8 or a field longer than 64 KiB; nothing is half read.
TInpxIndex ReadInpx(const std::string& inpxFile);

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
    int64_t Lost = 0;                   // their archive or member is missing
    std::vector<std::string> Warnings;  // UTF-8
    bool Cancelled = false;
};

// The custom-information texts an imported book carries.
inline constexpr const char* kInpxLibIdPrefix = "inpx-libid: ";
inline constexpr const char* kInpxDeletedMark = "inpx-deleted";
// How an imported collection's mount point is described, so that a resynchronisation knows it.
inline constexpr const char* kInpxDescriptionPrefix = "INPX: ";
bool IsInpxCollection(const TBookFolder& mountPoint);

// Adds the books of an index to a library: a mount point for the archives' folder named after
// the collection, the archives' books as packed books with their descriptions matched as a scan
// matches them. Books already there are left alone (those the index deletes are marked);
// a book whose archive or member is missing is lost. Writes happen under the catalogue lock in
// batches; stops between batches when the sink asks. Raises (before any change) when the index
// cannot be read or the folder cannot be a mount point.
TInpxStats ImportInpx(TSVD& library, const std::string& inpxFile, const TInpxOptions& options,
                      IProgressSink* sink = nullptr);
