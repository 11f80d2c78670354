#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/TextUtils.h"

class TBookInfo;
class TOpdsCatalogue;

// One entry of a catalogue page: a way further (navigation) or a book.
struct TFeedEntry {
    std::string Title;  // UTF-8
    std::string Path;   // where it leads, without the /opds prefix; empty for a book
    std::string Summary;
    int32_t Book = -1;
    // A book's cover and thumbnail types ("image/jpeg"); empty when it has no cover.
    std::string CoverType = "image/jpeg", ThumbType = "image/jpeg";
};

// A page of the catalogue, the same for OPDS and HTML.
struct TFeed {
    std::string Title;         // UTF-8
    std::string Path;          // its own path and query (without the page), without the /opds prefix
    bool Acquisition = false;  // a list of books
    std::vector<TFeedEntry> Entries;
    int Page = 1, Pages = 1;
    size_t Total = 0;
};

// The page for a path and its query parameters, or none when the path or a number in it names
// nothing (a 404). Paths: "/", "/authors" (letter=), "/author/N", "/series", "/series/N",
// "/genres", "/genre/N", "/genre/N/books", "/new", "/books", "/search" (q=); page= on lists.
std::optional<TFeed> BuildFeed(const TOpdsCatalogue& catalogue, const std::string& path,
                               const std::map<std::string, std::string>& query, int pageSize);

// The feed as an OPDS 1.2 Atom document (UTF-8); links are absolute paths under /opds.
std::string AtomFeed(const TOpdsCatalogue& catalogue, const TFeed& feed);
// The feed as a plain HTML page for browsers, with covers and a search form.
std::string HtmlPage(const TOpdsCatalogue& catalogue, const TFeed& feed);
// The OpenSearch description of the search feed.
std::string OpenSearchDescription(const std::string& title);

// How a book is served: its MIME type and whether a member of an archive is zipped on its own.
struct TDownloadKind {
    std::string MimeType;
    std::string FileName;    // UTF-8, as the download is named
    bool ZipMember = false;  // a member of an archive: served zipped alone
};
TDownloadKind DownloadKindOf(const TBookInfo& book);
// The name a download goes by (UTF-8), from its file's name (engine text, may hold a folder):
// the file's own name, or "Authors - Title" with its extensions when the name is only a number.
std::string DownloadName(const std::string& fileName, const std::string& title, const std::string& authors);

std::string UrlEncode(const std::string& utf8);
