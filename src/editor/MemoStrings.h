#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// How a line ended in the loaded text.
enum TLineEnd : uint8_t { kLineEndNone = 0, kLineEndCrLf = 1, kLineEndCr = 2, kLineEndLf = 3 };

// How lines end when the text is produced.
enum TStringsEndType : uint8_t { sesCRLF = 0, sesCR = 1, sesLF = 2, sesOriginal = 3 };

struct TMemoStringItem {
    std::string Text;  // without its line end
    uint8_t LineEnd = kLineEndNone;
    int32_t Width = -1;    // pixels as last measured, -1 when not measured
    int32_t RowCount = 1;  // screen rows with word wrap
};

// Told when the lines change from outside the editor's own edits.
class IMemoLinesObserver {
public:
    virtual ~IMemoLinesObserver() = default;
    virtual void LinesChanged() = 0;
    // Lines first .. first + added - 1 replaced others as part of an edit (not yet measured).
    virtual void LinesReplaced(int32_t /*first*/, int32_t /*added*/) {}
};

// The editor's lines, each keeping its own line end, so that a text saves back byte for byte
// as it was loaded (CR LF, CR, LF, none on the last line). Text is engine text.
class TMemoStringList final {
public:
    IMemoLinesObserver* Editor = nullptr;
    bool AutoEncoding = true;  // detect the code page of loaded text and convert it
    TStringsEndType DefaultStringTermination = sesOriginal;

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    int32_t Capacity() const { return capacity_; }
    const TMemoStringItem& Item(int32_t index) const;
    const std::string& Get(int32_t index) const { return Item(index).Text; }
    void Put(int32_t index, std::string text);
    int32_t Add(std::string text);
    void Insert(int32_t index, std::string text);
    void Delete(int32_t index);
    void Exchange(int32_t a, int32_t b);
    void Clear();
    // The sum of the lines' row counts, kept as lines change.
    int64_t TotalRows() const { return totalRows_; }
    // Stores a line's measured width and rows.
    void SetMeasure(int32_t index, int32_t width, int32_t rows);
    // Binary search without regard to case; meaningful only on sorted lines. index is where the
    // text is, or where it would go.
    bool Find(std::string_view text, int32_t& index) const;

    // The line end text of a line under DefaultStringTermination, and its length.
    std::string_view LineEnd(int32_t index) const;
    int32_t LineEndLength(int32_t index) const { return static_cast<int32_t>(LineEnd(index).size()); }
    // Replaces count lines from first by others, as one change.
    void ReplaceLines(int32_t first, int32_t count, std::vector<TMemoStringItem> lines);
    std::string GetTextStr() const;
    // Splits a text (up to a NUL) into lines.
    void SetTextStr(std::string_view text);
    // Splits all the bytes; a NUL byte ends a line without a line end and is dropped.
    void LoadFromBytes(std::vector<uint8_t> bytes);
    void LoadFromFile(const std::filesystem::path& file);

    void BeginUpdate();
    void EndUpdate();

private:
    void Changed();
    void Reserve(size_t count);
    void Split(const char* data, size_t size, bool stopAtNul);

    std::vector<TMemoStringItem> items_;
    int32_t capacity_ = 0;
    int64_t totalRows_ = 0;
    int32_t updates_ = 0;
    bool pending_ = false;
};
