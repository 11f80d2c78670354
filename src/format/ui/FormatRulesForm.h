#pragma once

#include <QDialog>
#include <memory>

#include "format/FormatRules.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QCheckBox;
class QSpinBox;
class QStackedWidget;

// The rule editor: a rule type, a name and the type's options on a page of their own. A new
// rule is made from the page; an edited rule gets the page's options written back.
class TFormatRulesForm final : public QDialog {
    Q_OBJECT

public:
    explicit TFormatRulesForm(QWidget* parent = nullptr);

    QComboBox* RuleTypeCombo;  // the types in editor order
    QLineEdit* RuleNameEdit;
    QStackedWidget* Pages;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

    QComboBox* ParagraphMode;
    QSpinBox* ParagraphWidth;
    QComboBox* ParagraphAlign;
    QLineEdit* ReplaceFind;
    QLineEdit* ReplaceWith;
    QCheckBox* ReplaceCase;
    QComboBox* FromMode;
    QLineEdit* FromChar;
    QComboBox* ToMode;
    QLineEdit* ToChar;
    QSpinBox* EmptyMax;
    QLabel* IndentLabel;
    QComboBox* IndentCompare;
    QSpinBox* IndentCount;
    QButtonGroup* LineBreakGroup;  // ids 0 CR, 1 LF, 2 CRLF
    QSpinBox* TabSpaces;
    QComboBox* CaseText;
    QComboBox* CaseFirst;
    QSpinBox* RunMax;
    QComboBox* RunMode;
    QLineEdit* RunChar;
    QComboBox* ShiftDir;
    QSpinBox* ShiftCount;
    QComboBox* TrimText;
    QComboBox* TrimLine;
    QSpinBox* TagMax;
    QPlainTextEdit* RemoveLinesEdit;

    // The type list position (editor order) and its page.
    void SelectType(int editorIndex);
    int TypeIndex() const;
    // Shows a rule for editing: its type fixed, its options on the page, characters by code.
    void LoadRule(const TAbstractFormatterRule& rule);
    // A rule of the chosen type with the page's options; none for a type that cannot be made
    // here. Raises the error of a bad character field.
    std::unique_ptr<TAbstractFormatterRule> CreateRule() const;
    // Writes the page's options, then the name, into a rule of the page's type. A bad character
    // field raises, leaving the fields after it and the name as they were.
    void StoreInto(TAbstractFormatterRule& rule) const;

private:
    void BuildPages();
};

// The case modes as the lists show them, in the order of the stored modes.
const QStringList& CaseModeCaptions();
