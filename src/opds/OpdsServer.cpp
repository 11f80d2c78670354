#include "opds/OpdsServer.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

#include <sys/stat.h>
#include <zlib.h>

#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "common/Crc32.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/ScopeExit.h"
#include "common/TextUtils.h"
#include "fb2/Base64.h"
#include "fb2/FBCover.h"
#include "fb2/MyStream.h"
#include "fb2/Picture.h"
#include "opds/OpdsCatalogue.h"
#include "opds/OpdsFeeds.h"
#include "scan/Packer.h"
#include "scan/PackerArchiveAccess.h"

namespace {

constexpr size_t kPictureCache = 4096;
constexpr size_t kPictureCacheBytes = size_t{64} << 20;
constexpr size_t kMaxCoversKnown = 2'000'000;
constexpr size_t kMaxRequestBody = 1024;  // the server takes no uploads
constexpr const char* kAtom = "application/atom+xml;profile=opds-catalog;charset=utf-8";

std::map<std::string, std::string> QueryOf(const httplib::Request& request) {
    std::map<std::string, std::string> query;
    for (const auto& [name, value] : request.params)
        query.emplace(name, value);
    return query;
}

// Whether the client takes gzip: named in Accept-Encoding and not with a weight of zero.
bool AcceptsGzip(const httplib::Request& request) {
    std::string accepted = AnsiLowerCase(request.get_header_value("Accept-Encoding"));
    accepted.erase(std::remove(accepted.begin(), accepted.end(), ' '), accepted.end());
    const size_t at = accepted.find("gzip");
    if (at == std::string::npos) return false;
    const std::string_view rest = std::string_view(accepted).substr(at + 4);
    if (rest.substr(0, 3) != ";q=") return true;
    return std::strtod(std::string(rest.substr(3)).c_str(), nullptr) > 0;
}

// The text as a gzip stream; empty when zlib fails.
std::string Gzip(const std::string& text) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END ? out : std::string();
}

void NotFound(httplib::Response& response) {
    response.status = 404;
    response.set_content("Not found\n", "text/plain; charset=utf-8");
}

// The bytes of one member zipped alone, as a reading app expects an .fb2.zip; name is engine text.
std::vector<uint8_t> ZipAlone(const std::string& name, const std::vector<uint8_t>& bytes) {
    TPacker archive;
    if (!archive.OpenBytes({}, name + ".zip")) RaiseFixedError("Cannot make an archive in memory");
    archive.AddFromBytes(name, bytes, 0, 0x20, true);
    return archive.CloseToBytes();
}

// An HTTP date (IMF-fixdate), written without the locale's day and month names.
std::string HttpDate(std::time_t t) {
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// An IMF-fixdate back to a time; none for anything else.
std::optional<std::time_t> ParseHttpDate(const std::string& text) {
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char day[4] = {}, month[4] = {}, zone[4] = {};
    std::tm tm{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%3s, %d %3s %d %d:%d:%d %3s%n", day, &tm.tm_mday, month, &tm.tm_year, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, zone, &consumed) != 8 ||
        std::string(zone) != "GMT")
        return std::nullopt;
    tm.tm_mon = -1;
    for (int i = 0; i < 12; ++i)
        if (std::string(month) == months[i]) tm.tm_mon = i;
    if (tm.tm_mon < 0) return std::nullopt;
    tm.tm_year -= 1900;
    return timegm(&tm);
}

// Whether an If-None-Match list names the tag ("*" names any); with weakMatches, weak and
// strong forms of one tag are the same.
bool TagListed(const std::string& header, std::string_view tag, bool weakMatches) {
    if (TrimBlanks(header) == "*") return true;
    if (weakMatches && tag.substr(0, 2) == "W/") tag.remove_prefix(2);
    std::string_view rest = header;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        std::string_view one = rest.substr(0, comma);
        while (!one.empty() && one.front() == ' ')
            one.remove_prefix(1);
        while (!one.empty() && one.back() == ' ')
            one.remove_suffix(1);
        const bool weak = one.substr(0, 2) == "W/";
        if (weak) one.remove_prefix(2);
        if (one == tag && (weakMatches || !weak)) return true;
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return false;
}

// Sets the validators of a response and answers 304 when the client's copy is current;
// true when it did. modified 0: none known.
bool NotModified(const httplib::Request& request, httplib::Response& response, const std::string& tag,
                 std::time_t modified) {
    response.set_header("ETag", tag);
    if (modified > 0) response.set_header("Last-Modified", HttpDate(modified));
    bool current = false;
    if (request.has_header("If-None-Match")) {
        current = TagListed(request.get_header_value("If-None-Match"), tag, true);
    } else if (modified > 0 && request.has_header("If-Modified-Since")) {
        const auto since = ParseHttpDate(request.get_header_value("If-Modified-Since"));
        current = since && modified <= *since;
    }
    if (current) {
        response.status = 304;
        response.body.clear();
    }
    return current;
}

// Whether ranges may be answered: with If-Range, only when it names the current version
// (a strong tag or the exact date), else the whole body goes out.
bool RangeStillApplies(const httplib::Request& request, const std::string& tag, std::time_t modified) {
    if (!request.has_header("If-Range")) return true;
    const std::string given = TrimBlanks(request.get_header_value("If-Range"));
    if (!given.empty() && (given.front() == '"' || given.rfind("W/", 0) == 0)) return given == tag;
    const auto date = ParseHttpDate(given);
    return date && modified > 0 && *date == modified;
}

// The ASCII stand-in for a download's name, for clients that do not read filename*.
std::string AsciiFileName(const std::string& utf8) {
    std::string out;
    for (const char ch : utf8) {
        const auto c = static_cast<uint8_t>(ch);
        if (c >= 0x80) {
            if ((c & 0xC0) != 0x80 && (out.empty() || out.back() != '_')) out += '_';
        } else if (c < 0x20 || c == '"' || c == '\\' || c == '/' || c == 0x7F) {
            out += '_';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

constexpr size_t kMaxRanges = 16;

enum class TRangeAnswer { Whole, Partial, Unsatisfiable };

// Settles the byte ranges a request asks of a body of size bytes, in place: each made absolute
// and clipped to the body, overlapping and touching ones merged. Many ranges are answered with
// the whole body: a request of thousands of "0-" must not make a response thousands of times
// the file.
TRangeAnswer SettleRanges(httplib::Ranges& ranges, size_t size) {
    if (ranges.empty()) return TRangeAnswer::Whole;
    const auto last = static_cast<ssize_t>(size) - 1;
    httplib::Ranges wanted;
    wanted.reserve(std::min(ranges.size(), kMaxRanges * 4));
    for (const auto& [first, end] : ranges) {
        ssize_t from = first, to = end;
        if (from < 0) {  // the last "end" bytes
            if (to <= 0) continue;
            from = std::max<ssize_t>(0, static_cast<ssize_t>(size) - to);
            to = last;
        } else if (to < 0 || to > last) {
            to = last;
        }
        if (from > last || from > to) continue;
        wanted.emplace_back(from, to);
    }
    if (wanted.empty()) {
        ranges.clear();
        return TRangeAnswer::Unsatisfiable;
    }
    std::sort(wanted.begin(), wanted.end());
    httplib::Ranges merged;
    for (const auto& range : wanted) {
        if (!merged.empty() && range.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    if (merged.size() > kMaxRanges) {
        ranges.clear();
        return TRangeAnswer::Whole;
    }
    ranges = std::move(merged);
    return TRangeAnswer::Partial;
}

}  // namespace

TOpdsServer::TOpdsServer(TOpdsOptions options) : options_(std::move(options)) {
    if (!options_.User.empty()) {
        const std::string credentials = options_.User + ":" + options_.Password;
        expectedCredentials_ = Base64Encode(std::vector<uint8_t>(credentials.begin(), credentials.end()));
    }
    stamp_ = Stamp();
    snapshot_ = std::make_shared<const TOpdsCatalogue>(options_.Library, options_.IncludeDeleted);
    server_ = std::make_unique<TGuardedHttpServer>(options_.Limits);
    Route();
}

TOpdsServer::~TOpdsServer() {
    Stop();
    if (watcher_.joinable()) watcher_.join();
}

std::shared_ptr<const TOpdsCatalogue> TOpdsServer::Catalogue() const {
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

TOpdsServer::TFileStamp TOpdsServer::Stamp() const {
    std::error_code ec;
    const std::filesystem::path path = AnsiToPath(options_.Library);
    TFileStamp stamp;
    stamp.Time = std::filesystem::last_write_time(path, ec);
    stamp.Size = std::filesystem::file_size(path, ec);
    return stamp;
}

bool TOpdsServer::ReloadIfChanged() {
    const TFileStamp now = Stamp();
    if (now == stamp_) return false;
    try {
        auto fresh = std::make_shared<const TOpdsCatalogue>(options_.Library, options_.IncludeDeleted);
        std::lock_guard lock(snapshotMutex_);
        snapshot_ = std::move(fresh);
        ++reloads_;  // counted before anyone can see the new snapshot
    } catch (const std::exception&) {
        return false;  // a file that cannot be read now keeps the last good snapshot
    }
    stamp_ = now;
    return true;
}

void TOpdsServer::Watch() {
    std::unique_lock lock(watchMutex_);
    while (!stopping_) {
        watchWake_.wait_for(lock, std::chrono::milliseconds(options_.ReloadCheckMs));
        if (stopping_) break;
        lock.unlock();
        ReloadIfChanged();
        lock.lock();
    }
}

int TOpdsServer::Bind() {
    if (options_.Port == 0) {
        port_ = server_->bind_to_any_port(options_.Bind);
        if (port_ < 0) RaiseFixedError("Cannot listen on " + options_.Bind);
    } else {
        if (!server_->bind_to_port(options_.Bind, options_.Port))
            RaiseFixedError("Cannot listen on " + options_.Bind + ":" + std::to_string(options_.Port));
        port_ = options_.Port;
    }
    server_->WidenBacklog();
    return port_;
}

void TOpdsServer::Serve() {
    {
        std::lock_guard lock(watchMutex_);
        if (stopping_) return;  // stopped before it started: a Ctrl+C at start-up counts
        serving_ = true;
    }
    watcher_ = std::thread([this] { Watch(); });
    server_->listen_after_bind();
    {
        std::lock_guard lock(watchMutex_);
        serving_ = false;
    }
    served_.notify_all();
}

void TOpdsServer::Stop() {
    std::unique_lock lock(watchMutex_);
    stopping_ = true;
    watchWake_.notify_all();
    // The HTTP server ignores a stop that comes before it listens, so it is told again until
    // Serve has returned.
    while (serving_) {
        lock.unlock();
        server_->stop();
        lock.lock();
        served_.wait_for(lock, std::chrono::milliseconds(10));
    }
}

bool TOpdsServer::Authorised(const httplib::Request& request, httplib::Response& response) const {
    if (options_.User.empty()) return true;
    const std::string& expected = expectedCredentials_;
    // The scheme's name is not case-sensitive ("basic" is "Basic").
    const std::string header = request.get_header_value("Authorization");
    std::string_view given = header;
    const size_t blank = given.find(' ');
    const bool basic = blank != std::string_view::npos && AnsiSameText(std::string(given.substr(0, blank)), "Basic");
    given = basic ? given.substr(given.find_first_not_of(' ', blank) == std::string_view::npos
                                     ? given.size()
                                     : given.find_first_not_of(' ', blank))
                  : std::string_view();
    // The comparison takes the same time however early the texts differ.
    const bool same = basic && given.size() == expected.size();
    unsigned diff = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        diff |= static_cast<unsigned>(i < given.size() ? given[i] ^ expected[i] : 1);
    if (same && diff == 0) return true;
    response.status = 401;
    response.set_header("WWW-Authenticate", "Basic realm=\"Shelvara\", charset=\"UTF-8\"");
    response.set_content("Authentication required\n", "text/plain; charset=utf-8");
    return false;
}

void TOpdsServer::Route() {
    httplib::Server& s = *server_;
    // Small responses go out at once rather than wait for the client's delayed acknowledgement.
    s.set_tcp_nodelay(true);
    s.set_payload_max_length(kMaxRequestBody);
    s.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        return Authorised(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                             : httplib::Server::HandlerResponse::Handled;
    });
    s.set_post_routing_handler([](const httplib::Request&, httplib::Response& response) {
        response.set_header("Date", HttpDate(std::time(nullptr)));
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        response.status = 500;
        response.set_content("Internal error\n", "text/plain; charset=utf-8");
    });
    auto feed = [this](bool atom) {
        return [this, atom](const httplib::Request& request, httplib::Response& response) {
            const std::shared_ptr<const TOpdsCatalogue> catalogue = Catalogue();
            std::string path = request.matches.size() > 1 ? request.matches[1].str() : std::string();
            if (path.empty()) path = "/";
            std::map<std::string, std::string> query = QueryOf(request);
            if (const auto q = query.find("q"); q != query.end() && !IsValidUtf8(q->second)) {
                // Some reading apps send Windows-1251; what is not text there either is refused.
                const bool ansi = std::none_of(q->second.begin(), q->second.end(), [](char c) {
                    return static_cast<uint8_t>(c) < 0x20 || static_cast<uint8_t>(c) == 0x98;
                });
                if (!ansi) {
                    response.status = 400;
                    return response.set_content("The search text is neither UTF-8 nor Windows-1251\n",
                                                "text/plain; charset=utf-8");
                }
                q->second = AnsiToUtf8(q->second);
            }
            std::optional<TFeed> page = BuildFeed(*catalogue, path, query, kPageSize);
            if (!page) return NotFound(response);
            for (TFeedEntry& entry : page->Entries)
                if (entry.Book >= 0) std::tie(entry.CoverType, entry.ThumbType) = CoverTypes(*catalogue, entry.Book);
            std::string body = atom ? AtomFeed(*catalogue, *page) : HtmlPage(*catalogue, *page);
            char hash[17];
            std::snprintf(hash, sizeof hash, "%016llx",
                          static_cast<unsigned long long>(std::hash<std::string>()(body)));
            const std::string tag = std::string("W/\"") + hash + "\"";
            response.set_header("Vary", "Accept-Encoding");
            if (NotModified(request, response, tag, 0)) return;
            if (atom) {
                // The library leaves Atom uncompressed: feeds are packed here when the client takes it.
                if (body.size() > 1024 && AcceptsGzip(request))
                    if (std::string packed = Gzip(body); !packed.empty()) {
                        response.set_header("Content-Encoding", "gzip");
                        body = std::move(packed);
                    }
                response.set_content(std::move(body), kAtom);
            } else {
                response.set_content(std::move(body), "text/html; charset=utf-8");
            }
        };
    };
    s.Get("/opds/opensearch.xml", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(OpenSearchDescription(AnsiToUtf8(Catalogue()->Title())),
                             "application/opensearchdescription+xml; charset=utf-8");
    });
    s.Get("/download/([0-9a-f]{16})", [this](const httplib::Request& request, httplib::Response& response) {
        const std::shared_ptr<const TOpdsCatalogue> catalogue = Catalogue();
        const int32_t book = catalogue->BookById(request.matches[1].str());
        if (book < 0) return NotFound(response);
        // The ranges are settled here, where the size is known; the server then answers them.
        Download(*catalogue, book, request, const_cast<httplib::Request&>(request).ranges, response);
    });
    s.Get("/(cover|thumb)/([0-9a-f]{16})", [this](const httplib::Request& request, httplib::Response& response) {
        const std::shared_ptr<const TOpdsCatalogue> catalogue = Catalogue();
        const int32_t book = catalogue->BookById(request.matches[2].str());
        if (book < 0) return NotFound(response);
        Picture(*catalogue, book, request.matches[1].str() == "thumb", request, response);
    });
    s.Get("/opds(/[^?]*)?", feed(true));
    s.Get("(/[^?]*)", feed(false));
}

void TOpdsServer::Download(const TOpdsCatalogue& catalogue, int32_t number, const httplib::Request& request,
                           httplib::Ranges& ranges, httplib::Response& response) const {
    const TBookInfo& book = *catalogue.Books()[static_cast<size_t>(number)];
    const TDownloadKind kind = DownloadKindOf(book);
    std::vector<uint8_t> bytes;
    std::time_t modified = 0;
    try {
        TPackerArchiveAccess packer(/*fromFile=*/true);  // one member, not the whole archive
        bytes = ReadBookBytes(&packer, book.FullPath(), book.Packed, book.EntryName);
        struct stat st {};
        if (::stat(AnsiToPath(book.FullPath()).c_str(), &st) == 0) modified = st.st_mtime;
    } catch (const std::exception&) {
        return NotFound(response);  // the file is gone or unreadable
    }
    if (kind.ZipMember) {
        const std::string_view entry = book.EntryName;
        bytes = ZipAlone(std::string(entry.substr(entry.find_last_of('/') + 1)), bytes);
    }
    // The tag follows the bytes served, so a resumed download never joins two versions.
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", Crc32Update(0, bytes.data(), bytes.size()));
    const std::string tag = "\"" + catalogue.BookId(number) + "-" + crc + "\"";
    response.set_header("Accept-Ranges", "bytes");
    if (NotModified(request, response, tag, modified)) return;
    if (!RangeStillApplies(request, tag, modified)) ranges.clear();
    const auto body = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    response.set_header("Content-Disposition", "attachment; filename=\"" + AsciiFileName(kind.FileName) +
                                                   "\"; filename*=UTF-8''" + UrlEncode(kind.FileName));
    if (SettleRanges(ranges, body->size()) == TRangeAnswer::Unsatisfiable) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(body->size()));
        response.set_content("Range not satisfiable\n", "text/plain; charset=utf-8");
        return;
    }
    // Sent from the one copy in pieces as the client takes them, ranges too.
    const size_t size = body->size();
    response.set_content_provider(size, kind.MimeType, [body](size_t offset, size_t length, httplib::DataSink& sink) {
        if (offset >= body->size()) return false;
        length = std::min({length, body->size() - offset, size_t{1} << 20});
        return sink.write(reinterpret_cast<const char*>(body->data()) + offset, length);
    });
}

std::string TOpdsServer::CoverKey(const TOpdsCatalogue& catalogue, int32_t number) {
    // The book's identity and its file's stamp: a key that no other snapshot gives another book.
    const TBookInfo& book = *catalogue.Books()[static_cast<size_t>(number)];
    return catalogue.BookId(number) + "/" + std::to_string(book.Size) + "/" + std::to_string(book.FileDate);
}

std::optional<std::vector<uint8_t>> TOpdsServer::CoverBytes(const TBookInfo& book, TPictureFormat& format) {
    try {
        TPackerArchiveAccess packer(/*fromFile=*/true);
        const std::vector<uint8_t> bytes = ReadBookBytes(&packer, book.FullPath(), book.Packed, book.EntryName);
        TMyMemStream stream;
        stream.Write(bytes.data(), static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX - 1)));
        const uint8_t zero = 0;
        stream.Write(&zero, 1);  // the cover finder reads text followed by a zero byte
        stream.SetSize(stream.Size() - 1);
        std::vector<uint8_t> cover;
        if (GetCoverBytes(stream, cover, format)) return cover;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

namespace {

// What a cover is served as: the book's own JPEG or PNG, else a PNG made from it; a thumbnail
// is the cover itself when low enough, else a JPEG made from it.
std::pair<std::string, std::string> ServedTypes(TPictureFormat format, int height) {
    const bool plain = format == TPictureFormat::Jpeg || format == TPictureFormat::Png;
    const std::string own = format == TPictureFormat::Jpeg ? "image/jpeg" : "image/png";
    return {plain ? own : "image/png", plain && height <= TOpdsServer::kThumbnailHeight ? own : "image/jpeg"};
}

}  // namespace

std::pair<std::string, std::string> TOpdsServer::CoverTypes(const TOpdsCatalogue& catalogue, int32_t number) {
    const std::string key = CoverKey(catalogue, number);
    {
        std::lock_guard lock(pictureMutex_);
        if (const auto it = coverKnown_.find(key); it != coverKnown_.end()) return it->second;
    }
    TPictureFormat format = TPictureFormat::None;
    std::pair<std::string, std::string> types;
    if (const auto cover = CoverBytes(*catalogue.Books()[static_cast<size_t>(number)], format)) {
        int width = 0, height = 0;
        if (ReadPictureSize(format, cover->data(), cover->size(), width, height)) types = ServedTypes(format, height);
    }
    std::lock_guard lock(pictureMutex_);
    if (coverKnown_.size() >= kMaxCoversKnown) coverKnown_.clear();
    coverKnown_[key] = types;
    return types;
}

void TOpdsServer::Picture(const TOpdsCatalogue& catalogue, int32_t number, bool thumbnail,
                          const httplib::Request& request, httplib::Response& response) {
    const std::string book = CoverKey(catalogue, number);
    const std::string key = book + (thumbnail ? "t" : "c");
    const std::string tag = "\"" + catalogue.BookId(number) + (thumbnail ? "-t" : "-c") + "\"";
    auto answer = [&](const TPicture& picture) {
        if (picture.Bytes.empty()) return NotFound(response);
        if (NotModified(request, response, tag + "", 0)) return;
        response.set_content(picture.Bytes, picture.Type);
    };
    {
        std::unique_lock lock(pictureMutex_);
        for (;;) {
            if (const auto it = pictureIndex_.find(key); it != pictureIndex_.end()) {
                pictures_.splice(pictures_.begin(), pictures_, it->second);
                return answer(*it->second);
            }
            if (decoding_.insert(book).second) break;
            pictureMade_.wait(lock);
        }
    }
    ScopeExit made([&] {
        {
            std::lock_guard lock(pictureMutex_);
            decoding_.erase(book);
        }
        pictureMade_.notify_all();
    });
    TPicture made_{key, "", ""};
    ++coversDecoded_;
    TPictureFormat format = TPictureFormat::None;
    std::pair<std::string, std::string> types;
    if (const auto cover = CoverBytes(*catalogue.Books()[static_cast<size_t>(number)], format)) {
        int width = 0, height = 0;
        const bool sized = ReadPictureSize(format, cover->data(), cover->size(), width, height);
        const bool plain = format == TPictureFormat::Jpeg || format == TPictureFormat::Png;
        types = ServedTypes(format, height);
        made_.Type = thumbnail ? types.second : types.first;
        if (sized && plain && (!thumbnail || height <= kThumbnailHeight)) {
            // Served as the book holds it: smaller than anything made from it here.
            made_.Bytes.assign(cover->begin(), cover->end());
        } else if (sized) {
            if (const std::unique_ptr<TBitmap> bitmap = DecodePicture(format, cover->data(), cover->size());
                bitmap && bitmap->Width > 0 && bitmap->Height > 0) {
                const std::vector<uint8_t> encoded =
                    thumbnail ? EncodeJpeg(ScaledToFit(*bitmap, kMaxPictureSide, kThumbnailHeight), 85)
                              : EncodePng(*bitmap);
                made_.Bytes.assign(encoded.begin(), encoded.end());
            }
        }
        if (made_.Bytes.empty()) types = {};
    }
    {
        // Books without a cover are remembered too, so they are not read again.
        std::lock_guard lock(pictureMutex_);
        coverKnown_[book] = types;
        if (!pictureIndex_.count(key)) {
            pictureBytes_ += made_.Bytes.size();
            pictures_.push_front(made_);
            pictureIndex_[key] = pictures_.begin();
            while (pictures_.size() > 1 && (pictureBytes_ > kPictureCacheBytes || pictures_.size() > kPictureCache)) {
                pictureBytes_ -= pictures_.back().Bytes.size();
                pictureIndex_.erase(pictures_.back().Key);
                pictures_.pop_back();
            }
        }
    }
    answer(made_);
}
