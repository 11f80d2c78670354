#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class JsonWriter;
class TBookInfo;

// What `list books --json` and `export` tell of a book, in UTF-8.
struct TBookExport {
    struct TSeries {
        std::string Name;
        int32_t Number = 0;
    };
    std::string Path, Entry, Title, Lang, Publisher, Isbn, Year, Annotation, Keywords;
    std::string Added, Read;  // "YYYY-MM-DD", empty when none
    std::vector<std::string> Authors, Translators, Genres;
    std::vector<TSeries> Series;
    int64_t Size = 0;
    std::string Crc;  // eight hex digits

    static TBookExport Of(const TBookInfo& book);
    void WriteJson(JsonWriter& json) const;
    // The CSV header row and one row per book (RFC 4180: fields with a comma, quote or line
    // break are quoted); lists are joined with "; ".
    static void WriteCsvHeader(std::ostream& out);
    void WriteCsv(std::ostream& out) const;
};
