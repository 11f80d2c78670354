#include "scan/Resync.h"

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"

namespace {

std::mutex gCurrentMutex;
bool gRunning = false;

void Claim() {
    std::lock_guard lock(gCurrentMutex);
    if (gRunning) RaiseError(rsErrThreadWorking);
    gRunning = true;
}

void Release() {
    std::lock_guard lock(gCurrentMutex);
    gRunning = false;
}

TSyncStats Walk(TBookFolder& folder, TResyncMode mode, IResyncObserver* observer) {
    TSyncStats stats;
    if (observer) {
        observer->ResyncStarted();
        observer->ResyncProgress(0, 0, MessageText(rsBrowsing));
    }
    TSyncProgress progress;
    if (observer)
        progress = [observer](int done, int total, const std::string& path) {
            observer->ResyncProgress(done, total, path);
        };
    Resync(folder, mode != TResyncMode::RemoveLost, mode == TResyncMode::Full, stats, progress);
    if (observer) observer->ResyncFinished(stats);
    return stats;
}

}  // namespace

bool TResyncThread::IsRunning() {
    std::lock_guard lock(gCurrentMutex);
    return gRunning;
}

TSyncStats TResyncThread::ResyncFolder(TBookFolder& folder, TResyncMode mode, IResyncObserver* observer) {
    Claim();
    struct Done {
        ~Done() { Release(); }
    } done;
    return Walk(folder, mode, observer);
}

void TResyncThread::Register(TSVD* catalogue) {
    catalogue_ = catalogue;
    if (catalogue_) catalogue_->BeginBackgroundWork(thread_.get_id());
}

void TResyncThread::Unregister() {
    if (catalogue_) catalogue_->EndBackgroundWork();
    catalogue_ = nullptr;
}

std::unique_ptr<TResyncThread> TResyncThread::StartFolder(TBookFolder& folder, TResyncMode mode,
                                                          IResyncObserver* observer) {
    Claim();
    std::unique_ptr<TResyncThread> worker(new TResyncThread);
    TResyncThread* w = worker.get();
    TSVD* catalogue = folder.Container();
    // The thread waits until it is registered with the catalogue.
    std::unique_lock hold(w->startMutex_);
    w->thread_ = std::thread([w, &folder, mode, observer] {
        { std::lock_guard wait(w->startMutex_); }
        try {
            w->stats_ = Walk(folder, mode, observer);
        } catch (const EShelvaraError& e) {
            w->stats_.Warnings.push_back(AnsiToUtf8(e.what()));
        }
        w->Unregister();
        w->finished_ = true;
        Release();
    });
    w->Register(catalogue);
    hold.unlock();
    return worker;
}

std::unique_ptr<TResyncThread> TResyncThread::StartBooks(TSVD& catalogue, std::vector<TBookInfo*> books,
                                                         TResyncMode mode, IResyncObserver* observer) {
    if (books.empty()) return nullptr;
    Claim();
    std::unique_ptr<TResyncThread> worker(new TResyncThread);
    TResyncThread* w = worker.get();
    std::unique_lock hold(w->startMutex_);
    w->thread_ = std::thread([w, books = std::move(books), mode, observer] {
        { std::lock_guard wait(w->startMutex_); }
        if (observer) observer->ResyncStarted();
        const int total = static_cast<int>(books.size());
        int position = 0;
        for (size_t i = books.size(); i-- > 0 && !w->terminate_;) {
            TBookInfo* book = books[i];
            if (observer) observer->ResyncProgress(position, total, book->FullPath());
            try {
                book->UpdateFromDisk(mode == TResyncMode::RemoveLost ? 0 : 7, mode == TResyncMode::Full);
                ++w->stats_.Refreshed;
            } catch (const EShelvaraError& e) {
                w->stats_.Warnings.push_back(AnsiToUtf8(book->FullPath()) + ": " + AnsiToUtf8(e.what()));
            }
            ++position;
        }
        if (observer) observer->ResyncFinished(w->stats_);
        w->Unregister();
        w->finished_ = true;
        Release();
    });
    w->Register(&catalogue);
    hold.unlock();
    return worker;
}

void TResyncThread::Wait() {
    if (thread_.joinable()) thread_.join();
}

TResyncThread::~TResyncThread() {
    terminate_ = true;
    Wait();
}
