#include "catalogue/BookWriteJobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVDStream.h"

namespace {

// Runs long enough that a part's own cost (a stream, its first buffers) is small beside them;
// fewer books than kFewBooks are not worth a part.
constexpr size_t kRunBooks = 1024, kFewBooks = 256;

size_t BooksBelow(const TBookFolder& folder) {
    size_t books = folder.BookCount();
    for (size_t i = 0; i < folder.FolderCount(); ++i)
        books += BooksBelow(*folder.Folder(i));
    return books;
}

}  // namespace

void TBookWriteJobs::WriteBooks(TSVDStream& stream, const std::vector<std::unique_ptr<TBookInfo>>& books) {
    if (books.size() < kFewBooks) {
        for (const auto& book : books)
            book->SaveToStream(stream, withImages_);
        return;
    }
    for (size_t first = 0; first < books.size(); first += kRunBooks)
        jobs_.push_back({&stream.AddPart(), books.data() + first, std::min(kRunBooks, books.size() - first), {}});
}

void TBookWriteJobs::WriteFolders(TSVDStream& stream, const std::vector<std::unique_ptr<TBookFolder>>& folders) {
    std::vector<TBookFolder*> group;
    size_t groupBooks = 0;
    for (const auto& folder : folders) {
        const size_t books = BooksBelow(*folder);
        if (books > kRunBooks) {  // cut further down
            AddFolders(stream, group, groupBooks);
            groupBooks = 0;
            folder->SaveToStream(stream, withImages_, this);
            continue;
        }
        group.push_back(folder.get());
        groupBooks += books;
        if (groupBooks >= kRunBooks) {
            AddFolders(stream, group, groupBooks);
            groupBooks = 0;
        }
    }
    AddFolders(stream, group, groupBooks);
}

void TBookWriteJobs::AddFolders(TSVDStream& stream, std::vector<TBookFolder*>& group, size_t books) {
    if (books < kFewBooks) {
        for (TBookFolder* folder : group)
            folder->SaveToStream(stream, withImages_);
    } else {
        jobs_.push_back({&stream.AddPart(), nullptr, 0, std::move(group)});
    }
    group.clear();
}

void TBookWriteJobs::Run() {
    std::atomic<size_t> next = 0;
    std::exception_ptr error;
    std::mutex errorMutex;
    auto work = [&] {
        try {
            for (size_t i = next++; i < jobs_.size(); i = next++) {
                const TJob& job = jobs_[i];
                for (size_t b = 0; b < job.BookCount; ++b)
                    job.Books[b]->SaveToStream(*job.Part, withImages_);
                for (TBookFolder* folder : job.Folders)
                    folder->SaveToStream(*job.Part, withImages_);
            }
        } catch (...) {
            const std::lock_guard lock(errorMutex);
            if (!error) error = std::current_exception();
            next = jobs_.size();
        }
    };
    const size_t threads =
        std::min<size_t>(jobs_.size(), threads_ ? threads_ : std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads then
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
    jobs_.clear();
    if (error) std::rethrow_exception(error);
}
