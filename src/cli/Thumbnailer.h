#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// shelvara-thumbnailer as a file manager calls it (-s SIZE INPUT OUTPUT): the cover of an FB2
// book (.fb2, or a ZIP holding one: .fb2.zip, .fbz) written to OUTPUT as a PNG of at most SIZE
// pixels each way. Exit status 0 with a picture; 1, writing nothing, for a book without a cover
// or one that cannot be read; 2 for bad usage. Messages (UTF-8) go to err.
inline constexpr const char* kThumbnailerUsage = "shelvara-thumbnailer -s SIZE INPUT OUTPUT";
inline constexpr const char* kThumbnailerSummary =
    "Writes the cover of an FB2 book (.fb2, .fb2.zip, .fbz) as a PNG of at most SIZE (1-4096) pixels each way, "
    "as file managers ask of a thumbnailer. Exits with 1, writing nothing, for a book without a cover.";
int RunThumbnailer(const std::vector<std::string>& args, std::ostream& err);
