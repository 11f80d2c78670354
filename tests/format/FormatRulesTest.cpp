#include "format/FormatRules.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/Encoding.h"
#include "common/Error.h"

namespace {

std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

template <typename Rule>
std::shared_ptr<TAbstractFormatterRule> Make(std::function<void(Rule&)> set = {}) {
    auto rule = std::make_shared<Rule>();
    if (set) set(*rule);
    return rule;
}

struct RuleCase {
    const char* what;
    std::shared_ptr<TAbstractFormatterRule> rule;
    std::string in;
    std::string out;
};

void Check(const std::vector<RuleCase>& cases) {
    for (const RuleCase& c : cases) {
        std::string text = c.in;
        const bool changed = c.rule->Apply(text);
        EXPECT_EQ(text, c.out) << c.what;
        EXPECT_EQ(changed, c.in != c.out) << c.what;
    }
}

TEST(FormatRulesTest, ParagraphJoinsLinesIntoOne) {
    auto rule = Make<TParagraphRule>();
    Check({
        {"two lines", rule, "abc\r\ndef", "abc def"},
        {"hyphenated word", rule, "con-\r\ntinue", "continue"},
        {"dash after a blank", rule, "a -\r\nb", "a - b"},
        {"empty line between", rule, "abc\r\n\r\ndef", "abc\r\n\r\ndef"},
        {"indented next line", rule, "abc\r\n  def", "abc\r\n  def"},
        {"whole paragraph, trailing blanks", rule, "a  \r\nb\nc\rd\r\n\r\n  e\r\nf", "a b c d\r\n\r\n  e f"},
        {"dash alone on a line", rule, "-\r\nx", "- x"},
        {"blank-only line stays", rule, "  \r\nx", "  \r\nx"},
        {"final break stays", rule, "a\r\nb\r\n", "a b\r\n"},
    });
    EXPECT_THROW(
        {
            std::string text = "a";
            Make<TParagraphRule>([](auto& r) { r.Mode = 7; })->Apply(text);
        },
        EShelvaraError);
}

TEST(FormatRulesTest, ParagraphWidthAndAlignment) {
    auto width = [](uint8_t mode, int32_t w) {
        return Make<TParagraphRule>([=](auto& r) { r.Mode = mode, r.Width = w; });
    };
    Check({
        {"left", width(TParagraphRule::pmLeft, 10), "aaa bbb ccc\r\nddd", "aaa bbb\r\nccc ddd"},
        {"right", width(TParagraphRule::pmRight, 7), "aa bb cc", "  aa bb\r\n     cc"},
        {"centre", width(TParagraphRule::pmCenter, 7), "aa bb cc", " aa bb\r\n  cc"},
        {"full, last row left", width(TParagraphRule::pmFull, 10), "a bb c dd e f", "a  bb c dd\r\ne f"},
        {"indent kept, paragraphs apart", width(TParagraphRule::pmLeft, 6), "  ab cd\n\nef", "  ab\ncd\n\nef"},
        {"long word on its own row", width(TParagraphRule::pmLeft, 4), "abcdefg h", "abcdefg\r\nh"},
        {"fits already", width(TParagraphRule::pmLeft, 20), "one two\r\n", "one two\r\n"},
        {"runs of blanks become one space", width(TParagraphRule::pmLeft, 20), "one   two", "one two"},
        {"no width", width(TParagraphRule::pmLeft, 0), "one two", "one two"},
    });
}

TEST(FormatRulesTest, CharactersAndTexts) {
    Check({
        {"a to b", Make<TChangeCharRule>([](auto& r) { r.FromChar = 'a', r.ToChar = 'b'; }), "banana", "bbnbnb"},
        {"zero target", Make<TChangeCharRule>([](auto& r) { r.FromChar = 'a'; }), "banana", "banana"},
        {"case-insensitive", Make<TReplaceTextRule>([](auto& r) { r.FindText = "ab", r.ReplaceText = "x"; }),
         "AB ab Ab", "x x x"},
        {"inserted text not searched", Make<TReplaceTextRule>([](auto& r) { r.FindText = "a", r.ReplaceText = "aa"; }),
         "aaa", "aaaaaa"},
        {"no overlaps", Make<TReplaceTextRule>([](auto& r) { r.FindText = "aa", r.ReplaceText = "b"; }), "aaaaa",
         "bba"},
        {"case-sensitive",
         Make<TReplaceTextRule>([](auto& r) { r.FindText = "ab", r.ReplaceText = "x", r.CaseSensitive = true; }),
         "AB ab", "AB x"},
        {"Cyrillic and Yo", Make<TReplaceTextRule>([](auto& r) { r.FindText = A("ёлка"), r.ReplaceText = A("ель"); }),
         A("Ёлка и ЁЛКА"), A("ель и ель")},
        {"Ukrainian letters fold too",
         Make<TReplaceTextRule>([](auto& r) { r.FindText = A("їжак"), r.ReplaceText = "x"; }), A("ЇЖАК"), "x"},
        {"shorter, to nothing", Make<TReplaceTextRule>([](auto& r) { r.FindText = "--"; }), "a--b--", "ab"},
        {"same texts do nothing", Make<TReplaceTextRule>([](auto& r) { r.FindText = r.ReplaceText = "a"; }), "a", "a"},
    });
}

TEST(FormatRulesTest, EmptyLinesAndIndents) {
    auto indent = [](uint8_t compare, int32_t count) {
        return Make<TLeftIdentRule>([=](auto& r) { r.Compare = compare, r.Count = count; });
    };
    Check({
        {"keep one", Make<TRemoveEmptyStringRule>(), "a\r\n\r\n \r\n\r\nb", "a\r\n\r\nb"},
        {"keep none", Make<TRemoveEmptyStringRule>([](auto& r) { r.MaxEmpty = 0; }), "\r\na\r\n\t\r\nb\r\n\r\n",
         "a\r\nb\r\n"},
        {"run at the end", Make<TRemoveEmptyStringRule>(), "a\n\n\n  ", "a\n\n"},
        {"keep two", Make<TRemoveEmptyStringRule>([](auto& r) { r.MaxEmpty = 2; }), "a\n\n\n\nb", "a\n\n\nb"},
        {"exactly 4, tab", indent(icExactly, 4), "\tx", "   \tx"},
        {"exactly 4, six spaces", indent(icExactly, 4), "      x", "    x"},
        {"blank lines untouched", indent(icExactly, 4), "  \r\nx", "  \r\n    x"},
        {"not more than 2", indent(icNotMore, 2), "x\n    y\n z", "x\n  y\n z"},
        {"not less than 2", indent(icNotLess, 2), "x\n    y\n z", "  x\n    y\n  z"},
        {"negative count is 0", indent(icExactly, -3), "  x\ny", "x\ny"},
        {"paragraph starts only", Make<TParagraphIdentRule>([](auto& r) { r.Count = 2; }), "a\nb\n\n c\nd\n \ne",
         "  a\nb\n\n  c\nd\n \n  e"},
    });
}

TEST(FormatRulesTest, LineBreaksTabsAndCase) {
    auto breaks = [](uint8_t target) { return Make<TCRLFRule>([=](auto& r) { r.Target = target; }); };
    auto letters = [](uint8_t text, uint8_t first) {
        return Make<TRegisterManageRule>([=](auto& r) { r.TextMode = text, r.FirstLetterMode = first; });
    };
    Check({
        {"to LF", breaks(TCRLFRule::ltLF), "a\r\nb\rc\nd", "a\nb\nc\nd"},
        {"to CR LF, LF CR is two", breaks(TCRLFRule::ltCRLF), "a\n\rb", "a\r\n\r\nb"},
        {"to CR", breaks(TCRLFRule::ltCR), "a\r\nb\n", "a\rb\r"},
        {"already right", breaks(TCRLFRule::ltCRLF), "a\r\nb", "a\r\nb"},
        {"tabs to 2", Make<TTabToSpacesRule>([](auto& r) { r.Spaces = 2; }), "\ta\t", "  a  "},
        {"tabs deleted", Make<TTabToSpacesRule>([](auto& r) { r.Spaces = 0; }), "\ta\tb", "ab"},
        {"sentences", letters(0, 9), "hello. world!\r\n\r\nnew line", "Hello. World!\r\n\r\nNew line"},
        {"sentence goes on over a break", letters(0, 9), "one\r\ntwo", "One\r\ntwo"},
        {"yo at a sentence start", letters(0, 9), A("ёж"), A("Ёж")},
        {"Ukrainian sentence start", letters(0, 9), A("їжак"), A("Їжак")},
        {"ellipsis", letters(0, 9), "a\x85 b", "A\x85 B"},
        {"invert all", letters(7, 0), A("aB Яё"), A("Ab яЁ")},
        {"Latin only to upper", letters(3, 0), A("ab яя"), A("AB яя")},
        {"Cyrillic only to lower, first letters upper", letters(5, 6), A("ЯЯ. ab ЯЯ"), A("Яя. ab яя")},
        {"first-letter mode of the other alphabet", letters(0, 3), A("я. b"), A("я. B")},
    });
}

TEST(FormatRulesTest, RunsShiftsAndTrims) {
    auto shift = [](bool right, int32_t count) {
        return Make<TTextShiftRule>([=](auto& r) { r.ToRight = right, r.Count = count; });
    };
    auto trim = [](uint8_t text, uint8_t line) {
        return Make<TTextTrimRule>([=](auto& r) { r.TextTrim = text, r.LineTrim = line; });
    };
    Check({
        {"spaces to one", Make<TNoMoreSymbRule>(), "a    b", "a b"},
        {"run of two", Make<TNoMoreSymbRule>([](auto& r) { r.MaxRun = 2, r.Symbol = '-'; }), "a-----b--c", "a--b--c"},
        {"removed", Make<TNoMoreSymbRule>([](auto& r) { r.MaxRun = 0, r.Symbol = '*'; }), "*a**", "a"},
        {"symbol 0", Make<TNoMoreSymbRule>([](auto& r) { r.Symbol = 0; }), "a  b", "a  b"},
        {"left 2", shift(false, 2), "abc\r\nx\r\n", "c\r\n\r\n"},
        {"right 2, empty lines too", shift(true, 2), "a\n\nb\n", "  a\n  \n  b\n"},
        {"count 0", shift(true, 0), "a", "a"},
        {"right, then whole text", trim(TTextTrimRule::tmFull, TTextTrimRule::tmRight), "\r\n  a  \r\n b \r\n",
         "a\r\n b"},
        {"full lines", trim(TTextTrimRule::tmNone, TTextTrimRule::tmFull), " a \n \n b", "a\n\nb"},
        {"left lines", trim(TTextTrimRule::tmNone, TTextTrimRule::tmLeft), " a \n \n", "a \n\n"},
        {"right keeps blank lines", trim(TTextTrimRule::tmNone, TTextTrimRule::tmRight), " a \n \n", " a\n \n"},
        {"text left only", trim(TTextTrimRule::tmLeft, TTextTrimRule::tmNone), "\n\t a \n", "a \n"},
    });
}

TEST(FormatRulesTest, HtmlTagsAndReferences) {
    auto tags = [](int32_t max) { return Make<TRemoveHTMLTagsRule>([=](auto& r) { r.MaxTagLength = max; }); };
    Check({
        {"tags, p, entities", tags(1000), A("a<b>b</b>c<p>d &lt;e&gt; &#1072;"), A("abc\r\nd <e> а")},
        {"text ends in a tag", tags(1000), "x < y", "x "},
        {"tag too long", tags(3), "a < bcdef", "a < bcdef"},
        {"second < restarts", tags(1000), "a<b<i>c", "a<bc"},
        {"numeric refs", tags(1000), "&#65;&#8212;&#1025;&#0;&#9650;", "A \xA8 ^"},
        {"numeric ref without ;", tags(1000), "&#65 &#1234567;", "&#65 &#1234567;"},
        {"unknown and case-sensitive names", tags(1000), "&foo; &NBSP; &nbsp;&copy;", "&foo; &NBSP;  \xA9"},
        {"named ref at the end", tags(1000), "&amp", "&amp"},
        {"capital P", tags(1000), "a<P>b<pre>c", "a\r\nbc"},
    });
}

TEST(FormatRulesTest, RemovesLinesByList) {
    auto rule = Make<TRemoveLinesRule>([](auto& r) { r.Lines = {"ad", ""}; });
    Check({{"by list", rule, "head\r\nbody\nadvert\rtail", "body\ntail"}});
}

TEST(FormatRulesTest, EmptyTextAndUnimplementedTypes) {
    for (uint8_t type = 1; type <= kRuleTypeCount; ++type) {
        auto rule = TAbstractFormatterRule::Create(type);
        std::string empty;
        EXPECT_FALSE(rule->Apply(empty)) << int(type);
    }
    for (uint8_t type : {rtParseHTML, rtRegEXPR}) {
        std::string text = "x";
        try {
            TAbstractFormatterRule::Create(type)->Apply(text);
            ADD_FAILURE() << "type " << int(type) << " applied";
        } catch (const EShelvaraError& e) {
            EXPECT_STREQ(e.what(), "Not implemented yet... Sorry.");
        }
    }
}

TEST(FormatRulesTest, RecordLayout) {
    TChangeCharRule rule;
    rule.Name = "q";
    rule.FromChar = 'a';
    rule.ToChar = 'b';
    TRuleWriter out;
    rule.SaveToStream(out);
    EXPECT_EQ(out.Bytes, (std::vector<uint8_t>{0xE3, 0xC5, 0xB6, 0x9A, 0x02, 0x01, 0, 0, 0, 'q', 'a', 'b'}));
}

// Every type with options away from its defaults comes back unchanged.
TEST(FormatRulesTest, EveryRecordRoundTrips) {
    std::vector<std::shared_ptr<TAbstractFormatterRule>> rules = {
        Make<TParagraphRule>([](auto& r) { r.Mode = 2, r.Width = 72; }),
        Make<TChangeCharRule>([](auto& r) { r.FromChar = 0xE0, r.ToChar = 0xFF; }),
        Make<TReplaceTextRule>([](auto& r) { r.FindText = A("абв"), r.ReplaceText = ""; }),
        Make<TRemoveEmptyStringRule>([](auto& r) { r.MaxEmpty = 3; }),
        Make<TLeftIdentRule>([](auto& r) { r.Compare = icNotLess, r.Count = 9; }),
        Make<TParagraphIdentRule>([](auto& r) { r.Compare = icNotMore, r.Count = 2; }),
        Make<TCRLFRule>([](auto& r) { r.Target = TCRLFRule::ltLF; }),
        Make<TTabToSpacesRule>([](auto& r) { r.Spaces = 4; }),
        Make<TRegisterManageRule>([](auto& r) { r.TextMode = 8, r.FirstLetterMode = 3; }),
        Make<TNoMoreSymbRule>([](auto& r) { r.MaxRun = 3, r.Symbol = '-'; }),
        Make<TTextShiftRule>([](auto& r) { r.ToRight = false, r.Count = 7; }),
        Make<TTextTrimRule>([](auto& r) { r.TextTrim = 2, r.LineTrim = 1; }),
        Make<TRemoveHTMLTagsRule>([](auto& r) { r.MaxTagLength = 50; }),
        Make<TParseHTMLRule>(),
        Make<TRemoveLinesRule>([](auto& r) {
            r.Lines = {"one", A("два")};
        }),
        Make<TRegEXPRRule>(),
    };
    for (auto& rule : rules) {
        rule->Name = A("правило ") + std::to_string(rule->TypeId());
        TRuleWriter out;
        rule->SaveToStream(out);
        TRuleReader in(out.Bytes);
        auto back = TAbstractFormatterRule::ReadRule(in);
        ASSERT_TRUE(back) << int(rule->TypeId());
        EXPECT_EQ(in.Left(), 0u);
        EXPECT_EQ(back->TypeId(), rule->TypeId());
        TRuleWriter again;
        back->SaveToStream(again);
        EXPECT_EQ(again.Bytes, out.Bytes) << int(rule->TypeId());
    }
}

TEST(FormatRulesTest, DamagedRecordsAndOptionsOutOfRange) {
    TRuleReader none(nullptr, 0);
    EXPECT_FALSE(TAbstractFormatterRule::ReadRule(none));

    // A wrong signature leaves the stream where it was; a bad type id stops after it.
    std::vector<uint8_t> wrong{1, 2, 3, 4, 5};
    TRuleReader in(wrong);
    EXPECT_FALSE(TAbstractFormatterRule::ReadRule(in));
    EXPECT_EQ(in.Position(), 0u);
    std::vector<uint8_t> badType{0xE3, 0xC5, 0xB6, 0x9A, 17, 0, 0, 0, 0};
    TRuleReader in2(badType);
    EXPECT_FALSE(TAbstractFormatterRule::ReadRule(in2));
    EXPECT_EQ(in2.Position(), 5u);

    // Cut short, a negative or huge name length.
    TReplaceTextRule replace;
    replace.FindText = "abc";
    TRuleWriter out;
    replace.SaveToStream(out);
    for (size_t cut = 0; cut < out.Bytes.size(); ++cut) {
        TRuleReader part(out.Bytes.data(), cut);
        EXPECT_FALSE(TAbstractFormatterRule::ReadRule(part)) << cut;
    }
    std::vector<uint8_t> negative{0xE3, 0xC5, 0xB6, 0x9A, 2, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'};
    TRuleReader in3(negative);
    EXPECT_FALSE(TAbstractFormatterRule::ReadRule(in3));

    // A zero tag length would never move on; a negative count or a huge one are brought in range.
    auto load = [](std::vector<uint8_t> options, uint8_t type) {
        std::vector<uint8_t> bytes{0xE3, 0xC5, 0xB6, 0x9A, type, 0, 0, 0, 0};
        bytes.insert(bytes.end(), options.begin(), options.end());
        TRuleReader r(bytes);
        auto rule = TAbstractFormatterRule::ReadRule(r);
        EXPECT_TRUE(rule);
        return rule;
    };
    auto tags = load({0, 0, 0, 0}, rtRemoveHTMLTags);
    EXPECT_EQ(static_cast<TRemoveHTMLTagsRule&>(*tags).MaxTagLength, 1);
    std::string text = "a < b";
    tags->Apply(text);
    EXPECT_EQ(text, "a < b");
    auto tabs = load({0xFF, 0xFF, 0xFF, 0x7F}, rtTabToSpaces);
    EXPECT_EQ(static_cast<TTabToSpacesRule&>(*tabs).Spaces, 1000);
    auto shift = load({1, 0, 0, 0, 0x80}, rtTextShift);
    EXPECT_EQ(static_cast<TTextShiftRule&>(*shift).Count, 0);
    auto letters = load({200, 10}, rtRegisterManage);
    EXPECT_EQ(static_cast<TRegisterManageRule&>(*letters).TextMode, 0);
    EXPECT_EQ(static_cast<TRegisterManageRule&>(*letters).FirstLetterMode, 0);
    auto lines = load({0xFE, 0xFF, 0xFF, 0xFF}, rtRemoveLines);
    EXPECT_TRUE(static_cast<TRemoveLinesRule&>(*lines).Lines.empty());
}

TEST(FormatRulesTest, EditorOrderAndCaptions) {
    EXPECT_EQ(TAbstractFormatterRule::TypeAtEditorIndex(0), rtParagraph);
    EXPECT_EQ(TAbstractFormatterRule::TypeAtEditorIndex(1), rtReplaceText);
    EXPECT_EQ(TAbstractFormatterRule::TypeAtEditorIndex(2), rtChangeChar);
    EXPECT_EQ(TAbstractFormatterRule::TypeAtEditorIndex(15), rtRegEXPR);
    EXPECT_EQ(TAbstractFormatterRule::TypeAtEditorIndex(16), 0);
    for (int i = 0; i < kRuleTypeCount; ++i)
        EXPECT_EQ(TAbstractFormatterRule::EditorIndex(TAbstractFormatterRule::TypeAtEditorIndex(i)), i);
    EXPECT_EQ(AnsiToUtf8(TAbstractFormatterRule::Caption(rtReplaceText)), "Менять текст");
    EXPECT_EQ(AnsiToUtf8(TAbstractFormatterRule::Caption(rtParagraphIdent)), "Отступ с красной строки");
}

}  // namespace
