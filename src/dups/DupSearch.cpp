#include "dups/DupSearch.h"

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

void TDupSearcher::Run(std::vector<TDupBookRef> first, std::vector<TDupBookRef> second, IDupObserver* observer) {
    const TDupParams params = Params;
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
    if (observer) observer->DupStarted();
    bool stopped = false;

    // Signatures, from the last book to the first.
    std::vector<TDupSignature> signatures;
    std::vector<const TDupBookRef*> owners;
    std::vector<uint32_t> hashes;
    const int total1 = static_cast<int>(first.size());
    for (int i = total1 - 1, done = 0; i >= 0 && !stopped; --i) {
        const TDupBookRef& book = first[static_cast<size_t>(i)];
        if (i % 10 == 0) report(1, done, total1, book.FullPath);
        ++done;
        if (!Removed(book.Book)) {
            try {
                int32_t size = 0;
                TDupSignature signature;
                if (ExtractWordHashes(read(book), params, hashes, size) &&
                    BuildSignature(hashes, size, params, signature)) {
                    signature.Book = book.Book;
                    signatures.push_back(std::move(signature));
                    owners.push_back(&book);
                }
            } catch (const std::exception&) {
                // an unreadable book simply has no signature
            }
        }
        stopped = !Carry();
    }

    // Every text of the second folder against all signatures at once.
    std::vector<const TDupSignature*> all;
    for (const TDupSignature& s : signatures)
        all.push_back(&s);
    const TSignatureTable table(std::move(all));
    std::vector<int32_t> scores;
    const int total2 = static_cast<int>(second.size());
    for (int i = total2 - 1, done = 0; i >= 0 && !stopped; --i) {
        const TDupBookRef& book = second[static_cast<size_t>(i)];
        if (!Removed(book.Book)) {
            try {
                int32_t size = 0;
                if (ExtractWordHashes(read(book), params, hashes, size)) {
                    report(2, ++done, total2, book.FullPath);
                    const TWordIndex index(hashes);
                    table.Compare(index, size, params, scores);
                    for (size_t k = scores.size(); k-- > 0;) {
                        if (scores[k] < params.Threshold || owners[k]->Book == book.Book) continue;
                        if (Removed(owners[k]->Book) || Removed(book.Book)) continue;
                        if (observer) observer->DupPairFound(*owners[k], book, scores[k]);
                    }
                }
            } catch (const std::exception&) {
                // an unreadable book is compared with nothing
            }
        }
        stopped = !Carry();
    }

    {
        std::lock_guard lock(mutex_);
        running_ = false;
        paused_ = false;
        progress_ = {};
    }
    if (observer) observer->DupFinished(stopped);
}
