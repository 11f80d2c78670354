#include "editor/MemoText.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

TMemoText* Load(TMemoText& memo, const std::string& text) {
    memo.Lines.AutoEncoding = false;
    memo.Lines.SetTextStr(text);
    return &memo;
}

// Every selection of a text with every kind of line end reads exactly the bytes between its
// offsets in the produced text, and offsets map back to the same places.
TEST(MemoTextTest, OffsetsAreIndexesIntoTheText) {
    for (const std::string text : {"a\nbb\r\ncc\rd", "x\r\n\r\ny\n", "", "\n\n", "ab"}) {
        TMemoText memo;
        Load(memo, text);
        const std::string produced = memo.Text();
        ASSERT_EQ(produced, text);
        for (size_t from = 0; from <= produced.size(); ++from) {
            for (size_t to = from; to <= produced.size(); ++to) {
                memo.SetSelection(memo.PointOfOffset(static_cast<int64_t>(from)),
                                  memo.PointOfOffset(static_cast<int64_t>(to)));
                const bool insideCrLf = [&](size_t at) {
                    return at > 0 && at < produced.size() && produced[at - 1] == '\r' && produced[at] == '\n';
                }(from) || (to > 0 && to < produced.size() && produced[to - 1] == '\r' && produced[to] == '\n');
                if (insideCrLf) continue;  // no place lies between CR and LF
                EXPECT_EQ(memo.SelText(), produced.substr(from, to - from)) << text << " " << from << ".." << to;
                if (from != to) {
                    EXPECT_EQ(memo.SelStart(), static_cast<int64_t>(from));
                    EXPECT_EQ(memo.SelEnd(), static_cast<int64_t>(to));
                }
            }
        }
    }
}

TEST(MemoTextTest, EditsUndoneAndRedoneGiveBackEveryText) {
    TMemoText memo;
    Load(memo, "one\ntwo\r\nthree\rfour");
    std::vector<std::string> texts{memo.Text()};
    auto step = [&](auto&& edit) {
        edit();
        texts.push_back(memo.Text());
    };
    step([&] {
        memo.SetCaret({3, 0});
        memo.TypeChar('!');
    });
    step([&] { memo.NewLine(); });
    step([&] {
        memo.Select({1, 1}, {2, 3});  // over three line ends of different kinds
        memo.SetSelText("X\nY");
    });
    step([&] {
        memo.SetCaret({0, 2});
        memo.Backspace();  // joins two lines
    });
    step([&] {
        memo.SetCaret({1, 0});
        memo.DeleteChar();
    });
    step([&] {
        memo.Overwrite = true;
        memo.SetCaret({0, 0});
        memo.TypeChar('Q');
        memo.TypeChar('R');
        memo.Overwrite = false;
    });
    step([&] {
        memo.Select({0, 0}, {0, 0});
        memo.SetCaret({100, 100});
        memo.InsertText("\r\nend");
    });
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(texts.back(), "QR!\nXYree\rfour\r\nend");

    // Undo walks back through every text (the overwrite step is two records).
    std::vector<std::string> seen{memo.Text()};
    while (memo.UndoBuffer.CanUndo()) {
        memo.Undo();
        seen.push_back(memo.Text());
    }
    EXPECT_EQ(seen.back(), texts.front());
    for (const std::string& text : texts)
        EXPECT_NE(std::find(seen.begin(), seen.end(), text), seen.end()) << text;
    while (memo.UndoBuffer.CanRedo())
        memo.Redo();
    EXPECT_EQ(memo.Text(), texts.back());
}

TEST(MemoTextTest, OutsideChangesResetTheEditor) {
    TMemoText memo;
    int changes = 0;
    memo.OnChange = [&] { ++changes; };
    Load(memo, "abc");
    memo.SetCaret({3, 0});
    memo.TypeChar('d');
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(memo.UndoBuffer.CanUndo());
    memo.Lines.SetTextStr("new");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(memo.Caret(), (TTextPos{0, 0}));
    memo.Undo();
    EXPECT_EQ(memo.Text(), "new");
}

TEST(MemoTextTest, ReadOnlyRefusesEdits) {
    TMemoText memo;
    Load(memo, "abc");
    memo.ReadOnly = true;
    memo.Select({0, 0}, {2, 0});
    memo.SetSelText("x");
    memo.Backspace();
    memo.TypeChar('y');
    EXPECT_EQ(memo.Text(), "abc");
    EXPECT_FALSE(memo.UndoBuffer.CanUndo());
}

TEST(MemoTextTest, TypingAfterTheLastLineEnd) {
    TMemoText memo;
    Load(memo, "a\n");
    memo.SetCaret({0, 5});
    memo.TypeChar('b');
    EXPECT_EQ(memo.Text(), "a\nb");
    memo.Undo();
    EXPECT_EQ(memo.Text(), "a\n");
    memo.SetCaret({0, 1});
    memo.Backspace();
    EXPECT_EQ(memo.Text(), "a");
    memo.Undo();
    EXPECT_EQ(memo.Text(), "a\n");
}

// Edits and their undo leave the line ends nobody touched as they were.
TEST(MemoTextTest, EditsKeepTheLineEndsTheyDoNotTouch) {
    struct Case {
        const char* name;
        const char* text;
        std::function<void(TMemoText&)> edit;
        const char* after;
    };
    const std::vector<Case> cases{
        {"backspace joins, undo splits again", "ab\ncd\r\n",
         [](TMemoText& m) {
             m.SetCaret({0, 1});
             m.Backspace();
         },
         "abcd\r\n"},
        {"multi-line paste keeps the end of its line", "ab\ncd\r",
         [](TMemoText& m) {
             m.SetCaret({1, 1});
             m.SetSelText("X\r\nY");
         },
         "ab\ncX\r\nYd\r"},
        {"delete at a line end takes the lower line's end", "ab\rcd\n",
         [](TMemoText& m) {
             m.SetCaret({2, 0});
             m.DeleteChar();
         },
         "abcd\n"},
        {"Enter inserts the caret line's own end", "ab\ncd",
         [](TMemoText& m) {
             m.SetCaret({1, 0});
             m.NewLine();
         },
         "a\nb\ncd"},
        {"Enter on a last line without an end inserts CR LF", "ab\ncd",
         [](TMemoText& m) {
             m.SetCaret({1, 1});
             m.NewLine();
         },
         "ab\nc\r\nd"},
        {"Enter on a CR line", "ab\rcd\n",
         [](TMemoText& m) {
             m.SetCaret({2, 0});
             m.NewLine();
         },
         "ab\r\rcd\n"},
    };
    for (const Case& c : cases) {
        TMemoText memo;
        Load(memo, c.text);
        c.edit(memo);
        EXPECT_EQ(memo.Text(), c.after) << c.name;
        memo.Undo();
        EXPECT_EQ(memo.Text(), c.text) << c.name;
        memo.Redo();
        EXPECT_EQ(memo.Text(), c.after) << c.name;
    }
}

// Replacing a selection (typing over it, a paste, a replace-all) is one step of undo and redo.
TEST(MemoTextTest, AReplacementIsOneUndoStep) {
    TMemoText memo;
    Load(memo, "one two three");
    memo.Select({4, 0}, {7, 0});
    memo.SetSelText("2\n2");
    memo.Select({0, 0}, {3, 0});
    memo.TypeChar('1');
    EXPECT_EQ(memo.Text(), "1 2\n2 three");
    memo.Undo();
    EXPECT_EQ(memo.Text(), "one 2\n2 three");
    memo.Undo();
    EXPECT_EQ(memo.Text(), "one two three");
    EXPECT_FALSE(memo.UndoBuffer.CanUndo());
    memo.Redo();
    EXPECT_EQ(memo.Text(), "one 2\n2 three");
    memo.Redo();
    EXPECT_EQ(memo.Text(), "1 2\n2 three");
}

}  // namespace
