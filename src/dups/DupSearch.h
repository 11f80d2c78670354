#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "dups/DupCompare.h"

class IArchiveAccess;
class TBookFolder;
class TBookInfo;

// What the search needs to read a book's text, taken from the catalogue once at the start, so
// that the worker never touches a book record that may be freed meanwhile.
struct TDupBookRef {
    TBookInfo* Book = nullptr;  // not read by the worker: the record may be freed meanwhile
    std::string FullPath;       // engine text
    std::string EntryName;
    bool Packed = false;
    uint8_t FileType = 0;
};

// The plain text of a book for the comparison: an FB2 book's first body, a text file's bytes;
// other types have none. Raises when the file cannot be read.
std::string ReadBookText(IArchiveAccess* packer, const TDupBookRef& book);

// Reports of a running search, from the worker thread.
class IDupObserver {
public:
    virtual ~IDupObserver() = default;
    virtual void DupStarted() {}
    // phase 1: signatures of the first folder; phase 2: comparing the second folder's texts.
    virtual void DupProgress(int /*phase*/, int /*done*/, int /*total*/, const std::string& /*path*/) {}
    // A pair at or above the threshold; the books are identities, the paths their files.
    virtual void DupPairFound(const TDupBookRef& book1, const TDupBookRef& book2, int32_t similarity) = 0;
    virtual void DupFinished(bool /*stopped*/) {}
};

// The duplicate text search over two catalogue folders (the same one compared with itself
// too), in a background worker: signatures of every book below folder 1, then every text below
// folder 2 compared with all of them.
class TDupSearcher final {
public:
    explicit TDupSearcher(IArchiveAccess* packer = nullptr) : packer_(packer) {}
    ~TDupSearcher();
    TDupSearcher(const TDupSearcher&) = delete;
    TDupSearcher& operator=(const TDupSearcher&) = delete;

    TDupParams Params;
    // Threads that read and compare texts; 0 for one per core. The pairs and their order do not
    // depend on it.
    unsigned Threads = 0;
    // How texts are read; ReadBookText unless set. Called from several threads at once.
    std::function<std::string(const TDupBookRef&)> TextSource;

    // Stops a running search, then starts one; false when a folder is missing.
    bool Start(const TBookFolder* folder1, const TBookFolder* folder2, IDupObserver* observer);
    void Stop();
    bool Pause();   // false unless a search runs unpaused
    bool Resume();  // false unless a search runs paused
    bool IsRunning() const;
    void Wait();
    // Drops a book leaving the catalogue: its signature is never reported and its text not read.
    void RemoveBook(const TBookInfo* book);

    struct TProgress {
        std::string Status;  // the path at hand
        int Total = 0;
        int Done = 0;
    };
    TProgress Progress() const;

private:
    void Run(std::vector<TDupBookRef> first, std::vector<TDupBookRef> second, IDupObserver* observer);
    // Waits while paused; false once a stop was asked for.
    bool Carry();
    bool Removed(const TBookInfo* book) const;

    IArchiveAccess* packer_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool running_ = false;
    bool paused_ = false;
    bool stop_ = false;
    std::unordered_set<const TBookInfo*> removed_;
    TProgress progress_;
};
