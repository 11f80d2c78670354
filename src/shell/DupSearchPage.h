#pragma once

#include <QWidget>
#include <memory>
#include <unordered_set>

#include "dups/DupSearch.h"

class QAction;
class QCheckBox;
class QMenu;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class TBookFolder;
class TIniPlacement;
class TObjList;
class TSVGrid;
class TLibrarySession;
class TBookSelection;

// The duplicate text search of one main window: two catalogue folders, the parameters, start,
// pause, stop and reset, the progress, and the pairs found as rows of the window's list. The
// search runs in its worker; its reports come to this page as queued calls.
class TDupSearchPage final : public QWidget {
    Q_OBJECT

public:
    TDupSearchPage(TLibrarySession& session, TBookSelection& selection, TObjList& rows, QWidget* parent = nullptr);
    ~TDupSearchPage() override;

    // Enables the start button when both labels name folders of the library.
    void UpdateStartButton();
    // The start button: start, stop (then "Сброс"), or reset.
    void StartCommand();
    void Reset();
    bool Running() const;
    // Stops a running search and waits for it (before the window or the library goes).
    void StopAndWait();
    // A book leaves the catalogue: its rows go, and the searcher forgets it.
    void BookRemoved(const void* book);
    void ApplyAuto();
    // Removes the selected pairs from the results.
    void DeleteSelectedRows();
    void Recaption();
    // Keeps the controls' state with the window's.
    void AttachPlacement(TIniPlacement* placement);
    // The folder a label names (engine text path), for the search.
    void SetFolder(int which, const QString& path);

    QLabel* DupFldr1Label;
    QLabel* DupFldr2Label;
    QPushButton* Folder1Button;
    QPushButton* Folder2Button;
    QSlider* SearchModeTrack;
    QSlider* DupCompTrack;
    QSlider* DupWordTrack;
    QSlider* DupBlockTrack;
    QSlider* WordLenTrack;
    QCheckBox* DupAutoCheck;
    QCheckBox* DupSizeCheck;
    QPushButton* DupSettingsButton;
    QGroupBox* DupSettingsGroup;
    QPushButton* StartDupButton;
    QPushButton* PauseDupButton;
    QWidget* DupSearchPanel;
    QLabel* DupSearchLabel;
    QProgressBar* ProgressBar2;
    TSVGrid* DupsGrid;

private:
    class TRelay;
    void Started();
    void Progress(int phase, int done, int total, const QString& path);
    void PairFound(TBookInfo* book1, int32_t similarity, TBookInfo* book2);
    void Finished();
    void UpdateValueLabels();
    TBookFolder* Resolve(const QLabel* label) const;

    TBookSelection& selection_;
    TLibrarySession& session_;
    TObjList& rows_;
    std::unique_ptr<TDupSearcher> searcher_;
    std::unique_ptr<TRelay> relay_;
    TBookFolder* folder1_ = nullptr;
    TBookFolder* folder2_ = nullptr;
    std::unordered_set<const void*> gone_;
    QLabel* modeLabel_;
    QLabel* compLabel_;
    QLabel* wordLabel_;
    QLabel* blockLabel_;
    QLabel* lenLabel_;
    QAction* deleteItem_;
    QMenu* columnsMenu_;
};
