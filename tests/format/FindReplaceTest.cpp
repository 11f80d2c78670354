#include "format/FindReplace.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/Encoding.h"
#include "editor/MemoText.h"

namespace {

std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

TSearchSettings Find(std::string text, bool caseSensitive = false) {
    TSearchSettings s;
    s.Defined = true;
    s.FindText = std::move(text);
    s.CaseSensitive = caseSensitive;
    return s;
}

TSearchSettings Replace(std::string find, std::string with, bool all) {
    TSearchSettings s = Find(std::move(find));
    s.ReplaceMode = true;
    s.ReplaceText = std::move(with);
    s.ReplaceAll = all;
    return s;
}

void Load(TMemoText& memo, const std::string& text) {
    memo.Lines.AutoEncoding = false;
    memo.Lines.SetTextStr(text);
}

std::pair<int64_t, int64_t> Selection(const TMemoText& memo) {
    return {memo.SelStart(), memo.SelEnd()};
}

TEST(FindReplaceTest, SearchTextOnAString) {
    std::string text = "aaa";
    const TSearchResult all = SearchText(Replace("a", "aa", true), text);
    EXPECT_EQ(text, "aaaaaa");
    EXPECT_EQ(all.Position, 4u);  // the last replacement
    EXPECT_EQ(all.Count, 3u);

    text = A("Ёлка и ёлка");
    EXPECT_EQ(SearchText(Find(A("ёлка")), text).Position, 0u);
    EXPECT_EQ(SearchText(Find(A("Ёлка")), text).Position, 0u);
    EXPECT_EQ(SearchText(Find(A("ёлка"), true), text).Position, 7u);
    EXPECT_FALSE(SearchText(Find(""), text).Found);
}

// A multi-line find text comes from the dialog with CR LF; it matches any line break.
TEST(FindReplaceTest, LineBreaksOfTheFindTextMatchAnyLineBreak) {
    struct Case {
        const char* text;
        const char* find;
        size_t position, length;
    };
    for (const Case& c : std::vector<Case>{{"ab\ncd", "b\r\nc", 1, 3},
                                           {"ab\r\ncd", "b\nc", 1, 4},
                                           {"ab\rcd", "b\r\nc", 1, 3},
                                           {"x\n\ny", "\r\n\r\ny", 1, 3},
                                           {"x\r\ny", "\ny", 1, 3},
                                           {"ab\n\ncd", "b\r\nc", 0, 0}}) {
        TMemoText memo;
        Load(memo, c.text);
        const bool found = FindAgain(Find(c.find), memo);
        EXPECT_EQ(found, c.length > 0) << c.text;
        if (!found) continue;
        EXPECT_EQ(Selection(memo), (std::pair<int64_t, int64_t>(c.position, c.position + c.length))) << c.text;
    }
    std::string text = "one\ntwo\none\ntwo";
    EXPECT_EQ(SearchText(Replace("one\r\ntwo", "1-2", true), text).Count, 2u);
    EXPECT_EQ(text, "1-2\n1-2");
}

TEST(FindReplaceTest, FindStartsAtTheCaretAndSelectsTheMatch) {
    TMemoText memo;
    Load(memo, "cat dog cat");
    memo.SetCaret({1, 0});
    ASSERT_TRUE(FindAgain(Find("CAT"), memo));
    EXPECT_EQ(Selection(memo), (std::pair<int64_t, int64_t>{8, 11}));
    EXPECT_EQ(memo.CaretOffset(), 11);
    EXPECT_FALSE(FindAgain(Find("cat"), memo));  // nothing after the caret, earlier ones ignored

    // Within the selection, a repeat finds the selected match again.
    TSearchSettings inSelection = Find("cat");
    inSelection.InSelection = true;
    memo.SetSelection({0, 0}, {3, 0});
    ASSERT_TRUE(FindAgain(inSelection, memo));
    EXPECT_EQ(Selection(memo), (std::pair<int64_t, int64_t>{0, 3}));
    ASSERT_TRUE(FindAgain(inSelection, memo));
    EXPECT_EQ(Selection(memo), (std::pair<int64_t, int64_t>{0, 3}));

    EXPECT_FALSE(FindAgain(Find(""), memo));
    TSearchSettings undefined = Find("cat");
    undefined.Defined = false;
    EXPECT_FALSE(FindAgain(undefined, memo));
}

// With single-character line ends the positions of matches and of the replaced text agree.
TEST(FindReplaceTest, ReplaceChangesOnlyTheMatchWhateverTheLineEnds) {
    for (const std::string end : {"\n", "\r", "\r\n"}) {
        TMemoText memo;
        const std::string text = "ab" + end + "cd" + end + "cd" + end + "tail";
        Load(memo, text);
        memo.SetCaret({1, 0});
        const TSearchSettings replace = Replace("cd", "XYZ", false);
        ASSERT_TRUE(FindAgain(replace, memo));
        EXPECT_EQ(memo.Text(), "ab" + end + "XYZ" + end + "cd" + end + "tail");
        EXPECT_EQ(memo.SelText(), "XYZ");
        ASSERT_TRUE(FindAgain(replace, memo));  // the repeat goes on after the replacement
        EXPECT_EQ(memo.Text(), "ab" + end + "XYZ" + end + "XYZ" + end + "tail");
        EXPECT_FALSE(FindAgain(replace, memo));
        memo.Undo();  // a replacement is one step
        EXPECT_EQ(memo.Text(), "ab" + end + "XYZ" + end + "cd" + end + "tail");
        memo.Undo();
        EXPECT_EQ(memo.Text(), text);
    }
}

TEST(FindReplaceTest, ReplaceAllIsOneEditAndSelectsTheLastReplacement) {
    TMemoText memo;
    Load(memo, "x\naaa\ny");
    memo.SetCaret({0, 0});
    ASSERT_TRUE(FindAgain(Replace("a", "aa", true), memo));
    EXPECT_EQ(memo.Text(), "x\naaaaaa\ny");
    EXPECT_EQ(Selection(memo), (std::pair<int64_t, int64_t>{6, 8}));
    memo.Undo();
    memo.Undo();  // the deletion and the insertion of the one edit
    EXPECT_EQ(memo.Text(), "x\naaa\ny");
    EXPECT_FALSE(memo.UndoBuffer.CanUndo());

    // In the selection only; a multi-line find text with its line end.
    Load(memo, "a-b\r\nc a-b\r\nc a-b");
    memo.SetSelection({0, 0}, {1, 2});
    TSearchSettings lines = Replace("b\r\nc", "+", true);
    lines.InSelection = true;
    ASSERT_TRUE(FindAgain(lines, memo));
    EXPECT_EQ(memo.Text(), "a-+ a-+ a-b");

    // Without a selection the whole text, whatever the caret, and the count is told.
    Load(memo, "cat, cat\ncat");
    memo.SetCaret({1, 0});
    size_t count = 0;
    ASSERT_TRUE(FindAgain(Replace("cat", "dog", true), memo, &count));
    EXPECT_EQ(memo.Text(), "dog, dog\ndog");
    EXPECT_EQ(count, 3u);
    EXPECT_FALSE(FindAgain(Replace("cat", "dog", true), memo, &count));
    EXPECT_EQ(count, 0u);
}

TEST(FindReplaceTest, ReadOnlyEditorIsNotChanged) {
    TMemoText memo;
    Load(memo, "abc");
    memo.ReadOnly = true;
    EXPECT_FALSE(FindAgain(Replace("b", "x", true), memo));
    EXPECT_EQ(memo.Text(), "abc");
    EXPECT_TRUE(FindAgain(Find("b"), memo));
}

TEST(FindReplaceTest, History) {
    std::vector<std::string> items{"one", "two"};
    AddToHistory(items, "TWO");
    EXPECT_EQ(items, (std::vector<std::string>{"TWO", "one"}));
    AddToHistory(items, "");
    EXPECT_EQ(items.size(), 2u);
    for (int i = 0; i < 30; ++i)
        AddToHistory(items, "text " + std::to_string(i));
    EXPECT_EQ(items.size(), 24u);
    EXPECT_EQ(items.front(), "text 29");
    EXPECT_EQ(items.back(), "text 6");
}

}  // namespace
