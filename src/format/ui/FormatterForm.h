#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

#include "editor/ui/MyMemo.h"
#include "format/FormatterSet.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class TFormatRulesForm;

// The formatter window: the current profile's name and rules, the stored profiles to switch
// between, and the commands that format the editor's whole text or its selection. A tool
// window on top of the others; every change of the profile is stored at once.
class TFormatterForm final : public QDialog, public IFormatterView {
    Q_OBJECT

public:
    TFormatterForm(TFormatterSet& profile, TMyMemo* editor, QWidget* parent = nullptr);
    ~TFormatterForm() override;

    QLineEdit* NameEdit;
    QListWidget* RuleList;
    QPushButton* DeleteRuleBtn;
    QPushButton* AddRuleBtn;
    QPushButton* UpBtn;
    QPushButton* DownBtn;
    QComboBox* ProfileCombo;
    QToolButton* NewProfileBtn;
    QToolButton* DeleteProfileBtn;
    QPushButton* FormatBtn;
    QPushButton* FormatSelBtn;
    QPushButton* CloseBtn;

    // How the rule editor is shown (modal by default); tests answer it instead.
    std::function<bool(TFormatRulesForm&)> ExecRuleEditor;

    void SetEditor(TMyMemo* editor) { editor_ = editor; }
    void RulesChanged() override;
    void FillProfiles();
    void AddRule();
    void EditRule(int index);
    void MoveRule(int by);
    void NewProfile();
    void DeleteProfile();
    // True when the rules changed the text.
    bool Format(bool selection);

signals:
    // An error to show to the user.
    void failed(const QString& text);

private:
    void ProfileChosen(int index);
    void EnableControls();

    TFormatterSet& profile_;
    QPointer<TMyMemo> editor_;
    bool filling_ = false;
};
