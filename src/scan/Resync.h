#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scan/FolderSync.h"
#include "scan/InpxImport.h"

class TBookFolder;
class TBookInfo;
class TSVD;

// Receives the progress of a resynchronisation, on the thread that runs it.
class IResyncObserver {
public:
    virtual ~IResyncObserver() = default;
    virtual void ResyncStarted() {}
    virtual void ResyncProgress(int position, int maximum, const std::string& text) = 0;
    virtual void ResyncFinished(const TSyncStats&) {}
};

// What a resynchronisation does: drop lost books only, read new and changed files, or also
// rebuild every book's description links from its file.
enum class TResyncMode { RemoveLost, Update, Full };

// One resynchronisation: a folder walk or the refresh of chosen books. At most one exists in
// the process; starting a second raises rsErrThreadWorking. While a background one runs, the
// catalogue refuses commands that would free its books (with the same message).
class TResyncThread final {
public:
    // Walks a folder in the calling thread; stops when the sink says so. Never throws what
    // the walk raised: the result carries it as its fatal error.
    static TSyncStats ResyncFolder(TBookFolder& folder, TResyncMode mode, IResyncObserver* observer = nullptr,
                                   IProgressSink* sink = nullptr);
    // Walks a folder in a background thread; Stats() holds its result once it finished.
    static std::unique_ptr<TResyncThread> StartFolder(TBookFolder& folder, TResyncMode mode, IResyncObserver* observer);
    // Refreshes the books (from the last to the first) in a background thread; errors of one
    // book are collected and the next one goes on.
    static std::unique_ptr<TResyncThread> StartBooks(TSVD& catalogue, std::vector<TBookInfo*> books, TResyncMode mode,
                                                     IResyncObserver* observer);
    // Imports an INPX index (as ImportInpx) in a background thread; the stats count the books
    // added, lost as lost, and carry the import's warnings, or its error as the fatal one.
    static std::unique_ptr<TResyncThread> StartInpx(TSVD& catalogue, std::string inpxFile, TInpxOptions options,
                                                    IResyncObserver* observer);
    static bool IsRunning();

    ~TResyncThread();  // asks the thread to stop and waits for it
    void Terminate() { terminate_ = true; }
    void Wait();
    bool Finished() const { return finished_; }
    const TSyncStats& Stats() const { return stats_; }

private:
    TResyncThread() = default;
    // Runs a job in a background thread registered with the catalogue; what it throws becomes
    // the run's fatal error.
    static std::unique_ptr<TResyncThread> StartJob(TSVD& catalogue, IResyncObserver* observer,
                                                   std::function<void(TResyncThread&)> job);
    void Register(TSVD* catalogue);
    void Unregister();

    std::mutex startMutex_;
    std::thread thread_;
    std::atomic<bool> terminate_ = false;
    std::atomic<bool> finished_ = false;
    TSVD* catalogue_ = nullptr;
    TSyncStats stats_;
};
