#include "scan/FolderSync.h"

#include <dirent.h>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/LibraryLock.h"
#include "catalogue/LostBookInfo.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "scan/BookSearch.h"
#include "scan/InpxImport.h"

namespace {

// Books of a folder by exact name: Linux names differ by letter case, so "Book.fb2" and
// "book.fb2" are two books. Of two records with one name the later one is found, as a search
// from the last book would.
class BookIndex {
public:
    explicit BookIndex(const TBookFolder& folder) {
        for (size_t i = 0; i < folder.BookCount(); ++i)
            Add(folder.Book(i));
    }
    void Add(TBookInfo* book) {
        const std::string key = Key(book->Packed, book->FileName, book->EntryName);
        exact_[key] = book;
    }
    TBookInfo* Find(bool packed, const std::string& file, const std::string& entry) const {
        auto it = exact_.find(Key(packed, file, entry));
        return it == exact_.end() ? nullptr : it->second;
    }

private:
    static std::string Key(bool packed, const std::string& file, const std::string& entry) {
        return packed ? file + '\0' + entry : file;
    }
    std::unordered_map<std::string, TBookInfo*> exact_;
};

// Reads plain book files ahead on one thread per core (file, checksum, byte counts,
// description) while this thread takes the ones before into the catalogue, in the order of the
// folder, so the catalogue is that of a one-thread scan.
class TPrefetcher final {
public:
    explicit TPrefetcher(unsigned what) : what_(what) {
        const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < threads; ++i)
            workers_.emplace_back([this] { Run(); });
    }
    ~TPrefetcher() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }
    // How many files are worth asking for ahead of the one being taken.
    size_t Ahead() const { return 4 * workers_.size(); }
    size_t Request(const std::string& path) {
        std::lock_guard lock(mutex_);
        const size_t id = nextId_++;
        queue_.push_back({id, path});
        wake_.notify_all();
        return id;
    }
    // The prepared content, or the error that reading it raised.
    TPreparedContent Take(size_t id) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return done_.count(id) != 0; });
        Result result = std::move(done_[id]);
        done_.erase(id);
        if (result.error) std::rethrow_exception(result.error);
        return std::move(result.content);
    }

private:
    struct Job {
        size_t id;
        std::string path;
    };
    struct Result {
        TPreparedContent content;
        std::exception_ptr error;
    };
    void Run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                if (queue_.empty()) return;
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            Result result;
            try {
                result.content = PrepareBookContent(nullptr, job.path, false, {}, what_);
            } catch (...) {
                result.error = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            done_[job.id] = std::move(result);
            ready_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, ready_;
    std::deque<Job> queue_;
    std::unordered_map<size_t, Result> done_;
    size_t nextId_ = 0;
    bool stop_ = false;
    const unsigned what_;
    std::vector<std::thread> workers_;
};

// What a scan reads of each book: file facts and checksum (1), the description (4), and the
// byte counts (2) only for a catalogue that keeps them in its file.
unsigned RefreshParts(const TBookFolder& folder) {
    const TSVD* catalogue = folder.Container();
    return catalogue && catalogue->SaveHuffman ? 7 : 5;
}

// The sub-folder of exactly that name.
TBookFolder* SubfolderNamed(TBookFolder& folder, const std::string& name) {
    for (size_t i = 0; i < folder.FolderCount(); ++i)
        if (folder.Folder(i)->Name == name) return folder.Folder(i);
    return nullptr;
}

void MoveToLost(TBookFolder& folder, TBookInfo* book, TSyncStats& stats) {
    TSVD* catalogue = folder.Container();
    if (catalogue) {
        TLostBookInfo* lost = catalogue->AddLostBook();
        lost->Assign(*book);
    }
    folder.DeleteBook(book);  // announces the removal and frees the record
    ++stats.Lost;
}

void SetMissing(TBookFolder& folder, bool missing) {
    constexpr auto bits = static_cast<uint8_t>(TBookFolder::kMissing | TBookFolder::kMissingAtScan);
    TCatalogueGuard guard;
    folder.Flags = static_cast<uint8_t>(missing ? folder.Flags | bits : folder.Flags & ~bits);
}

void Warn(TSyncStats& stats, const std::string& path, const std::string& what) {
    stats.Warnings.push_back(AnsiToUtf8(path) + ": " + what);
}

// A folder whose directory is not there now: a mount point's own folder gone is an offline
// disk, and keeps its books; a folder gone below a present root (removed or renamed, also
// while the run goes on) turns into lost books; an unreadable one keeps its books. Returns
// what the walk returns for it, or nothing when the directory is there.
std::optional<bool> SettleAbsent(TBookFolder& folder, const std::string& path, TSyncStats& stats) {
    switch (FolderState(path)) {
        case TFolderState::Gone: {
            SetMissing(folder, true);
            if (!folder.Parent) return true;
            ConvertToLost(folder, stats);
            return false;
        }
        case TFolderState::Unreachable:
            Warn(stats, path, "the folder cannot be read; its books are kept as they are");
            return true;
        case TFolderState::Present:
            break;
    }
    return std::nullopt;
}

// The mount point a folder belongs to.
TBookFolder& RootOf(TBookFolder& folder) {
    TBookFolder* root = &folder;
    while (root->Parent)
        root = root->Parent;
    return *root;
}

struct TScanContext {
    bool Replace;
    TSyncStats& Stats;
    IProgressSink* Sink;
    int Total = 0;
    int Counter = 0;
    std::set<std::pair<dev_t, ino_t>> Ancestors;
    TPrefetcher& Prefetcher;
    // The books of an imported collection are known from its index: short of a full refresh,
    // a member whose size is unchanged is not inflated again.
    bool TrustIndex = false;
    // The library's own files (itself, its backup and its lock), found by identity however
    // their folder is reached: they are no books, even in a folder that is catalogued.
    std::set<std::pair<uint64_t, uint64_t>> OwnFiles;
    // An imported collection's books are the ones its index lists: a scan refreshes them and
    // finds them lost or back, but adds none (a book the index deletes stays out).
    bool IndexedOnly = false;

    bool Cancelled() {
        if (Sink && !Stats.Cancelled && Sink->Cancelled()) Stats.Cancelled = true;
        return Stats.Cancelled;
    }
    void Report(const std::string& path) const {
        if (Sink) Sink->Progress(Counter, Total, path);
    }
};

bool ScanFolder(TBookFolder& folder, TScanContext& ctx, int depth) {
    if (folder.IsReadOnly() || ctx.Cancelled()) return true;
    TSyncStats& stats = ctx.Stats;
    const std::string path = folder.FullPath();
    if (const std::optional<bool> absent = SettleAbsent(folder, path, stats)) return *absent;
    SetMissing(folder, false);
    // A symbolic link back to a folder above is not followed into a loop.
    struct stat st {};
    if (::stat(AnsiToPath(path).c_str(), &st) == 0 && !ctx.Ancestors.insert({st.st_dev, st.st_ino}).second) return true;
    for (size_t i = folder.FolderCount(); i-- > 0;) {
        TBookFolder* sub = folder.Folder(i);
        if (!ScanFolder(*sub, ctx, depth + 1)) {
            TCatalogueGuard guard;
            folder.DeleteSubfolder(sub);
        }
    }
    if (ctx.Cancelled()) return true;

    bool readable = true;
    std::vector<TFRec> entries = ListFolder(path, &stats.Warnings, &readable);
    if (!readable) {
        Warn(stats, path, "the folder cannot be read; its books are kept as they are");
        return true;
    }
    std::erase_if(entries, [&](const TFRec& e) {
        return !e.IsDirectory && !e.InArchive && ctx.OwnFiles.count({e.Device, e.Inode});
    });
    BookIndex index(folder);
    // Plain files are read ahead, a few at a time; archive members are read here, through the
    // catalogue's one archive reader.
    const size_t ahead = ctx.Prefetcher.Ahead();
    std::vector<std::optional<size_t>> requests(entries.size());
    size_t requested = 0;
    auto requestAhead = [&](size_t upto) {
        for (; requested < entries.size() && requested < upto; ++requested)
            if (!entries[requested].IsDirectory && !entries[requested].InArchive)
                requests[requested] = ctx.Prefetcher.Request(JoinPath(path, entries[requested].Name));
    };
    TSVD* catalogue = folder.Container();
    const unsigned parts = RefreshParts(folder);
    for (size_t at = 0; at < entries.size() && !ctx.Cancelled(); ++at) {
        requestAhead(at + ahead);
        const TFRec& entry = entries[at];
        if (entry.IsDirectory) {
            if (SubfolderNamed(folder, entry.Name) || ctx.IndexedOnly) continue;
            if (depth + 1 > kMaxFolderDepth) {
                Warn(stats, JoinPath(path, entry.Name),
                     "the folder lies deeper than a library can hold (" + std::to_string(kMaxFolderDepth) +
                         " levels); it was left out");
                continue;
            }
            TBookFolder* added;
            {
                TCatalogueGuard guard;
                added = folder.AddFolder(entry.Name);
                added->NotifyAdded();
            }
            if (!ScanFolder(*added, ctx, depth + 1)) {
                TCatalogueGuard guard;
                folder.DeleteSubfolder(added);
            }
            continue;
        }
        ++ctx.Counter;
        const std::string entryName = entry.InArchive ? entry.Member.Path : std::string();
        TBookInfo* book = index.Find(entry.InArchive, entry.Name, entryName);
        if (!book && ctx.IndexedOnly) continue;
        if (book && ctx.TrustIndex && entry.InArchive && book->Size == entry.Member.Size) {
            ctx.Report(JoinPath(path, entry.Name));
            continue;
        }
        try {
            const TPreparedContent content =
                requests[at] ? ctx.Prefetcher.Take(*requests[at])
                             : PrepareBookContent(catalogue ? catalogue->Packer.get() : nullptr,
                                                  JoinPath(path, entry.Name), true, entryName, parts);
            if (book) {
                ctx.Report(book->FullPath());
                book->UpdateFromDisk(parts, ctx.Replace, &content);
                ++stats.Refreshed;
            } else {
                {
                    TCatalogueGuard guard;
                    book = folder.AddBook();
                    book->FileName = entry.Name;
                    book->EntryName = entryName;
                    book->Packed = entry.InArchive;
                    index.Add(book);
                    if (TLostBookInfo* lost =
                            catalogue ? catalogue->FindLostBook(content.Crc, content.Size) : nullptr) {
                        book->Assign(*lost);
                        book->Folder = &folder;
                        book->SetNames(entry.Name, entryName);
                        book->Packed = entry.InArchive;
                        lost->NotifyRemoved();
                        catalogue->Retire(catalogue->RemoveLostBook(lost));
                        ++stats.Recovered;
                    } else {
                        ++stats.Added;
                    }
                }
                book->NotifyAdded();
                ctx.Report(book->FullPath());
                book->UpdateFromDisk(parts, ctx.Replace, &content);
            }
            // The book is kept with what the file tells; the reason its description was not read
            // is said, with its line.
            if (!content.ParseError.empty())
                Warn(stats, JoinPath(path, entry.Name) + (entryName.empty() ? "" : "/" + entryName),
                     AnsiToUtf8(content.ParseError));
        } catch (const EShelvaraError& e) {
            // One unreadable file does not stop the walk.
            Warn(stats, JoinPath(path, entry.Name), AnsiToUtf8(e.what()));
        }
        ctx.Report(JoinPath(path, entry.Name));
    }
    return true;
}

}  // namespace

void TSyncStats::Merge(const TSyncStats& other) {
    Added += other.Added;
    Refreshed += other.Refreshed;
    Recovered += other.Recovered;
    Lost += other.Lost;
    Warnings.insert(Warnings.end(), other.Warnings.begin(), other.Warnings.end());
    Offline.insert(Offline.end(), other.Offline.begin(), other.Offline.end());
    Cancelled = Cancelled || other.Cancelled;
    if (Fatal.empty()) Fatal = other.Fatal;
}

TFolderState FolderState(const std::string& path) {
    struct stat st {};
    if (path.empty()) return TFolderState::Gone;
    const std::filesystem::path native = AnsiToPath(path);
    if (::stat(native.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? TFolderState::Gone : TFolderState::Unreachable;
    if (!S_ISDIR(st.st_mode)) return TFolderState::Gone;
    return ::access(native.c_str(), R_OK | X_OK) == 0 ? TFolderState::Present : TFolderState::Unreachable;
}

void ConvertToLost(TBookFolder& folder, TSyncStats& stats) {
    if (folder.IsReadOnly()) return;
    TCatalogueGuard guard;
    for (size_t i = folder.FolderCount(); i-- > 0;) {
        TBookFolder* sub = folder.Folder(i);
        ConvertToLost(*sub, stats);
        folder.DeleteSubfolder(sub);
    }
    for (size_t i = folder.BookCount(); i-- > 0;)
        MoveToLost(folder, folder.Book(i), stats);
}

bool CheckPresence(TBookFolder& folder, TSyncStats& stats, IProgressSink* sink) {
    if (folder.IsReadOnly()) return true;
    if (sink && sink->Cancelled()) {
        stats.Cancelled = true;
        return true;
    }
    const std::string path = folder.FullPath();
    if (const std::optional<bool> absent = SettleAbsent(folder, path, stats)) return *absent;
    for (size_t i = folder.FolderCount(); i-- > 0;) {
        TBookFolder* sub = folder.Folder(i);
        if (!CheckPresence(*sub, stats, sink)) {
            TCatalogueGuard guard;
            folder.DeleteSubfolder(sub);
        }
    }
    if (folder.BookCount() == 0 || stats.Cancelled) return true;
    // The disk is listed (archives opened) without the lock; only the outcome is applied under it.
    bool readable = true;
    const std::vector<TFRec> entries = ListFolder(path, &stats.Warnings, &readable);
    if (!readable) {
        Warn(stats, path, "the folder cannot be read; its books are kept as they are");
        return true;
    }
    TCatalogueGuard guard;
    BookIndex index(folder);
    std::unordered_set<const TBookInfo*> present;
    std::unordered_set<std::string> unreadableArchives;
    for (const TFRec& entry : entries) {
        if (entry.IsDirectory) continue;
        // An archive that is there but cannot be read now keeps its books.
        if (entry.Unreadable) unreadableArchives.insert(entry.Name);
        if (TBookInfo* book = index.Find(entry.InArchive, entry.Name, entry.InArchive ? entry.Member.Path : ""))
            present.insert(book);
    }
    for (size_t i = 0; i < folder.BookCount(); ++i) {
        TBookInfo* book = folder.Book(i);
        book->SetLost(!present.count(book) && !(book->Packed && unreadableArchives.count(book->FileName)));
    }
    for (size_t i = folder.BookCount(); i-- > 0;)
        if (folder.Book(i)->IsLost()) MoveToLost(folder, folder.Book(i), stats);
    return true;
}

namespace {

bool FolderIsEmpty(const std::string& path) {
    DIR* dir = ::opendir(AnsiToPath(path).c_str());
    if (!dir) return false;
    bool empty = true;
    while (const dirent* entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    ::closedir(dir);
    return empty;
}

}  // namespace

bool Scan(TBookFolder& folder, bool replace, TSyncStats& stats, IProgressSink* sink) {
    TPrefetcher prefetcher(RefreshParts(folder));
    TScanContext ctx{replace, stats, sink, 0, 0, {}, prefetcher, false, {}, false};
    ctx.IndexedOnly = IsInpxCollection(RootOf(folder));
    ctx.TrustIndex = !replace && ctx.IndexedOnly;
    if (const TSVD* catalogue = folder.Container(); catalogue && !catalogue->FileName.empty()) {
        for (const std::filesystem::path& own :
             {AnsiToPath(catalogue->FileName), AnsiToPath(TSVD::BackupName(catalogue->FileName)),
              TLibraryLock::LockFileOf(catalogue->FileName)}) {
            struct stat st {};
            if (::stat(own.c_str(), &st) == 0) ctx.OwnFiles.insert({st.st_dev, st.st_ino});
        }
    }
    if (sink) ctx.Total = CountFiles(folder.FullPath());
    int depth = 0;
    for (const TBookFolder* p = folder.Parent; p; p = p->Parent)
        ++depth;
    return ScanFolder(folder, ctx, depth);
}

bool Resync(TBookFolder& folder, bool scan, bool replace, TSyncStats& stats, IProgressSink* sink) {
    if (folder.IsReadOnly()) return false;
    TBookFolder* root = &RootOf(folder);
    // A mount point whose own folder is not there (an unplugged disk, an unmounted share) is
    // offline: its books are not lost, they are only out of reach.
    if (FolderState(root->FullPath()) != TFolderState::Present) {
        SetMissing(*root, true);
        stats.Offline.push_back(AnsiToUtf8(root->FullPath()));
        Warn(stats, root->FullPath(),
             "the mount point is offline (its folder is missing or unreadable); its books are kept");
        return false;
    }
    // An unmounted share or disk leaves its mount folder behind, empty: a library whose every
    // book vanished at once is far likelier offline than emptied.
    if (root->BookCountDeep() > 0 && FolderIsEmpty(root->FullPath())) {
        SetMissing(*root, true);
        stats.Offline.push_back(AnsiToUtf8(root->FullPath()));
        Warn(stats, root->FullPath(), "the mount point's folder is empty (not mounted?); its books are kept");
        return false;
    }
    SetMissing(*root, false);
    CheckPresence(folder, stats, sink);
    const bool result = !scan || stats.Cancelled || Scan(folder, replace, stats, sink);
    // The presence check and the scan list the same folders: each problem is told once.
    std::unordered_set<std::string> seen;
    std::erase_if(stats.Warnings, [&](const std::string& w) { return !seen.insert(w).second; });
    return result;
}
int CountFiles(const std::string& path) {
    int n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(
             AnsiToPath(path), std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file(ec)) ++n;
    return n;
}
