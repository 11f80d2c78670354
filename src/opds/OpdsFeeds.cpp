#include "opds/OpdsFeeds.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorName.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "catalogue/TitleInfo.h"
#include "common/Dates.h"
#include "common/Encoding.h"
#include "common/MessageTable.h"
#include "common/TextUtils.h"
#include "opds/OpdsCatalogue.h"

namespace {

// The OpenSearch namespace: both the feeds and the description name it, and readers match it
// byte for byte.
constexpr const char* kOpenSearchNamespace =
    "http://a9.com/-/sp"
    "ec/opensearch/1.1/";

std::string U(const std::string& ansi) {
    return AnsiToUtf8(ansi);
}

// A fixed text of the catalogue in the server's language, UTF-8; arguments are UTF-8 too.
std::string M(int id, const std::vector<std::string>& args = {}) {
    return FormatMessageText(U(MessageText(id)), args);
}

// A number from a path, none when it is not one (or too large).
std::optional<int32_t> Number(const std::string& text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

std::string Query(const std::map<std::string, std::string>& query, const char* name) {
    const auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
}

// Cuts a page out of a list of entries.
template <typename Item, typename Make>
void Paged(TFeed& feed, const std::vector<Item>& items, int pageSize, const std::string& pageText, Make make) {
    feed.Total = items.size();
    feed.Pages = std::max(1, static_cast<int>((items.size() + static_cast<size_t>(pageSize) - 1) / pageSize));
    feed.Page = std::clamp(Number(pageText).value_or(1), 1, feed.Pages);
    const size_t from = static_cast<size_t>(feed.Page - 1) * static_cast<size_t>(pageSize);
    for (size_t i = from; i < items.size() && i < from + static_cast<size_t>(pageSize); ++i)
        feed.Entries.push_back(make(items[i]));
}

TFeedEntry BookEntry(int32_t book) {
    TFeedEntry entry;
    entry.Book = book;
    return entry;
}

std::string Iso(TDateTime date) {
    const std::time_t t = static_cast<std::time_t>(DateTimeToUnix(date > 0 ? date : 25569));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string WithPage(const std::string& path, int page) {
    return path + (path.find('?') == std::string::npos ? "?" : "&") + "page=" + std::to_string(page);
}

std::string SeriesLine(const TBookInfo& book) {
    if (!book.TitleInfo || book.TitleInfo->Sequences.empty() || !book.TitleInfo->Sequences.front().Sequence) return {};
    const TSequenceEntry& s = book.TitleInfo->Sequences.front();
    std::string text = U(s.Sequence->DisplayName());
    if (s.Number > 0) text += " #" + std::to_string(s.Number);
    return text;
}

}  // namespace

std::string UrlEncode(const std::string& utf8) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : utf8) {
        const auto c = static_cast<uint8_t>(ch);
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string DownloadName(const std::string& fileName, const std::string& title, const std::string& authors) {
    const size_t slash = fileName.find_last_of('/');
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    const size_t dot = base.find('.');
    const std::string stem = base.substr(0, dot);
    // Collections name their files by number; a download is better named by its book.
    const bool numbered =
        !stem.empty() && std::all_of(stem.begin(), stem.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::string t = TrimBlanks(title), a = TrimBlanks(authors);
    if (!numbered || t.empty()) return U(base);
    std::string named = a.empty() ? t : a + " - " + t;
    for (char& c : named)
        if (c == '/' || c == '\\' || static_cast<uint8_t>(c) < 0x20) c = '_';
    if (named.size() > 150) named.resize(150);
    return U(TrimBlanks(named)) + (dot == std::string::npos ? "" : U(base.substr(dot)));
}

TDownloadKind DownloadKindOf(const TBookInfo& book) {
    TDownloadKind kind;
    const std::string name = book.Packed ? book.EntryName.str() : book.FileName.str();
    kind.FileName = DownloadName(name, book.TitleText(), book.AuthorsText());
    const std::string lower = AnsiLowerCase(name);
    auto ends = [&](const char* end) {
        const std::string e(end);
        return lower.size() >= e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
    };
    const bool fb2 = ends(".fb2");
    if (book.Packed) {
        kind.ZipMember = true;
        kind.FileName += ".zip";
        kind.MimeType = fb2 ? "application/fb2+zip" : "application/zip";
    } else if (fb2) {
        kind.MimeType = "application/x-fictionbook+xml";
    } else if (ends(".fb2.zip") || ends(".fbz")) {
        kind.MimeType = "application/fb2+zip";
    } else if (ends(".zip")) {
        kind.MimeType = "application/zip";
    } else if (ends(".txt")) {
        kind.MimeType = "text/plain";
    } else if (ends(".html") || ends(".htm")) {
        kind.MimeType = "text/html";
    } else if (ends(".rtf")) {
        kind.MimeType = "application/rtf";
    } else if (ends(".pdf")) {
        kind.MimeType = "application/pdf";
    } else if (ends(".epub")) {
        kind.MimeType = "application/epub+zip";
    } else {
        kind.MimeType = "application/octet-stream";
    }
    return kind;
}

std::optional<TFeed> BuildFeed(const TOpdsCatalogue& catalogue, const std::string& path,
                               const std::map<std::string, std::string>& query, int pageSize) {
    TFeed feed;
    feed.Path = path;
    const std::string page = Query(query, "page");
    std::vector<std::string> parts;
    for (size_t start = 1; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    auto books = [&](const std::vector<int32_t>& numbers) {
        feed.Acquisition = true;
        Paged(feed, numbers, pageSize, page, BookEntry);
    };
    if (parts.empty()) {
        feed.Title = U(catalogue.Title());
        feed.Entries = {{M(rsOpdsAuthors), "/authors", M(rsOpdsByAuthors)},
                        {M(rsOpdsSeries), "/series", M(rsOpdsBySeries)},
                        {M(rsOpdsGenres), "/genres", M(rsOpdsByGenres)},
                        {M(rsOpdsNewBooks), "/new", M(rsOpdsLatest)},
                        {M(rsOpdsAllBooks), "/books",
                         U(CountMessage(rsOpdsBookCount, static_cast<int64_t>(catalogue.Books().size())))}};
        return feed;
    }
    const std::string& head = parts[0];
    if (head == "authors" && parts.size() == 1) {
        const std::string letter = Utf8ToAnsi(Query(query, "letter"));
        if (letter.empty()) {
            feed.Title = M(rsOpdsAuthors);
            for (const auto& [l, authors] : catalogue.AuthorsByLetter())
                feed.Entries.push_back({U(l), "/authors?letter=" + UrlEncode(U(l)),
                                        U(CountMessage(rsOpdsAuthorCount, static_cast<int64_t>(authors.size())))});
            return feed;
        }
        feed.Title = M(rsOpdsAuthorsOn, {U(letter)});
        feed.Path = "/authors?letter=" + UrlEncode(U(letter));
        static const std::vector<int32_t> none;
        const auto filed = catalogue.AuthorsByLetter().find(letter);
        const std::vector<int32_t>& authors = filed == catalogue.AuthorsByLetter().end() ? none : filed->second;
        Paged(feed, authors, pageSize, page, [&](int32_t a) {
            return TFeedEntry{
                U(catalogue.Authors()[static_cast<size_t>(a)]->DisplayName()), "/author/" + std::to_string(a), {}, -1};
        });
        return feed;
    }
    if (head == "author" && parts.size() == 2) {
        const auto n = Number(parts[1]);
        if (!n || static_cast<size_t>(*n) >= catalogue.Authors().size()) return std::nullopt;
        feed.Title = U(catalogue.Authors()[static_cast<size_t>(*n)]->DisplayName());
        books(catalogue.BooksOfAuthor(*n));
        return feed;
    }
    if (head == "series" && parts.size() == 1) {
        feed.Title = M(rsOpdsSeries);
        std::vector<int32_t> all(catalogue.Series().size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<int32_t>(i);
        Paged(feed, all, pageSize, page, [&](int32_t s) {
            return TFeedEntry{
                U(catalogue.Series()[static_cast<size_t>(s)]->DisplayName()), "/series/" + std::to_string(s), {}, -1};
        });
        return feed;
    }
    if (head == "series" && parts.size() == 2) {
        const auto n = Number(parts[1]);
        if (!n || static_cast<size_t>(*n) >= catalogue.Series().size()) return std::nullopt;
        feed.Title = U(catalogue.Series()[static_cast<size_t>(*n)]->DisplayName());
        books(catalogue.BooksOfSeries(*n));
        return feed;
    }
    if (head == "genres" && parts.size() == 1) {
        feed.Title = M(rsOpdsGenres);
        for (size_t i = 0; i < catalogue.Genres().size(); ++i) {
            const TBookGenre* g = catalogue.Genres()[i];
            if (g->Parent && g->Parent->Parent) continue;  // the top level only
            feed.Entries.push_back({U(TOpdsCatalogue::GenreCaption(*g)), "/genre/" + std::to_string(i), {}, -1});
        }
        return feed;
    }
    if (head == "genre" && (parts.size() == 2 || (parts.size() == 3 && parts[2] == "books"))) {
        const auto n = Number(parts[1]);
        if (!n || static_cast<size_t>(*n) >= catalogue.Genres().size()) return std::nullopt;
        const TBookGenre* g = catalogue.Genres()[static_cast<size_t>(*n)];
        feed.Title = U(TOpdsCatalogue::GenreCaption(*g));
        if (parts.size() == 2 && g->Count() > 0) {
            feed.Entries.push_back({M(rsOpdsAllOfGenre), "/genre/" + std::to_string(*n) + "/books", {}});
            for (size_t i = 0; i < g->Count(); ++i)
                feed.Entries.push_back({U(TOpdsCatalogue::GenreCaption(*g->Child(i))),
                                        "/genre/" + std::to_string(catalogue.GenreNumber(g->Child(i))),
                                        {},
                                        -1});
            return feed;
        }
        books(catalogue.BooksOfGenre(*n));
        return feed;
    }
    if (head == "new" && parts.size() == 1) {
        feed.Title = M(rsOpdsNewBooks);
        books(catalogue.Newest());
        return feed;
    }
    if (head == "books" && parts.size() == 1) {
        feed.Title = M(rsOpdsAllBooks);
        std::vector<int32_t> all(catalogue.Books().size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<int32_t>(i);
        books(all);
        return feed;
    }
    if (head == "search" && parts.size() == 1) {
        const std::string q = Query(query, "q");
        feed.Title = M(rsOpdsSearchFor, {q});
        feed.Path = "/search?q=" + UrlEncode(q);
        books(catalogue.Search(Utf8ToAnsi(q)));
        return feed;
    }
    return std::nullopt;
}

std::string AtomFeed(const TOpdsCatalogue& catalogue, const TFeed& feed) {
    const std::string kind = feed.Acquisition ? "acquisition" : "navigation";
    const std::string type = "application/atom+xml;profile=opds-catalog;kind=" + kind;
    std::string x;
    x.reserve(4096 + feed.Entries.size() * 1024);
    x += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\" "
         "xmlns:dc=\"http://purl.org/dc/terms/\" xmlns:opds=\"http://opds-spec.org/2010/catalog\" "
         "xmlns:opensearch=\"" +
         std::string(kOpenSearchNamespace) + "\">\n";
    x += "<id>urn:shelvara:" + XmlEscape(feed.Path) + "</id>\n<title>" + XmlEscape(feed.Title) + "</title>\n";
    // A list changes when a book of it is added; anything else when the library gains a book.
    TDateTime updated = feed.Acquisition ? 0 : catalogue.Updated();
    for (const TFeedEntry& e : feed.Entries)
        if (e.Book >= 0) updated = std::max(updated, catalogue.Books()[static_cast<size_t>(e.Book)]->AddedDate);
    x += "<updated>" + Iso(updated > 0 ? updated : catalogue.Updated()) + "</updated>\n";
    x += "<author><name>Shelvara</name></author>\n";
    const std::string self = feed.Pages > 1 ? WithPage(feed.Path, feed.Page) : feed.Path;
    x += "<link rel=\"self\" href=\"/opds" + XmlEscape(self) + "\" type=\"" + type + "\"/>\n";
    x += "<link rel=\"start\" href=\"/opds/\" type=\"application/atom+xml;profile=opds-catalog;kind=navigation\"/>\n";
    x += "<link rel=\"search\" href=\"/opds/opensearch.xml\" type=\"application/opensearchdescription+xml\"/>\n";
    if (feed.Pages > 1) {
        auto link = [&](const char* rel, int page) {
            x += std::string("<link rel=\"") + rel + "\" href=\"/opds" + XmlEscape(WithPage(feed.Path, page)) +
                 "\" type=\"" + type + "\"/>\n";
        };
        link("first", 1);
        link("last", feed.Pages);
        if (feed.Page > 1) link("previous", feed.Page - 1);
        if (feed.Page < feed.Pages) link("next", feed.Page + 1);
        x += "<opensearch:totalResults>" + std::to_string(feed.Total) + "</opensearch:totalResults>\n";
        x += "<opensearch:itemsPerPage>" + std::to_string(feed.Entries.size()) + "</opensearch:itemsPerPage>\n";
    }
    for (const TFeedEntry& e : feed.Entries) {
        x += "<entry>\n";
        if (e.Book < 0) {
            x += "<title>" + XmlEscape(e.Title) + "</title>\n<id>urn:shelvara:" + XmlEscape(e.Path) + "</id>\n";
            x += "<updated>" + Iso(catalogue.Updated()) + "</updated>\n";
            if (!e.Summary.empty()) x += "<content type=\"text\">" + XmlEscape(e.Summary) + "</content>\n";
            x += "<link rel=\"subsection\" href=\"/opds" + XmlEscape(e.Path) +
                 "\" type=\"application/atom+xml;profile=opds-catalog\"/>\n";
            x += "</entry>\n";
            continue;
        }
        const TBookInfo& b = *catalogue.Books()[static_cast<size_t>(e.Book)];
        const std::string id = catalogue.BookId(e.Book);
        x += "<title>" + XmlEscape(U(b.TitleText())) + "</title>\n<id>urn:shelvara:book:" + id + "</id>\n";
        x += "<updated>" + Iso(b.AddedDate) + "</updated>\n";
        if (b.TitleInfo) {
            for (const TAuthorName* a : b.TitleInfo->Authors)
                x += "<author><name>" + XmlEscape(U(a->DisplayName())) + "</name></author>\n";
            for (const TBookGenre* g : b.TitleInfo->Genres)
                x += "<category term=\"" + XmlEscape(U(g->Code)) + "\" label=\"" +
                     XmlEscape(U(TOpdsCatalogue::GenreCaption(*g))) + "\"/>\n";
            if (!b.TitleInfo->Lang.empty()) x += "<dc:language>" + XmlEscape(U(b.TitleInfo->Lang)) + "</dc:language>\n";
        }
        const std::string series = SeriesLine(b);
        if (!series.empty())
            x += "<category term=\"series\" scheme=\"urn:shelvara:series\" label=\"" + XmlEscape(series) + "\"/>\n";
        std::string content;
        if (!series.empty()) content += M(rsOpdsSeriesOf, {series}) + "\n";
        if (b.TitleInfo && !b.TitleInfo->Annotation.empty()) content += U(b.TitleInfo->Annotation);
        if (!content.empty()) x += "<content type=\"text\">" + XmlEscape(content) + "</content>\n";
        const TDownloadKind download = DownloadKindOf(b);
        x += "<link rel=\""
             "http://opds-spec.org/acquisition\" href=\"/download/" +
             id + "\" type=\"" + download.MimeType + "\"/>\n";
        if (!e.CoverType.empty()) {
            x += "<link rel=\"http://opds-spec.org/image\" href=\"/cover/" + id + "\" type=\"" + e.CoverType + "\"/>\n";
            x += "<link rel=\"http://opds-spec.org/image/thumbnail\" href=\"/thumb/" + id + "\" type=\"" + e.ThumbType +
                 "\"/>\n";
        }
        x += "</entry>\n";
    }
    x += "</feed>\n";
    return x;
}

std::string HtmlPage(const TOpdsCatalogue& catalogue, const TFeed& feed) {
    std::string h;
    h += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>" +
         XmlEscape(feed.Title) +
         "</title><style>body{font-family:sans-serif;max-width:48em;margin:auto;padding:0 .5em;line-height:1.4}"
         "a{color:#1a4f8b}.book{display:flex;gap:.8em;margin:.8em 0;border-bottom:1px solid #ddd;padding-bottom:.6em}"
         ".book img{width:64px;height:auto;flex:none}.small{color:#555;font-size:.9em}"
         "input{font-size:1em;max-width:100%}nav{display:flex;flex-wrap:wrap;gap:.2em .8em}</style></head><body>\n";
    h += "<nav><a href=\"/\">" + M(rsOpdsHome) + "</a><a href=\"/authors\">" + M(rsOpdsAuthors) +
         "</a><a href=\"/series\">" + M(rsOpdsSeries) + "</a><a href=\"/genres\">" + M(rsOpdsGenres) +
         "</a><a href=\"/new\">" + M(rsOpdsNew) + "</a></nav>\n";
    h += "<form action=\"/search\"><input name=\"q\" placeholder=\"" + XmlEscape(M(rsOpdsSearchHint)) + "\"> <button>" +
         M(rsOpdsFind) + "</button></form>\n";
    h += "<h1>" + XmlEscape(feed.Title) + "</h1>\n";
    if (!feed.Acquisition) h += "<ul>\n";
    for (const TFeedEntry& e : feed.Entries) {
        if (e.Book < 0) {
            h += "<li><a href=\"" + XmlEscape(e.Path) + "\">" + XmlEscape(e.Title) + "</a>";
            if (!e.Summary.empty()) h += " <span class=\"small\">" + XmlEscape(e.Summary) + "</span>";
            h += "</li>\n";
            continue;
        }
        const TBookInfo& b = *catalogue.Books()[static_cast<size_t>(e.Book)];
        const std::string id = catalogue.BookId(e.Book);
        h += "<div class=\"book\">";
        if (!e.CoverType.empty()) h += "<img src=\"/thumb/" + id + "\" alt=\"\" loading=\"lazy\">";
        h += "<div><b>" + XmlEscape(U(b.TitleText())) + "</b><br>" + XmlEscape(U(b.AuthorsText()));
        const std::string series = SeriesLine(b);
        if (!series.empty()) h += "<br><span class=\"small\">" + XmlEscape(series) + "</span>";
        h += "<br><a href=\"/download/" + id + "\">" + M(rsOpdsDownload) + "</a> <span class=\"small\">" +
             XmlEscape(DownloadKindOf(b).FileName) + "</span></div></div>\n";
    }
    if (!feed.Acquisition) h += "</ul>\n";
    if (feed.Pages > 1) {
        h += "<p>";
        if (feed.Page > 1)
            h += "<a href=\"" + XmlEscape(WithPage(feed.Path, feed.Page - 1)) + "\">&larr; " + M(rsOpdsBack) + "</a> ";
        h += M(rsOpdsPageOf, {std::to_string(feed.Page), std::to_string(feed.Pages)});
        if (feed.Page < feed.Pages)
            h += " <a href=\"" + XmlEscape(WithPage(feed.Path, feed.Page + 1)) + "\">" + M(rsOpdsNext) + " &rarr;</a>";
        h += "</p>\n";
    }
    h += "<p class=\"small\">OPDS: <a href=\"/opds" + XmlEscape(feed.Path) + "\">/opds" + XmlEscape(feed.Path) +
         "</a></p></body></html>\n";
    return h;
}

std::string OpenSearchDescription(const std::string& title) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<OpenSearchDescription "
           "xmlns=\"" +
           std::string(kOpenSearchNamespace) + "\">\n<ShortName>" + XmlEscape(title) + "</ShortName>\n<Description>" +
           XmlEscape(title) +
           "</Description>\n<InputEncoding>UTF-8</InputEncoding>\n<OutputEncoding>UTF-8</OutputEncoding>\n"
           "<Url type=\"application/atom+xml;profile=opds-catalog;kind=acquisition\" "
           "template=\"/opds/search?q={searchTerms}\"/>\n</OpenSearchDescription>\n";
}
