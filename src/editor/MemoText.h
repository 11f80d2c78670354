#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "editor/MemoStrings.h"
#include "editor/UndoBuffer.h"

// The editor's text with its caret, selection and undo: every edit the editor control makes
// goes through here. Offsets count each line with its line end exactly as GetTextStr produces
// it, so an offset is a byte index into Lines.GetTextStr() (one scheme for the editor, find
// and replace and the formatter).
class TMemoText final : public IUndoEditor, public IMemoLinesObserver {
public:
    TMemoText();
    TMemoText(const TMemoText&) = delete;
    TMemoText& operator=(const TMemoText&) = delete;

    TMemoStringList Lines;
    TUndoBuffer UndoBuffer;
    bool ReadOnly = false;
    bool Overwrite = false;
    // Raised after every change of the text, the editor's own edits and outside changes alike.
    std::function<void()> OnChange;
    // Raised before OnChange when the text was changed from outside (a load, the lines' own
    // operations): caret, selection and undo were reset.
    std::function<void()> OnReset;
    // Raised as an edit replaces lines, before they are measured (first, how many now).
    std::function<void(int32_t, int32_t)> OnLinesReplaced;

    std::string Text() const { return Lines.GetTextStr(); }
    // The text from an offset to the end, built without the part before it.
    std::string TextFrom(int64_t offset) const { return Range(PointOfOffset(offset), Clamp({0, Lines.Count()})); }
    int64_t OffsetOfPoint(TTextPos pos) const;
    // Offsets inside a line end go to the line's end; beyond the text, the very end.
    TTextPos PointOfOffset(int64_t offset) const;

    TTextPos Caret() const { return caret_; }
    bool HasSelection() const { return hasSelection_; }
    TTextPos SelectionAnchor() const { return a_; }
    int64_t SelStart() const;
    int64_t SelEnd() const;
    // Move one end of the selection (the anchor, or the moving end); the caret stays.
    void SetSelStart(int64_t offset);
    void SetSelEnd(int64_t offset);
    std::string SelText() const;
    // Replaces the selection (or inserts at the caret) as one edit; the caret ends after it.
    void SetSelText(const std::string& text);
    int64_t CaretOffset() const { return OffsetOfPoint(caret_); }
    void MoveCaretTo(int64_t offset);
    // Both ends clamped; true when anything changed.
    bool SetSelection(TTextPos a, TTextPos b);

    // The edits (refused while ReadOnly), recorded for undo.
    void SetCaret(TTextPos pos) override;
    void Select(TTextPos start, TTextPos end) override;
    void DeleteSelection() override;
    void InsertText(const std::string& text) override;
    void Backspace() override;
    void DeleteChar() override;
    void TypeOverwrite(char c) override;
    // A typed character in the current mode; with a selection it replaces the selection.
    void TypeChar(char c);
    // The line break Enter inserts in a line: that of DefaultStringTermination; with the
    // original ends, the line's own (CR LF when it has none), so a text keeps one kind.
    std::string_view LineBreakAt(int32_t line) const;
    // Enter: the caret line's break.
    void NewLine();
    // Replaces the selection with text whose line breaks become the break of the line it goes
    // into (a paste of LF text into a CR LF book stays CR LF).
    void PasteText(const std::string& text);
    void Undo() { UndoBuffer.Undo(); }
    void Redo() { UndoBuffer.Redo(); }

    void LinesChanged() override;
    void LinesReplaced(int32_t first, int32_t added) override;

private:
    TTextPos Clamp(TTextPos pos) const;
    std::string Range(TTextPos from, TTextPos to) const;
    // The raw edits on the lines; positions are clamped, from before to.
    void RawDelete(TTextPos from, TTextPos to);
    TTextPos RawInsert(TTextPos at, const std::string& text);
    void ReplaceSelection(const std::string& text);
    void Edited();

    TTextPos caret_, a_, b_;
    bool hasSelection_ = false;
    bool internal_ = false;
};
