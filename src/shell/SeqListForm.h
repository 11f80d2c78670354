#pragma once

#include <QDialog>
#include <unordered_map>

#include "shell/LibrarySession.h"

class QPushButton;
class QSplitter;
class QTableWidget;
class QTreeWidgetItem;
class TBookSequence;
class TEntityTree;
class TIniPlacement;
class TLibrarySession;

// The series tree of the catalogue: move a series under another by drag and drop, rename it in
// place, and edit its list of names. Changes go to the catalogue at once; OK and Cancel only
// close the window (a picker reads CurrentSeries after OK).
class TSeqListForm final : public QDialog {
    Q_OBJECT

public:
    TSeqListForm(QWidget* parent, TLibrarySession& session);
    ~TSeqListForm() override;

    void Fill();
    void SelectSeries(const TBookSequence* series);
    // The series whose names the grid shows; none when the selected one has no names.
    TBookSequence* CurrentSeries() const { return current_; }
    QTreeWidgetItem* ItemOf(const TBookSequence* series) const;
    void ShowNames();
    // A names cell edited (row from 1), as the grid does it.
    void NameEdited(int row, const QString& text);
    // Down in the last filled row: a new empty name; Ctrl+Delete: the row's name goes.
    void AppendName();
    void DeleteName(int row);
    void DropSeries(TBookSequence* dragged, TBookSequence* target);
    void Recaption();

    TEntityTree* SeqTree;
    QTableWidget* SeqNamesGrid;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidgetItem* AddItem(TBookSequence* series, QTreeWidgetItem* parent, bool deep);
    void Forget(QTreeWidgetItem* item);
    TBookSequence* FindSeries(quintptr id) const;
    TBookSequence* SelectedSeries() const;
    void SeriesChanged(TEntityChange kind, const TBookSequence* series);

    TLibrarySession& session_;
    std::unordered_map<const TBookSequence*, QTreeWidgetItem*> items_;
    TBookSequence* current_ = nullptr;
    bool filling_ = false;
    QSplitter* splitter_;
    TIniPlacement* placement_;
};
