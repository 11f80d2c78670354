#pragma once

#include <QDialog>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "catalogue/BookImport.h"
#include "catalogue/CatalogueObserver.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QGroupBox;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class IResyncObserver;
class TIniPlacement;
class TLanguageModule;
class TBookInfo;
class TResyncThread;
enum class TResyncMode;
class TLibraryLock;
struct TSyncStats;
class TSettingsStore;
class TSVD;
class TSVWinForm;

// The program's hidden hub: the one catalogue, the options, the main windows and the relay of
// the catalogue's notifications to them, autosave, the language choice. Shown to the user as
// the modal settings dialog.
class TSVMainForm final : public QDialog, public ICatalogueObserver, public IAuthorChooser {
    Q_OBJECT

public:
    TSVMainForm(TSettingsStore& store, TLanguageModule& languages);
    ~TSVMainForm() override;

    TSVD& Library() { return *library_; }
    TSettingsStore& Store() { return store_; }
    TLanguageModule& Languages() { return languages_; }
    const std::vector<TSVWinForm*>& Windows() const { return windows_; }
    // Messages the program wrote to its log (author choices it made on its own, errors).
    const QStringList& Log() const { return log_; }

    // Options.
    bool TimerDelay() const;
    int TimerDelayValue() const;
    bool StripedGrids() const;
    bool SaveDuplicates() const;
    bool CanEdit() const;
    int AutosavePeriod() const;

    // Program start: the options, then the library (the given path, else the last one; the
    // open dialog while it does not exist), then the first main window.
    void Start(const QString& library);
    // The open-library dialog; empty when cancelled.
    QString AskLibraryFile(QWidget* parent);
    // Replaces the library by a file: asks about unsaved changes first, refuses while a
    // resynchronisation runs, lets every window drop its rows, shows a failed load, and
    // rebuilds every window either way. False when nothing was loaded.
    bool OpenLibrary(const QString& path, QWidget* parent);
    // The catalogue holds what a damaged file gave before its load failed; tied to no file.
    bool LibraryDamaged() const { return damaged_; }
    // Saves to a file name (engine text), merging the windows' duplicate pairs when asked to.
    bool SaveLibrary(const std::string& fileName, QWidget* parent);
    // One autosave tick: writes only a modified library that has a file; shows a failure.
    bool Autosave();

    TSVWinForm* NewWindow();
    // The smallest number no other main window uses.
    int FreeWindowNumber(const TSVWinForm* window) const;
    void WindowClosing(TSVWinForm* window);
    // A window going away without closing (freed by its owner).
    void ForgetWindow(TSVWinForm* window);
    // True when the library may be discarded: not modified, or saved, or the user said No.
    bool ConfirmDiscard(QWidget* parent);

    // Runs a resynchronisation of a folder in the background; its progress goes to the window.
    bool StartResync(TSVWinForm* window, class TBookFolder& folder, TResyncMode mode);
    // The same for a list of books (the book list's command).
    bool StartResync(TSVWinForm* window, std::vector<TBookInfo*> books, TResyncMode mode);
    // Imports an INPX index (a file path) in the background worker; its progress shows in window.
    bool StartInpxImport(TSVWinForm* window, const QString& inpxFile);
    bool ResyncRunning() const;
    void WaitForResync();

    // Sweep with the flags of the sweep menu (notifications on).
    void SweepNow(unsigned flags);
    // Shows how a resynchronisation ended: counts and warnings in the log; an offline mount
    // point or the error that ended it in a box.
    void ReportResync(const TSyncStats& stats, QWidget* window);
    // Switches the language (index of the language list) and re-captions every window.
    void ChooseLanguage(int index);
    void Recaption();

    // The end of the program: options and LastSVD saved, resynchronisation stopped, autosave on
    // exit, the language choice stored; then the event loop ends.
    void Shutdown();

    void CatalogueChanged(TObjectType type, int kind, const void* object) override;
    void LibraryLoaded() override;
    TAuthorName* ChooseAuthor(TBookInfo& book, uint8_t role, const std::vector<TAuthorName*>& candidates) override;

    // Tests answer the author question here instead of the choice window (GUI thread).
    std::function<TAuthorName*(const TBookInfo&, uint8_t, const std::vector<TAuthorName*>&)> ChoiceSeam;

    // Controls, named as the settings store names their values.
    QCheckBox* TimerDelayCheck;
    QSpinBox* TimerDelaySpin;
    QCheckBox* StripedGridsCheck;
    QCheckBox* HuffmanCheck;
    QCheckBox* SaveDupCheck;
    QCheckBox* CanEditCheck;
    QCheckBox* AutosaveCheck;
    QCheckBox* AutosaveEveryCheck;
    QSpinBox* AutosaveSpin;
    QCheckBox* SweepCheckBox;
    QComboBox* LangsCombo;
    QTimer* AutosaveTimer;

signals:
    // The catalogue changed (delivered in the GUI thread, synchronously for its own changes).
    void Notified(TObjectType type, int kind, const void* object);
    void LibraryReloaded();
    void LanguageChanged();
    void SettingsChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildControls();
    // The author choice of an import, asked in the GUI thread.
    TAuthorName* AskAuthorChoice(const TBookInfo& book, uint8_t role, const std::vector<TAuthorName*>& candidates);
    void FillLanguages();
    void UpdateAutosaveTimer();
    void SaveOptions();
    void AddLog(const QString& text);
    // Holds the writer's lock of the library file; false (the error shown) when another
    // program has it.
    bool LockLibraryFile(const std::string& fileName, QWidget* parent);
    // Starts a resynchronisation reporting to the window, unless one runs (the error shown).
    bool StartWorker(TSVWinForm* window, const std::function<std::unique_ptr<TResyncThread>(IResyncObserver*)>& start);

    TSettingsStore& store_;
    TLanguageModule& languages_;
    std::unique_ptr<TSVD> library_;
    std::unique_ptr<TLibraryLock> libraryLock_;
    std::string lockedName_;
    std::vector<TSVWinForm*> windows_;
    std::unique_ptr<TResyncThread> resync_;
    std::unique_ptr<IResyncObserver> relay_;  // lives as long as the worker
    TIniPlacement* placement_;
    QStringList log_;
    bool shuttingDown_ = false;
    bool damaged_ = false;
    std::mutex questionMutex_;             // one author question of a worker at a time
    std::atomic<bool> stopAsking_{false};  // set while a worker is being stopped
    bool filling_ = false;

    QTabWidget* pages_;
    QGroupBox* autosaveGroup_;
    QLabel* delayUnit_;
    QLabel* minutes_;
    QLabel* langLabel_;
    QPushButton* sweepButton_;
    QPushButton* closeButton_;
};
