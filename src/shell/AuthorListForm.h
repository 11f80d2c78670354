#pragma once

#include <QDialog>
#include <vector>

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class TBookInfo;
class TLibrarySession;

// One description list of the books the book information panel shows: kind 1 authors, 2 titles,
// 3 genres, 4 series. Rows show the first book's list when there is exactly one book; OK writes
// the rows to every book. Genres and series are chosen in their windows (the "..." cell).
class TAuthorListForm final : public QDialog {
    Q_OBJECT

public:
    TAuthorListForm(QWidget* parent, TLibrarySession& session, std::vector<TBookInfo*> books, int kind);

    int Kind() const { return kind_; }
    bool CanEdit() const { return editable_; }
    void AddRow();
    void DeleteRow();
    // Writes the rows to every book; raises rsErrCorrectNumber (the cell selected) for a series
    // number that is not an integer.
    void Apply();
    // The "..." cell: the genres or series window as a picker for the row.
    void PickForRow(int row);
    // A row's entity (spelling, genre or series), for the pickers and tests.
    void SetRowEntity(int row, void* entity);

    QTableWidget* StringGrid1;
    QGroupBox* ListGroup;
    QPushButton* PlusButton;
    QPushButton* MinusButton;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    void ShowRowEntity(int row);

    TLibrarySession& session_;
    std::vector<TBookInfo*> books_;
    int kind_;
    bool editable_ = false;
    std::vector<void*> entities_;  // per row: a spelling, a genre or a series
};

// An author's name, shown (the pages for more are empty).
class TAuthorInfoForm final : public QDialog {
    Q_OBJECT

public:
    // spelling or author may be null; a spelling shows its author.
    TAuthorInfoForm(QWidget* parent, const class TAuthorInfo* author);
    QLabel* NameLabel;
};
