#include "display/StringBuffer.h"

#include <gtest/gtest.h>

#include "FakeTarget.h"
#include "TestUtils.h"
#include "common/Error.h"

namespace {

struct Buffer : ::testing::Test {
    TFakeTarget target;
    TStringBuffer buffer{target};
    void SetUp() override {
        buffer.PushFont("Arial", 12, 0);  // 16 px at 96 dpi
        buffer.LineWidth = 100;
    }
    std::string Add(const std::string& text, size_t& cursor) {
        const size_t from = cursor;
        buffer.AddRun(text, cursor);
        return text.substr(from, cursor - from);
    }
};

// Breaking: a table of texts, line widths and the first run each gives on an empty line.
TEST_F(Buffer, TheFirstRunOfALineBreaksAfterSpacesOrCutsALoneWord) {
    struct Case {
        const char* text;
        int32_t lineWidth;
        const char* run;
        int32_t width;
    };
    const Case cases[] = {
        {"aaa bbb ccc", 100, "aaa bbb ", 80},   // back to the last space
        {"aaa bbbb ccc", 80, "aaa bbbb ", 80},  // the following space joins without width
        {"aaa bbbb   ccc", 80, "aaa bbbb   ", 80},
        {"abcdefghijklmn", 100, "abcdefghij", 100},  // a lone word is cut where it stops fitting
        {"short", 100, "short", 50},
        {"abc", 5, "a", 10},  // narrower than a character: one is taken all the same
        {"a\tb c", 25, "a\t", 20},
    };
    for (const Case& c : cases) {
        buffer.LineWidth = c.lineWidth;
        size_t cursor = 0;
        EXPECT_EQ(Add(c.text, cursor), c.run) << c.text;
        EXPECT_EQ(buffer.UsedWidth(), c.width) << c.text;
        int32_t y = 0;
        buffer.FlushLine(0, y, true);
    }
}

TEST_F(Buffer, AWordThatDoesNotFitAfterOtherRunsWaitsForTheNextLine) {
    const std::string first = "aaa bbb ";
    size_t cursor = 0;
    Add(first, cursor);
    ASSERT_EQ(buffer.UsedWidth(), 80);
    const std::string word = "ccc";
    size_t at = 0;
    EXPECT_EQ(Add(word, at), "");  // 20 px left: not cut into "cc" + "c"
    EXPECT_EQ(at, 0u);
    int32_t y = 0;
    buffer.FlushLine(0, y, false);
    EXPECT_EQ(Add(word, at), "ccc");

    // 3 pixels or less left with runs in the line: nothing, and the run's kind is kept.
    buffer.LineWidth = 33;
    y = 0;
    buffer.FlushLine(0, y, true);
    const std::string thirty = "abc";
    size_t c1 = 0;
    Add(thirty, c1);
    buffer.VerticalMode = 1;
    size_t c2 = 0;
    EXPECT_EQ(buffer.AddRun("x", c2).Width, 0);
    EXPECT_EQ(buffer.VerticalMode, 1);
}

// Every character of a long text ends up in some line, however narrow the line.
TEST_F(Buffer, NarrowLinesStillMakeProgress) {
    const std::string text(500, 'w');
    for (int32_t width : {1, 3, 9, 10, 35}) {
        buffer.LineWidth = width;
        size_t cursor = 0;
        int lines = 0;
        int32_t y = 0;
        while (cursor < text.size() && lines < 1000) {
            buffer.AddRun(text, cursor);
            buffer.FlushLine(0, y, true);
            ++lines;
        }
        EXPECT_EQ(cursor, text.size()) << width;
    }
}

TEST_F(Buffer, RunsShareABaselineAndSuperscriptsRise) {
    // 12 pt (16 px, ascent 12) then 18 pt (24 px, ascent 19).
    size_t c = 0;
    buffer.AddRun("ab", c);
    buffer.PushFont("Arial", 18, 0);
    size_t d = 0;
    buffer.AddRun("cd", d);
    int32_t y = 100;
    const TPixelSize line = buffer.FlushLine(0, y, false);
    ASSERT_EQ(target.Runs.size(), 2u);
    EXPECT_EQ(target.Runs[0].Y - target.Runs[1].Y, 19 - 12);
    EXPECT_EQ(target.Runs[1].Y, 100);
    EXPECT_EQ(line.Height, 19 + (24 - 19));  // the larger ascent and the larger descent
    EXPECT_EQ(y, 100 + line.Height);

    // A superscript after normal text: above it by half its own ascent, and by 3 px at least.
    target.Runs.clear();
    buffer.PushFont("Arial", 12, 0);
    size_t e = 0;
    buffer.AddRun("x", e);
    buffer.PushFont("Arial", 8, 0);  // 11 px, ascent 8
    buffer.VerticalMode = 1;
    size_t f = 0;
    buffer.AddRun("2", f);
    size_t g = 0;
    buffer.AddRun("3", g);  // the superscript goes on: the same raised baseline
    buffer.PushFont("Arial", 12, 0);
    buffer.VerticalMode = 3;
    size_t h = 0;
    buffer.AddRun("y", h);
    y = 0;
    buffer.FlushLine(0, y, false);
    ASSERT_EQ(target.Runs.size(), 4u);
    const int32_t normal = target.Runs[0].Y;
    EXPECT_EQ(normal - target.Runs[1].Y, 8 / 2);
    EXPECT_EQ(target.Runs[2].Y, target.Runs[1].Y);
    EXPECT_EQ(target.Runs[3].Y, normal);  // back on the outer baseline

    // A subscript sits lower: its top at the baseline minus half its ascent.
    target.Runs.clear();
    size_t i = 0;
    buffer.AddRun("H", i);
    buffer.PushFont("Arial", 8, 0);
    buffer.VerticalMode = 2;
    size_t j = 0;
    buffer.AddRun("2", j);
    y = 0;
    buffer.FlushLine(0, y, false);
    ASSERT_EQ(target.Runs.size(), 2u);
    EXPECT_EQ(target.Runs[1].Y - target.Runs[0].Y, 12 - 8 / 2);
}

TEST_F(Buffer, LinesAreAlignedAndFullJustificationIsRefused) {
    struct Case {
        uint8_t align;
        int32_t x;
    };
    for (const Case& c : {Case{0, 5}, Case{1, 5 + 20}, Case{2, 5 + 40}}) {
        target.Runs.clear();
        buffer.LineAlign = c.align;
        size_t cursor = 0;
        buffer.AddRun("abcdef", cursor);  // 60 of 100
        int32_t y = 0;
        const TPixelSize line = buffer.FlushLine(5, y, false);
        ASSERT_EQ(target.Runs.size(), 1u);
        EXPECT_EQ(target.Runs[0].X, c.x) << int(c.align);
        EXPECT_EQ(line.Width, c.x - 5 + 60);
    }
    buffer.LineAlign = 3;
    size_t cursor = 0;
    buffer.AddRun("abc", cursor);
    int32_t y = 0;
    EXPECT_THROW(buffer.FlushLine(0, y, true), EShelvaraError);
}

TEST_F(Buffer, FontsAreMadeOnce) {
    const int32_t a = buffer.PushFont("Arial", 14, 1);
    const int32_t b = buffer.PushFont("Arial", 14, 1);
    EXPECT_EQ(a, b);
    EXPECT_NE(buffer.PushFont("Arial", 14, 2), a);
    EXPECT_EQ(buffer.CurrentFont()->PixelHeight, -19);  // 14 pt at 96 dpi
    buffer.PushFont("default", 10, 0);
    EXPECT_EQ(target.Fonts.back().Face, "MS Sans Serif");
    EXPECT_EQ(target.Fonts.size(), 4u);  // Arial 12 from the fixture, two of 14, the default
}

}  // namespace
