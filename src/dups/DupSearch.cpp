#include "dups/DupSearch.h"

#include <algorithm>
#include <atomic>
#include <optional>

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/CatalogueLock.h"
#include "fb2/FBParser.h"
#include "fb2/XMLPars.h"

std::string ReadBookText(IArchiveAccess* packer, const TDupBookRef& book) {
    if (book.FileType != kFileFb2 && book.FileType != kFileText) return {};
    const std::vector<uint8_t> bytes = ReadBookBytes(packer, book.FullPath, book.Packed, book.EntryName);
    if (book.FileType == kFileText) return std::string(bytes.begin(), bytes.end());
    TFictionBook document;
    if (!document.LoadFromBytes(bytes.data(), bytes.size(), kKeepBody)) return {};
    const TSimpleType* body = document.FindBody();
    return body ? GetText(*body) : std::string();
}

namespace {

std::vector<TDupBookRef> BooksBelow(const TBookFolder& folder) {
    TCatalogueGuard guard;
    TBookCollection books;
    folder.CollectBooks(books, true);
    std::vector<TDupBookRef> refs;
    refs.reserve(books.Count());
    for (TBookInfo* book : books.Books())
        refs.push_back({book, book->FullPath(), book->EntryName, book->Packed != 0, book->GetFileType()});
    return refs;
}

}  // namespace

TDupSearcher::~TDupSearcher() {
    Stop();
    Wait();
}

bool TDupSearcher::Start(const TBookFolder* folder1, const TBookFolder* folder2, IDupObserver* observer) {
    if (!folder1 || !folder2) return false;
    Stop();
    Wait();
    std::vector<TDupBookRef> first = BooksBelow(*folder1);
    std::vector<TDupBookRef> second = BooksBelow(*folder2);
    {
        std::lock_guard lock(mutex_);
        running_ = true;
        paused_ = stop_ = false;
        removed_.clear();
        progress_ = {};
    }
    thread_ = std::thread([this, first = std::move(first), second = std::move(second), observer]() mutable {
        Run(std::move(first), std::move(second), observer);
    });
    return true;
}

void TDupSearcher::Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    wake_.notify_all();
}

bool TDupSearcher::Pause() {
    std::lock_guard lock(mutex_);
    if (!running_ || paused_) return false;
    paused_ = true;
    return true;
}

bool TDupSearcher::Resume() {
    std::lock_guard lock(mutex_);
    if (!running_ || !paused_) return false;
    paused_ = false;
    wake_.notify_all();
    return true;
}

bool TDupSearcher::IsRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void TDupSearcher::Wait() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TDupSearcher::RemoveBook(const TBookInfo* book) {
    std::lock_guard lock(mutex_);
    removed_.insert(book);
}

TDupSearcher::TProgress TDupSearcher::Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

bool TDupSearcher::Carry() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return stop_ || !paused_; });
    return !stop_;
}

bool TDupSearcher::Removed(const TBookInfo* book) const {
    std::lock_guard lock(mutex_);
    return removed_.count(book) != 0;
}

namespace {

// Runs work(position, worker) for every position below count on `threads` threads (the calling
// one among them); worker numbers the thread from 0, for its scratch space.
void ForEachPosition(size_t count, unsigned threads, const std::function<void(size_t, unsigned)>& work) {
    std::atomic<size_t> next{0};
    const auto drain = [&](unsigned worker) {
        for (size_t at = next++; at < count; at = next++)
            work(at, worker);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads && t < count; ++t)
        helpers.emplace_back(drain, t);
    drain(0);
    for (std::thread& helper : helpers)
        helper.join();
}

}  // namespace

void TDupSearcher::Run(std::vector<TDupBookRef> first, std::vector<TDupBookRef> second, IDupObserver* observer) {
    const TDupParams params = Params;
    const unsigned threads = std::max(1u, Threads ? Threads : std::thread::hardware_concurrency());
    // Books are read and compared in chunks on every core; what they yield is taken in the
    // order of a one-thread search, so the pairs and their order are the same.
    const size_t chunk = 16 * static_cast<size_t>(threads);
    const auto read = [&](const TDupBookRef& book) {
        return TextSource ? TextSource(book) : ReadBookText(packer_, book);
    };
    const auto report = [&](int phase, int done, int total, const std::string& path) {
        {
            std::lock_guard lock(mutex_);
            progress_ = {path, total, done};
        }
        if (observer) observer->DupProgress(phase, done, total, path);
    };
    const auto stopping = [&] {
        std::lock_guard lock(mutex_);
        return stop_;
    };
    if (observer) observer->DupStarted();
    bool stopped = false;
    std::vector<std::vector<uint32_t>> hashes(threads);

    // Signatures, from the last book to the first.
    std::vector<TDupSignature> signatures;
    std::vector<const TDupBookRef*> owners;
    const int total1 = static_cast<int>(first.size());
    std::vector<std::optional<TDupSignature>> made;
    for (int from = total1 - 1, done = 0; from >= 0 && !stopped;) {
        const int count = std::min<int>(static_cast<int>(chunk), from + 1);
        made.assign(static_cast<size_t>(count), std::nullopt);
        ForEachPosition(static_cast<size_t>(count), threads, [&](size_t at, unsigned worker) {
            const TDupBookRef& book = first[static_cast<size_t>(from) - at];
            if (Removed(book.Book) || stopping()) return;
            try {
                int32_t size = 0;
                TDupSignature signature;
                if (ExtractWordHashes(read(book), params, hashes[worker], size) &&
                    BuildSignature(hashes[worker], size, params, signature)) {
                    signature.Book = book.Book;
                    made[at] = std::move(signature);
                }
            } catch (...) {
                // an unreadable book simply has no signature
            }
        });
        for (int at = 0; at < count && !stopped; ++at) {
            const int i = from - at;
            const TDupBookRef& book = first[static_cast<size_t>(i)];
            if (i % 10 == 0) report(1, done, total1, book.FullPath);
            ++done;
            if (made[static_cast<size_t>(at)]) {
                signatures.push_back(std::move(*made[static_cast<size_t>(at)]));
                owners.push_back(&book);
            }
            stopped = !Carry();
        }
        from -= count;
    }

    // Every text of the second folder against all signatures at once.
    std::vector<const TDupSignature*> all;
    for (const TDupSignature& s : signatures)
        all.push_back(&s);
    const TSignatureTable table(std::move(all));
    struct TCompared {
        bool HasText = false;
        std::vector<std::pair<size_t, int32_t>> Pairs;  // signature and score, the later signatures first
    };
    std::vector<TCompared> compared;
    std::vector<std::vector<int32_t>> scores(threads);
    const int total2 = static_cast<int>(second.size());
    for (int from = total2 - 1, done = 0; from >= 0 && !stopped;) {
        const int count = std::min<int>(static_cast<int>(chunk), from + 1);
        compared.assign(static_cast<size_t>(count), {});
        ForEachPosition(static_cast<size_t>(count), threads, [&](size_t at, unsigned worker) {
            const TDupBookRef& book = second[static_cast<size_t>(from) - at];
            if (Removed(book.Book) || stopping()) return;
            try {
                int32_t size = 0;
                if (!ExtractWordHashes(read(book), params, hashes[worker], size)) return;
                TCompared& result = compared[at];
                result.HasText = true;
                const TWordIndex index(hashes[worker]);
                table.Compare(index, size, params, scores[worker]);
                for (size_t k = scores[worker].size(); k-- > 0;)
                    if (scores[worker][k] >= params.Threshold && owners[k]->Book != book.Book)
                        result.Pairs.emplace_back(k, scores[worker][k]);
            } catch (...) {
                // an unreadable book is compared with nothing
            }
        });
        for (int at = 0; at < count && !stopped; ++at) {
            const TDupBookRef& book = second[static_cast<size_t>(from - at)];
            const TCompared& result = compared[static_cast<size_t>(at)];
            if (result.HasText) {
                report(2, ++done, total2, book.FullPath);
                for (const auto& [k, score] : result.Pairs) {
                    if (Removed(owners[k]->Book) || Removed(book.Book)) continue;
                    if (observer) observer->DupPairFound(*owners[k], book, score);
                }
            }
            stopped = !Carry();
        }
        from -= count;
    }

    {
        std::lock_guard lock(mutex_);
        running_ = false;
        paused_ = false;
        progress_ = {};
    }
    if (observer) observer->DupFinished(stopped);
}
