#include "editor/MemoText.h"

#include <algorithm>
#include <vector>

namespace {

bool Before(TTextPos a, TTextPos b) {
    return a.Line != b.Line ? a.Line < b.Line : a.Col < b.Col;
}

int32_t Length(const std::string& text) {
    return static_cast<int32_t>(text.size());
}

// Marks the lines' change notices as the editor's own for the lifetime of the guard.
class TInternalEdit final {
public:
    explicit TInternalEdit(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~TInternalEdit() { flag_ = old_; }
    TInternalEdit(const TInternalEdit&) = delete;
    TInternalEdit& operator=(const TInternalEdit&) = delete;

private:
    bool& flag_;
    bool old_;
};

}  // namespace

TMemoText::TMemoText() {
    Lines.Editor = this;
    UndoBuffer.Editor = this;
}

TTextPos TMemoText::Clamp(TTextPos pos) const {
    const int32_t n = Lines.Count();
    if (pos.Line < 0) pos = {0, 0};
    if (pos.Line >= n) {
        // After the last line only when that line has a line end; else the end of that line.
        if (n > 0 && Lines.LineEndLength(n - 1) == 0) return {Length(Lines.Get(n - 1)), n - 1};
        return {0, n};
    }
    pos.Col = std::clamp(pos.Col, 0, Length(Lines.Get(pos.Line)));
    return pos;
}

int64_t TMemoText::OffsetOfPoint(TTextPos pos) const {
    pos = Clamp(pos);
    int64_t offset = 0;
    for (int32_t i = 0; i < pos.Line; ++i)
        offset += Length(Lines.Get(i)) + Lines.LineEndLength(i);
    return offset + pos.Col;
}

TTextPos TMemoText::PointOfOffset(int64_t offset) const {
    offset = std::max<int64_t>(offset, 0);
    for (int32_t i = 0; i < Lines.Count(); ++i) {
        const int64_t length = Length(Lines.Get(i));
        if (offset <= length) return {static_cast<int32_t>(offset), i};
        const int64_t withEnd = length + Lines.LineEndLength(i);
        if (offset < withEnd) return {static_cast<int32_t>(length), i};
        offset -= withEnd;
    }
    return Clamp({0, Lines.Count()});
}

int64_t TMemoText::SelStart() const {
    if (!hasSelection_) return CaretOffset();
    return OffsetOfPoint(Before(b_, a_) ? b_ : a_);
}

int64_t TMemoText::SelEnd() const {
    if (!hasSelection_) return CaretOffset();
    return OffsetOfPoint(Before(b_, a_) ? a_ : b_);
}

void TMemoText::SetSelStart(int64_t offset) {
    SetSelection(PointOfOffset(offset), b_);
}

void TMemoText::SetSelEnd(int64_t offset) {
    SetSelection(a_, PointOfOffset(offset));
}

bool TMemoText::SetSelection(TTextPos a, TTextPos b) {
    a = Clamp(a);
    b = Clamp(b);
    const bool has = !(a == b);
    const bool changed = !(a == a_) || !(b == b_) || has != hasSelection_;
    a_ = a;
    b_ = b;
    hasSelection_ = has;
    return changed;
}

std::string TMemoText::Range(TTextPos from, TTextPos to) const {
    if (!Before(from, to)) return {};
    if (from.Line == to.Line)
        return Lines.Get(from.Line).substr(static_cast<size_t>(from.Col), static_cast<size_t>(to.Col - from.Col));
    std::string text = Lines.Get(from.Line).substr(static_cast<size_t>(from.Col));
    text += Lines.LineEnd(from.Line);
    for (int32_t i = from.Line + 1; i < to.Line; ++i) {
        text += Lines.Get(i);
        text += Lines.LineEnd(i);
    }
    if (to.Line < Lines.Count()) text += Lines.Get(to.Line).substr(0, static_cast<size_t>(to.Col));
    return text;
}

std::string TMemoText::SelText() const {
    if (!hasSelection_) return {};
    return Before(b_, a_) ? Range(b_, a_) : Range(a_, b_);
}

void TMemoText::RawDelete(TTextPos from, TTextPos to) {
    if (!Before(from, to)) return;
    TInternalEdit guard(internal_);
    TMemoStringItem joined = Lines.Item(from.Line);
    joined.Text.resize(static_cast<size_t>(from.Col));
    joined.Width = -1;
    int32_t count = 1;
    if (to.Line < Lines.Count()) {
        const TMemoStringItem& last = Lines.Item(to.Line);
        joined.Text.append(last.Text, static_cast<size_t>(to.Col));
        joined.LineEnd = last.LineEnd;
        count = to.Line - from.Line + 1;
    } else {
        joined.LineEnd = kLineEndNone;  // everything to the end of the text went
        count = Lines.Count() - from.Line;
    }
    std::vector<TMemoStringItem> one;
    one.push_back(std::move(joined));
    Lines.ReplaceLines(from.Line, count, std::move(one));
}

TTextPos TMemoText::RawInsert(TTextPos at, const std::string& text) {
    if (text.empty()) return at;
    TInternalEdit guard(internal_);
    if (at.Line >= Lines.Count()) {
        at = {0, Lines.Count()};
        Lines.ReplaceLines(at.Line, 0, std::vector<TMemoStringItem>(1));
    }
    const TMemoStringItem& item = Lines.Item(at.Line);
    const std::string head = item.Text.substr(0, static_cast<size_t>(at.Col));
    const std::string tail = item.Text.substr(static_cast<size_t>(at.Col));
    const uint8_t end = item.LineEnd;

    std::vector<TMemoStringItem> lines;
    TMemoStringItem current{head};
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            current.Text += c;
            continue;
        }
        current.LineEnd = c == '\n' ? kLineEndLf : kLineEndCr;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            current.LineEnd = kLineEndCrLf;
            ++i;
        }
        lines.push_back(std::move(current));
        current = TMemoStringItem{};
    }
    const TTextPos after{Length(current.Text), at.Line + static_cast<int32_t>(lines.size())};
    current.Text += tail;
    current.LineEnd = end;
    lines.push_back(std::move(current));
    Lines.ReplaceLines(at.Line, 1, std::move(lines));
    return after;
}

void TMemoText::Edited() {
    if (OnChange) OnChange();
}

void TMemoText::SetCaret(TTextPos pos) {
    caret_ = a_ = b_ = Clamp(pos);
    hasSelection_ = false;
}

void TMemoText::Select(TTextPos start, TTextPos end) {
    SetSelection(start, end);
    caret_ = b_;
}

void TMemoText::MoveCaretTo(int64_t offset) {
    caret_ = PointOfOffset(offset);
    if (!hasSelection_) a_ = b_ = caret_;
}

void TMemoText::DeleteSelection() {
    if (ReadOnly || !hasSelection_) return;
    ReplaceSelection({});
}

void TMemoText::InsertText(const std::string& text) {
    ReplaceSelection(text);
}

void TMemoText::SetSelText(const std::string& text) {
    ReplaceSelection(text);
}

void TMemoText::ReplaceSelection(const std::string& raw) {
    if (ReadOnly) return;
    const std::string text = raw.substr(0, raw.find('\0'));
    bool deleted = false;
    if (hasSelection_) {
        const TTextPos from = Before(b_, a_) ? b_ : a_;
        const TTextPos to = Before(b_, a_) ? a_ : b_;
        const std::string old = Range(from, to);
        RawDelete(from, to);
        UndoBuffer.Add(kUndoDeletedSelection, old, from, to);
        SetCaret(from);
        deleted = true;
    }
    if (!text.empty()) {
        const TTextPos start = caret_;
        const TTextPos end = RawInsert(start, text);
        // With a deletion before it, one edit: trimming the undo list drops both together.
        UndoBuffer.Add(kUndoInserted, text, start, end, deleted);
        SetCaret(end);
    }
    if (deleted || !text.empty()) Edited();
}

void TMemoText::Backspace() {
    if (ReadOnly) return;
    if (hasSelection_) return DeleteSelection();
    TTextPos from;
    if (caret_.Col > 0) {
        from = {caret_.Col - 1, caret_.Line};
    } else if (caret_.Line > 0) {
        from = {Length(Lines.Get(caret_.Line - 1)), caret_.Line - 1};  // joins the lines
    } else {
        return;
    }
    const std::string old = Range(from, caret_);
    RawDelete(from, caret_);
    UndoBuffer.AddAt(kUndoDeletedChar, old, from);
    SetCaret(from);
    Edited();
}

void TMemoText::DeleteChar() {
    if (ReadOnly) return;
    if (hasSelection_) return DeleteSelection();
    const TTextPos at = caret_;
    if (at.Line >= Lines.Count()) return;
    const TTextPos to = at.Col < Length(Lines.Get(at.Line)) ? TTextPos{at.Col + 1, at.Line} : Clamp({0, at.Line + 1});
    const std::string old = Range(at, to);
    if (old.empty()) return;
    RawDelete(at, to);
    UndoBuffer.AddAt(kUndoDeletedChar, old, at);
    SetCaret(at);
    Edited();
}

void TMemoText::TypeOverwrite(char c) {
    if (ReadOnly) return;
    if (hasSelection_) return ReplaceSelection(std::string(1, c));
    const TTextPos start = caret_;
    char old = 0;
    TTextPos end;
    if (start.Line < Lines.Count() && start.Col < Length(Lines.Get(start.Line)) && c != '\r' && c != '\n') {
        TInternalEdit guard(internal_);
        TMemoStringItem item = Lines.Item(start.Line);
        old = item.Text[static_cast<size_t>(start.Col)];
        item.Text[static_cast<size_t>(start.Col)] = c;
        item.Width = -1;
        std::vector<TMemoStringItem> one;
        one.push_back(std::move(item));
        Lines.ReplaceLines(start.Line, 1, std::move(one));
        end = {start.Col + 1, start.Line};
    } else {
        end = RawInsert(start, std::string(1, c));
    }
    UndoBuffer.Add(kUndoOverwritten, std::string{old, c}, start, end);
    SetCaret(end);
    Edited();
}

void TMemoText::TypeChar(char c) {
    if (ReadOnly || c == '\0') return;
    if (hasSelection_) return ReplaceSelection(std::string(1, c));
    if (Overwrite) return TypeOverwrite(c);
    const TTextPos start = caret_;
    const TTextPos end = RawInsert(start, std::string(1, c));
    UndoBuffer.Add(kUndoTyped, std::string(1, c), start, end);
    SetCaret(end);
    Edited();
}

std::string_view TMemoText::LineBreakAt(int32_t line) const {
    switch (Lines.DefaultStringTermination) {
        case sesCR:
            return "\r";
        case sesLF:
            return "\n";
        case sesCRLF:
            return "\r\n";
        default:
            break;
    }
    if (line >= 0 && line < Lines.Count() && Lines.Item(line).LineEnd != kLineEndNone) return Lines.LineEnd(line);
    return "\r\n";
}

void TMemoText::NewLine() {
    InsertText(std::string(LineBreakAt(caret_.Line)));
}

void TMemoText::PasteText(const std::string& text) {
    const std::string_view end = LineBreakAt(hasSelection_ ? std::min(a_.Line, b_.Line) : caret_.Line);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            out += c;
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += end;
    }
    SetSelText(out);
}

void TMemoText::LinesChanged() {
    if (internal_) return;
    caret_ = a_ = b_ = {};
    hasSelection_ = false;
    UndoBuffer.Clear();
    if (OnReset) OnReset();
    Edited();
}

void TMemoText::LinesReplaced(int32_t first, int32_t added) {
    if (OnLinesReplaced) OnLinesReplaced(first, added);
}
