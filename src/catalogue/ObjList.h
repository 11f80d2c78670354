#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/CellValue.h"

class TBookCollection;

// What all rows of one adapter class share: their columns and the message ids of the captions.
struct TRowClass {
    std::vector<int> CaptionIds;
    // Columns a grid leaves out until the user adds them (the column chooser lists them).
    std::vector<int> HiddenByDefault = {};
    int ColumnCount() const { return static_cast<int>(CaptionIds.size()); }
    // Empty for a column out of range.
    std::string ColumnCaption(int column) const;
};

// One row of a catalogue grid: a small adapter around one entity.
class TListObject {
public:
    virtual ~TListObject() = default;
    uint8_t Selection = 0;  // bit 0: selected in its grid
    bool Selected() const { return Selection & 1; }

    virtual const TRowClass& RowClass() const = 0;
    // The entity the row stands for, compared by identity only (views find rows by it).
    virtual const void* Entity() const { return this; }
    int ColumnCount() const { return RowClass().ColumnCount(); }
    std::string ColumnCaption(int column) const { return RowClass().ColumnCaption(column); }
    virtual TCellValue GetValue(int column) const = 0;
    // Appends the books behind the row, each once.
    virtual void CollectBooks(TBookCollection& books) const = 0;
    // The filter test; what option means depends on the adapter.
    virtual bool Matches(int column, int option, const std::string& text) const = 0;
};

// How a grid orders its rows: by one column, ties broken by the other shown columns.
struct TRowOrder {
    int SortColumn = 0;
    bool Descending = false;
    bool Caseless = true;
    std::vector<int> Columns;  // the shown column ids in display order
};

// The grid's comparison of two rows: the sort column by the second row's value kind; a group
// heading (kind 2) that ties is decided by the next column when it holds a number in a series
// (kind 4); then the other shown columns, left to right.
int CompareRows(const TListObject& a, const TListObject& b, const TRowOrder& order);

// Change kinds a row list reports to its view.
enum TListChange : uint8_t { kRowAdded = 1, kRowsRemoved = 3, kRowsChanged = 5 };

// Whatever shows a row list (the grid); told of changes.
class IListView {
public:
    virtual ~IListView() = default;
    virtual void ListChanged(TListChange kind) = 0;
    // The list is going away; the view must forget it.
    virtual void ListDetached() {}
};

// The rows of one grid, owned. Changes made between BeginUpdate and EndUpdate are reported
// once: the first kind, or kRowsChanged when kinds differ.
class TObjList final {
public:
    static constexpr int32_t kMaxCount = 0x7FFFFFF;

    TObjList() = default;
    ~TObjList();
    TObjList(const TObjList&) = delete;
    TObjList& operator=(const TObjList&) = delete;

    IListView* View = nullptr;
    const TRowClass* RowClass = nullptr;  // the adapter class of the rows: the grid's columns
    bool Stale = true;                    // the owner must rebuild the rows before showing them
    bool Fresh = true;                    // the rows were rebuilt from scratch: the view drops sort and selection

    int32_t Count() const { return static_cast<int32_t>(rows_.size()); }
    int32_t Capacity() const { return capacity_; }
    // Appends a row (none allowed); returns its index.
    int32_t Add(std::unique_ptr<TListObject> row);
    void Insert(int32_t index, std::unique_ptr<TListObject> row);
    // Takes a row out and hands it back.
    std::unique_ptr<TListObject> Delete(int32_t index);
    TListObject* Get(int32_t index) const;
    void SetCapacity(int32_t capacity);
    // Only between BeginUpdate and EndUpdate; new slots hold no row, dropped rows are freed.
    void SetCount(int32_t count);
    void Clear();
    void BeginUpdate();
    void EndUpdate();
    void Changed(TListChange kind);
    // While a change is reported: the one row added since the last report, or -1 (none, or several).
    int32_t AddedRow() const { return addedCount_ == 1 ? added_ : -1; }
    // Moves a row to another index without telling the view (it does the moving).
    void Move(int32_t from, int32_t to);
    // Frees every row the test picks, in one pass; reports kRowsRemoved when any went.
    int32_t RemoveIf(const std::function<bool(const TListObject*)>& pick);
    TListObject* FirstSelected() const;
    int32_t SelectedCount() const;
    // Sorts by compare (negative: first before second). Small ranges sort by insertion and
    // keep equal rows in order; larger ones by partition exchange.
    void Sort(const std::function<int(const TListObject*, const TListObject*)>& compare);

private:
    void Grow();
    void QuickSort(int32_t lo, int32_t hi, const std::function<int(const TListObject*, const TListObject*)>& compare);

    std::vector<std::unique_ptr<TListObject>> rows_;
    int32_t capacity_ = 0;
    void Report(TListChange kind);

    int32_t updates_ = 0;
    uint8_t pending_ = 0;
    int32_t added_ = -1;
    int32_t addedCount_ = 0;
};
