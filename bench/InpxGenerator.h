#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// An INPX index to write: its info files and its .inp files with their lines (UTF-8, fields
// joined by the byte 4, without line ends).
struct TInpxFiles {
    std::string Collection = "Test collection";
    std::string Version = "20240101";
    std::string Structure;  // empty: no structure.info (the default field order)
    std::vector<std::pair<std::string, std::vector<std::string>>> Inps;
};

// One line of the default structure.
std::string InpxLine(const std::string& authors, const std::string& genres, const std::string& title,
                     const std::string& series, const std::string& serno, const std::string& file, int size, int libid,
                     bool deleted, const std::string& date = "2010-01-02");

// Writes the index as an INPX (ZIP) file, lines ended by CR LF.
void WriteInpx(const std::filesystem::path& file, const TInpxFiles& files);

// A collection like a big online library's: archives named fb2-NNNNNN-NNNNNN of booksPerArchive
// books, Russian and English authors with the spelling variety of real indexes (initials,
// middle names or not, Ё or Е, Latin look-alike letters), repeated authors and series, about
// 5 % of the books deleted.
TInpxFiles GenerateInpx(int books, int booksPerArchive, unsigned seed);
// Writes each archive an index names into folder, holding a small member per book of its .inp.
void WriteInpxArchives(const std::filesystem::path& folder, const TInpxFiles& files);
