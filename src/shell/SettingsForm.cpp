#include "shell/SettingsForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSessionManager>
#include <QSpinBox>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "catalogue/AuthorList.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/LibraryLock.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "dups/DupListObject.h"
#include "scan/PackerArchiveAccess.h"
#include "scan/Resync.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorManageForm.h"
#include "shell/Dialogs.h"
#include "shell/MainWindow.h"

namespace {

bool FileExists(const QString& path) {
    std::error_code error;
    return !path.isEmpty() && std::filesystem::is_regular_file(path.toStdString(), error);
}

// Passes a background resynchronisation's reports to the window that started it, in the GUI
// thread; a window closed meanwhile gets nothing.
class TResyncRelay final : public IResyncObserver {
public:
    explicit TResyncRelay(TSVWinForm* window) : window_(window) {}
    void ResyncStarted() override {
        Post([](TSVWinForm* w) { w->ResyncStarted(); });
    }
    void ResyncProgress(int position, int maximum, const std::string& text) override {
        const QString shown = ToQ(text);
        Post([=](TSVWinForm* w) { w->ResyncProgress(position, maximum, shown); });
    }
    void ResyncFinished(const TSyncStats& stats) override {
        Post([stats](TSVWinForm* w) { w->ResyncFinished(stats); });
    }

private:
    template <typename F>
    void Post(F&& f) {
        QPointer<TSVWinForm> window = window_;
        QMetaObject::invokeMethod(
            qApp,
            [window, f] {
                if (window) f(window.data());
            },
            Qt::QueuedConnection);
    }
    QPointer<TSVWinForm> window_;
};

// A load that failed after it had replaced the catalogue left part of the file in it.
bool PartlyRead(const TSVD& library) {
    return library.FileName.empty() &&
           (!library.MountPoints.empty() || library.Authors.Count() > 0 || !library.LostBooks.empty());
}

}  // namespace

TSVMainForm::TSVMainForm(TSettingsStore& store, TLanguageModule& languages)
    : store_(store), languages_(languages), library_(std::make_unique<TSVD>()) {
    setObjectName("SVMainForm");
    library_->Packer = std::make_unique<TPackerArchiveAccess>();
    library_->AuthorChooser = this;
    library_->AddObserver(this);
    BuildControls();
    placement_ = new TIniPlacement(this, store_, "TSVMainForm", false);
    placement_->AddCheck("TimerDelay", TimerDelayCheck);
    placement_->AddSpin("TimerDelayValue", TimerDelaySpin);
    placement_->AddCheck("StripedGrids", StripedGridsCheck);
    placement_->AddCheck("SaveHuffman", HuffmanCheck);
    placement_->AddCheck("SweepData", SweepCheckBox);
    placement_->AddCheck("CanEdit", CanEditCheck);
    placement_->AddCheck("AutosaveCheck_Checked", AutosaveCheck);
    placement_->AddCheck("AutosaveEveryCheck_Checked", AutosaveEveryCheck);
    placement_->AddSpin("AutosaveSpin_Value", AutosaveSpin);
    placement_->AddCheck("SaveDupCheck_Checked", SaveDupCheck);
    placement_->Restore();
    UpdateAutosaveTimer();
    Recaption();

    // Logging out asks as closing the last window does; without a person to ask, the logout
    // is cancelled while the library holds changes.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!library_->IsModified()) return;
        if (!manager.allowsInteraction()) return manager.cancel();
        if (!ConfirmDiscard(nullptr)) manager.cancel();
        manager.release();
    });
}

TSVMainForm::~TSVMainForm() {
    WaitForResync();
    // The windows hold rows that point into the catalogue: they go first.
    while (!windows_.empty())
        delete windows_.front();
    library_->RemoveObserver(this);
    library_->AuthorChooser = nullptr;
}

void TSVMainForm::BuildControls() {
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    pages_ = new QTabWidget(this);
    layout->addWidget(pages_);

    auto* page1 = new QWidget;
    auto* l1 = new QVBoxLayout(page1);
    auto* delayRow = new QHBoxLayout;
    TimerDelayCheck = new QCheckBox(page1);
    TimerDelayCheck->setChecked(true);
    TimerDelaySpin = new QSpinBox(page1);
    TimerDelaySpin->setRange(20, 10000);
    TimerDelaySpin->setValue(50);
    delayUnit_ = new QLabel(page1);
    delayRow->addWidget(TimerDelayCheck);
    delayRow->addWidget(TimerDelaySpin);
    delayRow->addWidget(delayUnit_);
    delayRow->addStretch(1);
    l1->addLayout(delayRow);
    StripedGridsCheck = new QCheckBox(page1);
    StripedGridsCheck->setChecked(true);
    HuffmanCheck = new QCheckBox(page1);
    SaveDupCheck = new QCheckBox(page1);
    CanEditCheck = new QCheckBox(page1);
    for (QCheckBox* box : {StripedGridsCheck, HuffmanCheck, SaveDupCheck, CanEditCheck})
        l1->addWidget(box);
    autosaveGroup_ = new QGroupBox(page1);
    auto* ag = new QVBoxLayout(autosaveGroup_);
    AutosaveCheck = new QCheckBox(autosaveGroup_);
    auto* everyRow = new QHBoxLayout;
    AutosaveEveryCheck = new QCheckBox(autosaveGroup_);
    AutosaveSpin = new QSpinBox(autosaveGroup_);
    AutosaveSpin->setRange(1, 10000);
    AutosaveSpin->setValue(30);
    minutes_ = new QLabel(autosaveGroup_);
    everyRow->addWidget(AutosaveEveryCheck);
    everyRow->addWidget(AutosaveSpin);
    everyRow->addWidget(minutes_);
    everyRow->addStretch(1);
    ag->addWidget(AutosaveCheck);
    ag->addLayout(everyRow);
    l1->addWidget(autosaveGroup_);
    l1->addStretch(1);

    auto* page2 = new QWidget;
    auto* l2 = new QVBoxLayout(page2);
    langLabel_ = new QLabel(page2);
    LangsCombo = new QComboBox(page2);
    l2->addWidget(langLabel_);
    l2->addWidget(LangsCombo);
    l2->addStretch(1);

    auto* page3 = new QWidget;
    auto* l3 = new QVBoxLayout(page3);
    SweepCheckBox = new QCheckBox(page3);
    sweepButton_ = new QPushButton(page3);
    l3->addWidget(SweepCheckBox);
    l3->addWidget(sweepButton_);
    l3->addStretch(1);

    pages_->addTab(page1, QString());
    pages_->addTab(page2, QString());
    pages_->addTab(page3, QString());

    closeButton_ = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);
    layout->addLayout(buttons);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

    AutosaveTimer = new QTimer(this);
    connect(AutosaveTimer, &QTimer::timeout, this, [this] { Autosave(); });
    connect(AutosaveEveryCheck, &QCheckBox::toggled, this, [this] { UpdateAutosaveTimer(); });
    connect(AutosaveSpin, &QSpinBox::valueChanged, this, [this] { UpdateAutosaveTimer(); });
    connect(LangsCombo, &QComboBox::currentIndexChanged, this, [this](int item) {
        if (filling_ || item < 0) return;
        ChooseLanguage(LangsCombo->itemData(item).toInt());
    });
    connect(sweepButton_, &QPushButton::clicked, this, [this] {
        QMenu menu(this);
        menu.addAction(Msg(rsSweepAll), this, [this] { SweepNow(kSweepAll); });
        QMenu* unused = menu.addMenu(Msg(rsSweepUnused));
        const std::pair<int, unsigned> items[] = {{1085, 15}, {1086, 1}, {1087, 2}, {1088, 4}, {1089, 8}};
        for (const auto& [id, flags] : items)
            unused->addAction(Msg(id), this, [this, flags = flags] { SweepNow(flags); });
        QMenu* join = menu.addMenu(Msg(rsJoin));
        const std::pair<int, unsigned> joins[] = {{1091, 112}, {1092, 16}, {1093, 32}, {1094, 64}};
        for (const auto& [id, flags] : joins)
            join->addAction(Msg(id), this, [this, flags = flags] { SweepNow(flags); });
        menu.exec(sweepButton_->mapToGlobal(QPoint(0, sweepButton_->height())));
    });
}

void TSVMainForm::Recaption() {
    setWindowTitle(Msg(rsPrefsCaption));
    pages_->setTabText(0, Msg(rsPrefsTab1));
    pages_->setTabText(1, Msg(rsPrefsTab2));
    pages_->setTabText(2, Msg(rsPrefsTab3));
    TimerDelayCheck->setText(Msg(rsTimerDelay));
    delayUnit_->setText(Msg(rsTimerDelayValue));
    StripedGridsCheck->setText(Msg(rsStripedGrids));
    HuffmanCheck->setText(Msg(rsSaveHuffman));
    SaveDupCheck->setText(Msg(rsSaveDup));
    CanEditCheck->setText(Msg(rsCanEdit));
    autosaveGroup_->setTitle(Msg(rsAutoSave));
    AutosaveCheck->setText(Msg(rsAutoSaveOnExit));
    AutosaveEveryCheck->setText(Msg(rsEvery));
    minutes_->setText(Msg(rsMinute));
    SweepCheckBox->setText(Msg(rsSweepDB));
    sweepButton_->setText(Msg(rsSweepNow));
    langLabel_->setText(Msg(rsInterfaceLang));
    closeButton_->setText(Msg(rsOk));
}

// --- options ---

bool TSVMainForm::TimerDelay() const {
    return TimerDelayCheck->isChecked();
}
int TSVMainForm::TimerDelayValue() const {
    return TimerDelaySpin->value();
}
bool TSVMainForm::StripedGrids() const {
    return StripedGridsCheck->isChecked();
}
bool TSVMainForm::SaveDuplicates() const {
    return SaveDupCheck->isChecked();
}
bool TSVMainForm::CanEdit() const {
    return CanEditCheck->isChecked();
}
int TSVMainForm::AutosavePeriod() const {
    return AutosaveSpin->value();
}

void TSVMainForm::UpdateAutosaveTimer() {
    AutosaveTimer->setInterval(AutosaveSpin->value() * 60000);
    if (AutosaveEveryCheck->isChecked())
        AutosaveTimer->start();
    else
        AutosaveTimer->stop();
}

void TSVMainForm::SaveOptions() {
    placement_->Save();
    std::error_code error;
    const std::string& file = library_->FileName;
    if (!file.empty() && std::filesystem::is_regular_file(AnsiToUtf8(file), error))
        placement_->State().Write("LastSVD", file);
    store_.Save();
}

void TSVMainForm::showEvent(QShowEvent* event) {
    FillLanguages();
    QDialog::showEvent(event);
}

void TSVMainForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (shuttingDown_) return;
    try {
        SaveOptions();
    } catch (const EShelvaraError& e) {
        Dialogs::Error(this, ToQ(e.what()));
    }
    emit SettingsChanged();
}

void TSVMainForm::FillLanguages() {
    filling_ = true;
    languages_.Rescan();
    LangsCombo->clear();
    for (int i = 0; i < languages_.Count(); ++i)
        LangsCombo->addItem(ToQ(languages_.Name(i)), i);
    if (languages_.Count() == 0) LangsCombo->addItem("<Default>", -1);
    const int current = languages_.CurrentIndex();
    LangsCombo->setCurrentIndex(current >= 0 ? current : 0);
    filling_ = false;
}

void TSVMainForm::ChooseLanguage(int index) {
    if (index < 0 || index == languages_.CurrentIndex()) return;
    if (!languages_.LoadLanguage(index)) return;
    languages_.SaveChoice(store_);
    try {
        store_.Save();
    } catch (const EShelvaraError& e) {
        Dialogs::Error(this, ToQ(e.what()));
    }
    Recaption();
    emit LanguageChanged();
}

void TSVMainForm::ReportResync(const TSyncStats& stats, QWidget* window) {
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
        problems << QString("The mount point is offline, its books are kept: %1").arg(QString::fromStdString(path));
    if (!stats.Fatal.empty()) problems << QString::fromStdString(stats.Fatal);
    if (!problems.isEmpty()) Dialogs::Error(window, problems.join("\n"));
}

bool TSVMainForm::LockLibraryFile(const std::string& fileName, QWidget* parent) {
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

void TSVMainForm::AddLog(const QString& text) {
    log_ << text;
    std::fprintf(stderr, "shelvara: %s\n", text.toUtf8().constData());
}

// --- start, library, windows ---

void TSVMainForm::Start(const QString& library) {
    QString path = library;
    if (path.isEmpty()) path = ToQ(placement_->State().Read("LastSVD"));
    while (!path.isEmpty() && !FileExists(path))
        path = AskLibraryFile(nullptr);
    // A library another program is writing stays closed: the box says which program has it.
    if (!path.isEmpty() && LockLibraryFile(FromQ(path), nullptr)) {
        try {
            library_->LoadFromFile(FromQ(path));
        } catch (const EShelvaraError& e) {
            // The partly read catalogue is tied to no file: nothing can overwrite the file.
            damaged_ = PartlyRead(*library_);
            Dialogs::Error(nullptr, ToQ(e.what()));
        }
    }
    if (TSVWinForm* window = NewWindow()) window->show();
}

QString TSVMainForm::AskLibraryFile(QWidget* parent) {
    const QString filter = Msg(rsAllShelvaraData) + " (*.svd *.sv2);;" + Msg(rsShelvara2Data) + " (*.sv2);;" +
                           Msg(rsShelvara1Data) + " (*.svd)";
    return Dialogs::OpenFileName(parent, Msg(rsOpeningLib), filter);
}

bool TSVMainForm::ConfirmDiscard(QWidget* parent) {
    if (!library_->IsModified()) return true;
    switch (Dialogs::AskYesNoCancel(parent, Msg(rsAttention), Msg(rsSVDNotSaved))) {
        case Dialogs::TAnswer::Yes: {
            std::error_code error;
            const std::string& file = library_->FileName;
            if (!file.empty() && std::filesystem::is_regular_file(AnsiToUtf8(file), error))
                return SaveLibrary(file, parent);
            const QString chosen = Dialogs::SaveFileName(parent, Msg(rsSavingLib), Msg(rsShelvara2Data) + " (*.sv2)");
            return !chosen.trimmed().isEmpty() && SaveLibrary(TSVD::WithLibraryExtension(FromQ(chosen)), parent);
        }
        case Dialogs::TAnswer::No:
            return true;
        default:
            return false;
    }
}

bool TSVMainForm::OpenLibrary(const QString& path, QWidget* parent) {
    if (ResyncRunning()) {
        Dialogs::Error(parent, Msg(rsErrThreadWorking));
        return false;
    }
    for (TSVWinForm* window : windows_)
        if (!window->SavePanelEdits()) return false;
    if (!FileExists(path) || !ConfirmDiscard(parent)) return false;
    // Every window lets go of its rows before the catalogue they point into is replaced.
    for (TSVWinForm* window : windows_)
        window->DropRows();
    // Another program writing this library would lose one side's changes: it is ours alone.
    if (!LockLibraryFile(FromQ(path), parent)) return false;
    bool loaded = true;
    {
        const QSignalBlocker quiet(this);  // the windows are rebuilt once, below
        try {
            library_->LoadFromFile(FromQ(path));
            damaged_ = false;
        } catch (const EShelvaraError& e) {
            loaded = false;
            damaged_ = PartlyRead(*library_);
            Dialogs::Error(parent, ToQ(e.what()));
        }
    }
    for (TSVWinForm* window : windows_) {
        window->Rebuild();
        window->Renumber();
    }
    return loaded;
}

bool TSVMainForm::SaveLibrary(const std::string& fileName, QWidget* parent) {
    if (!LockLibraryFile(fileName, parent)) return false;
    {
        // A background resynchronisation may be freeing books meanwhile.
        TCatalogueGuard guard;
        library_->ClearDuplicates();
        if (SaveDupCheck->isChecked())
            for (TSVWinForm* window : windows_)
                MergeDuplicateRows(window->DuplicateRows(), library_->Duplicates);
        library_->SaveHuffman = HuffmanCheck->isChecked();
        library_->SweepBeforeSave = SweepCheckBox->isChecked();
    }
    try {
        const bool saved = library_->SaveToFile(fileName);
        if (saved) damaged_ = false;  // what was read is now a file of its own
        return saved;
    } catch (const EShelvaraError& e) {
        Dialogs::Error(parent, ToQ(e.what()));
        return false;
    }
}

bool TSVMainForm::Autosave() {
    if (TrimBlanks(library_->FileName).empty() || !library_->IsModified()) return false;
    return SaveLibrary(library_->FileName, windows_.empty() ? nullptr : windows_.front());
}

TSVWinForm* TSVMainForm::NewWindow() {
    if (shuttingDown_) return nullptr;
    auto* window = new TSVWinForm(*this);
    windows_.push_back(window);  // numbered by its constructor
    return window;
}

int TSVMainForm::FreeWindowNumber(const TSVWinForm* window) const {
    for (int n = 1;; ++n) {
        bool used = false;
        for (const TSVWinForm* other : windows_)
            used = used || (other != window && other->Number() == n);
        if (!used) return n;
    }
}

void TSVMainForm::WindowClosing(TSVWinForm* window) {
    ForgetWindow(window);
    if (windows_.empty()) Shutdown();
}

void TSVMainForm::ForgetWindow(TSVWinForm* window) {
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

// --- background work ---

bool TSVMainForm::StartResync(TSVWinForm* window, TBookFolder& folder, TResyncMode mode) {
    return StartWorker(window, [&](IResyncObserver* relay) { return TResyncThread::StartFolder(folder, mode, relay); });
}

bool TSVMainForm::StartResync(TSVWinForm* window, std::vector<TBookInfo*> books, TResyncMode mode) {
    return StartWorker(window, [&](IResyncObserver* relay) {
        return TResyncThread::StartBooks(*library_, std::move(books), mode, relay);
    });
}

bool TSVMainForm::StartInpxImport(TSVWinForm* window, const QString& inpxFile) {
    return StartWorker(window, [&](IResyncObserver* relay) {
        return TResyncThread::StartInpx(*library_, FromQ(inpxFile), {}, relay);
    });
}

bool TSVMainForm::StartWorker(TSVWinForm* window,
                              const std::function<std::unique_ptr<TResyncThread>(IResyncObserver*)>& start) {
    if (ResyncRunning()) {
        Dialogs::Error(window, Msg(rsErrThreadWorking));
        return false;
    }
    WaitForResync();
    relay_ = std::make_unique<TResyncRelay>(window);
    try {
        resync_ = start(relay_.get());
    } catch (const EShelvaraError& e) {
        Dialogs::Error(window, ToQ(e.what()));
        return false;
    }
    return true;
}

bool TSVMainForm::ResyncRunning() const {
    return TResyncThread::IsRunning();
}

void TSVMainForm::WaitForResync() {
    stopAsking_ = true;  // a worker waiting for an author choice goes on without it
    resync_.reset();     // asks the worker to stop and waits for it
    relay_.reset();
    stopAsking_ = false;
}

void TSVMainForm::SweepNow(unsigned flags) {
    try {
        library_->Sweep(false, flags);
    } catch (const EShelvaraError& e) {
        Dialogs::Error(this, ToQ(e.what()));
    }
}

// --- the end ---

void TSVMainForm::Shutdown() {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    try {
        SaveOptions();
    } catch (const EShelvaraError& e) {
        AddLog(ToQ(e.what()));
    }
    emit SettingsChanged();
    WaitForResync();
    if (AutosaveCheck->isChecked()) Autosave();
    languages_.SaveChoice(store_);
    try {
        store_.Save();
    } catch (const EShelvaraError& e) {
        AddLog(ToQ(e.what()));
    }
    QApplication::quit();
}

// --- the catalogue's side ---

void TSVMainForm::CatalogueChanged(TObjectType type, int kind, const void* object) {
    // Delivered at once in the GUI thread, without running the event loop; a worker's changes
    // are queued (the receivers keep only identities).
    if (QThread::currentThread() == thread()) {
        emit Notified(type, kind, object);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, type, kind, object] { emit Notified(type, kind, object); }, Qt::QueuedConnection);
}

void TSVMainForm::LibraryLoaded() {
    if (QThread::currentThread() == thread()) {
        emit LibraryReloaded();
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { emit LibraryReloaded(); }, Qt::QueuedConnection);
}

TAuthorName* TSVMainForm::AskAuthorChoice(const TBookInfo& book, uint8_t role,
                                          const std::vector<TAuthorName*>& candidates) {
    if (ChoiceSeam) return ChoiceSeam(book, role, candidates);
    if (windows_.empty()) return candidates.front();
    TAuthorManageForm choice(windows_.front(), *this);
    choice.SetChoice(&book, role, candidates);
    if (choice.exec() != QDialog::Accepted) return nullptr;
    // Only an author the question listed: anything else counts as none.
    TAuthorName* chosen = choice.SelectedSpelling();
    const bool listed = chosen && std::any_of(candidates.begin(), candidates.end(),
                                              [chosen](const TAuthorName* c) { return c->Author == chosen->Author; });
    return listed ? chosen : nullptr;
}

TAuthorName* TSVMainForm::ChooseAuthor(TBookInfo& book, uint8_t role, const std::vector<TAuthorName*>& candidates) {
    if (candidates.empty()) return nullptr;
    const bool asks = (ChoiceSeam || !Dialogs::Script().Active) && !windows_.empty() && !shuttingDown_;
    if (asks && QThread::currentThread() == thread()) return AskAuthorChoice(book, role, candidates);
    if (asks) {
        // A background resynchronisation asks through the GUI thread and waits, holding no
        // catalogue lock; one question at a time. A stop of the worker ends the wait.
        std::lock_guard one(questionMutex_);
        struct TAnswerState {
            std::mutex Mutex;
            std::condition_variable Done;
            bool Answered = false, Abandoned = false;
            TAuthorName* Chosen = nullptr;
        };
        auto state = std::make_shared<TAnswerState>();
        QMetaObject::invokeMethod(
            this,
            [this, state, target = &book, role, candidates] {
                {
                    std::lock_guard lock(state->Mutex);
                    if (state->Abandoned) return;
                }
                TAuthorName* chosen = AskAuthorChoice(*target, role, candidates);
                std::lock_guard lock(state->Mutex);
                state->Chosen = chosen;
                state->Answered = true;
                state->Done.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(state->Mutex);
        while (!state->Answered) {
            state->Done.wait_for(lock, std::chrono::milliseconds(50));
            if (!state->Answered && stopAsking_) {
                state->Abandoned = true;
                return candidates.front();
            }
        }
        return state->Chosen;
    }
    // Without a window or while tests drive the program, the first candidate is taken and
    // the log says so (from any thread: the log is the GUI's).
    const QString text = QString("%1: several authors match; took \"%2\"")
                             .arg(ToQ(book.FileName), ToQ(candidates.front()->DisplayName()));
    QMetaObject::invokeMethod(
        this, [this, text] { AddLog(text); }, Qt::AutoConnection);
    return candidates.front();
}
