#pragma once

#include <QColor>
#include <QPoint>
#include <QTableView>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalogue/ObjList.h"
#include "display/GridColumns.h"

class QMenu;
class TIniPlacement;
class TSVGridModel;

// The list control of every catalogue list: shows a row list it does not own, with the columns
// its row class offers. The selection lives in the rows; a header click sorts by that column
// (again: the other way round), ties going to the other shown columns; columns can be moved,
// resized, hidden and shown, and their layout is kept as "<grid name>_cols".
class TSVGrid final : public QTableView, public IListView {
    Q_OBJECT

public:
    explicit TSVGrid(QWidget* parent = nullptr);
    ~TSVGrid() override;

    bool MultiSelect = true;
    // May change the text and background colour of a data cell (display position, row index).
    std::function<void(int column, int row, QColor& text, QColor& brush, bool selected)> OnGetColors;

    // Binds a row list (none to unbind); the list tells the grid of its changes.
    void SetData(TObjList* list);
    TObjList* Data() const { return list_; }
    TSVGridCols& Columns() { return cols_; }

    bool Striped() const { return striped_; }
    void SetStriped(bool striped);
    // The background of rows that are not selected (the tooltip colour unless set).
    void SetBaseColor(const QColor& color);
    QColor RowBackground(int index, bool selected) const;

    int SortColumn() const { return sortColumn_; }
    bool SortDescending() const { return descending_; }
    // A header click on a display position.
    void SortByColumn(int position);
    void Resort();

    // Rows by list index (0-based); none out of range.
    TListObject* ObjectAt(int index) const;
    TListObject* CurrentObject() const;
    int CurrentIndex() const;
    void SetCurrentIndex(int index);
    int SelectedCount() const;
    TListObject* FirstSelected() const;
    std::vector<TListObject*> SelectedList() const;
    void SelectOnlyRow(int index);
    // A row whose entity is going away: shown blank at once, taken out of the list (one pass
    // for all such rows) when the event loop next runs; the user's place is kept.
    void RemoveEntityLater(const void* entity);
    bool IsDoomed(const TListObject* row) const { return !doomed_.empty() && doomed_.count(row->Entity()); }

    // The column chooser: one checkable entry per column of the row class.
    void FillColumnsMenu(QMenu* menu);
    std::string LayoutString() const { return cols_.LayoutString(); }
    void SetLayoutString(const std::string& text);
    // Saves and restores the layout with a window's placement, under objectName() + "_cols".
    void AttachPlacement(TIniPlacement* placement);

    void ListChanged(TListChange kind) override;
    void ListDetached() override;

    // The keys held at the last double click (the application's own state lags behind).
    Qt::KeyboardModifiers DoubleClickModifiers() const { return doubleClickModifiers_; }

signals:
    // After every change of the rows the grid shows.
    void DataChanged();
    // The selection may have changed (click, keys).
    void SelectionChanged();
    // A sort could not finish; the rows stay in the order reached.
    void SortFailed(const QString& message);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyColumns();
    // The row under pos the current one, the grid repainted, the selection told.
    void MakeCurrent(int row, const QPoint& pos);
    void ApplyHeader();
    void RestoreCurrent(int before);
    void SyncColumnsFromHeader();
    void FitDefaultWidths();
    void Refresh();
    void PlaceAddedRow(int32_t added);
    TRowOrder Order() const;
    int RowAt(const QPoint& pos) const;

    TSVGridModel* model_;
    TObjList* list_ = nullptr;
    TSVGridCols cols_;
    void RemoveDoomed();

    const void* current_ = nullptr;  // the current row's entity, compared by identity only
    std::unordered_set<const void*> doomed_;
    int sortColumn_ = -1;
    bool descending_ = false;
    bool striped_ = true;
    QColor base_;
    bool dragPending_ = false;
    Qt::KeyboardModifiers doubleClickModifiers_ = Qt::NoModifier;
    QPoint pressPos_{-1, -1};
    QPoint headerPress_{-1, -1};
    bool syncing_ = false;
    bool widthsFitted_ = false;
};
