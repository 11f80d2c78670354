#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <string>

#include "catalogue/ListBuilders.h"
#include "catalogue/ObjList.h"
#include "shell/LibrarySession.h"

struct TSyncStats;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTabWidget;
class QTimer;
class QToolButton;
class TBookCollection;
class TBookListForm;
class TDockTabs;
class TDupSearchPage;
class TFolderTreeView;
class TDockableForm;
class TIniPlacement;
class TBookSelection;
class TCommandTable;
class TSVGrid;
class TPendingChoicesForm;
class TSVWinForm;

// What a main window asks of the program that holds it: other windows and the settings.
class IMainWindowHost {
public:
    virtual ~IMainWindowHost() = default;
    virtual TSVWinForm* NewWindow() = 0;
    virtual const std::vector<TSVWinForm*>& Windows() const = 0;
    // The smallest number no other main window uses.
    virtual int FreeWindowNumber(const TSVWinForm* window) const = 0;
    // The window has closed; the last one ends the program.
    virtual void WindowClosing(TSVWinForm* window) = 0;
    // A window going away without closing (freed by its owner).
    virtual void ForgetWindow(TSVWinForm* window) = 0;
    virtual void ShowSettings(QWidget* parent) = 0;
};

// One main window on the program's one library: the author, series and genre lists with
// their filters, favourites, the work and structure tabs, the progress strip of a
// resynchronisation. Several can be open; each has its own number, tabs and filters.
class TSVWinForm final : public QMainWindow, public ILibraryView {
    Q_OBJECT

public:
    TSVWinForm(IMainWindowHost& host, TLibrarySession& session);
    ~TSVWinForm() override;

    int Number() const { return number_; }
    // Takes the smallest free number and sets the caption.
    void Renumber();
    void Recaption();
    // The window of the author questions the scans queued.
    TPendingChoicesForm* ShowPendingChoices();
    // The caption: window number and the library's file name.
    void UpdateTitle();

    // The commands of the tool bar.
    void OpenLibraryCommand();
    bool Save();
    bool SaveAs();
    void NewWindowCommand();

    // The library's questions: edits kept, rows dropped before a replacement, rebuilt after.
    bool SavePendingEdits() override { return SavePanelEdits(); }
    void DropRows() override;
    void Rebuild() override;
    void CollectDuplicates(std::vector<TDuplicatePair>& pairs) override;
    QWidget* ViewWidget() override { return this; }
    TBookSelection& Selection() { return *selection_; }
    void TabChanged();
    // Build the list again when it is stale; with keepPlace the user keeps their row and sort.
    void BuildAuthors(bool keepPlace = false);
    void BuildSeries(bool keepPlace = false);
    void BuildGenres(bool keepPlace = false);

    // The resynchronisation's progress strip.
    void ResyncStarted(const void* owner);
    void ResyncProgress(const void* owner, int position, int maximum, const QString& text);
    void ResyncFinished(const void* owner, const TSyncStats& stats);
    void UpdateChoicesButton();
    // Builds the active list again with what the catalogue gained; the user keeps their row.
    void RebuildKeepingRows();

    // --- the book panels: 0 book list, 1 short information, 2 book information, 3 preview ---
    static constexpr int kPanelCount = 4;
    bool IsClosing() const { return closing_; }
    TDockableForm* Panel(int index) const;
    TBookListForm* BookList() const;
    // Opens a closed panel at its home place, or closes an open one.
    void TogglePanel(int index);
    TDockableForm* OpenPanel(int index);
    // Docks a new panel (owned by this window) in slot index at its home place.
    TDockableForm* InstallPanel(int index, TDockableForm* panel);
    // Opens the panel when needed and brings it to the front (its tab too).
    void ShowPanel(int index);
    // Tells panels first..last to show the selection again now (pictures, tests).
    void RefreshPanels(int first, int last);
    // The books of the current selection, by the active tab.
    void CollectBooks(TBookCollection& books) const;
    // Asks every panel to keep its unsaved edits; false (the error shown) when one could not.
    bool SavePanelEdits();
    // Opens the panels marked in OpenedWindows and puts them where they were.
    void OpenPanels();
    // Asks to add a mount point to a library that has none (Yes runs the new-mount-point command).
    void AskForMountPoint();
    // The genres or series window for the grid's one selected row (none: the whole tree).
    class QDialog* OpenEntityWindow(TSVGrid* grid);
    // The author information of the one selected author row.
    void ShowAuthorInformation();
    // The row count of the active list, as the status bar shows it.
    QString RowCountText() const;

    TObjList& AuthorRows() { return authors_; }
    TObjList& SeriesRows() { return series_; }
    TObjList& GenreRows() { return genres_; }
    TObjList& DuplicateRows() { return duplicates_; }

    QTabWidget* MainPageControl;
    QWidget* AuthorsTab;
    QWidget* SeriesTab;
    QWidget* GenresTab;
    QWidget* FavourTab;
    QWidget* WorkTab;
    QWidget* DirTreeTab;
    TFolderTreeView* MPTree;
    TDupSearchPage* DupPage;
    TSVGrid* AuthorsGrid;
    TSVGrid* SeriesGrid;
    TSVGrid* GenresGrid;
    TSVGrid* FavoritesGrid;
    QLineEdit* AuthorFilterEdit;
    QComboBox* AuthorFilterCombo;
    QCheckBox* ExtAuthorFilterCheck;
    QLineEdit* SeriesFilterEdit;
    QComboBox* SeriesFilterCombo;
    QCheckBox* ExtSeriesFilterCheck;
    QLineEdit* GenresFilterEdit;
    QComboBox* GenresFilterCombo;
    QCheckBox* ExtGenresFilterCheck;
    QCheckBox* FltAuthorCheck;
    QCheckBox* FltTranslatorsCheck;
    QCheckBox* FltOtherAuthorsCheck;
    QCheckBox* FltNoAuthorCheck;
    QTimer* AuthorFilterTimer;
    QTimer* SeriesFilterTimer;
    QTimer* GenresFilterTimer;
    QWidget* ResyncPanel;
    QLabel* ResyncLabel;
    QProgressBar* ProgressBar1;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TFilterBox {
        QLineEdit* Edit;
        QComboBox* Combo;
        QCheckBox* Extended;
    };

    void BuildWidgets();
    QWidget* BuildListTab(TSVGrid*& grid, const char* gridName, QLineEdit*& edit, QComboBox*& combo, QCheckBox*& ext,
                          QTimer*& timer, QWidget* extra);
    TListFilter FilterOf(const TFilterBox& box) const;
    void FillFilterCombo(QComboBox* combo, const TRowClass& rowClass);
    void FillEmptyCombos();
    void UpdateRoleHints();
    void ApplySettings();
    void ApplyTabPosition();
    void UpdateRowCount();
    void UpdatePanelsMenu();
    void BookChanged(TBookChange change, const TBookInfo* book);
    void SeriesChanged(TEntityChange change, const TBookSequence* series);
    void GenreChanged(TEntityChange change, const TBookGenre* genre);
    void AuthorChanged(TAuthorChange change, const void* object);
    void ShowColumnsMenu(TSVGrid* grid, const QPoint& globalPos);
    void RestoreState();
    TSVGrid* ActiveGrid() const;

    IMainWindowHost& host_;
    TLibrarySession& session_;
    TBookSelection* selection_;
    QTimer* authorsLater_;  // new authors: one rebuild for a burst
    int number_ = 0;
    bool constructing_ = true;
    bool closing_ = false;
    bool keepingRows_ = false;  // a rebuild that keeps the user's selection
    TObjList authors_, series_, genres_, duplicates_;
    TObjList favourites_;  // nothing fills it yet: the grid shows its columns and a blank row
    TIniPlacement* placement_ = nullptr;
    QToolButton* openButton_;
    QToolButton* saveButton_;
    QToolButton* newWindowButton_;
    QToolButton* panelsButton_;
    QToolButton* settingsButton_;
    QToolButton* choicesButton_;
    QAction* choicesAction_;
    QMenu* windowsMenu_;
    QMenu* saveMenu_;
    QMenu* panelsMenu_;
    QMenu* tabMenu_;
    TCommandTable* commands_;
    QAction* tabPositions_[4];
    QAction* multilineItem_;
    std::array<QPointer<TDockableForm>, kPanelCount> panels_;
    QByteArray dockState_;
    QLabel* rowCount_;
    QLabel* damagedLabel_;
    QLabel* lostCaption_;
    TDockTabs* dockTabs_ = nullptr;
    QLabel* favourCaption_;
    std::string openedWindows_ = "11111111";
};
