#include "display/GridColumns.h"

#include <algorithm>

#include "catalogue/ObjList.h"
#include "common/Error.h"

void TSVGridCols::SetPositionCount(size_t count) {
    widths_.resize(std::max(count, Columns.size()), kDefaultWidth);
}

int32_t TSVGridCols::Width(size_t position) const {
    return position < widths_.size() ? widths_[position] : 50;
}

void TSVGridCols::SetWidth(size_t position, int32_t width) {
    if (position >= widths_.size()) widths_.resize(position + 1, kDefaultWidth);
    widths_[position] = std::max(width, 1);
}

void TSVGridCols::BuildDefault(int count) {
    Columns.clear();
    for (int id = 0; id < count; ++id)
        Columns.push_back({id, 0});
    widths_.resize(Columns.size(), kDefaultWidth);
}

int TSVGridCols::FindById(int32_t id) const {
    for (size_t i = 0; i < Columns.size(); ++i)
        if (Columns[i].Id == id) return static_cast<int>(i);
    return -1;
}

void TSVGridCols::AddById(int32_t id) {
    if (FindById(id) >= 0) return;
    Columns.push_back({id, 0});
    widths_.resize(Columns.size(), kDefaultWidth);
}

void TSVGridCols::RemoveById(int32_t id) {
    const int at = FindById(id);
    if (at < 0) return;
    Columns.erase(Columns.begin() + at);
    widths_.resize(Columns.size());
}

void TSVGridCols::Move(size_t from, size_t to) {
    if (from >= Columns.size() || to >= Columns.size() || from == to) return;
    const TSVGridColumn column = Columns[from];
    Columns.erase(Columns.begin() + static_cast<std::ptrdiff_t>(from));
    Columns.insert(Columns.begin() + static_cast<std::ptrdiff_t>(to), column);
}

namespace {

// Stored digit 0 left, 1 centre, 2 right; the field holds 0 left, 1 right, 2 centre.
char AlignmentDigit(uint8_t alignment) {
    return alignment == 1 ? '2' : alignment == 2 ? '1' : '0';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string TSVGridCols::LayoutString() const {
    std::string text = std::to_string(Columns.size());
    for (size_t i = 0; i < Columns.size(); ++i) {
        text += ';' + std::to_string(Width(i)) + ',' + std::to_string(Columns[i].Id) + ',';
        text += AlignmentDigit(Columns[i].Alignment);
    }
    return text;
}

void TSVGridCols::SetLayoutString(const std::string& text) {
    Columns.clear();
    size_t at = 0;
    auto skip = [&](const char* chars) {
        while (at < text.size() && std::string_view(chars).find(text[at]) != std::string_view::npos)
            ++at;
    };
    // A number of at most nine digits, so that it converts; false when there is none.
    auto number = [&](int32_t& value) {
        const size_t start = at;
        while (at < text.size() && IsDigit(text[at]))
            ++at;
        if (at == start || at - start > 9) return false;
        value = std::stoi(text.substr(start, at - start));
        return true;
    };
    int32_t count = 0;
    if (!number(count)) throw EConvertError("'" + text + "' is not a valid integer value");
    skip(" ,.;");
    if (count > 0) SetPositionCount(static_cast<size_t>(count));
    while (at < text.size()) {
        TSVGridColumn column;
        int32_t width = 0;
        bool ok = number(width);
        if (ok) skip(" ,");
        ok = ok && number(column.Id);
        if (ok) skip(" ,");
        ok = ok && at < text.size() && text[at] >= '0' && text[at] <= '2';
        if (!ok) return;
        column.Alignment = text[at] == '2' ? 1 : text[at] == '1' ? 2 : 0;
        ++at;
        Columns.push_back(column);
        if (widths_.size() < Columns.size()) widths_.resize(Columns.size(), kDefaultWidth);
        SetWidth(Columns.size() - 1, width);
        skip(" ,;");
    }
}

uint32_t StripedColor(uint32_t rgb) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t channel = rgb >> shift & 0xFF;
        out |= (channel <= 96 ? channel + 48 : channel - 16) << shift;
    }
    return out;
}

namespace {

int32_t ClampIndex(const TObjList& list, int32_t index) {
    return std::clamp(index, 0, list.Count() - 1);
}

}  // namespace

void SelectOnly(TObjList& list, int32_t index) {
    if (list.Count() == 0) return;
    index = ClampIndex(list, index);
    for (int32_t i = 0; i < list.Count(); ++i)
        if (TListObject* row = list.Get(i)) row->Selection = i == index ? 1 : 0;
}

void ToggleRow(TObjList& list, int32_t index, bool multiSelect) {
    if (!multiSelect) return SelectOnly(list, index);
    if (list.Count() == 0) return;
    if (TListObject* row = list.Get(ClampIndex(list, index))) row->Selection ^= 1;
}

void SelectRange(TObjList& list, int32_t from, int32_t to, bool multiSelect) {
    if (!multiSelect) return SelectOnly(list, to);
    if (list.Count() == 0) return;
    from = ClampIndex(list, from);
    to = ClampIndex(list, to);
    if (from > to) std::swap(from, to);
    for (int32_t i = from; i <= to; ++i)
        if (TListObject* row = list.Get(i)) row->Selection |= 1;
}

void SelectAll(TObjList& list) {
    for (int32_t i = 0; i < list.Count(); ++i)
        if (TListObject* row = list.Get(i)) row->Selection |= 1;
}
