#pragma once

#include <QDialog>
#include <vector>

#include "catalogue/ObjList.h"
#include "shell/LibrarySession.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTabWidget;
class QTimer;
class TAuthorInfo;
class TAuthorName;
class TBookInfo;
class TIniPlacement;
class TSVGrid;
class TLibrarySession;

// The library's authors: a filtered grid of authors; for the chosen one its spellings (edited
// in place, new ones added, empty ones deleted, dragged onto another author or another
// spelling) and its synonyms; "+" and "-" add and delete authors. In choice mode it lists only
// the authors of the candidate spellings of an import and hands back the chosen spelling.
class TAuthorManageForm final : public QDialog {
    Q_OBJECT

public:
    TAuthorManageForm(QWidget* parent, TLibrarySession& session);
    ~TAuthorManageForm() override;

    // Every author (through the filter) and the row of this author selected.
    void OpenFor(const TAuthorInfo* author);
    // Choice mode: the authors of the candidates only; the question shown once visible.
    void SetChoice(const TBookInfo* book, uint8_t role, const std::vector<TAuthorName*>& candidates);
    void SelectSpelling(const TAuthorName* spelling);
    // In choice mode, the question box comes when the window shows (off for pictures).
    bool AskOnShow = true;
    // The coloured strip saying which book and name the choice is for.
    void ShowChoicePanel();
    TAuthorInfo* SelectedAuthor() const { return author_; }
    TAuthorName* SelectedSpelling() const;
    void Rebuild();
    void ShowAuthor();

    // Editing, as the grids and buttons do it.
    void SpellingEdited(int row);
    void DeleteSpelling(int row);
    void SynonymsEdited();
    // The spelling rows as dragged into a new order become the author's order.
    void ReorderFromGrid();
    void AddAuthor();
    void DeleteAuthors();
    // A spelling dropped on an author (moves it there) or on another spelling (its links move).
    void MoveSpellingTo(TAuthorName* spelling, TAuthorInfo* author);
    void MergeSpellingInto(TAuthorName* spelling, TAuthorName* target);
    bool CanEdit() const;
    void Recaption();

    TObjList& Rows() { return rows_; }
    QLabel* FilterLabel;
    QLineEdit* FilterEdit;
    QComboBox* FilterCombo;
    QCheckBox* ExtFilterCheck;
    QTimer* FilterTimer;
    TSVGrid* AuthorsGrid;
    QLabel* CountLabel;
    QPushButton* PlusButton;
    QPushButton* MinusButton;
    QGroupBox* NamesGroup;  // the author's spellings
    QTableWidget* ANamesGrid;
    QGroupBox* SynonymsGroup;  // the synonyms of the selected spelling
    QTabWidget* AuthorControl;
    QTableWidget* AliasesGrid;
    QLabel* ChoicePanel;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DropIfEmptied(TAuthorInfo* author);
    void AuthorChanged(TAuthorChange kind, const void* object);
    void FillSpellings();
    void FillSynonyms();
    void ShowChoice();

    TLibrarySession& session_;
    QTimer* addedLater_;
    TObjList rows_;
    TAuthorInfo* author_ = nullptr;
    std::vector<TAuthorName*> spellings_;  // per spelling-grid row; null for an empty row
    bool busy_ = false;
    bool ready_ = false;  // events before the controls exist are not this window's
    bool choice_ = false;
    const TBookInfo* choiceBook_ = nullptr;
    uint8_t choiceRole_ = 1;
    std::vector<TAuthorName*> candidates_;
    TIniPlacement* placement_;
};
