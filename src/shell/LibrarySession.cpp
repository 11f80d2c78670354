#include "shell/LibrarySession.h"

#include <QMetaObject>
#include <QPointer>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>

#include "catalogue/AuthorName.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/LibraryLock.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/TextUtils.h"
#include "scan/PackerArchiveAccess.h"
#include "scan/Resync.h"
#include "settings/LanguageFiles.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"
#include "shell/Options.h"

namespace {

// A load that failed after it had replaced the catalogue left part of the file in it.
bool PartlyRead(const TSVD& library) {
    return library.FileName.empty() &&
           (!library.MountPoints.empty() || library.Authors.Count() > 0 || !library.LostBooks.empty());
}

// Passes the worker's reports to the session in the GUI thread; a session gone meanwhile gets
// nothing.
class TWorkRelay final : public IResyncObserver {
public:
    TWorkRelay(TLibrarySession* session, const void* owner) : session_(session), owner_(owner) {}
    void ResyncStarted() override {
        Post([](TLibrarySession* s, const void* owner) { emit s->WorkStarted(owner); });
    }
    void ResyncProgress(int position, int maximum, const std::string& text) override {
        const QString shown = ToQ(text);
        Post([=](TLibrarySession* s, const void* owner) { emit s->WorkProgress(owner, position, maximum, shown); });
    }
    void ResyncFinished(const TSyncStats& stats) override {
        Post([stats](TLibrarySession* s, const void* owner) { s->WorkEnded(owner, stats); });
    }

private:
    template <typename F>
    void Post(F&& f) {
        QPointer<TLibrarySession> session = session_;
        QMetaObject::invokeMethod(
            session_,
            [session, owner = owner_, f] {
                if (session) f(session.data(), owner);
            },
            Qt::QueuedConnection);
    }
    TLibrarySession* session_;
    const void* owner_;
};

}  // namespace

TLibrarySession::TLibrarySession(TOptions& options) : options_(options), library_(std::make_unique<TSVD>()) {
    library_->Packer = std::make_unique<TPackerArchiveAccess>();
    library_->AuthorChooser = &pending_;
    pending_.OnChange = [this] {
        QMetaObject::invokeMethod(
            this, [this] { emit PendingChoicesChanged(); }, Qt::QueuedConnection);
    };
    library_->AddObserver(this);
    autosaveTimer_ = new QTimer(this);
    connect(autosaveTimer_, &QTimer::timeout, this, [this] { Autosave(); });
    connect(&options_, &TOptions::changed, this, &TLibrarySession::UpdateAutosaveTimer);
    UpdateAutosaveTimer();
    // A pending author choice goes with the book, spelling or author it names.
    connect(this, &TLibrarySession::BookChanged, this, [this](TBookChange change, const TBookInfo* book) {
        if (change == TBookChange::Removed) pending_.ForgetBook(book);
    });
    connect(this, &TLibrarySession::AuthorChanged, this, [this](TAuthorChange change, const void* object) {
        if (change == TAuthorChange::NameDeleted) pending_.ForgetSpelling(object);
        if (change == TAuthorChange::Deleted) pending_.ForgetAuthor(object);
    });
}

TLibrarySession::~TLibrarySession() {
    WaitForResync();
    library_->RemoveObserver(this);
    library_->AuthorChooser = nullptr;
}

void TLibrarySession::AddLog(const QString& text) {
    log_ << text;
    std::fprintf(stderr, "shelvara: %s\n", text.toUtf8().constData());
}

void TLibrarySession::AddView(ILibraryView* view) {
    if (std::find(views_.begin(), views_.end(), view) == views_.end()) views_.push_back(view);
}

void TLibrarySession::RemoveView(ILibraryView* view) {
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void TLibrarySession::UpdateAutosaveTimer() {
    autosaveTimer_->setInterval(options_.AutosavePeriod() * 60000);
    if (options_.AutosaveEvery() && !closed_)
        autosaveTimer_->start();
    else
        autosaveTimer_->stop();
}

// --- the file ---

bool TLibrarySession::LockLibraryFile(const std::string& fileName, QWidget* parent) {
    if (libraryLock_ && fileName == lockedName_) return true;
    try {
        auto lock = std::make_unique<TLibraryLock>(fileName, "the Shelvara desktop program");
        libraryLock_ = std::move(lock);
        lockedName_ = fileName;
        return true;
    } catch (const EShelvaraError& e) {
        Dialogs::Error(parent, ToQ(e.what()));
        return false;
    }
}

bool TLibrarySession::FileExists(const QString& path) {
    std::error_code error;
    return !path.isEmpty() && std::filesystem::is_regular_file(path.toStdString(), error);
}

bool TLibrarySession::HasFile() const {
    return FileExists(ToQ(library_->FileName));
}

bool TLibrarySession::OpenAtStart(const QString& path) {
    // A library another program is writing stays closed: the box says which program has it.
    if (path.isEmpty()) return true;
    if (!LockLibraryFile(FromQ(path), nullptr)) return false;
    try {
        library_->LoadFromFile(FromQ(path));
        ReadPendingChoices();
        TellLoadWarnings(nullptr);
    } catch (const EShelvaraError& e) {
        // The partly read catalogue is tied to no file: nothing can overwrite the file.
        damaged_ = PartlyRead(*library_);
        Dialogs::Error(nullptr, ToQ(e.what()));
    }
    emit FileChanged();
    return true;
}

void TLibrarySession::TellLoadWarnings(QWidget* parent) {
    if (library_->LoadWarnings.empty()) return;
    std::string list;
    for (const std::string& warning : library_->LoadWarnings)
        list += "\n" + warning;
    Dialogs::Error(parent, MsgWith(rsLoadLeftOut, {list}));
}

QString TLibrarySession::AskLibraryFile(QWidget* parent) {
    const QString filter = Msg(rsAllShelvaraData) + " (*.svd *.sv2);;" + Msg(rsShelvara2Data) + " (*.sv2);;" +
                           Msg(rsShelvara1Data) + " (*.svd)";
    return Dialogs::OpenFileName(parent, Msg(rsOpeningLib), filter);
}

bool TLibrarySession::ConfirmDiscard(QWidget* parent) {
    if (!library_->IsModified()) return true;
    switch (Dialogs::AskYesNoCancel(parent, Msg(rsAttention), Msg(rsSVDNotSaved))) {
        case Dialogs::TAnswer::Yes:
            return Save(parent);
        case Dialogs::TAnswer::No:
            return true;
        default:
            return false;
    }
}

bool TLibrarySession::OpenLibrary(const QString& path, QWidget* parent) {
    if (ResyncRunning()) {
        Dialogs::Error(parent, Msg(rsErrThreadWorking));
        return false;
    }
    for (ILibraryView* view : views_)
        if (!view->SavePendingEdits()) return false;
    if (!FileExists(path) || !ConfirmDiscard(parent)) return false;
    // Every view lets go of its rows before the catalogue they point into is replaced.
    for (ILibraryView* view : views_)
        view->DropRows();
    // Another program writing this library would lose one side's changes: it is ours alone.
    if (!LockLibraryFile(FromQ(path), parent)) return false;
    bool loaded = true;
    pending_.Clear();  // the questions were about the books of the library that goes
    {
        const QSignalBlocker quiet(this);  // the views are rebuilt once, below
        try {
            library_->LoadFromFile(FromQ(path));
            damaged_ = false;
            ReadPendingChoices();
            TellLoadWarnings(parent);
        } catch (const EShelvaraError& e) {
            loaded = false;
            damaged_ = PartlyRead(*library_);
            Dialogs::Error(parent, ToQ(e.what()));
        }
    }
    for (ILibraryView* view : std::vector<ILibraryView*>(views_))
        view->Rebuild();
    emit FileChanged();
    return loaded;
}

bool TLibrarySession::SaveLibrary(const std::string& fileName, QWidget* parent) {
    if (!LockLibraryFile(fileName, parent)) return false;
    {
        // A background resynchronisation may be freeing books meanwhile.
        TCatalogueGuard guard;
        library_->ClearDuplicates();
        if (options_.SaveDuplicates())
            for (ILibraryView* view : views_)
                view->CollectDuplicates(library_->Duplicates);
        library_->SaveHuffman = options_.SaveHuffman();
        library_->SweepBeforeSave = options_.SweepBeforeSave();
    }
    bool saved = false;
    try {
        saved = library_->SaveToFile(fileName);
        if (saved) damaged_ = false;  // what was read is now a file of its own
        if (saved) KeepPendingChoices(fileName);
    } catch (const EShelvaraError& e) {
        Dialogs::Error(parent, ToQ(e.what()));
    }
    emit FileChanged();
    return saved;
}

namespace {

std::filesystem::path PendingChoicesFile(const std::string& library) {
    return AnsiToUtf8(library) + ".choices";
}

}  // namespace

void TLibrarySession::KeepPendingChoices(const std::string& library) {
    // Beside the library, in the numbers of the file just written; none left, no file.
    std::string text;
    {
        TCatalogueGuard guard;
        text = pending_.SaveText();
    }
    const std::filesystem::path file = PendingChoicesFile(library);
    std::error_code error;
    if (text.empty()) {
        std::filesystem::remove(file, error);
        return;
    }
    try {
        ReplaceFile(file, text.data(), text.size());
    } catch (const std::exception& e) {
        // The library is saved; only the open questions could not be kept with it.
        AddLog(QString::fromLocal8Bit(e.what()));
        Dialogs::ErrorLater(nullptr, QString::fromLocal8Bit(e.what()));
    }
}

void TLibrarySession::ReadPendingChoices() {
    pending_.Clear();
    if (TrimBlanks(library_->FileName).empty()) return;
    const std::filesystem::path file = PendingChoicesFile(library_->FileName);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return;
    try {
        const std::vector<uint8_t> bytes = ReadWholeFile(file);
        TCatalogueGuard guard;
        pending_.LoadText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), *library_);
    } catch (const std::exception& e) {
        AddLog(QString::fromLocal8Bit(e.what()));  // the questions are lost, the library is not
    }
}

bool TLibrarySession::Save(QWidget* parent) {
    if (!HasFile()) return SaveAs(parent);
    return SaveLibrary(library_->FileName, parent);
}

bool TLibrarySession::SaveAs(QWidget* parent) {
    const QString chosen = Dialogs::SaveFileName(parent, Msg(rsSavingLib), Msg(rsShelvara2Data) + " (*.sv2)");
    if (chosen.trimmed().isEmpty()) return false;
    return SaveLibrary(TSVD::WithLibraryExtension(FromQ(chosen)), parent);
}

bool TLibrarySession::Autosave() {
    if (TrimBlanks(library_->FileName).empty() || !library_->IsModified()) return false;
    return SaveLibrary(library_->FileName, views_.empty() ? nullptr : views_.front()->ViewWidget());
}

void TLibrarySession::Close() {
    if (closed_) return;
    closed_ = true;
    UpdateAutosaveTimer();
    WaitForResync();
    if (options_.AutosaveOnExit()) Autosave();
}

// --- background work ---

bool TLibrarySession::StartResync(const void* owner, TBookFolder& folder, TResyncMode mode, QWidget* parent) {
    return StartWorker(owner, parent,
                       [&](IResyncObserver* relay) { return TResyncThread::StartFolder(folder, mode, relay); });
}

bool TLibrarySession::StartResync(const void* owner, std::vector<TBookInfo*> books, TResyncMode mode, QWidget* parent) {
    return StartWorker(owner, parent, [&](IResyncObserver* relay) {
        return TResyncThread::StartBooks(*library_, std::move(books), mode, relay);
    });
}

bool TLibrarySession::StartInpxImport(const void* owner, const QString& inpxFile, QWidget* parent) {
    return StartWorker(owner, parent, [&](IResyncObserver* relay) {
        return TResyncThread::StartInpx(*library_, FromQ(inpxFile), {}, relay);
    });
}

TMountPoint* TLibrarySession::AddFolder(const void* owner, const QString& path, QWidget* parent) {
    std::error_code error;
    if (path.isEmpty() || !std::filesystem::is_directory(path.toStdString(), error)) return nullptr;
    TMountPoint* mount = library_->AddMountPoint(FromQ(path));
    if (!mount) RaiseError(rsErrInvalidMP);
    mount->Exists();
    mount->NotifyAdded();  // every window's tree shows it
    StartResync(owner, *mount, TResyncMode::Full, parent);
    return mount;
}

bool TLibrarySession::StartWorker(const void* owner, QWidget* parent,
                                  const std::function<std::unique_ptr<TResyncThread>(IResyncObserver*)>& start) {
    if (ResyncRunning()) {
        Dialogs::Error(parent, Msg(rsErrThreadWorking));
        return false;
    }
    WaitForResync();
    relay_ = std::make_unique<TWorkRelay>(this, owner);
    try {
        resync_ = start(relay_.get());
    } catch (const EShelvaraError& e) {
        Dialogs::Error(parent, ToQ(e.what()));
        return false;
    }
    return true;
}

void TLibrarySession::WorkEnded(const void* owner, const TSyncStats& stats) {
    // Every notice of the worker arrived before this one: its removed records can go now.
    library_->FreeRetired();
    emit WorkFinished(owner, stats);
}

bool TLibrarySession::ResyncRunning() const {
    return TResyncThread::IsRunning();
}

void TLibrarySession::WaitForResync() {
    resync_.reset();  // asks the worker to stop and waits for it
    relay_.reset();
}

void TLibrarySession::ReportResync(const TSyncStats& stats, QWidget* parent) {
    AddLog(QString("Resynchronisation: books added %1, refreshed %2, recovered %3, lost %4, warnings %5%6")
               .arg(stats.Added)
               .arg(stats.Refreshed)
               .arg(stats.Recovered)
               .arg(stats.Lost)
               .arg(stats.Warnings.size())
               .arg(stats.Cancelled ? ", stopped on request" : ""));
    for (const std::string& warning : stats.Warnings)
        AddLog(QString::fromStdString(warning));
    QStringList problems;
    for (const std::string& path : stats.Offline)
        problems << MsgWith(rsMountPointOffline, {Utf8ToAnsi(path)});
    if (!stats.Fatal.empty()) problems << QString::fromStdString(stats.Fatal);
    if (!problems.isEmpty()) Dialogs::Error(parent, problems.join("\n"));
}

void TLibrarySession::SweepNow(unsigned flags, QWidget* parent) {
    try {
        library_->Sweep(false, flags);
    } catch (const EShelvaraError& e) {
        Dialogs::Error(parent, ToQ(e.what()));
    }
}

// --- the catalogue's side ---

void TLibrarySession::Deliver(TObjectType type, int kind, const void* object) {
    switch (type) {
        case TObjectType::Book:
            emit BookChanged(static_cast<TBookChange>(kind), static_cast<const TBookInfo*>(object));
            break;
        case TObjectType::Folder:
            emit FolderChanged(static_cast<TEntityChange>(kind), static_cast<const TBookFolder*>(object));
            break;
        case TObjectType::Series:
            emit SeriesChanged(static_cast<TEntityChange>(kind), static_cast<const TBookSequence*>(object));
            break;
        case TObjectType::Genre:
            emit GenreChanged(static_cast<TEntityChange>(kind), static_cast<const TBookGenre*>(object));
            break;
        case TObjectType::Author:
            emit AuthorChanged(static_cast<TAuthorChange>(kind), object);
            break;
    }
}

void TLibrarySession::CatalogueChanged(TObjectType type, int kind, const void* object) {
    // Delivered at once in the GUI thread, without running the event loop; a worker's changes
    // are queued (the receivers keep only identities).
    if (QThread::currentThread() == thread()) return Deliver(type, kind, object);
    QMetaObject::invokeMethod(
        this, [this, type, kind, object] { Deliver(type, kind, object); }, Qt::QueuedConnection);
}

void TLibrarySession::LibraryLoaded() {
    if (QThread::currentThread() == thread()) {
        emit LibraryReloaded();
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { emit LibraryReloaded(); }, Qt::QueuedConnection);
}
