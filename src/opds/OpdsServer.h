#pragma once

#include <sys/types.h>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "opds/HttpConnections.h"

class TBookInfo;
class TOpdsCatalogue;
enum class TPictureFormat;

struct TOpdsOptions {
    std::string Library;  // the library file, engine text
    std::string Bind = "127.0.0.1";
    int Port = 8080;             // 0: any free port
    std::string User, Password;  // with a user, every request needs HTTP basic authentication
    TConnectionLimits Limits;
    int ReloadCheckMs = 2000;     // how often the library file is looked at for changes
    bool IncludeDeleted = false;  // also books their collection's index deletes
};

// Serves a library over HTTP: OPDS 1.2 feeds under /opds for reading apps, the same catalogue as
// HTML pages for browsers, book downloads and covers. Requests read an immutable snapshot of
// the library; when the file changes on disk a new snapshot is loaded beside it and takes over,
// so requests never wait for a reload.
class TOpdsServer final {
public:
    static constexpr int kPageSize = 50;
    static constexpr int kThumbnailHeight = 200;

    // Loads the library; raises what the load raises.
    explicit TOpdsServer(TOpdsOptions options);
    ~TOpdsServer();
    TOpdsServer(const TOpdsServer&) = delete;
    TOpdsServer& operator=(const TOpdsServer&) = delete;

    // Binds to the address and port; returns the port. Raises when it cannot.
    int Bind();
    // Serves until Stop; call after Bind.
    void Serve();
    // Ends Serve, or makes a Serve still to come return at once (from any thread); returns
    // once Serve has returned.
    void Stop();
    int Port() const { return port_; }

    std::shared_ptr<const TOpdsCatalogue> Catalogue() const;
    // Loads the library again when its file changed since the last load; true when it did.
    bool ReloadIfChanged();
    int64_t Reloads() const { return reloads_; }
    int OpenConnections() const { return server_->Open(); }
    int64_t RefusedConnections() const { return server_->Refused(); }
    // Books whose cover was read and decoded so far.
    int64_t CoversDecoded() const { return coversDecoded_; }

private:
    struct TFileStamp {
        std::filesystem::file_time_type Time{};
        uintmax_t Size = 0;
        bool operator==(const TFileStamp&) const = default;
    };
    TFileStamp Stamp() const;
    void Route();
    bool Authorised(const httplib::Request& request, httplib::Response& response) const;
    void Download(const TOpdsCatalogue& catalogue, int32_t book, const httplib::Request& request,
                  std::vector<std::pair<ssize_t, ssize_t>>& ranges, httplib::Response& response) const;
    void Picture(const TOpdsCatalogue& catalogue, int32_t book, bool thumbnail, const httplib::Request& request,
                 httplib::Response& response);
    // The types a book's cover and thumbnail are served as, empty when it has none; read once
    // and remembered.
    std::pair<std::string, std::string> CoverTypes(const TOpdsCatalogue& catalogue, int32_t book);
    static std::string CoverKey(const TOpdsCatalogue& catalogue, int32_t book);
    static std::optional<std::vector<uint8_t>> CoverBytes(const TBookInfo& book, TPictureFormat& format);
    void Watch();

    TOpdsOptions options_;
    std::string expectedCredentials_;  // what follows "Basic " in a request that may come in
    std::unique_ptr<TGuardedHttpServer> server_;
    int port_ = 0;
    mutable std::mutex snapshotMutex_;
    std::shared_ptr<const TOpdsCatalogue> snapshot_;
    TFileStamp stamp_;
    std::atomic<int64_t> reloads_ = 0;
    std::atomic<int64_t> coversDecoded_ = 0;
    std::thread watcher_;
    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool stopping_ = false;
    bool serving_ = false;
    std::condition_variable served_;
    // Covers and thumbnails already made, most recently used first.
    struct TPicture {
        std::string Key;
        std::string Type;
        std::string Bytes;
    };
    std::mutex pictureMutex_;
    std::list<TPicture> pictures_;
    std::unordered_map<std::string, std::list<TPicture>::iterator> pictureIndex_;
    size_t pictureBytes_ = 0;
    std::unordered_map<std::string, std::pair<std::string, std::string>> coverKnown_;
    // Books whose cover is being decoded: another request for one waits for its result rather
    // than decode it again.
    std::unordered_set<std::string> decoding_;
    std::condition_variable pictureMade_;
};
