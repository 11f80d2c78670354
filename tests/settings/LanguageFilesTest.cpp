#include "settings/LanguageFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "TestUtils.h"
#include "common/Encoding.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "settings/FormState.h"
#include "settings/SettingsStore.h"

namespace {

void WriteText(const std::filesystem::path& path, const std::string& utf8) {
    const std::string ansi = Utf8ToAnsi(utf8);
    WriteBytes(path, std::vector<uint8_t>(ansi.begin(), ansi.end()));
}

TEST(LanguageFilesTest, LineShapes) {
    struct Case {
        const char* line;
        bool ok;
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        {"rsOk = 'Ok'", true, "rsOk", "Ok"},
        {" \t rsOk\t=  'Ok' ; and more words", true, "rsOk", "Ok"},
        {"rsOk='it''s'", true, "rsOk", "it's"},
        {"rsOk=''", true, "rsOk", ""},
        {"rsOk='a^Mb^mc'", true, "rsOk", "a\r\nb^mc"},
        {"rsOk='no end", false, "", ""},
        {"rs_Ok='x'", false, "", ""},
        {"rsOk 'x'", false, "", ""},
        {"; rsOk='x'", false, "", ""},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        std::string key, text;
        EXPECT_EQ(ParseLanguageLine(c.line, key, text), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(key, c.key) << c.line;
            EXPECT_EQ(text, c.text) << c.line;
        }
    }
}

TEST(LanguageFilesTest, FormatTextsAreFilledSafely) {
    EXPECT_EQ(FormatMessageText("a %s b %s", {"1", "2"}), "a 1 b 2");
    EXPECT_EQ(FormatMessageText("%n %d %% %s %s", {"x"}), "%n %d %% x ");
    EXPECT_EQ(FormatMessageText("100%", {}), "100%");
}

struct Languages : ::testing::Test {
    TempDir exe, data;
    void TearDown() override { ResetMessageTexts(); }
};

TEST_F(Languages, FilesAreFoundLoadedAndRemembered) {
    WriteText(exe / "en.lng", "LangName = 'English'\r\nrsOk = 'Okay'\r\nrsCancel='Cancel'\r\n");
    WriteText(data / "de.LNG", "langname='Deutsch'\nRSOK = 'Gut'\n");
    WriteText(data / "bad.lng", "\nrsOk='x'\n");  // no name on its first line
    WriteText(data / "notes.txt", "LangName='Text'\n");

    TLanguageModule module({exe.Path(), data.Path()});
    module.Rescan();
    ASSERT_EQ(module.Count(), 2);
    EXPECT_EQ(module.Name(0), "English");
    EXPECT_EQ(module.Name(1), "Deutsch");
    EXPECT_EQ(module.Name(5), "");
    EXPECT_EQ(module.CurrentIndex(), -1);

    ASSERT_TRUE(module.LoadLanguage(0));
    EXPECT_EQ(MessageText(rsOk), "Okay");
    EXPECT_EQ(MessageText(rsCancel), "Cancel");
    ASSERT_TRUE(module.LoadLanguage(1));
    EXPECT_EQ(MessageText(rsOk), "Gut");
    EXPECT_EQ(MessageText(rsCancel), "Cancel");  // not named by the second file: kept
    EXPECT_EQ(module.CurrentIndex(), 1);
    EXPECT_FALSE(module.LoadLanguage(7));

    TSettingsStore store(exe / "settings.ini");
    store.WriteString(kProgramKey, "Other", "x");
    module.SaveChoice(store);
    ResetMessageTexts();
    TLanguageModule again({exe.Path(), data.Path()});
    again.Start(store);
    EXPECT_EQ(again.CurrentIndex(), 1);
    EXPECT_EQ(MessageText(rsOk), "Gut");
}

TEST_F(Languages, OnlyFileIsTakenAndCurrentDirectoryIsNot) {
    WriteText(exe / "only.lng", "LangName='Only'\nrsOk='Single'\n");
    TLanguageModule module({exe.Path()});
    TSettingsStore store(data / "settings.ini");
    module.Start(store);
    EXPECT_EQ(MessageText(rsOk), "Single");

    // A bare name is not looked up in the current directory.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(data.Path());
    WriteText(data / "evil.lng", "LangName='Evil'\nrsOk='%n%n%n'\n");
    WriteText(exe / "two.lng", "LangName='Two'\nrsOk='Second'\n");
    module.Rescan();
    EXPECT_FALSE(module.LoadFile("evil.lng"));
    EXPECT_TRUE(module.LoadFile("two.lng"));
    std::filesystem::current_path(cwd);
    EXPECT_EQ(MessageText(rsOk), "Second");
}

// The language files the program ships: every text line names a key of the message table.
TEST(LanguageFilesTest, ShippedFilesNameOnlyKnownKeys) {
    const std::filesystem::path folder = std::filesystem::path(SHELVARA_TEST_DATA) / ".." / ".." / "data" / "lang";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
        std::set<int> named;
        const auto bytes = ReadBytes(entry.path());
        const std::string content(bytes.begin(), bytes.end());
        size_t start = 0, lines = 0;
        while (start < content.size()) {
            const size_t end = std::min(content.find('\n', start), content.size());
            const std::string line = content.substr(start, end - start);
            std::string key, text;
            if (ParseLanguageLine(line, key, text)) {
                ++lines;
                if (key != "LangName" && key != "LangCode") {
                    EXPECT_NE(FindMessageByKey(key), 0) << entry.path() << ": " << key;
                    named.insert(FindMessageByKey(key));
                }
            } else {
                EXPECT_TRUE(line.empty() || line[0] == ';') << entry.path() << ": " << line;
            }
            start = end + 1;
        }
        EXPECT_GT(lines, 10u);
        // A shipped language names every message that has a text.
        const std::vector<int> placeholders = MessageIdsWithoutDefault();
        for (const auto& [first, last] :
             {std::pair{kFirstInterfaceId, kLastInterfaceId}, {kFirstErrorId, kLastErrorId}}) {
            for (int id = first; id <= last; ++id) {
                const bool hasText = !MessageKey(id).empty() &&
                                     std::find(placeholders.begin(), placeholders.end(), id) == placeholders.end();
                if (hasText) {
                    EXPECT_TRUE(named.count(id)) << entry.path() << " lacks " << MessageKey(id);
                }
            }
        }
    }
    EXPECT_GE(files, 1);
}

TEST(FormStateTest, ValuesListsAndPositions) {
    TempDir dir;
    TSettingsStore store(dir / "settings.ini");
    TFormState state(store, "TFindReplaceDlg");
    EXPECT_EQ(store.ReadString(kProgramKey + "\\TFindReplaceDlg", "x"), std::nullopt);
    state.WriteInt("Top", 12);
    state.Write("Odd", "twelve");
    state.WriteBool("CaseCheck_Checked", true);
    EXPECT_EQ(state.ReadInt("Top", 5), 12);
    EXPECT_EQ(state.ReadInt("Odd", 5), 0);
    EXPECT_EQ(state.ReadInt("Missing", 5), 5);
    EXPECT_TRUE(state.ReadBool("CaseCheck_Checked", false));
    EXPECT_EQ(state.Read("CaseCheck_Checked"), "True");

    state.WriteList("Find2Combo_Items", {"a", "b"});
    EXPECT_EQ(store.ReadString(kProgramKey + "\\TFindReplaceDlg\\Find2Combo_Items", "Item1"), "b");
    EXPECT_EQ(state.ReadList("Find2Combo_Items"), (std::vector<std::string>{"a", "b"}));
    state.WriteList("Find2Combo_Items", {});
    EXPECT_EQ(store.ReadString(kProgramKey + "\\TFindReplaceDlg\\Find2Combo_Items", "Count"), std::nullopt);
    EXPECT_EQ(state.ReadList("Find2Combo_Items"), std::nullopt);

    state.WritePosition({10, 20, 310, 220});
    ASSERT_TRUE(state.ReadPosition());
    EXPECT_EQ(state.ReadPosition()->Right, 310);
    state.Write("FormPosition", "300,20,300,220");
    EXPECT_FALSE(state.ReadPosition());
}

// The written file of the built-in texts reads back to the same table after another language.
TEST_F(Languages, TheBuiltInTextsWrittenAsAFileReadBackWhole) {
    const std::string text = LanguageFileText(Utf8ToAnsi("Русский"), "ru");
    WriteBytes(data / "Russian.lng", std::vector<uint8_t>(text.begin(), text.end()));
    WriteText(data / "English.lng",
              "LangName = 'English'\r\nLangCode = 'en'\r\nrsOk = 'Okay'\r\n"
              "rsNoMountPoints = 'It''s^Mempty'\r\n");
    TLanguageModule module({data.Path()});
    module.Rescan();
    ASSERT_EQ(module.Count(), 2);
    ASSERT_TRUE(module.LoadLanguage(0));
    EXPECT_EQ(MessageText(rsNoMountPoints), "It's\r\nempty");
    ASSERT_TRUE(module.LoadLanguage(1));
    EXPECT_EQ(module.Languages()[1].Code, "ru");
    std::vector<std::string> loaded;
    for (int id : {rsOk, rsNoMountPoints, rsSelAuthorText, rsAInfoGroupHint, rsErrCannotDeleteAuthor})
        loaded.push_back(MessageText(id));
    ResetMessageTexts();
    const std::vector<int> ids = {rsOk, rsNoMountPoints, rsSelAuthorText, rsAInfoGroupHint, rsErrCannotDeleteAuthor};
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(loaded[i], MessageText(ids[i])) << ids[i];
}

// Without a stored choice the user's language is taken, else English, else the only file.
TEST_F(Languages, AFirstStartFollowsTheUsersLanguage) {
    WriteText(data / "English.lng", "LangName = 'English'\r\nLangCode = 'en'\r\nrsOk = 'Okay'\r\n");
    WriteText(data / "Russian.lng", "LangName = 'Русский'\r\nLangCode = 'ru'\r\nrsOk = 'Ладно'\r\n");
    TSettingsStore store(exe / "settings.ini");
    struct Case {
        const char* user;
        const char* ok;
    };
    for (const Case& c : {Case{"ru", "Ладно"}, Case{"en", "Okay"}, Case{"de", "Okay"}, Case{"", "Okay"}}) {
        ResetMessageTexts();
        TLanguageModule module({data.Path()});
        module.Start(store, c.user);
        EXPECT_EQ(AnsiToUtf8(MessageText(rsOk)), c.ok) << c.user;
    }
    // A stored choice wins over the user's language.
    store.WriteString(kProgramKey, "LangFile", (data / "Russian.lng").string());
    ResetMessageTexts();
    TLanguageModule module({data.Path()});
    module.Start(store, "en");
    EXPECT_EQ(AnsiToUtf8(MessageText(rsOk)), "Ладно");
}

}  // namespace
