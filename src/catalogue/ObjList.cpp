#include "catalogue/ObjList.h"

#include <algorithm>
#include <string>
#include <utility>

#include "common/Error.h"
#include "common/MessageTable.h"

std::string TRowClass::ColumnCaption(int column) const {
    if (column < 0 || column >= ColumnCount()) return {};
    return MessageText(CaptionIds[static_cast<size_t>(column)]);
}

TObjList::~TObjList() {
    if (View) View->ListDetached();
    View = nullptr;
    Clear();
}

void TObjList::Grow() {
    SetCapacity(capacity_ < 65 ? capacity_ + 16 : capacity_ + capacity_ / 4);
}

int32_t TObjList::Add(std::unique_ptr<TListObject> row) {
    if (Count() == capacity_) Grow();
    const bool some = row != nullptr;
    rows_.push_back(std::move(row));
    if (some) {
        added_ = Count() - 1;
        ++addedCount_;
        Changed(kRowAdded);
    }
    return Count() - 1;
}

void TObjList::Insert(int32_t index, std::unique_ptr<TListObject> row) {
    if (index < 0 || index > Count()) RaiseListError("index", index);
    if (Count() == capacity_) Grow();
    rows_.insert(rows_.begin() + index, std::move(row));
    added_ = index;
    ++addedCount_;
    Changed(kRowAdded);
}

std::unique_ptr<TListObject> TObjList::Delete(int32_t index) {
    if (index < 0 || index >= Count()) RaiseListError("index", index);
    std::unique_ptr<TListObject> row = std::move(rows_[static_cast<size_t>(index)]);
    rows_.erase(rows_.begin() + index);
    Changed(kRowsRemoved);
    return row;
}

TListObject* TObjList::Get(int32_t index) const {
    if (index < 0 || index >= Count()) RaiseListError("index", index);
    return rows_[static_cast<size_t>(index)].get();
}

void TObjList::SetCapacity(int32_t capacity) {
    if (capacity < Count() || capacity > kMaxCount) RaiseListError("capacity", capacity);
    capacity_ = capacity;
    rows_.reserve(static_cast<size_t>(capacity));
}

void TObjList::SetCount(int32_t count) {
    if (count < 0 || count > kMaxCount) RaiseListError("count", count);
    BeginUpdate();
    if (count > capacity_) SetCapacity(count);
    const bool shrinks = count < Count() && Count() > 0;
    rows_.resize(static_cast<size_t>(count));
    if (shrinks) Changed(kRowsRemoved);
    EndUpdate();
}

void TObjList::Clear() {
    while (!rows_.empty())
        rows_.pop_back();
    rows_.shrink_to_fit();
    capacity_ = 0;
    Fresh = true;
}

void TObjList::BeginUpdate() {
    ++updates_;
}

void TObjList::EndUpdate() {
    if (updates_ == 0) return;
    if (--updates_ == 0 && pending_) {
        const auto kind = static_cast<TListChange>(pending_);
        pending_ = 0;
        Report(kind);
    }
}

void TObjList::Report(TListChange kind) {
    if (View) View->ListChanged(kind);
    added_ = -1;
    addedCount_ = 0;
}

int32_t TObjList::RemoveIf(const std::function<bool(const TListObject*)>& pick) {
    const auto end = std::remove_if(rows_.begin(), rows_.end(), [&](const auto& row) { return pick(row.get()); });
    const auto removed = static_cast<int32_t>(rows_.end() - end);
    rows_.erase(end, rows_.end());
    if (removed > 0) Changed(kRowsRemoved);
    return removed;
}

void TObjList::Move(int32_t from, int32_t to) {
    if (from < 0 || from >= Count()) RaiseListError("index", from);
    if (to < 0 || to >= Count()) RaiseListError("index", to);
    if (from == to) return;
    auto row = std::move(rows_[static_cast<size_t>(from)]);
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(row));
}

void TObjList::Changed(TListChange kind) {
    if (updates_ > 0) {
        pending_ = pending_ == 0 || pending_ == kind ? kind : kRowsChanged;
        return;
    }
    Report(kind);
}

TListObject* TObjList::FirstSelected() const {
    for (const auto& row : rows_)
        if (row && row->Selected()) return row.get();
    return nullptr;
}

int32_t TObjList::SelectedCount() const {
    int32_t count = 0;
    for (const auto& row : rows_)
        count += row && row->Selected();
    return count;
}

void TObjList::Sort(const std::function<int(const TListObject*, const TListObject*)>& compare) {
    if (Count() > 1) QuickSort(0, Count() - 1, compare);
}

void TObjList::QuickSort(int32_t lo, int32_t hi,
                         const std::function<int(const TListObject*, const TListObject*)>& compare) {
    auto at = [&](int32_t i) { return rows_[static_cast<size_t>(i)].get(); };
    auto swap = [&](int32_t i, int32_t j) { std::swap(rows_[static_cast<size_t>(i)], rows_[static_cast<size_t>(j)]); };
    while (true) {
        if (hi - lo < 16) {
            for (int32_t k = lo + 1; k <= hi; ++k)
                for (int32_t m = k; m > lo && compare(at(m), at(m - 1)) < 0; --m)
                    swap(m, m - 1);
            return;
        }
        int32_t i = lo, j = hi;
        const TListObject* pivot = at(lo + (hi - lo) / 2);
        do {
            // The bounds only matter for a comparison that contradicts itself.
            while (i < hi && compare(at(i), pivot) < 0)
                ++i;
            while (j > lo && compare(at(j), pivot) > 0)
                --j;
            if (i <= j) {
                // The pivot row may move; keep comparing with the row itself.
                swap(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (lo < j) QuickSort(lo, j, compare);
        if (i >= hi) return;
        lo = i;
    }
}

int CompareRows(const TListObject& a, const TListObject& b, const TRowOrder& order) {
    const auto signed_ = [&](int r) { return order.Descending ? -r : r; };
    const int sort = order.SortColumn;
    const TCellValue vb = b.GetValue(sort);
    int r = CompareCells(a.GetValue(sort), vb, order.Caseless);
    if (r != 0) return signed_(r);
    // The row class's columns bound the group rule, so hidden columns still take part.
    if (vb.Kind == kValueGroupText && sort + 1 < a.ColumnCount()) {
        const TCellValue next = a.GetValue(sort + 1);
        if (next.Kind == kValueOptional) {
            r = CompareCells(next, b.GetValue(sort + 1), order.Caseless);
            if (r != 0) return signed_(r);
        }
    }
    for (int column : order.Columns) {
        if (column == sort) continue;
        r = CompareCells(a.GetValue(column), b.GetValue(column), order.Caseless);
        if (r != 0) return signed_(r);
    }
    return 0;
}
