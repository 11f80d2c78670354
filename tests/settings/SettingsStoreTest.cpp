#include "settings/SettingsStore.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "common/Encoding.h"
#include "common/Error.h"

namespace {

const std::string kRules = "Software\\shelvara\\FormatRules";

TEST(SettingsStoreTest, ValuesSurviveASaveAndLoad) {
    TempDir dir;
    const auto file = dir / "cfg" / "settings.ini";
    const std::string tricky = Utf8ToAnsi("Профиль \"№1\"\\ ]\n\tдалее") + "\x98uE9;";
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<uint8_t>(i));
    {
        TSettingsStore store(file);
        store.WriteString(kRules, "DefaultSet", tricky);
        store.WriteInteger(kRules, "FormatSet0002Count", -7);
        store.WriteBinary(kRules, "FormatSet0002Data", bytes);
        store.WriteString("Software\\shelvara\\TMainForm", "Left", "10");
        store.WriteString("Software\\shelvara", "LangFile", "");
        EXPECT_TRUE(store.IsModified());
        store.Save();
        EXPECT_FALSE(store.IsModified());
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "cfg"), {}), 1);  // no temporary left
    TSettingsStore again(file);
    EXPECT_EQ(again.ReadString(kRules, "defaultset"), tricky);
    EXPECT_EQ(again.ReadInteger("SOFTWARE\\Shelvara\\formatrules\\", "FormatSet0002Count"), -7);
    EXPECT_EQ(again.ReadBinary(kRules, "FormatSet0002Data"), bytes);
    EXPECT_EQ(again.ReadString("Software\\shelvara", "LangFile"), "");
    EXPECT_EQ(again.ReadInteger(kRules, "DefaultSet"), std::nullopt);  // another kind
    EXPECT_EQ(again.ReadString(kRules, "Missing"), std::nullopt);
    EXPECT_EQ(again.ValueNames(kRules),
              (std::vector<std::string>{"DefaultSet", "FormatSet0002Count", "FormatSet0002Data"}));
    EXPECT_EQ(again.SubKeys("Software\\Shelvara"), (std::vector<std::string>{"FormatRules", "TMainForm"}));
    EXPECT_EQ(again.SubKeys(""), std::vector<std::string>{"Software"});
}

TEST(SettingsStoreTest, WritingAndDeleting) {
    TempDir dir;
    TSettingsStore store(dir / "s.ini");
    store.WriteString(kRules, "A", "1");
    store.WriteString(kRules, "B", "2");
    store.WriteInteger(kRules, "a", 3);  // replaces A in place, with the new kind
    EXPECT_EQ(store.ValueNames(kRules), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(store.ReadInteger(kRules, "A"), 3);
    EXPECT_TRUE(store.DeleteValue(kRules, "b"));
    EXPECT_FALSE(store.DeleteValue(kRules, "b"));
    store.WriteString(kRules + "\\Deeper", "X", "x");
    EXPECT_TRUE(store.KeyExists("software"));
    EXPECT_TRUE(store.DeleteKey("Software\\Shelvara"));
    EXPECT_FALSE(store.KeyExists(kRules + "\\Deeper"));
    EXPECT_FALSE(store.KeyExists("Software"));
}

TEST(SettingsStoreTest, DamagedLinesAreSkipped) {
    TempDir dir;
    WriteBytes(dir / "s.ini", Bytes("; comment\n"
                                    "\"Orphan\"=str:no key yet\n"
                                    "[Software\\Shelvara]\r\n"
                                    "\"Good\"=str:yes\r\n"
                                    "\"Number\"=int:12x\n"
                                    "\"Odd\"=hex:ABC\n"
                                    "\"Broken=str:x\n"
                                    "\"Escape\"=str:bad\\x4\n"
                                    "garbage\n"
                                    "[Unclosed\n"
                                    "\"Lost\"=str:after a bad header\n"
                                    "[Software\\Shelvara]\n"
                                    "\"Big\"=int:-9223372036854775808\n"));
    TSettingsStore store(dir / "s.ini");
    EXPECT_EQ(store.ValueNames("Software\\Shelvara"), (std::vector<std::string>{"Good", "Big"}));
    EXPECT_EQ(store.ReadString("Software\\Shelvara", "Good"), "yes");
    EXPECT_EQ(store.ReadInteger("Software\\Shelvara", "Big"), INT64_MIN);
    EXPECT_FALSE(store.IsModified());  // loading never writes
}

TEST(SettingsStoreTest, LinesNotUnderstoodAreKeptInTheirPlace) {
    TempDir dir;
    const std::string original =
        "; Shelvara settings\n"
        "; my own note\n"
        "\n[Software\\Shelvara]\n"
        "; about Good\n"
        "\"Good\"=str:yes\n"
        "\"Future\"=json:{\"a\":1}\n"
        "\n[Other]\n"
        "\"X\"=int:1\n"
        "garbage at the end\n";
    WriteBytes(dir / "s.ini", Bytes(original));
    {
        TSettingsStore store(dir / "s.ini");
        store.Save();
    }
    const std::vector<uint8_t> once = ReadBytes(dir / "s.ini");
    EXPECT_EQ(std::string(once.begin(), once.end()), original);
    {
        TSettingsStore store(dir / "s.ini");
        store.WriteString("Software\\Shelvara", "Good", "changed");
        store.WriteString("Other", "Y", "new");
        store.Save();
    }
    const std::vector<uint8_t> twice = ReadBytes(dir / "s.ini");
    EXPECT_EQ(std::string(twice.begin(), twice.end()),
              "; Shelvara settings\n; my own note\n\n[Software\\Shelvara]\n; about Good\n\"Good\"=str:changed\n"
              "\"Future\"=json:{\"a\":1}\n\n[Other]\n\"X\"=int:1\n\"Y\"=str:new\ngarbage at the end\n");
}

TEST(SettingsStoreTest, AFailedSaveRaisesAndKeepsTheOldFile) {
    TempDir dir;
    WriteBytes(dir / "blocker", Bytes("a file where a folder should be"));
    TSettingsStore store(dir / "blocker" / "settings.ini");
    store.WriteString("K", "V", "x");
    EXPECT_THROW(store.Save(), EShelvaraError);
    EXPECT_TRUE(store.IsModified());
    EXPECT_EQ(ReadBytes(dir / "blocker"), Bytes("a file where a folder should be"));
}

TEST(SettingsStoreTest, DefaultFileFollowsXdg) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string old = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(TSettingsStore::DefaultFile("shelvara"), std::filesystem::path("/tmp/xdg-test/shelvara/settings.ini"));
    setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_EQ(TSettingsStore::DefaultFile("shelvara").filename(), "settings.ini");
    EXPECT_NE(TSettingsStore::DefaultFile("shelvara").string().find(".config/shelvara"), std::string::npos);
    if (saved)
        setenv("XDG_CONFIG_HOME", old.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
