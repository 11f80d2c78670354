#include "opds/OpdsServer.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>

#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
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

constexpr size_t kPictureCache = 256;
constexpr size_t kMaxRequestBody = 1024;  // the server takes no uploads
constexpr const char* kAtom = "application/atom+xml;profile=opds-catalog;charset=utf-8";

std::map<std::string, std::string> QueryOf(const httplib::Request& request) {
    std::map<std::string, std::string> query;
    for (const auto& [name, value] : request.params)
        query.emplace(name, value);
    return query;
}

std::optional<int32_t> NumberOf(const std::string& text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
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

// The picture scaled down to a height (box filter), proportions kept.
TBitmap ScaledToHeight(const TBitmap& source, int height) {
    if (source.Height <= height) return source;
    TBitmap out;
    out.Height = height;
    out.Width = std::max(1, static_cast<int>(static_cast<int64_t>(source.Width) * height / source.Height));
    out.Pixels.resize(static_cast<size_t>(out.Width) * static_cast<size_t>(out.Height) * 4);
    for (int y = 0; y < out.Height; ++y) {
        const int y0 = y * source.Height / out.Height, y1 = std::max(y0 + 1, (y + 1) * source.Height / out.Height);
        for (int x = 0; x < out.Width; ++x) {
            const int x0 = x * source.Width / out.Width, x1 = std::max(x0 + 1, (x + 1) * source.Width / out.Width);
            uint32_t sum[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += source.Pixels[(static_cast<size_t>(sy) * static_cast<size_t>(source.Width) +
                                                 static_cast<size_t>(sx)) *
                                                    4 +
                                                static_cast<size_t>(c)];
            const uint32_t n = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 4; ++c)
                out.Pixels[(static_cast<size_t>(y) * static_cast<size_t>(out.Width) + static_cast<size_t>(x)) * 4 +
                           static_cast<size_t>(c)] = static_cast<uint8_t>(sum[c] / n);
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
    snapshot_ = std::make_shared<const TOpdsCatalogue>(options_.Library);
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
        auto fresh = std::make_shared<const TOpdsCatalogue>(options_.Library);
        std::lock_guard lock(snapshotMutex_);
        snapshot_ = std::move(fresh);
        ++generation_;
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
    // Slow or silent clients are bounded by the guarded server itself.
    // Small responses go out at once rather than wait for the client's delayed acknowledgement.
    s.set_tcp_nodelay(true);
    s.set_payload_max_length(kMaxRequestBody);
    s.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        return Authorised(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                             : httplib::Server::HandlerResponse::Handled;
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
            const std::optional<TFeed> page = BuildFeed(*catalogue, path, QueryOf(request), kPageSize);
            if (!page) return NotFound(response);
            if (atom)
                response.set_content(AtomFeed(*catalogue, *page), kAtom);
            else
                response.set_content(HtmlPage(*catalogue, *page), "text/html; charset=utf-8");
        };
    };
    s.Get("/opds/opensearch.xml", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(OpenSearchDescription(AnsiToUtf8(Catalogue()->Title())),
                             "application/opensearchdescription+xml; charset=utf-8");
    });
    s.Get("/download/(\\d+)", [this](const httplib::Request& request, httplib::Response& response) {
        const std::optional<int32_t> n = NumberOf(request.matches[1].str());
        if (!n) return NotFound(response);
        // The ranges are settled here, where the size is known; the server then answers them.
        Download(*n, const_cast<httplib::Request&>(request).ranges, response);
    });
    s.Get("/(cover|thumb)/(\\d+)", [this](const httplib::Request& request, httplib::Response& response) {
        const std::optional<int32_t> n = NumberOf(request.matches[2].str());
        if (!n) return NotFound(response);
        Picture(*n, request.matches[1].str() == "thumb", response);
    });
    s.Get("/opds(/[^?]*)?", feed(true));
    s.Get("(/[^?]*)", feed(false));
}

void TOpdsServer::Download(int32_t number, httplib::Ranges& ranges, httplib::Response& response) const {
    const std::shared_ptr<const TOpdsCatalogue> catalogue = Catalogue();
    if (static_cast<size_t>(number) >= catalogue->Books().size()) return NotFound(response);
    const TBookInfo& book = *catalogue->Books()[static_cast<size_t>(number)];
    const TDownloadKind kind = DownloadKindOf(book);
    std::vector<uint8_t> bytes;
    try {
        TPackerArchiveAccess packer(/*fromFile=*/true);  // one member, not the whole archive
        bytes = ReadBookBytes(&packer, book.FullPath(), book.Packed, book.EntryName);
    } catch (const std::exception&) {
        return NotFound(response);  // the file is gone or unreadable
    }
    if (kind.ZipMember) {
        const std::string_view entry = book.EntryName;
        bytes = ZipAlone(std::string(entry.substr(entry.find_last_of('/') + 1)), bytes);
    }
    const auto body = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    response.set_header("Content-Disposition", "attachment; filename*=UTF-8''" + UrlEncode(kind.FileName));
    response.set_header("Accept-Ranges", "bytes");
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

void TOpdsServer::Picture(int32_t number, bool thumbnail, httplib::Response& response) {
    const std::shared_ptr<const TOpdsCatalogue> catalogue = Catalogue();
    if (static_cast<size_t>(number) >= catalogue->Books().size()) return NotFound(response);
    std::string key, book;
    {
        std::lock_guard lock(snapshotMutex_);
        book = std::to_string(generation_) + "/" + std::to_string(number);
        key = book + (thumbnail ? "t" : "c");
    }
    {
        std::unique_lock lock(pictureMutex_);
        for (;;) {
            if (const auto it = pictureIndex_.find(key); it != pictureIndex_.end()) {
                pictures_.splice(pictures_.begin(), pictures_, it->second);
                if (it->second->Bytes.empty()) return NotFound(response);
                response.set_content(it->second->Bytes, it->second->Type);
                return;
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
    const TBookInfo& info = *catalogue->Books()[static_cast<size_t>(number)];
    std::string png;
    try {
        ++coversDecoded_;
        TPackerArchiveAccess packer(/*fromFile=*/true);
        const std::vector<uint8_t> bytes = ReadBookBytes(&packer, info.FullPath(), info.Packed, info.EntryName);
        TMyMemStream stream;
        stream.Write(bytes.data(), static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX - 1)));
        const uint8_t zero = 0;
        stream.Write(&zero, 1);  // the cover finder reads text followed by a zero byte
        stream.SetSize(stream.Size() - 1);
        if (std::unique_ptr<TBitmap> cover = GetCover(stream); cover && cover->Width > 0 && cover->Height > 0) {
            const std::vector<uint8_t> encoded =
                EncodePng(thumbnail ? ScaledToHeight(*cover, kThumbnailHeight) : *cover);
            png.assign(encoded.begin(), encoded.end());
        }
    } catch (const std::exception&) {
        png.clear();  // no cover to show
    }
    {
        // Books without a cover are remembered too, so they are not read again.
        std::lock_guard lock(pictureMutex_);
        if (!pictureIndex_.count(key)) {
            pictures_.push_front({key, "image/png", png});
            pictureIndex_[key] = pictures_.begin();
            while (pictures_.size() > kPictureCache) {
                pictureIndex_.erase(pictures_.back().Key);
                pictures_.pop_back();
            }
        }
    }
    if (png.empty()) return NotFound(response);
    response.set_content(std::move(png), "image/png");
}
