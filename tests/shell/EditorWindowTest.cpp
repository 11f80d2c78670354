#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include "TestUtils.h"
#include "common/Encoding.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "editor/ui/MyMemo.h"
#include "fb2/Recoder.h"
#include "settings/SettingsStore.h"
#include "shell/Dialogs.h"
#include "shell/EditorWindow.h"

namespace {

struct EditorFile {
    TempDir dir;
    TSettingsStore store{dir / "settings.conf"};
    std::filesystem::path file = dir / "text.txt";
    TEditorWindow* window = new TEditorWindow(store);
    EditorFile() {
        Dialogs::Script() = {};
        Dialogs::Script().Active = true;
    }
    ~EditorFile() {
        window->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void Type(const QString& text) {
        for (const QChar c : text) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(window->Memo, &key);
        }
    }
};

// An edit saved from the editor keeps the file's encoding and every line end it had.
TEST(EditorWindow, SavesBackInTheFilesOwnEncodingAndLineEnds) {
    const std::string ansi = Utf8ToAnsi("Первая\r\nвторая\nтретья\rконец");
    std::string koi8 = ansi;
    ConvertCodePage(reinterpret_cast<uint8_t*>(koi8.data()), koi8.size(), cpWindows, cpKoi8);
    for (const std::string& original : {AnsiToUtf8(ansi), koi8, ansi}) {
        EditorFile e;
        WriteBytes(e.file, Bytes(original));
        ASSERT_TRUE(e.window->OpenFile(QString::fromStdString(e.file.string())));
        EXPECT_FALSE(e.window->Modified());
        e.window->Memo->MoveCaret({0, 1}, true, false);
        e.Type(QString::fromUtf8("и "));
        EXPECT_TRUE(e.window->Modified());
        ASSERT_TRUE(e.window->Save());
        const std::string expected = Utf8ToAnsi("Первая\r\nи вторая\nтретья\rконец");
        const TDecodedText saved = DecodeTextFile(ReadBytes(e.file));
        EXPECT_EQ(saved.Encoding, e.window->Encoding());
        EXPECT_EQ(saved.Text, expected);
        EXPECT_EQ(EncodeTextFile(saved.Text, saved.Encoding, saved.Bom), ReadBytes(e.file));
        // Revert reads what was saved and forgets later edits.
        e.Type("zz");
        ASSERT_TRUE(e.window->Revert());
        EXPECT_EQ(e.window->Memo->Text().Text(), expected);
        EXPECT_FALSE(e.window->Modified());
    }
}

// Characters Windows-1251 lacks come back as they were; closing with edits asks first.
TEST(EditorWindow, ForeignCharactersSurviveAndClosingAsksAboutEdits) {
    EditorFile e;
    WriteBytes(e.file, Bytes("Σ and 漢字"));
    ASSERT_TRUE(e.window->OpenFile(QString::fromStdString(e.file.string())));
    EXPECT_FALSE(e.window->Memo->ReadOnly());
    e.Type("!");
    Dialogs::Script().Answers = {Dialogs::TAnswer::Cancel};
    EXPECT_FALSE(e.window->SaveEdits());
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    EXPECT_TRUE(e.window->SaveEdits());
    EXPECT_EQ(ReadBytes(e.file), Bytes("!Σ and 漢字"));

    WriteBytes(e.file, Bytes("plain"));
    ASSERT_TRUE(e.window->OpenFile(QString::fromStdString(e.file.string())));
    e.Type("!");
    Dialogs::Script().Answers = {Dialogs::TAnswer::Cancel};
    EXPECT_FALSE(e.window->SaveEdits());
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    EXPECT_TRUE(e.window->SaveEdits());
    EXPECT_EQ(ReadBytes(e.file), Bytes("!plain"));
    EXPECT_FALSE(e.window->OpenFile(QString::fromStdString((e.dir / "missing.txt").string())));
}

}  // namespace

namespace {

// A line another program appended while the text was open is not overwritten unasked: the
// user overwrites, loads the file again, or cancels and keeps both.
TEST(EditorWindow, AFileChangedOnDiskMeanwhileIsNotOverwrittenUnasked) {
    for (const Dialogs::TAnswer answer : {Dialogs::TAnswer::Cancel, Dialogs::TAnswer::No, Dialogs::TAnswer::Yes}) {
        EditorFile e;
        WriteBytes(e.file, Bytes("one\ntwo\n"));
        ASSERT_TRUE(e.window->OpenFile(QString::fromStdString(e.file.string())));
        e.Type("x");
        // Same size and the same second as what was read: only the content tells.
        const std::vector<uint8_t> theirs = Bytes("one\nTWO\n");
        WriteBytes(e.file, theirs);
        Dialogs::Script().Answers = {answer};
        const bool saved = e.window->Save();
        ASSERT_EQ(Dialogs::Script().Shown.size(), 1);
        EXPECT_TRUE(Dialogs::Script().Shown[0].contains(QString::fromStdString(e.file.string())));
        switch (answer) {
            case Dialogs::TAnswer::Cancel:
                EXPECT_FALSE(saved);
                EXPECT_EQ(ReadBytes(e.file), theirs);
                EXPECT_TRUE(e.window->Modified());
                EXPECT_EQ(e.window->Memo->Text().Text(), "xone\ntwo\n");
                break;
            case Dialogs::TAnswer::No:
                EXPECT_FALSE(saved);
                EXPECT_EQ(ReadBytes(e.file), theirs);
                EXPECT_FALSE(e.window->Modified());
                EXPECT_EQ(e.window->Memo->Text().Text(), "one\nTWO\n");
                break;
            default:
                EXPECT_TRUE(saved);
                EXPECT_EQ(ReadBytes(e.file), Bytes("xone\ntwo\n"));
                // What it wrote itself is no change of another program's.
                e.Type("y");
                Dialogs::Script().Shown.clear();
                EXPECT_TRUE(e.window->Save());
                EXPECT_TRUE(Dialogs::Script().Shown.empty());
        }
    }
}

}  // namespace

namespace {

// The editor's menus are the interface's language, not fixed Russian.
TEST(EditorWindow, MenusFollowTheLanguage) {
    SetMessageText(rsMenuFile, "File");
    SetMessageText(rsMenuEdit, "Edit");
    SetMessageText(rsMenuFormat, "Format");
    SetMessageText(rsUndo, "Undo");
    QStringList titles, editItems;
    {
        EditorFile f;
        for (QAction* menu : f.window->menuBar()->actions())
            titles << menu->text();
        for (QAction* item : f.window->menuBar()->actions().value(1)->menu()->actions())
            editItems << item->text();
    }
    ResetMessageTexts();
    EXPECT_TRUE(titles.contains("File")) << titles.join("|").toStdString();
    EXPECT_TRUE(titles.contains("Edit"));
    EXPECT_TRUE(titles.contains("Format"));
    EXPECT_TRUE(editItems.contains("Undo")) << editItems.join("|").toStdString();
}

}  // namespace
