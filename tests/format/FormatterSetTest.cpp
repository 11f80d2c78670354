#include "format/FormatterSet.h"

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "common/Error.h"
#include "editor/MemoText.h"
#include "settings/SettingsStore.h"

namespace {

const std::string kKey = "Software\\shelvara\\FormatRules";

struct Profiles {
    TempDir dir;
    std::filesystem::path file = dir / "settings.ini";
    TSettingsStore store{file};
    TFormatterSet set{store, kKey};

    // A fresh program start on the stored file.
    std::unique_ptr<TFormatterSet> Restart() {
        reopened = std::make_unique<TSettingsStore>(file);
        auto again = std::make_unique<TFormatterSet>(*reopened, kKey);
        again->LoadDefaultProfile();
        return again;
    }
    std::unique_ptr<TSettingsStore> reopened;
};

struct View final : IFormatterView {
    int refreshes = 0;
    void RulesChanged() override { ++refreshes; }
};

std::unique_ptr<TAbstractFormatterRule> Replace(std::string find, std::string with, bool caseSensitive) {
    auto rule = std::make_unique<TReplaceTextRule>();
    rule->FindText = std::move(find);
    rule->ReplaceText = std::move(with);
    rule->CaseSensitive = caseSensitive;
    return rule;
}

TEST(FormatterSetTest, NewProfileIsStoredAtOnce) {
    Profiles p;
    EXPECT_TRUE(p.set.ListProfiles().empty());
    p.set.NewProfile();
    EXPECT_EQ(p.set.Name(), "New formatting set 001");
    EXPECT_EQ(p.set.Number(), 1);
    auto again = p.Restart();
    EXPECT_EQ(p.reopened->ReadString(kKey, "DefaultSet"), "FormatSet0001");
    EXPECT_EQ(again->Name(), "New formatting set 001");
    ASSERT_EQ(again->ListProfiles().size(), 1u);

    p.set.NewProfile();
    EXPECT_EQ(p.set.Name(), "New formatting set 002");
    EXPECT_EQ(p.set.Number(), 2);
    EXPECT_EQ(TFormatterSet::Prefix(10000), "FormatSet10000");
    EXPECT_EQ(TFormatterSet::Prefix(7), "FormatSet0007");
}

TEST(FormatterSetTest, RulesSurviveARestartWithTheirCaseOption) {
    Profiles p;
    View view;
    p.set.Window = &view;
    p.set.NewProfile();
    p.set.AddRule(Replace("a", "b", true));
    p.set.AddRule(std::make_unique<TTabToSpacesRule>());
    p.set.AddRule(Replace("c", "d", false));
    p.set.ExchangeRules(1, 2);
    p.set.SetName("Mine");
    EXPECT_GE(view.refreshes, 4);

    auto again = p.Restart();
    ASSERT_EQ(again->Count(), 3);
    EXPECT_EQ(again->Name(), "Mine");
    EXPECT_TRUE(static_cast<TReplaceTextRule&>(again->Rule(0)).CaseSensitive);
    EXPECT_FALSE(static_cast<TReplaceTextRule&>(again->Rule(1)).CaseSensitive);
    EXPECT_EQ(again->Rule(2).TypeId(), rtTabToSpaces);
    EXPECT_EQ(again->WriteRules(), p.set.WriteRules());

    // Without a case-sensitive rule the value is the count and the records, nothing else.
    p.set.DeleteRule(0);
    std::vector<uint8_t> plain{2, 0, 0, 0};
    TRuleWriter records;
    p.set.Rule(0).SaveToStream(records);
    p.set.Rule(1).SaveToStream(records);
    plain.insert(plain.end(), records.Bytes.begin(), records.Bytes.end());
    EXPECT_EQ(p.set.WriteRules(), plain);
}

TEST(FormatterSetTest, DamagedValuesLoadWhatCanBeReadAndAreNotWrittenBack) {
    Profiles p;
    p.set.NewProfile();
    p.set.AddRule(std::make_unique<TTabToSpacesRule>());
    p.set.AddRule(Replace("a", "b", false));
    std::vector<uint8_t> value = p.set.WriteRules();
    const size_t firstRecordEnd = 4 + 4 + 1 + 4 + 4;  // count, then the tab rule
    std::vector<uint8_t> cut(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(firstRecordEnd + 6));
    std::vector<uint8_t> hugeCount = value;
    hugeCount[0] = hugeCount[1] = hugeCount[2] = 0xFF;
    hugeCount[3] = 0x7F;
    for (const auto& damaged : {cut, hugeCount}) {
        p.store.WriteBinary(kKey, "FormatSet0001value", damaged);
        p.store.Save();
        const auto before = ReadBytes(p.file);
        auto again = p.Restart();
        EXPECT_EQ(again->Count(), damaged == cut ? 1 : 2);
        EXPECT_EQ(ReadBytes(p.file), before);
        EXPECT_FALSE(p.reopened->IsModified());
    }

    // A damaged default starts with an empty profile.
    p.store.WriteString(kKey, "DefaultSet", "FormatSetXY");
    p.store.Save();
    auto again = p.Restart();
    EXPECT_EQ(again->Count(), 0);
    EXPECT_EQ(again->Number(), -1);
}

TEST(FormatterSetTest, ListingRemovesOnlyEmptyUnnamedProfiles) {
    Profiles p;
    TRuleWriter oneRule;
    oneRule.Int(1);
    TTabToSpacesRule().SaveToStream(oneRule);
    p.store.WriteString(kKey, "FormatSet0001name", "First");
    p.store.WriteBinary(kKey, "FormatSet0001value", oneRule.Bytes);
    p.store.WriteString(kKey, "FormatSet0002name", "");
    p.store.WriteBinary(kKey, "FormatSet0002value", {0, 0, 0, 0});
    p.store.WriteString(kKey, "FormatSet0003name", "");
    p.store.WriteBinary(kKey, "FormatSet0003value", oneRule.Bytes);
    p.store.WriteString(kKey, "FormatSetXYZname", "Odd");
    const auto list = p.set.ListProfiles();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, "First");
    EXPECT_EQ(list[1].Number, 3);
    EXPECT_FALSE(p.store.ReadString(kKey, "FormatSet0002name"));
    EXPECT_TRUE(p.store.ReadString(kKey, "FormatSetXYZname"));
    EXPECT_EQ(p.set.FreeNumber(), 2);
    // Listing changes the store in memory only; the file is written by the next save.
    EXPECT_FALSE(std::filesystem::exists(p.file));

    // Clearing the current profile stores no empty entry of its own.
    p.set.SelectProfile(1);
    p.set.DeleteStoredProfile(1);
    p.set.Clear();
    EXPECT_EQ(p.set.ListProfiles().size(), 1u);
}

TEST(FormatterSetTest, ApplyRunsTheRulesInOrderOrLeavesTheText) {
    Profiles p;
    p.set.NewProfile();
    p.set.AddRule(Replace("a", "bb", false));
    p.set.AddRule(Replace("bbb", "c", false));
    std::string text = "ab";
    EXPECT_TRUE(p.set.Apply(text));
    EXPECT_EQ(text, "c");
    text = "xyz";
    EXPECT_FALSE(p.set.Apply(text));

    p.set.AddRule(std::make_unique<TParseHTMLRule>());
    text = "ab";
    EXPECT_THROW(p.set.Apply(text), EShelvaraError);
    EXPECT_EQ(text, "ab");
}

TEST(FormatterSetTest, TextsWithNulAndResultsOverTheLimitAreRefusedWhole) {
    Profiles p;
    p.set.NewProfile();
    p.set.AddRule(Replace("a", "b", false));
    std::string utf16("a\0b\0", 4);
    EXPECT_THROW(p.set.Apply(utf16), EShelvaraError);
    EXPECT_EQ(utf16.size(), 4u);

    // Each rule that can grow a text stops at the limit before building the result.
    auto tabs = std::make_unique<TTabToSpacesRule>();
    tabs->Spaces = 1000;
    const std::string manyTabs(kMaxFormattedSize / 999, '\t');
    std::string text = manyTabs;
    EXPECT_THROW(tabs->Apply(text), EShelvaraError);
    EXPECT_EQ(text, manyTabs);
    auto grow = Replace("\t", std::string(1000, 'x'), true);
    EXPECT_THROW(grow->Apply(text), EShelvaraError);
    EXPECT_EQ(text, manyTabs);
    // Below the limit the same rule works.
    text = "a\tb";
    EXPECT_TRUE(tabs->Apply(text));
    EXPECT_EQ(text.size(), 1002u);
}

TEST(FormatterSetTest, FormatsAnEditorsSelectionOrWholeText) {
    Profiles p;
    p.set.NewProfile();
    p.set.AddRule(Replace("a", "xyz", false));
    TMemoText memo;
    memo.Lines.AutoEncoding = false;
    memo.Lines.SetTextStr("a\na\na");
    memo.SetSelection({0, 1}, {1, 2});  // "a\na"
    ASSERT_TRUE(FormatEditorText(p.set, memo, true));
    EXPECT_EQ(memo.Text(), "a\nxyz\nxyz");
    EXPECT_EQ(memo.SelText(), "xyz\nxyz");
    memo.Undo();
    memo.Undo();
    EXPECT_EQ(memo.Text(), "a\na\na");

    // Nothing to change: the editor and its undo stay as they were.
    memo.SetCaret({0, 0});
    memo.TypeChar('q');
    TFormatterSet none(p.store, kKey);
    EXPECT_FALSE(FormatEditorText(none, memo, false));
    EXPECT_TRUE(memo.UndoBuffer.CanUndo());

    // The whole text is one edit: one undo brings the user's text back, one redo the result.
    ASSERT_TRUE(FormatEditorText(p.set, memo, false));
    EXPECT_EQ(memo.Text(), "qxyz\nxyz\nxyz");
    memo.Undo();
    EXPECT_EQ(memo.Text(), "qa\na\na");
    memo.Redo();
    EXPECT_EQ(memo.Text(), "qxyz\nxyz\nxyz");
    memo.Undo();
    memo.Undo();
    EXPECT_EQ(memo.Text(), "a\na\na");
}

}  // namespace
