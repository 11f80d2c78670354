#include "scan/Resync.h"

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/ScopeExit.h"

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

// Relays the walk's progress to the observer and stops on the thread's terminate flag or
// the caller's sink.
class TWalkSink final : public IProgressSink {
public:
    TWalkSink(IResyncObserver* observer, const std::atomic<bool>* terminate, IProgressSink* outer)
        : observer_(observer), terminate_(terminate), outer_(outer) {}
    void Progress(int64_t done, int64_t total, const std::string& text) override {
        if (observer_) observer_->ResyncProgress(static_cast<int>(done), static_cast<int>(total), text);
        if (outer_) outer_->Progress(done, total, text);
    }
    bool Cancelled() const override { return (terminate_ && *terminate_) || (outer_ && outer_->Cancelled()); }

private:
    IResyncObserver* observer_;
    const std::atomic<bool>* terminate_;
    IProgressSink* outer_;
};

// Runs body and turns whatever it throws into the run's fatal error: nothing leaves a worker.
template <typename Body>
void Guarded(TSyncStats& stats, Body body) {
    try {
        body();
    } catch (const EShelvaraError& e) {
        stats.Fatal = AnsiToUtf8(e.what());
    } catch (const std::exception& e) {
        stats.Fatal = e.what();
    } catch (...) {
        stats.Fatal = "unexpected error";
    }
}

void Finish(IResyncObserver* observer, const TSyncStats& stats) {
    if (!observer) return;
    try {
        observer->ResyncFinished(stats);
    } catch (...) {
        // An observer's own failure cannot be reported any further.
    }
}

TSyncStats Walk(TBookFolder& folder, TResyncMode mode, IResyncObserver* observer, const std::atomic<bool>* terminate,
                IProgressSink* outer) {
    TSyncStats stats;
    TWalkSink sink(observer, terminate, outer);
    Guarded(stats, [&] {
        if (observer) {
            observer->ResyncStarted();
            observer->ResyncProgress(0, 0, MessageText(rsBrowsing));
        }
        Resync(folder, mode != TResyncMode::RemoveLost, mode == TResyncMode::Full, stats, &sink);
    });
    Finish(observer, stats);
    return stats;
}

}  // namespace

bool TResyncThread::IsRunning() {
    std::lock_guard lock(gCurrentMutex);
    return gRunning;
}

TSyncStats TResyncThread::ResyncFolder(TBookFolder& folder, TResyncMode mode, IResyncObserver* observer,
                                       IProgressSink* sink) {
    Claim();
    ScopeExit done([] { Release(); });
    return Walk(folder, mode, observer, nullptr, sink);
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
        w->stats_ = Walk(folder, mode, observer, &w->terminate_, nullptr);
        w->Unregister();
        w->finished_ = true;
        Release();
    });
    w->Register(catalogue);
    hold.unlock();
    return worker;
}

std::unique_ptr<TResyncThread> TResyncThread::StartJob(TSVD& catalogue, IResyncObserver* observer,
                                                       std::function<void(TResyncThread&)> job) {
    Claim();
    std::unique_ptr<TResyncThread> worker(new TResyncThread);
    TResyncThread* w = worker.get();
    // The thread waits until it is registered with the catalogue.
    std::unique_lock hold(w->startMutex_);
    w->thread_ = std::thread([w, observer, job = std::move(job)] {
        { std::lock_guard wait(w->startMutex_); }
        Guarded(w->stats_, [&] {
            if (observer) observer->ResyncStarted();
            job(*w);
        });
        Finish(observer, w->stats_);
        w->Unregister();
        w->finished_ = true;
        Release();
    });
    w->Register(&catalogue);
    hold.unlock();
    return worker;
}

std::unique_ptr<TResyncThread> TResyncThread::StartBooks(TSVD& catalogue, std::vector<TBookInfo*> books,
                                                         TResyncMode mode, IResyncObserver* observer) {
    if (books.empty()) return nullptr;
    return StartJob(catalogue, observer, [books = std::move(books), mode, observer](TResyncThread& w) {
        const int total = static_cast<int>(books.size());
        int position = 0;
        for (size_t i = books.size(); i-- > 0;) {
            if (w.terminate_) {
                w.stats_.Cancelled = true;
                break;
            }
            TBookInfo* book = books[i];
            if (observer) observer->ResyncProgress(position, total, book->FullPath());
            try {
                book->UpdateFromDisk(mode == TResyncMode::RemoveLost ? 0 : 7, mode == TResyncMode::Full);
                ++w.stats_.Refreshed;
            } catch (const EShelvaraError& e) {
                w.stats_.Warnings.push_back(AnsiToUtf8(book->FullPath()) + ": " + AnsiToUtf8(e.what()));
            }
            ++position;
        }
    });
}

std::unique_ptr<TResyncThread> TResyncThread::StartInpx(TSVD& catalogue, std::string inpxFile, TInpxOptions options,
                                                        IResyncObserver* observer) {
    return StartJob(
        catalogue, observer,
        [&catalogue, inpxFile = std::move(inpxFile), options = std::move(options), observer](TResyncThread& w) {
            TWalkSink sink(observer, &w.terminate_, nullptr);
            const TInpxStats imported = ImportInpx(catalogue, inpxFile, options, &sink);
            w.stats_.Added = static_cast<int>(imported.Added);
            w.stats_.Lost = static_cast<int>(imported.Lost);
            w.stats_.Warnings = imported.Warnings;
            w.stats_.Cancelled = imported.Cancelled;
        });
}

void TResyncThread::Wait() {
    if (thread_.joinable()) thread_.join();
}

TResyncThread::~TResyncThread() {
    terminate_ = true;
    Wait();
}
