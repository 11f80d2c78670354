#pragma once

#include <QDialog>

#include "format/FindReplace.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QTabWidget;
class QWidget;
class TIniPlacement;
class TMyMemo;
class TSettingsStore;

// The find and replace dialog: a find page and a replace page, each with a one-line and a
// multi-line form of its fields, the options, and a history of the texts searched for and
// put in (newest first, 24 of each) kept in the settings with the options.
class TFindReplaceDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kHistory = 24;
    static constexpr int AllResult = 2;  // closed with "Заменить все"

    TFindReplaceDlg(TSettingsStore& store, bool findPage, QWidget* parent = nullptr);
    ~TFindReplaceDlg() override;

    QTabWidget* PageControl1;
    QWidget* FindTab;
    QWidget* ReplaceTab;
    QWidget* SimpleFindPanel;
    QComboBox* Find1Combo;
    QGroupBox* MultiFindGroup;
    TMyMemo* Find1Memo;
    QWidget* SimpleReplacePanel;
    QComboBox* Find2Combo;
    QComboBox* Replace2Combo;
    QWidget* MultiReplacePanel;
    TMyMemo* Find2Memo;
    TMyMemo* Replace2Memo;
    QCheckBox* MultilineCheck;
    QCheckBox* CaseCheck;
    QCheckBox* SelectionCheck;
    QPushButton* OkBtn;
    QPushButton* AllBtn;
    QPushButton* CancelBtn;

    bool OnFindPage() const;
    // The texts of the active page in the current mode (engine text).
    std::string FindText() const;
    std::string ReplaceText() const;
    // What the dialog returns after it was closed (InSelection also when cancelled).
    TSearchSettings Settings() const;

private:
    void Confirm(int result);
    void LayoutFields();
    void MultilineClicked();
    void PageChanged();
    void Restored();

    TIniPlacement* placement_;
};

// Shows the dialog modally on the find or the replace page. True when it was confirmed; then
// findPage tells the page it ended on and settings holds the search (Defined, ReplaceMode set).
bool ExecuteFindReplace(TSettingsStore& store, QWidget* parent, bool& findPage, TSearchSettings& settings);
