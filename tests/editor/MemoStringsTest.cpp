#include "editor/MemoStrings.h"

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "fb2/Recoder.h"

namespace {

struct Counter final : IMemoLinesObserver {
    int changes = 0;
    void LinesChanged() override { ++changes; }
};

std::vector<std::pair<std::string, int>> Lines(const TMemoStringList& list) {
    std::vector<std::pair<std::string, int>> lines;
    for (int32_t i = 0; i < list.Count(); ++i)
        lines.emplace_back(list.Get(i), list.Item(i).LineEnd);
    return lines;
}

using L = std::vector<std::pair<std::string, int>>;

TEST(MemoStringsTest, MixedLineEndsSaveBackAsLoaded) {
    TMemoStringList list;
    list.AutoEncoding = false;
    list.SetTextStr("a\r\nb\rc\nd");
    EXPECT_EQ(Lines(list), (L{{"a", 1}, {"b", 2}, {"c", 3}, {"d", 0}}));
    EXPECT_EQ(list.GetTextStr(), "a\r\nb\rc\nd");
    list.DefaultStringTermination = sesCRLF;
    EXPECT_EQ(list.GetTextStr(), "a\r\nb\r\nc\r\nd\r\n");
    list.DefaultStringTermination = sesLF;
    EXPECT_EQ(list.GetTextStr(), "a\nb\nc\nd\n");

    const std::pair<std::string, L> cases[] = {
        {"a\r\n", {{"a", 1}}},
        {"\r\n", {{"", 1}}},
        {"", {}},
        {"x\r", {{"x", 2}}},
        {std::string("ab\0cd", 5), {{"ab", 0}}},  // a text ends at its NUL
    };
    for (const auto& [text, lines] : cases) {
        TMemoStringList l;
        l.AutoEncoding = false;
        l.SetTextStr(text);
        EXPECT_EQ(Lines(l), lines);
        EXPECT_EQ(l.GetTextStr(), text.substr(0, text.find('\0')));
    }
}

TEST(MemoStringsTest, LoadedBytesKeepWhatFollowsANul) {
    TempDir dir;
    WriteBytes(dir / "t.txt", {'a', 'b', 0, 'c', 'd', '\n', '\n'});
    TMemoStringList list;
    list.AutoEncoding = false;
    Counter editor;
    list.Editor = &editor;
    list.LoadFromFile(dir / "t.txt");
    EXPECT_EQ(Lines(list), (L{{"ab", 0}, {"cd", 3}, {"", 3}}));
    EXPECT_EQ(list.GetTextStr(), "ab\r\ncd\n\n");  // the NUL became CR LF
    EXPECT_EQ(editor.changes, 1);
    EXPECT_THROW(list.LoadFromFile(dir / "missing.txt"), EShelvaraError);
}

TEST(MemoStringsTest, CodePagesAreConvertedOnLoad) {
    const std::string russian = Utf8ToAnsi("Съешь же ещё этих мягких французских булок,\r\nда выпей чаю.");
    std::vector<uint8_t> dos(russian.begin(), russian.end());
    ConvertCodePage(dos.data(), dos.size(), cpWindows, cpDos);
    TMemoStringList list;
    list.LoadFromBytes(dos);
    EXPECT_EQ(list.GetTextStr(), russian);
    list.AutoEncoding = false;
    list.LoadFromBytes(dos);
    EXPECT_NE(list.GetTextStr(), russian);
}

TEST(MemoStringsTest, EditsBoundsAndChangeReports) {
    TMemoStringList list;
    Counter editor;
    list.Editor = &editor;
    std::vector<int32_t> capacities;
    for (int i = 0; i < 100; ++i) {
        list.Add(std::to_string(i));
        if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
    EXPECT_EQ(editor.changes, 100);
    list.BeginUpdate();
    list.Put(0, "zero");
    list.Insert(1, "one");
    list.Exchange(0, 1);
    list.Delete(2);
    list.EndUpdate();
    EXPECT_EQ(editor.changes, 101);
    EXPECT_EQ(list.Get(0), "one");
    EXPECT_EQ(list.Get(1), "zero");
    EXPECT_EQ(list.TotalRows(), 100);
    EXPECT_EQ(list.LineEnd(0), "\r\n");  // an added line has none of its own
    EXPECT_EQ(list.LineEnd(99), "");
    try {
        list.Get(100);
        ADD_FAILURE();
    } catch (const EShelvaraError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (100)");
    }
    EXPECT_THROW(list.Insert(101, ""), EShelvaraError);
    list.Clear();
    EXPECT_EQ(editor.changes, 102);
    list.Clear();  // an empty list reports nothing
    EXPECT_EQ(editor.changes, 102);
}

TEST(MemoStringsTest, FindOnSortedLines) {
    TMemoStringList list;
    list.AutoEncoding = false;
    list.SetTextStr("apple\nBanana\ncherry\ncherry");
    int32_t index = -1;
    EXPECT_TRUE(list.Find("banana", index));
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(list.Find("CHERRY", index));
    EXPECT_EQ(index, 2);  // the first of equal lines
    EXPECT_FALSE(list.Find("b", index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(list.Find("zzz", index));
    EXPECT_EQ(index, 4);
}

}  // namespace
