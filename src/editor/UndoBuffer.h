#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

// A place in the editor's text.
struct TTextPos {
    int32_t Col = 0;
    int32_t Line = 0;
    bool operator==(const TTextPos&) const = default;
};

// The editor's ordinary operations that undo and redo replay.
class IUndoEditor {
public:
    virtual ~IUndoEditor() = default;
    virtual void SetCaret(TTextPos pos) = 0;
    virtual void Select(TTextPos start, TTextPos end) = 0;
    virtual void DeleteSelection() = 0;
    virtual void InsertText(const std::string& text) = 0;  // at the caret
    virtual void Backspace() = 0;
    virtual void DeleteChar() = 0;
    virtual void TypeOverwrite(char c) = 0;
};

// Kinds of recorded edits.
enum TUndoKind : uint8_t {
    kUndoDeletedSelection = 1,  // data: the deleted text
    kUndoInserted = 2,          // data: the inserted text
    kUndoDeletedChar = 4,       // Backspace or Delete: the character or the joined line end
    kUndoTyped = 5,             // a character typed in insert mode
    kUndoOverwritten = 6,       // two bytes: the old character (0: appended) and the new one
};

struct TundoRecord {
    uint8_t Kind = 0;
    uint8_t Flag = 1;
    TTextPos Start, End;
    std::string Data;
    bool ContinuesEdit = false;  // part of the same edit as the record before (a replacement)
};

// The editor's undo list: at most kMaxIndex + 1 records and kMaxData bytes of data; the oldest
// edits go first, always whole, so undo never meets half an edit.
class TUndoBuffer final {
public:
    static constexpr int32_t kMaxIndex = 1000;
    static constexpr size_t kMaxData = 2097152;

    IUndoEditor* Editor = nullptr;
    bool Enabled = true;

    // Records an edit (nothing while disabled); the redo tail is dropped. Returns the record,
    // or none when it was not kept.
    const TundoRecord* Add(uint8_t kind, const std::string& data, TTextPos start, TTextPos end,
                           bool continuesEdit = false);
    const TundoRecord* AddAt(uint8_t kind, const std::string& data, TTextPos pos) { return Add(kind, data, pos, pos); }
    void Undo();
    void Redo();
    void Clear();
    size_t DataSize() const { return dataSize_; }
    int32_t Position() const { return position_; }
    size_t Count() const { return records_.size(); }
    bool CanUndo() const { return Enabled && position_ >= 0; }
    bool CanRedo() const { return Enabled && position_ + 1 < static_cast<int32_t>(records_.size()); }

private:
    void Replay(const TundoRecord& record, bool backwards);
    void DropOldestEdit();

    std::deque<TundoRecord> records_;
    int32_t position_ = -1;
    size_t dataSize_ = 0;
};
