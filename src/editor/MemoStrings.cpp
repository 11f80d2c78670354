#include "editor/MemoStrings.h"

#include <algorithm>
#include <iterator>

#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "fb2/Recoder.h"

const TMemoStringItem& TMemoStringList::Item(int32_t index) const {
    if (index < 0 || index >= Count()) RaiseListError("index", index);
    return items_[static_cast<size_t>(index)];
}

void TMemoStringList::Reserve(size_t count) {
    while (static_cast<size_t>(capacity_) < count)
        capacity_ += capacity_ < 9 ? 4 : capacity_ <= 64 ? 16 : capacity_ / 4;
    items_.reserve(static_cast<size_t>(capacity_));
}

void TMemoStringList::Changed() {
    if (updates_ > 0) {
        pending_ = true;
        return;
    }
    if (Editor) Editor->LinesChanged();
}

void TMemoStringList::BeginUpdate() {
    ++updates_;
}

void TMemoStringList::EndUpdate() {
    if (updates_ == 0 || --updates_ > 0 || !pending_) return;
    pending_ = false;
    if (Editor) Editor->LinesChanged();
}

void TMemoStringList::Put(int32_t index, std::string text) {
    if (index < 0 || index >= Count()) RaiseListError("index", index);
    TMemoStringItem& item = items_[static_cast<size_t>(index)];
    item.Text = std::move(text);
    item.Width = -1;
    Changed();
}

int32_t TMemoStringList::Add(std::string text) {
    Insert(Count(), std::move(text));
    return Count() - 1;
}

void TMemoStringList::Insert(int32_t index, std::string text) {
    if (index < 0 || index > Count()) RaiseListError("index", index);
    Reserve(items_.size() + 1);
    items_.insert(items_.begin() + index, TMemoStringItem{std::move(text)});
    ++totalRows_;
    Changed();
}

void TMemoStringList::Delete(int32_t index) {
    if (index < 0 || index >= Count()) RaiseListError("index", index);
    totalRows_ -= items_[static_cast<size_t>(index)].RowCount;
    items_.erase(items_.begin() + index);
    Changed();
}

void TMemoStringList::Exchange(int32_t a, int32_t b) {
    if (a < 0 || a >= Count()) RaiseListError("index", a);
    if (b < 0 || b >= Count()) RaiseListError("index", b);
    std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
    Changed();
}

void TMemoStringList::Clear() {
    if (items_.empty()) return;
    items_.clear();
    items_.shrink_to_fit();
    totalRows_ = 0;
    capacity_ = 0;
    Changed();
}

void TMemoStringList::SetMeasure(int32_t index, int32_t width, int32_t rows) {
    if (index < 0 || index >= Count()) RaiseListError("index", index);
    TMemoStringItem& item = items_[static_cast<size_t>(index)];
    totalRows_ += rows - item.RowCount;
    item.Width = width;
    item.RowCount = rows;
}

bool TMemoStringList::Find(std::string_view text, int32_t& index) const {
    int32_t low = 0, high = Count() - 1;
    bool found = false;
    while (low <= high) {
        const int32_t middle = low + (high - low) / 2;
        const int c = AnsiCompareText(items_[static_cast<size_t>(middle)].Text, text);
        if (c < 0) {
            low = middle + 1;
        } else {
            high = middle - 1;
            found = found || c == 0;
        }
    }
    index = low;
    return found;
}

std::string_view TMemoStringList::LineEnd(int32_t index) const {
    switch (DefaultStringTermination) {
        case sesCR:
            return "\r";
        case sesLF:
            return "\n";
        case sesCRLF:
            return "\r\n";
        default:
            break;
    }
    switch (Item(index).LineEnd) {
        case kLineEndCrLf:
            return "\r\n";
        case kLineEndCr:
            return "\r";
        case kLineEndLf:
            return "\n";
        default:
            return index == Count() - 1 ? "" : "\r\n";
    }
}

void TMemoStringList::ReplaceLines(int32_t first, int32_t count, std::vector<TMemoStringItem> lines) {
    if (first < 0 || first > Count()) RaiseListError("index", first);
    if (count < 0 || count > Count() - first) RaiseListError("count", count);
    Reserve(items_.size() - static_cast<size_t>(count) + lines.size());
    for (int32_t i = first; i < first + count; ++i)
        totalRows_ -= items_[static_cast<size_t>(i)].RowCount;
    for (const TMemoStringItem& line : lines)
        totalRows_ += line.RowCount;
    const int32_t added = static_cast<int32_t>(lines.size());
    const auto at = items_.begin() + first;
    const size_t common = std::min(static_cast<size_t>(count), lines.size());
    std::move(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(common), at);
    if (lines.size() > common)
        items_.insert(at + static_cast<std::ptrdiff_t>(common),
                      std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(common)),
                      std::make_move_iterator(lines.end()));
    else
        items_.erase(at + static_cast<std::ptrdiff_t>(common), at + count);
    if (Editor) Editor->LinesReplaced(first, added);
    Changed();
}

std::string TMemoStringList::GetTextStr() const {
    size_t length = 0;
    for (int32_t i = 0; i < Count(); ++i)
        length += items_[static_cast<size_t>(i)].Text.size() + static_cast<size_t>(LineEndLength(i));
    std::string text;
    text.reserve(length);
    for (int32_t i = 0; i < Count(); ++i) {
        text += items_[static_cast<size_t>(i)].Text;
        text += LineEnd(i);
    }
    return text;
}

void TMemoStringList::Split(const char* data, size_t size, bool stopAtNul) {
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        uint8_t end;
        size_t next = i + 1;
        if (i == size) {
            if (start == size) break;  // a text ending with a line end has no empty last line
            end = kLineEndNone;
        } else if (data[i] == '\r') {
            end = kLineEndCr;
            if (i + 1 < size && data[i + 1] == '\n') end = kLineEndCrLf, next = i + 2;
        } else if (data[i] == '\n') {
            end = kLineEndLf;
        } else if (data[i] == '\0') {
            end = kLineEndNone;
        } else {
            continue;
        }
        Reserve(items_.size() + 1);
        items_.push_back(TMemoStringItem{std::string(data + start, i - start), end});
        ++totalRows_;
        if (i < size && data[i] == '\0' && stopAtNul) break;
        start = next;
        i = next - 1;
    }
    Changed();
}

void TMemoStringList::SetTextStr(std::string_view text) {
    BeginUpdate();
    Clear();
    std::string copy(text.substr(0, text.find('\0')));
    if (AutoEncoding) RecodeText(reinterpret_cast<uint8_t*>(copy.data()), copy.size(), cpAuto, cpAuto);
    Split(copy.data(), copy.size(), true);
    EndUpdate();
}

void TMemoStringList::LoadFromBytes(std::vector<uint8_t> bytes) {
    BeginUpdate();
    Clear();
    if (AutoEncoding) RecodeText(bytes.data(), bytes.size(), cpAuto, cpAuto);
    Split(reinterpret_cast<const char*>(bytes.data()), bytes.size(), false);
    EndUpdate();
}

void TMemoStringList::LoadFromFile(const std::filesystem::path& file) {
    LoadFromBytes(ReadWholeFile(file));
}
