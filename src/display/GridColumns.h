#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TObjList;

// One shown column of a catalogue grid: the row class's column id and its alignment
// (0 left, 1 right, 2 centre; kept in the layout text, cells are drawn left-aligned).
struct TSVGridColumn {
    int32_t Id = -1;
    uint8_t Alignment = 0;
};

// The columns of a catalogue grid in display order, and the widths of the grid's column
// positions: a width stays with its position when columns move or go.
class TSVGridCols final {
public:
    static constexpr int32_t kDefaultWidth = 64;

    std::vector<TSVGridColumn> Columns;

    size_t Count() const { return Columns.size(); }
    // The grid's column positions; at least as many as columns.
    size_t PositionCount() const { return widths_.size(); }
    void SetPositionCount(size_t count);
    // 50 for a position beyond the grid; a width below 1 becomes 1.
    int32_t Width(size_t position) const;
    void SetWidth(size_t position, int32_t width);

    void Clear() { Columns.clear(); }
    // One column per id 0 .. count - 1; positions as many as columns.
    void BuildDefault(int count);
    int FindById(int32_t id) const;  // display position, or -1
    // Appends a column at the right end, or removes it; positions follow the columns.
    void AddById(int32_t id);
    void RemoveById(int32_t id);
    // The column moved by the user from one display position to another.
    void Move(size_t from, size_t to);

    // "3;120,0,0;64,2,0;50,5,0": the count, then width, id and alignment digit of each column
    // (0 left, 1 centre, 2 right).
    std::string LayoutString() const;
    // Reads leniently: a faulty entry ends the reading and keeps the columns before it. Raises
    // EConvertError when the text does not begin with a digit (the columns are cleared first).
    void SetLayoutString(const std::string& text);

private:
    std::vector<int32_t> widths_;
};

// The striped variant of a background colour (0xRRGGBB): channels up to 96 get 48 added, the
// others lose 16, so light backgrounds darken a little and dark ones lighten.
uint32_t StripedColor(uint32_t rgb);

// Row selection kept in the rows (indexes from 0; out-of-range indexes are clamped).
void SelectOnly(TObjList& list, int32_t index);
void ToggleRow(TObjList& list, int32_t index, bool multiSelect);
void SelectRange(TObjList& list, int32_t from, int32_t to, bool multiSelect);
void SelectAll(TObjList& list);
