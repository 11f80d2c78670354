#include "editor/ui/MyMemo.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <string>
#include <vector>

#include "format/FindReplace.h"

namespace {

// An editor on screen (offscreen) holding a text as given, scrolling at once.
struct Editor {
    TMyMemo memo;
    explicit Editor(const std::string& text, int width = 400, int height = 300) {
        memo.resize(width, height);
        memo.SetTimedScroll(false);
        memo.Lines().AutoEncoding = false;
        memo.Lines().SetTextStr(text);
        memo.show();
    }
    std::string Text() const { return memo.Text().Text(); }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& typed = {}) {
        QKeyEvent press(QEvent::KeyPress, key, mods, typed);
        QApplication::sendEvent(&memo, &press);
    }
    void Type(const QString& typed) {
        for (const QChar c : typed)
            Key(0, Qt::NoModifier, QString(c));
    }
    // The middle of the left half of the character after a place (the place itself on a click).
    QPoint At(TTextPos pos) const { return memo.PointOf(pos, true) + QPoint(1, memo.LineHeight() / 2); }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons = Qt::LeftButton,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QMouseEvent event(type, at, memo.viewport()->mapToGlobal(at), Qt::LeftButton, buttons, mods);
        QApplication::sendEvent(memo.viewport(), &event);
    }
    void Click(QPoint at) {
        Mouse(QEvent::MouseButtonPress, at);
        Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    }
    // The selected text and the bytes of the text between the selection's offsets.
    std::pair<std::string, std::string> Selected() const {
        const TMemoText& t = memo.Text();
        const std::string all = t.Text();
        return {t.SelText(),
                all.substr(static_cast<size_t>(t.SelStart()), static_cast<size_t>(t.SelEnd() - t.SelStart()))};
    }
};

const std::vector<std::string> kLineEnds{"\r\n", "\r", "\n"};

// Typing, Enter, Backspace and Delete across line ends keep every line end the user did not
// touch, and undo gives back every text on the way.
TEST(MyMemo, KeysEditAcrossLineEndsAndUndoGivesBackEveryText) {
    for (const std::string& e : kLineEnds) {
        Editor ed("ab" + e + "cd" + e + "ef");
        std::vector<std::string> texts{ed.Text()};
        ed.memo.MoveCaret({2, 0}, false, false);
        ed.Type("X");
        texts.push_back(ed.Text());
        EXPECT_EQ(ed.Text(), "abX" + e + "cd" + e + "ef");
        ed.Key(Qt::Key_Return);
        texts.push_back(ed.Text());
        EXPECT_EQ(ed.Text(), "abX" + e + e + "cd" + e + "ef") << "Enter inserts the line's own end";
        ed.Key(Qt::Key_Backspace);
        texts.push_back(ed.Text());
        EXPECT_EQ(ed.Text(), "abX" + e + "cd" + e + "ef");
        ed.Key(Qt::Key_Delete);  // at the end of "abX": joins the next line
        texts.push_back(ed.Text());
        EXPECT_EQ(ed.Text(), "abXcd" + e + "ef");
        ed.Key(Qt::Key_End);
        ed.Key(Qt::Key_Delete);
        texts.push_back(ed.Text());
        EXPECT_EQ(ed.Text(), "abXcdef");
        ed.Key(Qt::Key_Backspace, Qt::NoModifier);  // the caret stayed before "ef"
        texts.push_back(ed.Text());
        EXPECT_EQ(ed.Text(), "abXcef");
        for (size_t i = texts.size() - 1; i > 0; --i) {
            ed.Key(Qt::Key_Z, Qt::ControlModifier);
            EXPECT_EQ(ed.Text(), texts[i - 1]) << "undo to step " << i - 1;
        }
        for (size_t i = 1; i < texts.size(); ++i) {
            ed.Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            EXPECT_EQ(ed.Text(), texts[i]) << "redo to step " << i;
        }
    }
}

TEST(MyMemo, TypingIntoAnEmptyEditorAndKeysThatTypeNothing) {
    Editor ed("");
    ed.memo.setFocus();
    ed.Key(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_EQ(ed.Text(), "");
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&ed.memo, &escape);
    EXPECT_FALSE(escape.isAccepted());  // left to the window
    ed.Type(QString::fromUtf8("ё"));
    EXPECT_EQ(ed.Text(), "\xB8");  // Windows-1251
    ed.Key(Qt::Key_Return);
    EXPECT_EQ(ed.Text(), "\xB8\r\n");
    ed.memo.SetHideCaret(true);
    EXPECT_TRUE(ed.memo.ReadOnly());
    ed.Type("z");
    ed.Key(Qt::Key_Backspace);
    EXPECT_EQ(ed.Text(), "\xB8\r\n");
    ed.memo.SetHideCaret(false);
    EXPECT_TRUE(ed.memo.ReadOnly());  // clearing it leaves read-only alone
}

// A selection made with keys or the mouse reads exactly the bytes between its offsets.
TEST(MyMemo, SelectionsReadTheBytesBetweenTheirOffsets) {
    for (const std::string& e : kLineEnds) {
        Editor ed("one" + e + "two" + e + "three" + e);
        ed.memo.MoveCaret({1, 0}, true, false);
        for (int i = 0; i < 5; ++i)
            ed.Key(Qt::Key_Right, Qt::ShiftModifier);
        auto [selected, between] = ed.Selected();
        EXPECT_EQ(selected, "ne" + e + "tw");
        EXPECT_EQ(selected, between);

        ed.Key(Qt::Key_Down, Qt::ShiftModifier);
        std::tie(selected, between) = ed.Selected();
        EXPECT_EQ(selected, "ne" + e + "two" + e + "th");
        EXPECT_EQ(selected, between);

        ed.Mouse(QEvent::MouseButtonPress, ed.At({2, 0}), Qt::LeftButton);
        ed.Mouse(QEvent::MouseMove, ed.At({3, 2}), Qt::LeftButton);
        ed.Mouse(QEvent::MouseButtonRelease, ed.At({3, 2}), Qt::NoButton);
        std::tie(selected, between) = ed.Selected();
        EXPECT_EQ(selected, "e" + e + "two" + e + "thr");
        EXPECT_EQ(selected, between);

        // Shift+click extends from the anchor; dragging past the end selects to the very end.
        ed.Mouse(QEvent::MouseButtonPress, ed.At({1, 1}), Qt::LeftButton, Qt::ShiftModifier);
        ed.Mouse(QEvent::MouseButtonRelease, ed.At({1, 1}), Qt::NoButton);
        EXPECT_EQ(ed.Selected().first, "e" + e + "t");
        ed.Click(QPoint(390, 5));  // far away: the next press is no double click
        ed.Mouse(QEvent::MouseButtonPress, ed.At({0, 1}), Qt::LeftButton);
        ed.Mouse(QEvent::MouseMove, QPoint(5, 280), Qt::LeftButton);
        ed.Mouse(QEvent::MouseButtonRelease, QPoint(5, 280), Qt::NoButton);
        std::tie(selected, between) = ed.Selected();
        EXPECT_EQ(selected, "two" + e + "three" + e);
        EXPECT_EQ(selected, between);

        ed.Key(Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(ed.Selected().first, ed.Text());
    }
}

// Clicks are counted from presses and from Qt's double-click events alike.
TEST(MyMemo, DoubleAndTripleClicksSelectWordsSentencesAndLinks) {
    Editor ed("hello   world\nOne. Two three. Four\nsee mailto:someone, next");
    auto clicks = [&](TTextPos pos, int count) {
        const QPoint at = ed.At(pos);
        for (int i = 0; i < count; ++i) {
            ed.Mouse(i == 1 ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, at);
            ed.Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
        }
        // The next test's first press must not count as a further click.
        ed.Click(QPoint(390, 290));
        ed.memo.Text().Select({0, 0}, {0, 0});
    };
    auto selectedAfter = [&](TTextPos pos, int count) {
        const QPoint at = ed.At(pos);
        for (int i = 0; i < count; ++i) {
            ed.Mouse(i == 1 ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, at);
            ed.Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
        }
        const std::string s = ed.memo.Text().SelText();
        clicks({0, 0}, 0);
        return s;
    };
    EXPECT_EQ(selectedAfter({6, 0}, 2), "hello   ");
    EXPECT_EQ(selectedAfter({10, 0}, 2), "world");
    EXPECT_EQ(selectedAfter({10, 1}, 3), "Two three. ");
    EXPECT_EQ(ed.memo.Text().Caret(), (TTextPos{0, 0}));
    EXPECT_EQ(selectedAfter({8, 2}, 2), "mailto:someone, ");
    EXPECT_TRUE(ed.memo.IsHyperlinkAt(ed.At({8, 2})));
    EXPECT_FALSE(ed.memo.IsHyperlinkAt(ed.At({4, 2})));  // the link's first character
    EXPECT_EQ(selectedAfter({1, 1}, 3), "One. ");
}

TEST(MyMemo, KeyboardMovesByWordsRowsAndEnds) {
    Editor ed("first line\nsecond word here");
    ed.memo.MoveCaret({3, 1}, false, false);
    ed.Key(Qt::Key_Left, Qt::ControlModifier);  // inside the line's first word
    EXPECT_EQ(ed.memo.Text().Caret(), (TTextPos{10, 0}));
    ed.Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(ed.memo.Text().Caret(), (TTextPos{0, 1}));
    ed.Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(ed.memo.Text().Caret(), (TTextPos{7, 1}));
    ed.Key(Qt::Key_End);
    EXPECT_EQ(ed.memo.Text().Caret(), (TTextPos{16, 1}));
    ed.Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(ed.memo.Text().Caret().Line, 0);
    ed.Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(ed.memo.Text().Caret(), (TTextPos{16, 1}));  // the last line has no line end
}

// A paste splices its lines in once, taking the line end of the line it goes into; it and a
// replace-all are one step each of undo and redo.
TEST(MyMemo, PasteAndReplaceAllUndoAndRedoThroughEveryText) {
    Editor ed("alpha\r\nbeta\r\ngamma");
    std::vector<std::string> texts{ed.Text()};
    QApplication::clipboard()->setText("X\nY\nZ");
    ed.memo.MoveCaret({2, 1}, false, false);
    ed.memo.TakeMeasuredLines();
    ed.Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(ed.memo.TakeMeasuredLines(), 3);  // the line it went into and the new ones, once each
    texts.push_back(ed.Text());
    EXPECT_EQ(ed.Text(), "alpha\r\nbeX\r\nY\r\nZta\r\ngamma");
    ed.memo.Text().Select({0, 0}, {5, 0});
    ed.Key(Qt::Key_Insert, Qt::ShiftModifier);
    texts.push_back(ed.Text());
    EXPECT_EQ(ed.Text(), "X\r\nY\r\nZ\r\nbeX\r\nY\r\nZta\r\ngamma");
    TSearchSettings all;
    all.Defined = all.ReplaceMode = all.ReplaceAll = true;
    all.FindText = "Z";
    all.ReplaceText = "zz";
    ed.memo.MoveCaret({0, 0}, true, false);
    ASSERT_TRUE(FindAgain(all, ed.memo.Text()));
    texts.push_back(ed.Text());
    EXPECT_EQ(ed.Text(), "X\r\nY\r\nzz\r\nbeX\r\nY\r\nzzta\r\ngamma");
    for (size_t i = texts.size() - 1; i > 0; --i) {
        ed.memo.Undo();
        EXPECT_EQ(ed.Text(), texts[i - 1]);
    }
    for (size_t i = 1; i < texts.size(); ++i) {
        ed.memo.Redo();
        EXPECT_EQ(ed.Text(), texts[i]);
    }
    ed.memo.Text().Select({0, 0}, {1, 1});
    ed.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "X\r\nY");
}

// The scroll range ends with the last line at the top, never a blank screen past the end;
// fractions of a wheel notch add up.
TEST(MyMemo, ScrollRangeAndWheelFractions) {
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "line " + std::to_string(i) + "\n";
    Editor ed(text, 300, 200);
    const int lh = ed.memo.LineHeight();
    const int client = ed.memo.viewport()->height();
    EXPECT_EQ(ed.memo.ContentHeight(), 200 * lh);
    EXPECT_EQ(ed.memo.verticalScrollBar()->maximum(), 200 * lh + lh - client);
    ed.memo.ScrollBy(0, 1 << 20, false);
    EXPECT_EQ(ed.memo.ScrollY(), 200 * lh + lh - client);
    ed.memo.ScrollBy(0, -(1 << 20), false);
    for (int i = 0; i < 3; ++i) {
        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -40), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(ed.memo.viewport(), &wheel);
    }
    EXPECT_EQ(ed.memo.ScrollY(), lh * QApplication::wheelScrollLines());
}

// The caret is drawn in the paint event and blinks at half the flash time; 0 is steady.
TEST(MyMemo, CaretIsPaintedAndBlinksAtHalfTheFlashTime) {
    Editor ed("abc");
    ed.memo.activateWindow();
    ed.memo.setFocus();
    QApplication::setActiveWindow(&ed.memo);
    QApplication::processEvents();
    ASSERT_TRUE(ed.memo.hasFocus());
    const QRect caret = ed.memo.CaretRect();
    const QImage on = ed.memo.RenderScreen();
    const QColor base = ed.memo.palette().color(QPalette::Base);
    EXPECT_NE(on.pixelColor(caret.left(), caret.center().y()), base);
    const int flash = QApplication::cursorFlashTime();
    EXPECT_EQ(ed.memo.BlinkInterval(), flash / 2);
    QApplication::setCursorFlashTime(0);
    ed.memo.MoveCaret({1, 0}, false, false);
    EXPECT_EQ(ed.memo.BlinkInterval(), 0);
    const QImage steady = ed.memo.RenderScreen();
    const QRect moved = ed.memo.CaretRect();
    EXPECT_NE(steady.pixelColor(moved.left(), moved.center().y()), base);
    QApplication::setCursorFlashTime(flash);
}

// Row counts that disagree with the text never stop painting or hit testing.
TEST(MyMemo, InconsistentRowCountsDoNotStopThePaint) {
    Editor ed("one two three four five six seven\nx");
    ed.memo.SetWordWrap(true);
    ed.memo.Lines().SetMeasure(0, 10, 40);
    const QImage picture = ed.memo.RenderScreen();
    EXPECT_FALSE(picture.isNull());
    (void)ed.memo.PositionAt(QPoint(20, 200));
    ed.Click(QPoint(20, 250));
    EXPECT_LE(ed.memo.Text().Caret().Line, 2);
}

// Word wrap breaks after blanks and keeps every character; the rows add up to the content.
TEST(MyMemo, WordWrapRowsCoverTheLine) {
    Editor ed(std::string(300, 'w') + " " + std::string(40, 'a') + " tail", 200, 200);
    ed.memo.SetWordWrap(true);
    const std::vector<int32_t> starts = ed.memo.RowStarts(0);
    ASSERT_GT(starts.size(), 2u);
    EXPECT_EQ(ed.memo.Lines().Item(0).RowCount, static_cast<int32_t>(starts.size()));
    EXPECT_EQ(ed.memo.ContentHeight(), static_cast<int64_t>(starts.size()) * ed.memo.LineHeight());
    for (size_t r = 1; r < starts.size(); ++r)
        EXPECT_GT(starts[r], starts[r - 1]);
    // A row on a wrap boundary: the caret at the start of the later row hits back to itself.
    const TTextPos boundary{starts[1], 0};
    bool rowStart = false;
    EXPECT_EQ(ed.memo.PositionAt(ed.memo.PointOf(boundary, true) + QPoint(1, 2), &rowStart), boundary);
    EXPECT_TRUE(rowStart);
}

}  // namespace
