#include "cli/BookExport.h"

#include <cstdio>
#include <ostream>

#include "catalogue/AuthorList.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "common/Dates.h"

namespace {

std::string DateText(TDateTime date) {
    if (date == 0) return {};
    const TDateParts p = DecodeDateTime(date);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.Year, p.Month, p.Day);
    return text;
}

std::vector<std::string> Names(const std::vector<TAuthorName*>& spellings) {
    std::vector<std::string> names;
    for (const TAuthorName* s : spellings)
        names.push_back(Utf8(s->DisplayName()));
    return names;
}

void CsvField(std::ostream& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out << text;
        return;
    }
    out << '"';
    for (char c : text) {
        if (c == '"') out << '"';
        out << c;
    }
    out << '"';
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : "; ") + item;
    return text;
}

constexpr const char* kColumns[] = {"path",     "entry", "title",     "authors", "translators", "series",
                                    "genres",   "lang",  "publisher", "isbn",    "year",        "annotation",
                                    "keywords", "added", "read",      "size",    "crc"};

}  // namespace

TBookExport TBookExport::Of(const TBookInfo& book) {
    TBookExport e;
    e.Path = Utf8(book.FullPath());
    e.Entry = Utf8(book.EntryName);
    e.Title = Utf8(book.TitleText());
    if (const TTitleInfo* t = book.TitleInfo.get()) {
        e.Authors = Names(t->Authors);
        e.Translators = Names(t->Translators);
        for (const TSequenceEntry& s : t->Sequences)
            e.Series.push_back({Utf8(s.Sequence->DisplayName()), s.Number});
        for (const TBookGenre* g : t->Genres)
            e.Genres.push_back(Utf8(g->Code));
        e.Lang = Utf8(t->Lang);
        e.Annotation = Utf8(t->Annotation);
        e.Keywords = Utf8(t->Keywords);
    }
    if (const TPublishInfo* p = book.PublishInfo.get()) {
        e.Publisher = Utf8(p->Publisher);
        e.Isbn = Utf8(p->Isbn);
        e.Year = Utf8(p->Year);
    }
    e.Added = DateText(book.AddedDate);
    e.Read = DateText(book.ReadDate);
    e.Size = book.Size;
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(book.Crc));
    e.Crc = crc;
    return e;
}

void TBookExport::WriteJson(JsonWriter& json) const {
    auto list = [&](const char* key, const std::vector<std::string>& items) {
        json.Key(key).BeginArray();
        for (const std::string& item : items)
            json.String(item);
        json.EndArray();
    };
    json.BeginObject().Key("path").String(Path).Key("entry").String(Entry).Key("title").String(Title);
    list("authors", Authors);
    list("translators", Translators);
    json.Key("series").BeginArray();
    for (const TSeries& s : Series)
        json.BeginObject().Key("name").String(s.Name).Key("number").Number(s.Number).EndObject();
    json.EndArray();
    list("genres", Genres);
    json.Key("lang").String(Lang).Key("publisher").String(Publisher).Key("isbn").String(Isbn);
    json.Key("year").String(Year).Key("annotation").String(Annotation).Key("keywords").String(Keywords);
    json.Key("added").String(Added).Key("read").String(Read);
    json.Key("size").Number(Size).Key("crc").String(Crc).EndObject();
}

void TBookExport::WriteCsvHeader(std::ostream& out) {
    for (size_t i = 0; i < std::size(kColumns); ++i)
        out << (i ? "," : "") << kColumns[i];
    out << "\r\n";
}

void TBookExport::WriteCsv(std::ostream& out) const {
    std::vector<std::string> series;
    for (const TSeries& s : Series)
        series.push_back(s.Name + " #" + std::to_string(s.Number));
    const std::string fields[] = {Path,
                                  Entry,
                                  Title,
                                  Joined(Authors),
                                  Joined(Translators),
                                  Joined(series),
                                  Joined(Genres),
                                  Lang,
                                  Publisher,
                                  Isbn,
                                  Year,
                                  Annotation,
                                  Keywords,
                                  Added,
                                  Read,
                                  std::to_string(Size),
                                  Crc};
    static_assert(std::size(fields) == std::size(kColumns));
    for (size_t i = 0; i < std::size(fields); ++i) {
        if (i) out << ',';
        CsvField(out, fields[i]);
    }
    out << "\r\n";
}
