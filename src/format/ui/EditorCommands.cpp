#include "format/ui/EditorCommands.h"

#include <QAction>
#include <QApplication>
#include <QToolTip>
#include <QWidget>
#include <memory>

#include "common/MessageIds.h"
#include "editor/ui/MyMemo.h"
#include "format/FormatterSet.h"
#include "format/ui/FindReplaceDlg.h"
#include "format/ui/FormatterForm.h"
#include "settings/SettingsStore.h"
#include "settings/ui/QtText.h"

TFormatterSet& TheFormatterSet(TSettingsStore& store) {
    static std::unique_ptr<TFormatterSet> profile;
    if (!profile) {
        profile = std::make_unique<TFormatterSet>(store, kProgramKey + "\\" + kFormatRulesKey);
        profile->LoadDefaultProfile();
    }
    return *profile;
}

TEditorCommands::TEditorCommands(TSettingsStore& store, QWidget* window)
    : QObject(window), store_(store), window_(window) {
    FindAction = new QAction(this);
    FindAction->setShortcut(QKeySequence::Find);
    ReplaceAction = new QAction(this);
    ReplaceAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    FindAgainAction = new QAction(this);
    FindAgainAction->setShortcut(QKeySequence(Qt::Key_F3));
    FormatAction = new QAction(this);
    Recaption();
    connect(FindAction, &QAction::triggered, this, [this] { Find(true); });
    connect(ReplaceAction, &QAction::triggered, this, [this] { Find(false); });
    connect(FindAgainAction, &QAction::triggered, this, &TEditorCommands::FindAgain);
    connect(FormatAction, &QAction::triggered, this, &TEditorCommands::OpenFormatter);
}

void TEditorCommands::SetEditor(TMyMemo* editor) {
    editor_ = editor;
    if (formatter_) formatter_->SetEditor(editor);
}

void TEditorCommands::Find(bool findPage) {
    try {
        TSearchSettings chosen = Search;
        if (!ExecuteFindReplace(store_, window_, findPage, chosen)) {
            Search.InSelection = chosen.InSelection;
            return;
        }
        Search = chosen;
        FindAgain();
    } catch (const std::exception& e) {
        emit failed(ToQ(e.what()));
    }
}

void TEditorCommands::FindAgain() {
    if (!editor_ || !Search.Defined) return;
    try {
        size_t replaced = 0;
        const bool found = ::FindAgain(Search, editor_->Text(), &replaced);
        LastReplaced = static_cast<int>(replaced);
        if (!found) {
            ++Beeps;
            QApplication::beep();
            return;
        }
        editor_->CaretMoved();
        // Replacing all says how many, near the text it changed.
        if (Search.ReplaceMode && Search.ReplaceAll)
            QToolTip::showText(editor_->mapToGlobal(QPoint(editor_->width() / 3, editor_->height() / 3)),
                               MsgWith(rsReplacedCount, {std::to_string(replaced)}), editor_, {}, 4000);
    } catch (const std::exception& e) {
        emit failed(ToQ(e.what()));
    }
}

TFormatterForm* TEditorCommands::OpenFormatter() {
    if (!formatter_) {
        formatter_ = new TFormatterForm(TheFormatterSet(store_), editor_, window_);
        connect(formatter_, &TFormatterForm::failed, this, &TEditorCommands::failed);
    }
    formatter_->show();
    formatter_->raise();
    formatter_->activateWindow();
    return formatter_;
}

void TEditorCommands::Recaption() {
    FindAction->setText(Msg(rsFind) + "...");
    ReplaceAction->setText(Msg(rsReplace) + "...");
    FindAgainAction->setText(Msg(rsReplaceAgain));
    FormatAction->setText(Msg(rsFormat) + "...");
}
