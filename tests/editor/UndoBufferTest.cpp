#include "editor/UndoBuffer.h"

#include <gtest/gtest.h>

#include "common/Error.h"

namespace {

// A one-line editor that records its own edits the way the editor control does.
struct LineEditor final : IUndoEditor {
    std::string text;
    int32_t caret = 0, selStart = 0, selEnd = 0;
    TUndoBuffer undo;

    LineEditor() { undo.Editor = this; }
    void SetCaret(TTextPos pos) override { caret = selStart = selEnd = pos.Col; }
    void Select(TTextPos start, TTextPos end) override {
        selStart = start.Col;
        selEnd = caret = end.Col;
    }
    void DeleteSelection() override {
        undo.Add(kUndoDeletedSelection, text.substr(selStart, selEnd - selStart), {selStart, 0}, {selEnd, 0});
        text.erase(selStart, selEnd - selStart);
        caret = selEnd = selStart;
    }
    void InsertText(const std::string& s) override {
        text.insert(caret, s);
        undo.Add(kUndoInserted, s, {caret, 0}, {caret + static_cast<int32_t>(s.size()), 0});
        caret += static_cast<int32_t>(s.size());
        selStart = selEnd = caret;
    }
    void Type(char c) {
        text.insert(text.begin() + caret, c);
        undo.Add(kUndoTyped, std::string(1, c), {caret, 0}, {caret + 1, 0});
        selStart = selEnd = ++caret;
    }
    void Replace(const std::string& s) {  // a selection replaced: two records, one edit
        const std::string old = text.substr(selStart, selEnd - selStart);
        undo.Add(kUndoDeletedSelection, old, {selStart, 0}, {selEnd, 0});
        text.replace(selStart, selEnd - selStart, s);
        undo.Add(kUndoInserted, s, {selStart, 0}, {selStart + static_cast<int32_t>(s.size()), 0}, true);
        caret = selStart + static_cast<int32_t>(s.size());
        selStart = selEnd = caret;
    }
    void Backspace() override {
        if (caret == 0) return;
        undo.AddAt(kUndoDeletedChar, text.substr(caret - 1, 1), {caret - 1, 0});
        text.erase(--caret, 1);
        selStart = selEnd = caret;
    }
    void DeleteChar() override {
        if (caret >= static_cast<int32_t>(text.size())) return;
        undo.AddAt(kUndoDeletedChar, text.substr(caret, 1), {caret, 0});
        text.erase(caret, 1);
    }
    void TypeOverwrite(char c) override {
        const char old = caret < static_cast<int32_t>(text.size()) ? text[caret] : 0;
        if (old)
            text[caret] = c;
        else
            text += c;
        undo.Add(kUndoOverwritten, std::string{old, c}, {caret, 0}, {caret + 1, 0});
        selStart = selEnd = ++caret;
    }
};

TEST(UndoBufferTest, EditsUndoneAndRedoneGiveBackEveryText) {
    LineEditor ed;
    std::vector<std::string> texts{ed.text};
    for (char c : std::string("abcd")) {
        ed.Type(c);
        texts.push_back(ed.text);
    }
    ed.Select({1, 0}, {3, 0});
    ed.Replace("XYZ");  // aXYZd
    texts.push_back(ed.text);
    ed.SetCaret({2, 0});
    ed.Backspace();  // aYZd
    texts.push_back(ed.text);
    ed.SetCaret({3, 0});
    ed.TypeOverwrite('!');  // aYZ!
    ed.TypeOverwrite('?');  // aYZ!?
    texts.push_back(ed.text);
    EXPECT_EQ(ed.text, "aYZ!?");

    // Undo walks back record by record; every text seen before an edit comes back in order.
    std::vector<std::string> seen{ed.text};
    while (ed.undo.CanUndo()) {
        ed.undo.Undo();
        seen.push_back(ed.text);
    }
    EXPECT_EQ(ed.text, "");
    for (const std::string& t : texts)
        EXPECT_NE(std::find(seen.begin(), seen.end(), t), seen.end()) << t;
    EXPECT_EQ(ed.undo.Count(), 9u);  // replays recorded nothing
    while (ed.undo.CanRedo())
        ed.undo.Redo();
    EXPECT_EQ(ed.text, "aYZ!?");

    // A new edit after undo drops the redo tail.
    ed.undo.Undo();
    ed.SetCaret({0, 0});
    ed.Type('#');
    EXPECT_FALSE(ed.undo.CanRedo());
    EXPECT_EQ(ed.undo.Count(), 9u);
}

TEST(UndoBufferTest, TheOldestEditsGoWhole) {
    LineEditor ed;
    ed.Type('a');
    ed.Type('b');
    ed.Select({0, 0}, {1, 0});
    ed.Replace("R");
    for (int i = 0; i < 998; ++i)
        ed.Type('x');
    // 1002 records: the first typed character went; the replacement is still whole.
    EXPECT_EQ(ed.undo.Count(), 1001u);
    ed.Type('y');  // drops 'b'
    ed.Type('z');  // drops both halves of the replacement
    EXPECT_EQ(ed.undo.Count(), 1000u);
    while (ed.undo.CanUndo())
        ed.undo.Undo();
    EXPECT_EQ(ed.text, "Rb");  // back to the text right after the replacement, never half of it

    TUndoBuffer big;
    EXPECT_EQ(big.Add(kUndoInserted, std::string(TUndoBuffer::kMaxData + 1, 'a'), {}, {}), nullptr);
    EXPECT_EQ(big.Count(), 0u);
    EXPECT_EQ(big.DataSize(), 0u);
}

TEST(UndoBufferTest, UnknownKindsAndDisabledBuffers) {
    LineEditor ed;
    ed.undo.Add(3, "x", {}, {});
    EXPECT_THROW(ed.undo.Undo(), EShelvaraError);
    EXPECT_TRUE(ed.undo.Enabled);
    EXPECT_EQ(ed.undo.Position(), -1);
    ed.undo.Clear();
    ed.undo.Enabled = false;
    ed.Type('a');
    EXPECT_EQ(ed.undo.Count(), 0u);
}

}  // namespace
