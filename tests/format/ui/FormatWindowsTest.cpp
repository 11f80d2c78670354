#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include "TestUtils.h"
#include "common/Encoding.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "editor/ui/MyMemo.h"
#include "format/FormatterSet.h"
#include "format/ui/FindReplaceDlg.h"
#include "format/ui/FormatRulesForm.h"
#include "format/ui/FormatterForm.h"
#include "settings/SettingsStore.h"

namespace {

const std::string kKey = "Software\\shelvara\\FormatRules";

struct Store {
    TempDir dir;
    TSettingsStore store{dir / "settings.conf"};
};

void TypeInto(QWidget* widget, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
}

std::vector<std::string> Items(const QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(combo->itemText(i).toStdString());
    return items;
}

// Confirmed texts go to the top of the history, an equal one (in any case) moves there, the
// 25th pushes the oldest out, and the next dialog starts with the newest.
TEST(FindReplaceDlg, HistoryIsKeptNewestFirstAndLimited) {
    Store s;
    auto confirm = [&](const QString& find, const QString& replace = {}) {
        TFindReplaceDlg dialog(s.store, replace.isEmpty());
        if (replace.isEmpty()) {
            dialog.Find1Combo->setEditText(find);
        } else {
            dialog.Find2Combo->setEditText(find);
            dialog.Replace2Combo->setEditText(replace);
        }
        dialog.OkBtn->click();
        return dialog.Settings();
    };
    const TSearchSettings first = confirm("cat");
    EXPECT_TRUE(first.Defined);
    EXPECT_FALSE(first.ReplaceMode);
    EXPECT_EQ(first.FindText, "cat");
    confirm("dog", "wolf");
    confirm("CAT");
    {
        TFindReplaceDlg dialog(s.store, true);
        EXPECT_EQ(Items(dialog.Find2Combo), (std::vector<std::string>{"CAT", "dog"}));
        EXPECT_EQ(Items(dialog.Find1Combo), Items(dialog.Find2Combo));
        EXPECT_EQ(dialog.Find1Combo->currentText(), "CAT");
        EXPECT_EQ(Items(dialog.Replace2Combo), (std::vector<std::string>{"wolf"}));
        dialog.PageControl1->setCurrentWidget(dialog.ReplaceTab);
        EXPECT_EQ(dialog.Find2Combo->currentText(), "CAT");  // carried over from the find page
        EXPECT_TRUE(dialog.AllBtn->isVisibleTo(&dialog));
    }
    for (int i = 0; i < 30; ++i)
        confirm(QString("word%1").arg(i));
    TFindReplaceDlg dialog(s.store, true);
    const std::vector<std::string> items = Items(dialog.Find2Combo);
    ASSERT_EQ(items.size(), static_cast<size_t>(TFindReplaceDlg::kHistory));
    EXPECT_EQ(items.front(), "word29");
    EXPECT_EQ(items.back(), "word6");
    // A cancelled dialog defines nothing.
    dialog.Find1Combo->setEditText("never");
    dialog.CancelBtn->click();
    EXPECT_FALSE(dialog.Settings().Defined);
}

// A multi-line find text typed in the dialog breaks its lines with CR LF; it finds the same
// lines whatever their line ends.
TEST(FindReplaceDlg, MultiLineFindTextFindsAnyLineEnds) {
    Store s;
    TFindReplaceDlg dialog(s.store, true);
    dialog.MultilineCheck->click();
    EXPECT_TRUE(dialog.MultiFindGroup->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.SimpleFindPanel->isVisibleTo(&dialog));
    dialog.Find1Memo->Lines().SetTextStr("");
    TypeInto(dialog.Find1Memo, 0, "a");
    TypeInto(dialog.Find1Memo, Qt::Key_Return);
    TypeInto(dialog.Find1Memo, 0, "b");
    dialog.OkBtn->click();
    const TSearchSettings settings = dialog.Settings();
    EXPECT_EQ(settings.FindText, "a\r\nb");
    for (const std::string e : {"\n", "\r", "\r\n"}) {
        TMemoText text;
        text.Lines.AutoEncoding = false;
        text.Lines.SetTextStr("xa" + e + "by");
        ASSERT_TRUE(FindAgain(settings, text)) << e.size();
        EXPECT_EQ(text.SelText(), "a" + e + "b");
    }
}

struct Formatter : Store {
    TFormatterSet profile{store, kKey};
    TMyMemo memo;
    TFormatterForm form{profile, &memo};
    Formatter() {
        memo.Lines().AutoEncoding = false;
        memo.SetTimedScroll(false);
    }
};

TEST(FormatterForm, ProfilesAreCreatedStoredAndDeleted) {
    Formatter f;
    EXPECT_EQ(f.form.ProfileCombo->count(), 0);
    for (QWidget* w : std::initializer_list<QWidget*>{f.form.NameEdit, f.form.AddRuleBtn, f.form.DeleteRuleBtn,
                                                      f.form.FormatBtn, f.form.FormatSelBtn, f.form.DeleteProfileBtn})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    f.form.NewProfileBtn->click();
    ASSERT_EQ(f.form.ProfileCombo->count(), 1);
    EXPECT_EQ(f.form.ProfileCombo->currentText(), "New formatting set 001");
    EXPECT_EQ(f.form.NameEdit->text(), "New formatting set 001");
    EXPECT_TRUE(f.form.AddRuleBtn->isEnabled());
    EXPECT_EQ(f.store.ReadString(kKey, "FormatSet0001name").value_or(""), "New formatting set 001");
    EXPECT_EQ(f.store.ReadString(kKey, "DefaultSet").value_or(""), "FormatSet0001");
    // Renaming follows the edit into the list and the store.
    f.form.NameEdit->setText("Mine");
    emit f.form.NameEdit->textEdited("Mine");
    EXPECT_EQ(f.form.ProfileCombo->currentText(), "Mine");
    EXPECT_EQ(f.store.ReadString(kKey, "FormatSet0001name").value_or(""), "Mine");
    f.form.NewProfileBtn->click();
    EXPECT_EQ(f.form.ProfileCombo->count(), 2);
    EXPECT_EQ(f.profile.Number(), 2);
    f.form.DeleteProfileBtn->click();
    ASSERT_EQ(f.form.ProfileCombo->count(), 1);
    EXPECT_EQ(f.profile.Name(), "Mine");
    EXPECT_FALSE(f.store.ReadString(kKey, "FormatSet0002name").has_value());
    f.form.DeleteProfileBtn->click();
    EXPECT_EQ(f.form.ProfileCombo->count(), 0);
    EXPECT_FALSE(f.form.FormatBtn->isEnabled());
}

// Rules come from the rule editor; formatting the selection replaces it in one undo step and
// leaves the result selected; a text no rule changes stays untouched.
TEST(FormatterForm, RulesFromTheEditorFormatTheSelectionAsOneStep) {
    Formatter f;
    f.form.NewProfile();
    f.form.ExecRuleEditor = [](TFormatRulesForm& rules) {
        rules.SelectType(TAbstractFormatterRule::EditorIndex(rtReplaceText));
        rules.RuleNameEdit->setText("dogs");
        rules.ReplaceFind->setText("cat");
        rules.ReplaceWith->setText("dog");
        return true;
    };
    f.form.AddRuleBtn->click();
    f.form.ExecRuleEditor = [](TFormatRulesForm& rules) {
        rules.SelectType(TAbstractFormatterRule::EditorIndex(rtNoMoreSymb));
        rules.RunMax->setValue(1);
        rules.RunMode->setCurrentIndex(1);
        rules.RunChar->setText("32");
        return true;
    };
    f.form.AddRuleBtn->click();
    ASSERT_EQ(f.profile.Count(), 2);
    EXPECT_EQ(f.form.RuleList->item(0)->text(), "dogs");
    f.form.RuleList->setCurrentRow(1);
    f.form.UpBtn->click();
    EXPECT_EQ(f.profile.Rule(0).TypeId(), rtNoMoreSymb);
    EXPECT_EQ(f.form.RuleList->currentRow(), 0);

    const std::string text = "cat  cat\r\ncat  cat\r\n";
    f.memo.Lines().SetTextStr(text);
    f.memo.Text().Select({3, 0}, {5, 1});
    ASSERT_TRUE(f.form.Format(true));
    EXPECT_EQ(f.memo.Text().Text(), "cat dog\r\ndog cat\r\n");
    EXPECT_EQ(f.memo.Text().SelText(), " dog\r\ndog ");
    f.memo.Undo();
    EXPECT_EQ(f.memo.Text().Text(), text);
    f.memo.Lines().SetTextStr("nothing here");
    EXPECT_FALSE(f.form.Format(false));
    EXPECT_EQ(f.memo.Text().Text(), "nothing here");
}

// A bad character field is reported after the dialog closed and changes nothing.
TEST(FormatterForm, BadCharactersAreReportedAndChangeNothing) {
    Formatter f;
    f.form.NewProfile();
    QSignalSpy failures(&f.form, &TFormatterForm::failed);
    f.form.ExecRuleEditor = [](TFormatRulesForm& rules) {
        rules.SelectType(TAbstractFormatterRule::EditorIndex(rtChangeChar));
        rules.FromChar->setText("ab");
        rules.ToChar->setText("c");
        return true;
    };
    f.form.AddRuleBtn->click();
    EXPECT_EQ(f.profile.Count(), 0);
    ASSERT_EQ(failures.count(), 1);
    EXPECT_EQ(failures[0][0].toString().toStdString(), AnsiToUtf8("ab " + Utf8ToAnsi("Неверное значение символа!")));

    struct Case {
        const char* text;
        bool ok;
    };
    for (const Case c : {Case{"1", true}, {"255", true}, {"0", false}, {"256", false}, {"x", false}}) {
        TFormatRulesForm rules;
        rules.SelectType(TAbstractFormatterRule::EditorIndex(rtChangeChar));
        rules.FromMode->setCurrentIndex(1);
        rules.FromChar->setText(c.text);
        rules.ToChar->setText("b");
        bool raised = false;
        try {
            rules.CreateRule();
        } catch (const std::exception&) {
            raised = true;
        }
        EXPECT_EQ(raised, !c.ok) << c.text;
    }
}

// Each case-mode caption says what its stored mode does.
TEST(FormatRulesForm, CaseCaptionsSayWhatTheModesDo) {
    struct Case {
        const char* caption;
        const char* after;
    };
    for (const Case c : {Case{"Латиницу в СТРОЧНЫЕ", "hello мИр"},
                         {"Латиницу в прописные", "HELLO мИр"},
                         {"Кириллицу в СТРОЧНЫЕ", "HeLLo мир"},
                         {"Кириллицу в прописные", "HeLLo МИР"},
                         {"Все в СТРОЧНЫЕ", "hello мир"},
                         {"Все в прописные", "HELLO МИР"}}) {
        TFormatRulesForm rules;
        rules.SelectType(TAbstractFormatterRule::EditorIndex(rtRegisterManage));
        rules.CaseText->setCurrentText(QString::fromUtf8(c.caption));
        ASSERT_EQ(rules.CaseText->currentText(), QString::fromUtf8(c.caption));
        auto rule = rules.CreateRule();
        ASSERT_TRUE(rule);
        std::string text = Utf8ToAnsi("HeLLo мИр");
        rule->Apply(text);
        EXPECT_EQ(AnsiToUtf8(text), c.after) << c.caption;
    }
    // Editing shows a rule's options and writes them back.
    TReplaceTextRule replace;
    replace.Name = "r";
    replace.FindText = "a";
    replace.ReplaceText = "b";
    TFormatRulesForm rules;
    rules.LoadRule(replace);
    EXPECT_FALSE(rules.RuleTypeCombo->isEnabled());
    EXPECT_EQ(rules.ReplaceFind->text(), "a");
    rules.ReplaceWith->setText("c");
    rules.StoreInto(replace);
    EXPECT_EQ(replace.ReplaceText, "c");
}

}  // namespace

namespace {

// The formatting windows speak the interface's language: their captions come from the table.
TEST(FormatRulesForm, CaptionsFollowTheLanguage) {
    SetMessageText(rsRuleCaption, "Formatting rule");
    SetMessageText(rsParAlignLeft, "left");
    SetMessageText(rsParAlignFull, "justified");
    SetMessageText(rsLetters, "Letters");
    SetMessageText(rsFormatWndCaption, "Text formatting");
    {
        TFormatRulesForm rules;
        EXPECT_EQ(rules.windowTitle(), "Formatting rule");
        EXPECT_EQ(rules.ParagraphAlign->itemText(0), "left");
        EXPECT_EQ(rules.ParagraphAlign->itemText(3), "justified");
        EXPECT_EQ(rules.FromMode->itemText(0), "Letters");
        Formatter made;
        EXPECT_EQ(made.form.windowTitle(), "Text formatting");
    }
    ResetMessageTexts();
}

}  // namespace
