#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/CatalogueObserver.h"
#include "catalogue/PendingChoices.h"
#include "scan/FolderSync.h"

class QTimer;
class QWidget;
class IResyncObserver;
class TAuthorName;
class TBookFolder;
class TMountPoint;
class TBookGenre;
class TBookInfo;
class TBookSequence;
class TLibraryLock;
class TOptions;
class TResyncThread;
class TSVD;
struct TDuplicatePair;
enum class TResyncMode;

// The change kinds of each entity, as the catalogue's notifications carry them.
enum class TBookChange { Removed = 0, Added = 1, Moved = 2, Changed = 3 };
enum class TEntityChange { Changed = 0, Moved = 1, Added = 2, Deleted = 3 };  // folders, genres, series
enum class TAuthorChange {
    Deleted = 1,
    Changed = 2,
    NameAdded = 3,
    NameDeleted = 4,
    NameChanged = 5,
    NameMoved = 6,
    Added = 7
};

Q_DECLARE_OPAQUE_POINTER(const TBookInfo*)
Q_DECLARE_OPAQUE_POINTER(const TBookFolder*)
Q_DECLARE_OPAQUE_POINTER(const TBookSequence*)
Q_DECLARE_OPAQUE_POINTER(const TBookGenre*)

// A window that shows the library: asked before the catalogue is replaced or saved.
class ILibraryView {
public:
    virtual ~ILibraryView() = default;
    // Keeps the view's unsaved edits; false (the error shown) when one could not be kept.
    virtual bool SavePendingEdits() = 0;
    // Lets go of every row before the catalogue they point into is replaced.
    virtual void DropRows() = 0;
    // Builds again from the catalogue after a replacement (loaded or not).
    virtual void Rebuild() = 0;
    // Adds the duplicate pairs the view found, for a save that keeps them.
    virtual void CollectDuplicates(std::vector<TDuplicatePair>& pairs) = 0;
    // The window questions about the library are asked over.
    virtual QWidget* ViewWidget() = 0;
};

// The program's one library: the catalogue, the writer's lock of its file, open, save, autosave
// and the questions they ask, the one background worker, and the catalogue's notifications as
// typed signals in the GUI thread. Holds no widget; windows take it by reference.
class TLibrarySession final : public QObject, public ICatalogueObserver {
    Q_OBJECT

public:
    explicit TLibrarySession(TOptions& options);
    ~TLibrarySession() override;

    TSVD& Library() { return *library_; }
    TOptions& Options() { return options_; }
    // Messages the program wrote to its log (author choices it made on its own, errors).
    const QStringList& Log() const { return log_; }
    void AddLog(const QString& text);

    void AddView(ILibraryView* view);
    void RemoveView(ILibraryView* view);
    const std::vector<ILibraryView*>& Views() const { return views_; }

    // Opens a library at the program's start (no questions about the empty catalogue it
    // replaces); a load error is shown.
    // False when another program holds the library (the box said which): it stays closed.
    bool OpenAtStart(const QString& path);
    // The open-library dialog; empty when cancelled.
    QString AskLibraryFile(QWidget* parent);
    // Replaces the library by a file: keeps every view's edits, asks about unsaved changes,
    // refuses while the worker runs, lets the views drop their rows, shows a failed load, and
    // rebuilds every view either way. False when nothing was loaded.
    bool OpenLibrary(const QString& path, QWidget* parent);
    // The catalogue holds what a damaged file gave before its load failed; tied to no file.
    bool LibraryDamaged() const { return damaged_; }
    // The library's own file exists on disk.
    bool HasFile() const;
    // A regular file at path (a library named on the command line or chosen in a dialog).
    static bool FileExists(const QString& path);
    // Saves to a file name (engine text), keeping the views' duplicate pairs when asked to.
    bool SaveLibrary(const std::string& fileName, QWidget* parent);
    // Save to the library's file, else Save as.
    bool Save(QWidget* parent);
    bool SaveAs(QWidget* parent);
    // One autosave tick: writes only a modified library that has a file; shows a failure.
    bool Autosave();
    QTimer* AutosaveTimer() const { return autosaveTimer_; }
    // True when the library may be discarded: not modified, or saved, or the user said No.
    bool ConfirmDiscard(QWidget* parent);
    // The end: the worker stopped, then the autosave on exit when it is on.
    void Close();

    // Background work, one at a time; its reports go out as work* signals naming owner.
    bool StartResync(const void* owner, TBookFolder& folder, TResyncMode mode, QWidget* parent);
    bool StartResync(const void* owner, std::vector<TBookInfo*> books, TResyncMode mode, QWidget* parent);
    bool StartInpxImport(const void* owner, const QString& inpxFile, QWidget* parent);
    // A folder of books as a new mount point, told to every window, then scanned in the
    // background. Raises when it overlaps a mount point; none when it is no folder.
    TMountPoint* AddFolder(const void* owner, const QString& path, QWidget* parent);
    bool ResyncRunning() const;
    void WaitForResync();
    // Counts and warnings of a finished run into the log; an offline mount point or the error
    // that ended it in a box over parent.
    void ReportResync(const TSyncStats& stats, QWidget* parent);

    // Sweep with the flags of the sweep menu (notifications on); an error is shown.
    void SweepNow(unsigned flags, QWidget* parent);
    // The worker's end, in the GUI thread: its retired records freed, then WorkFinished.
    void WorkEnded(const void* owner, const TSyncStats& stats);

    // The author questions the imports queued instead of asking (the first candidate stands in).
    TPendingChoices& PendingChoices() { return pending_; }
    const TPendingChoices& PendingChoices() const { return pending_; }

    void CatalogueChanged(TObjectType type, int kind, const void* object) override;
    void LibraryLoaded() override;

signals:
    // The catalogue's changes, delivered in the GUI thread (at once for its own changes, queued
    // for a worker's); the object may already be gone: compare it by identity only.
    void BookChanged(TBookChange change, const TBookInfo* book);
    void FolderChanged(TEntityChange change, const TBookFolder* folder);
    void SeriesChanged(TEntityChange change, const TBookSequence* series);
    void GenreChanged(TEntityChange change, const TBookGenre* genre);
    // object: the author for Deleted, Changed and Added, else the spelling.
    void AuthorChanged(TAuthorChange change, const void* object);
    void LibraryReloaded();
    // The library's file or its damage changed (captions follow).
    void FileChanged();
    void WorkStarted(const void* owner);
    void WorkProgress(const void* owner, int position, int maximum, const QString& text);
    void WorkFinished(const void* owner, const TSyncStats& stats);
    // The queue of author choices changed (in the GUI thread, coalesced by the event loop).
    void PendingChoicesChanged();

private:
    void Deliver(TObjectType type, int kind, const void* object);
    bool LockLibraryFile(const std::string& fileName, QWidget* parent);
    bool StartWorker(const void* owner, QWidget* parent,
                     const std::function<std::unique_ptr<TResyncThread>(IResyncObserver*)>& start);
    void UpdateAutosaveTimer();
    // The author questions kept beside the library file, written after a save, read after a load.
    void KeepPendingChoices(const std::string& library);
    void ReadPendingChoices();
    // Says which records the load left out, if any.
    void TellLoadWarnings(QWidget* parent);

    TOptions& options_;
    std::unique_ptr<TSVD> library_;
    std::unique_ptr<TLibraryLock> libraryLock_;
    std::string lockedName_;
    std::vector<ILibraryView*> views_;
    std::unique_ptr<TResyncThread> resync_;
    std::unique_ptr<IResyncObserver> relay_;  // lives as long as the worker
    QTimer* autosaveTimer_;
    QStringList log_;
    bool damaged_ = false;
    bool closed_ = false;
    TPendingChoices pending_;
};
