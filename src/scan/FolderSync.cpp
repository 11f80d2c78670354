#include "scan/FolderSync.h"

#include <sys/stat.h>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "scan/BookSearch.h"

namespace {

// Books of a folder by name: exact names first, letter case ignored as a fallback (catalogues
// made on Windows); of two books with one name the later one is found, as a search from the
// last book would.
class BookIndex {
public:
    explicit BookIndex(const TBookFolder& folder) {
        for (size_t i = 0; i < folder.BookCount(); ++i)
            Add(folder.Book(i));
    }
    void Add(TBookInfo* book) {
        const std::string key = Key(book->Packed, book->FileName, book->EntryName);
        exact_[key] = book;
        lower_[AnsiLowerCase(key)] = book;
    }
    TBookInfo* Find(bool packed, const std::string& file, const std::string& entry) const {
        const std::string key = Key(packed, file, entry);
        if (auto it = exact_.find(key); it != exact_.end()) return it->second;
        auto it = lower_.find(AnsiLowerCase(key));
        return it == lower_.end() ? nullptr : it->second;
    }

private:
    static std::string Key(bool packed, const std::string& file, const std::string& entry) {
        return packed ? file + '\0' + entry : file;
    }
    std::unordered_map<std::string, TBookInfo*> exact_, lower_;
};

// Reads plain book files ahead on a second thread (file, checksum, byte counts, description)
// while this thread takes the ones before into the catalogue, in the order of the folder.
class TPrefetcher final {
public:
    explicit TPrefetcher(unsigned what) : what_(what), worker_([this] { Run(); }) {}
    ~TPrefetcher() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }
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
    std::thread worker_;
};

// What a scan reads of each book: file facts and checksum (1), the description (4), and the
// byte counts (2) only for a catalogue that keeps them in its file.
unsigned RefreshParts(const TBookFolder& folder) {
    const TSVD* catalogue = folder.Container();
    return catalogue && catalogue->SaveHuffman ? 7 : 5;
}

TBookFolder* SubfolderNamed(TBookFolder& folder, const std::string& name) {
    TBookFolder* caseless = nullptr;
    for (size_t i = 0; i < folder.FolderCount(); ++i) {
        if (folder.Folder(i)->Name == name) return folder.Folder(i);
        if (!caseless && AnsiSameText(folder.Folder(i)->Name, name)) caseless = folder.Folder(i);
    }
    return caseless;
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

bool ScanFolder(TBookFolder& folder, bool replace, TSyncStats& stats, const TSyncProgress& progress, int total,
                int& counter, std::set<std::pair<dev_t, ino_t>>& ancestors, TPrefetcher& prefetcher) {
    if (folder.IsReadOnly()) return true;
    if (!folder.Exists()) {
        folder.Flags |= TBookFolder::kMissing | TBookFolder::kMissingAtScan;
        if (folder.BookCount() > 0) RaiseError(rsErrDebugBookNotEmpty);
        return false;
    }
    folder.Flags &= static_cast<uint8_t>(~(TBookFolder::kMissing | TBookFolder::kMissingAtScan));
    // A symbolic link back to a folder above is not followed into a loop.
    struct stat st {};
    if (::stat(AnsiToPath(folder.FullPath()).c_str(), &st) == 0 && !ancestors.insert({st.st_dev, st.st_ino}).second)
        return true;
    for (size_t i = folder.FolderCount(); i-- > 0;)
        if (!ScanFolder(*folder.Folder(i), replace, stats, progress, total, counter, ancestors, prefetcher))
            RaiseError(rsErrDebugMustBeDeleted);
    for (size_t i = 0; i < folder.BookCount(); ++i)
        folder.Book(i)->SetLost(true);

    BookIndex index(folder);
    const std::vector<TFRec> entries = ListFolder(folder.FullPath(), &stats.Warnings);
    // Plain files are read ahead, a few at a time; archive members are read here, through the
    // catalogue's one archive reader.
    constexpr size_t kAhead = 4;
    std::vector<std::optional<size_t>> requests(entries.size());
    size_t requested = 0;
    auto requestAhead = [&](size_t upto) {
        for (; requested < entries.size() && requested < upto; ++requested)
            if (!entries[requested].IsDirectory && !entries[requested].InArchive)
                requests[requested] = prefetcher.Request(JoinPath(folder.FullPath(), entries[requested].Name));
    };
    for (size_t at = 0; at < entries.size(); ++at) {
        requestAhead(at + kAhead);
        const TFRec& entry = entries[at];
        if (entry.IsDirectory) {
            if (SubfolderNamed(folder, entry.Name)) continue;
            TBookFolder* added;
            {
                TCatalogueGuard guard;
                added = folder.AddFolder(entry.Name);
                added->NotifyAdded();
            }
            if (!ScanFolder(*added, replace, stats, progress, total, counter, ancestors, prefetcher))
                folder.DeleteSubfolder(added);
            continue;
        }
        ++counter;
        const std::string entryName = entry.InArchive ? entry.Member.Path : std::string();
        TBookInfo* book = index.Find(entry.InArchive, entry.Name, entryName);
        try {
            TSVD* catalogue = folder.Container();
            const TPreparedContent content = requests[at]
                                                 ? prefetcher.Take(*requests[at])
                                                 : PrepareBookContent(catalogue ? catalogue->Packer.get() : nullptr,
                                                                      JoinPath(folder.FullPath(), entry.Name), true,
                                                                      entryName, RefreshParts(folder));
            if (book) {
                if (progress) progress(counter, total, book->FullPath());
                book->UpdateFromDisk(RefreshParts(folder), replace, &content);
                ++stats.Refreshed;
            } else {
                {
                    TCatalogueGuard guard;
                    book = folder.AddBook();
                    book->FileName = entry.Name;
                    book->EntryName = entryName;
                    book->Packed = entry.InArchive;
                    index.Add(book);
                }
                if (TLostBookInfo* lost = catalogue ? catalogue->FindLostBook(content.Crc, content.Size) : nullptr) {
                    TCatalogueGuard guard;
                    book->Assign(*lost);
                    book->Folder = &folder;
                    book->SetNames(entry.Name, entryName);
                    book->Packed = entry.InArchive;
                    lost->NotifyRemoved();
                    catalogue->RemoveLostBook(lost);
                    ++stats.Recovered;
                } else {
                    ++stats.Added;
                }
                book->NotifyAdded();
                if (progress) progress(counter, total, book->FullPath());
                book->UpdateFromDisk(RefreshParts(folder), replace, &content);
            }
        } catch (const EShelvaraError& e) {
            // One unreadable file does not stop the walk.
            stats.Warnings.push_back(AnsiToUtf8(JoinPath(folder.FullPath(), entry.Name)) + ": " + AnsiToUtf8(e.what()));
        }
        if (progress) progress(counter, total, JoinPath(folder.FullPath(), entry.Name));
    }
    return true;
}

}  // namespace

void ConvertToLost(TBookFolder& folder, TSyncStats& stats) {
    if (folder.IsReadOnly()) return;
    for (size_t i = folder.FolderCount(); i-- > 0;) {
        TBookFolder* sub = folder.Folder(i);
        ConvertToLost(*sub, stats);
        folder.DeleteSubfolder(sub);
    }
    for (size_t i = folder.BookCount(); i-- > 0;)
        MoveToLost(folder, folder.Book(i), stats);
}

bool CheckPresence(TBookFolder& folder, TSyncStats& stats) {
    if (folder.IsReadOnly()) return true;
    TCatalogueGuard guard;
    if (!folder.Exists()) {
        ConvertToLost(folder, stats);
        return false;
    }
    for (size_t i = folder.FolderCount(); i-- > 0;) {
        TBookFolder* sub = folder.Folder(i);
        if (!CheckPresence(*sub, stats)) folder.DeleteSubfolder(sub);
    }
    if (folder.BookCount() == 0) return true;
    for (size_t i = 0; i < folder.BookCount(); ++i)
        folder.Book(i)->SetLost(true);
    BookIndex index(folder);
    for (const TFRec& entry : ListFolder(folder.FullPath(), &stats.Warnings)) {
        if (entry.IsDirectory) continue;
        if (entry.Unreadable) {
            // An archive that is there but cannot be read now keeps its books.
            for (size_t i = 0; i < folder.BookCount(); ++i)
                if (folder.Book(i)->Packed && folder.Book(i)->FileName == entry.Name) folder.Book(i)->SetLost(false);
        }
        if (TBookInfo* book = index.Find(entry.InArchive, entry.Name, entry.InArchive ? entry.Member.Path : ""))
            book->SetLost(false);
    }
    for (size_t i = folder.BookCount(); i-- > 0;)
        if (folder.Book(i)->IsLost()) MoveToLost(folder, folder.Book(i), stats);
    return true;
}

bool Scan(TBookFolder& folder, bool replace, TSyncStats& stats, const TSyncProgress& progress) {
    int counter = 0;
    std::set<std::pair<dev_t, ino_t>> ancestors;
    const int total = progress ? CountFiles(folder.FullPath()) : 0;
    TPrefetcher prefetcher(RefreshParts(folder));
    return ScanFolder(folder, replace, stats, progress, total, counter, ancestors, prefetcher);
}

bool Resync(TBookFolder& folder, bool scan, bool replace, TSyncStats& stats, const TSyncProgress& progress) {
    if (folder.IsReadOnly()) return false;
    CheckPresence(folder, stats);
    return scan ? Scan(folder, replace, stats, progress) : true;
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
