#pragma once

#include <QObject>
#include <QPointer>

#include "editor/ui/MyMemo.h"
#include "format/FindReplace.h"
#include "format/ui/FormatterForm.h"

class QAction;
class QWidget;
class TFormatterSet;
class TSettingsStore;

// The program's one formatter profile, made (and its default profile loaded) on first use.
TFormatterSet& TheFormatterSet(TSettingsStore& store);

// The editing commands a window offers on its active editor: find, replace, repeat the last
// search, and the formatter window. Any window that hosts editors (the standalone editor, the
// book preview) owns one and tells it which editor is active.
class TEditorCommands final : public QObject {
    Q_OBJECT

public:
    TEditorCommands(TSettingsStore& store, QWidget* window);

    void SetEditor(TMyMemo* editor);
    // The captions again, in the current language.
    void Recaption();
    TMyMemo* Editor() const { return editor_; }

    QAction* FindAction;
    QAction* ReplaceAction;
    QAction* FindAgainAction;
    QAction* FormatAction;

    // The last search the dialog defined, repeated by FindAgain.
    TSearchSettings Search;
    int Beeps = 0;         // searches that found nothing
    int LastReplaced = 0;  // how many the last search replaced

    // Shows the find and replace dialog and runs the search it defines.
    void Find(bool findPage);
    // Repeats the search on the active editor; beeps when nothing is found.
    void FindAgain();
    // The formatter window on the active editor (one at a time per window).
    TFormatterForm* OpenFormatter();

signals:
    // An error to show to the user.
    void failed(const QString& text);

private:
    TSettingsStore& store_;
    QWidget* window_;
    QPointer<TMyMemo> editor_;
    QPointer<TFormatterForm> formatter_;
};
