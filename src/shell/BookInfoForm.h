#pragma once

#include <unordered_set>
#include <vector>

#include "shell/DockableForm.h"

class QCheckBox;
class QTimer;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TBookInfo;
class TIniPlacement;
enum class TBookChange;

// The books selected in the book list, for editing: their authors, titles, genres and series
// (opening the list dialog), note, read date, colour mark and file name. Values the books do not
// share show empty; an edit goes to every shown book.
class TBookInfoForm final : public TDockableForm {
    Q_OBJECT

public:
    TBookInfoForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection& selection);
    ~TBookInfoForm() override;

    // The shown books still in the catalogue.
    const std::vector<TBookInfo*>& Books() const;
    // Fills the controls from the shown books (the change handlers muted).
    void FillControls();
    // How often the controls were filled: a burst of notices fills them once.
    int FillCount() const { return fills_; }
    // The edits; each applies to every shown book whose value differs.
    void NoteEdited();
    void ReadDateEdited();
    void ColorEdited();
    void RenameCommand();
    // The list dialog of a kind (1 authors, 2 titles, 3 genres, 4 series) for the shown books.
    void OpenList(int kind);

    void Recaption() override;
    void DropBooks() override;

    QToolButton* AuthLabel;
    QToolButton* NamesLabel;
    QToolButton* GenresLabel;
    QToolButton* SeriesLabel;
    QLineEdit* NoteEdit;
    QCheckBox* ReadDateCheck;
    QDateEdit* ReadDateTimePicker;
    QLineEdit* FileNameEdit;
    QPushButton* FileRenameButton;
    QComboBox* ColorComboBox1;
    QWidget* Panel1;
    QLabel* Panel2;

protected:
    void Refresh() override;

private:
    void BookChanged(TBookChange change, const TBookInfo* book);
    template <typename T>
    void Apply(T TBookInfo::*field, const T& value);

    // The books that went since the last read leave in one pass.
    void DropGone() const;

    mutable std::vector<TBookInfo*> books_;  // not owned; removed ones dropped when next read
    std::unordered_set<const TBookInfo*> shown_;
    bool updating_ = false;
    int fills_ = 0;
    QLabel* noteLabel_;
    QLabel* readLabel_;
    QLabel* colorLabel_;
    QLabel* fileLabel_;
    QTimer* fillLater_;  // a burst of removals or changes: one refill
};
