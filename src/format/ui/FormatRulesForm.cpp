#include "format/ui/FormatRulesForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/TextUtils.h"
#include "settings/ui/QtText.h"

namespace {

// Pages by editor index; the two indent rules share one.
constexpr int kPageOfIndex[kRuleTypeCount] = {0, 1, 2, 3, 4, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};

QString Group(const QString& caption) {
    return "  " + caption + "  ";
}

QSpinBox* Spin(int min, int max, int value) {
    auto* spin = new QSpinBox;
    spin->setRange(min, max);
    spin->setValue(value);
    return spin;
}

QComboBox* List(const QStringList& items) {
    auto* combo = new QComboBox;
    combo->addItems(items);
    return combo;
}

// A row of widgets and labels, left to right.
QWidget* Row(std::initializer_list<QWidget*> parts) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* part : parts)
        layout->addWidget(part);
    layout->addStretch(1);
    return row;
}

QWidget* Page(std::initializer_list<QWidget*> rows) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    for (QWidget* row : rows)
        layout->addWidget(row);
    layout->addStretch(1);
    return page;
}

QGroupBox* Boxed(const QString& caption, std::initializer_list<QWidget*> rows) {
    auto* box = new QGroupBox(Group(caption));
    auto* layout = new QVBoxLayout(box);
    for (QWidget* row : rows)
        layout->addWidget(row);
    return box;
}

QLabel* Label(const char* text) {
    return new QLabel(QString::fromUtf8(text));
}

QLabel* Label(const QString& text) {
    return new QLabel(text);
}

// Read when a window is made, so that they are in the language of the moment.
QStringList CharModes() {
    return {Msg(rsLetters), Msg(rsChars) + " #"};
}

// A character from its field: one character as typed, or a code from 1 to 255.
uint8_t ReadChar(const QComboBox* mode, const QLineEdit* edit) {
    const std::string text = FromQ(edit->text());
    if (mode->currentIndex() == 0) {
        if (text.size() != 1) throw EShelvaraError(rsErrNotAnAChar, text + " " + MessageText(rsErrNotAnAChar));
        return static_cast<uint8_t>(text[0]);
    }
    int32_t code = 0;
    if (!TextToInt(TrimBlanks(text), code) || code < 1 || code > 255)
        throw EShelvaraError(rsErrNotAnAByte, text + " " + MessageText(rsErrNotAnAByte));
    return static_cast<uint8_t>(code);
}

void ShowCode(QComboBox* mode, QLineEdit* edit, uint8_t c) {
    mode->setCurrentIndex(1);
    edit->setText(QString::number(c));
}

}  // namespace

const QStringList& CaseModeCaptions() {
    // Position n is stored mode n: 2, 5 and 8 make small letters, 3, 6 and 9 capitals.
    static const QStringList captions{QString::fromUtf8("не менять"),
                                      QString::fromUtf8("Инвертировать латиницу"),
                                      QString::fromUtf8("Латиницу в СТРОЧНЫЕ"),
                                      QString::fromUtf8("Латиницу в прописные"),
                                      QString::fromUtf8("Инвертировать кириллицу"),
                                      QString::fromUtf8("Кириллицу в СТРОЧНЫЕ"),
                                      QString::fromUtf8("Кириллицу в прописные"),
                                      QString::fromUtf8("Инвертировать все"),
                                      QString::fromUtf8("Все в СТРОЧНЫЕ"),
                                      QString::fromUtf8("Все в прописные")};
    return captions;
}

TFormatRulesForm::TFormatRulesForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormatRulesForm");
    setWindowTitle(Msg(rsRuleCaption));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    RuleTypeCombo = new QComboBox(this);
    RuleTypeCombo->setObjectName("RuleTypeCombo");
    for (int i = 0; i < kRuleTypeCount; ++i)
        RuleTypeCombo->addItem(ToQ(TAbstractFormatterRule::Caption(TAbstractFormatterRule::TypeAtEditorIndex(i))));
    RuleNameEdit = new QLineEdit(this);
    RuleNameEdit->setObjectName("RuleNameEdit");
    top->addRow(Msg(rsRuleType), RuleTypeCombo);
    top->addRow(Msg(rsRuleName), RuleNameEdit);
    layout->addLayout(top);
    Pages = new QStackedWidget(this);
    Pages->setObjectName("Pages");
    layout->addWidget(Pages, 1);
    BuildPages();
    OkBtn = new QPushButton(Msg(rsOk), this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(Msg(rsCancel), this);
    CancelBtn->setObjectName("CancelBtn");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(RuleTypeCombo, &QComboBox::currentIndexChanged, this, [this](int index) { SelectType(index); });
    resize(440, 300);
    SelectType(0);
}

void TFormatRulesForm::BuildPages() {
    // Paragraphs.
    ParagraphMode = List({Msg(rsParToSingleLine), Msg(rsParWidthTo)});
    ParagraphMode->setObjectName("ParagraphMode");
    ParagraphWidth = Spin(10, 100000, 80);
    ParagraphWidth->setObjectName("ParagraphWidth");
    ParagraphAlign = List({Msg(rsParAlignLeft), Msg(rsParAlignRight), Msg(rsParAlignCenter), Msg(rsParAlignFull)});
    ParagraphAlign->setObjectName("ParagraphAlign");
    auto enableWidth = [this] {
        const bool width = ParagraphMode->currentIndex() == 1;
        ParagraphWidth->setEnabled(width);
        ParagraphAlign->setEnabled(width);
    };
    connect(ParagraphMode, &QComboBox::currentIndexChanged, this, enableWidth);
    enableWidth();
    Pages->addWidget(
        Page({Boxed(Msg(rsParManagement), {Row({ParagraphMode}), Row({Label(Msg(rsWidth)), ParagraphWidth}),
                                           Row({Label(Msg(rsAlign)), ParagraphAlign})})}));
    // Replace text.
    ReplaceFind = new QLineEdit;
    ReplaceFind->setObjectName("ReplaceFind");
    ReplaceWith = new QLineEdit;
    ReplaceWith->setObjectName("ReplaceWith");
    ReplaceCase = new QCheckBox(QString::fromUtf8("Учитывать регистр"));
    ReplaceCase->setObjectName("ReplaceCase");
    {
        auto* box = new QGroupBox(Group(QString::fromUtf8("Менять текст")));
        auto* form = new QFormLayout(box);
        form->addRow(QString::fromUtf8("Замена:"), ReplaceFind);
        form->addRow(QString::fromUtf8("На:"), ReplaceWith);
        form->addRow(ReplaceCase);
        Pages->addWidget(Page({box}));
    }
    // Replace characters.
    FromMode = List(CharModes());
    FromMode->setObjectName("FromMode");
    FromChar = new QLineEdit;
    FromChar->setObjectName("FromChar");
    ToMode = List(CharModes());
    ToMode->setObjectName("ToMode");
    ToChar = new QLineEdit;
    ToChar->setObjectName("ToChar");
    Pages->addWidget(Page({Row({Label("Замена"), FromMode, FromChar}), Row({Label("на"), ToMode, ToChar})}));
    // Empty lines.
    EmptyMax = Spin(0, 1000, 1);
    EmptyMax->setObjectName("EmptyMax");
    Pages->addWidget(Page({Row({Label("не более"), EmptyMax, Label("пустых строк")})}));
    // Indents.
    IndentLabel = Label("Левый отступ");
    IndentCompare = List({Msg(rsNotMoreThan), Msg(rsNotLessThan), Msg(rsExact)});
    IndentCompare->setObjectName("IndentCompare");
    IndentCount = Spin(1, 1000, 6);
    IndentCount->setObjectName("IndentCount");
    Pages->addWidget(Page({Row({IndentLabel, IndentCompare, IndentCount, Label("табуляций или пробелов")})}));
    // Line breaks.
    {
        auto* box = new QGroupBox(Msg(rsConvertCRLF));
        auto* row = new QHBoxLayout(box);
        LineBreakGroup = new QButtonGroup(box);
        int id = 0;
        for (const char* caption : {"CR", "LF", "CRLF"}) {
            auto* radio = new QRadioButton(caption);
            LineBreakGroup->addButton(radio, id++);
            row->addWidget(radio);
        }
        LineBreakGroup->button(TCRLFRule::ltCRLF)->setChecked(true);
        Pages->addWidget(Page({box}));
    }
    // Tabs.
    TabSpaces = Spin(0, 1000, 8);
    TabSpaces->setObjectName("TabSpaces");
    Pages->addWidget(Page({Row({Label("Символ табуляции в"), TabSpaces, Label("пробелов")})}));
    // Case.
    CaseText = List(CaseModeCaptions());
    CaseText->setObjectName("CaseText");
    CaseFirst = List(CaseModeCaptions());
    CaseFirst->setObjectName("CaseFirst");
    Pages->addWidget(
        Page({Row({Label("Менять регистр на"), CaseText}), Row({Label("Первый символ в предложении на"), CaseFirst})}));
    // Runs.
    RunMax = Spin(0, 1000, 2);
    RunMax->setObjectName("RunMax");
    RunMode = List(CharModes());
    RunMode->setObjectName("RunMode");
    RunChar = new QLineEdit("9");
    RunChar->setObjectName("RunChar");
    Pages->addWidget(Page({Row({Label("Не более чем"), RunMax}), Row({RunMode, RunChar, Label("подряд")})}));
    // Shift.
    ShiftDir = List({Msg(rsToLeft), Msg(rsToRight)});
    ShiftDir->setObjectName("ShiftDir");
    ShiftCount = Spin(1, 10000, 5);
    ShiftCount->setObjectName("ShiftCount");
    Pages->addWidget(
        Page({Row({Label("Сдвигать текст"), ShiftDir}), Row({Label("на"), ShiftCount, Label("позиций")})}));
    // Trim.
    const QStringList trims{QString::fromUtf8("не обрезать"), QString::fromUtf8("обрезать"),
                            QString::fromUtf8("обрезать слева"), QString::fromUtf8("обрезать справа")};
    TrimText = List(trims);
    TrimText->setObjectName("TrimText");
    TrimLine = List(trims);
    TrimLine->setObjectName("TrimLine");
    Pages->addWidget(
        Page({Row({Label("Обрезать весь текст"), TrimText}), Row({Label("Обрезать каждую строку"), TrimLine})}));
    // HTML tags.
    TagMax = Spin(2, 1000000, 1000);
    TagMax->setObjectName("TagMax");
    Pages->addWidget(Page({Row({Label("Максимальный размер тега:"), TagMax, Label("символов")})}));
    // Parse HTML.
    Pages->addWidget(Page({Label("Разбор HTML в текст")}));
    // Remove lines.
    RemoveLinesEdit = new QPlainTextEdit;
    RemoveLinesEdit->setObjectName("RemoveLinesEdit");
    {
        auto* box = new QGroupBox(Group(Msg(rsRemoveLines)));
        (new QVBoxLayout(box))->addWidget(RemoveLinesEdit);
        auto* page = new QWidget;
        (new QVBoxLayout(page))->addWidget(box);
        Pages->addWidget(page);
    }
    // Regular expressions.
    Pages->addWidget(Page({Boxed(QString::fromUtf8("Регулярные выражения:"), {Label("NOT IMPLEMENTED YET")})}));
}

void TFormatRulesForm::SelectType(int editorIndex) {
    if (editorIndex < 0 || editorIndex >= kRuleTypeCount) return;
    if (RuleTypeCombo->currentIndex() != editorIndex) RuleTypeCombo->setCurrentIndex(editorIndex);
    Pages->setCurrentIndex(kPageOfIndex[editorIndex]);
    const uint8_t type = TAbstractFormatterRule::TypeAtEditorIndex(editorIndex);
    IndentLabel->setText(type == rtParagraphIdent ? QString::fromUtf8("Отступ с красной строки")
                                                  : QString::fromUtf8("Левый отступ"));
}

int TFormatRulesForm::TypeIndex() const {
    return RuleTypeCombo->currentIndex();
}

void TFormatRulesForm::LoadRule(const TAbstractFormatterRule& rule) {
    SelectType(TAbstractFormatterRule::EditorIndex(rule.TypeId()));
    RuleTypeCombo->setEnabled(false);
    RuleNameEdit->setText(ToQ(rule.Name));
    if (const auto* paragraph = dynamic_cast<const TParagraphRule*>(&rule)) {
        ParagraphMode->setCurrentIndex(paragraph->Mode == TParagraphRule::pmSingleLine ? 0 : 1);
        if (paragraph->Mode <= TParagraphRule::pmFull) ParagraphAlign->setCurrentIndex(paragraph->Mode);
        ParagraphWidth->setValue(paragraph->Width);
    } else if (const auto* replace = dynamic_cast<const TReplaceTextRule*>(&rule)) {
        ReplaceFind->setText(ToQ(replace->FindText));
        ReplaceWith->setText(ToQ(replace->ReplaceText));
        ReplaceCase->setChecked(replace->CaseSensitive);
    } else if (const auto* chars = dynamic_cast<const TChangeCharRule*>(&rule)) {
        ShowCode(FromMode, FromChar, chars->FromChar);
        ShowCode(ToMode, ToChar, chars->ToChar);
    } else if (const auto* empty = dynamic_cast<const TRemoveEmptyStringRule*>(&rule)) {
        EmptyMax->setValue(empty->MaxEmpty);
    } else if (const auto* indent = dynamic_cast<const TLeftIdentRule*>(&rule)) {
        IndentCompare->setCurrentIndex(indent->Compare);
        IndentCount->setValue(indent->Count);
    } else if (const auto* breaks = dynamic_cast<const TCRLFRule*>(&rule)) {
        if (QAbstractButton* button = LineBreakGroup->button(breaks->Target)) button->setChecked(true);
    } else if (const auto* tabs = dynamic_cast<const TTabToSpacesRule*>(&rule)) {
        TabSpaces->setValue(tabs->Spaces);
    } else if (const auto* cases = dynamic_cast<const TRegisterManageRule*>(&rule)) {
        CaseText->setCurrentIndex(cases->TextMode);
        CaseFirst->setCurrentIndex(cases->FirstLetterMode);
    } else if (const auto* runs = dynamic_cast<const TNoMoreSymbRule*>(&rule)) {
        RunMax->setValue(runs->MaxRun);
        ShowCode(RunMode, RunChar, runs->Symbol);
    } else if (const auto* shift = dynamic_cast<const TTextShiftRule*>(&rule)) {
        ShiftDir->setCurrentIndex(shift->ToRight ? 1 : 0);
        ShiftCount->setValue(shift->Count);
    } else if (const auto* trim = dynamic_cast<const TTextTrimRule*>(&rule)) {
        TrimText->setCurrentIndex(trim->TextTrim);
        TrimLine->setCurrentIndex(trim->LineTrim);
    } else if (const auto* tags = dynamic_cast<const TRemoveHTMLTagsRule*>(&rule)) {
        TagMax->setValue(tags->MaxTagLength);
    } else if (const auto* remove = dynamic_cast<const TRemoveLinesRule*>(&rule)) {
        QStringList lines;
        for (const std::string& line : remove->Lines)
            lines << ToQ(line);
        RemoveLinesEdit->setPlainText(lines.join('\n'));
    }
}

std::unique_ptr<TAbstractFormatterRule> TFormatRulesForm::CreateRule() const {
    const uint8_t type = TAbstractFormatterRule::TypeAtEditorIndex(TypeIndex());
    if (type == 0 || type == rtRegEXPR) return nullptr;
    auto rule = TAbstractFormatterRule::Create(type);
    StoreInto(*rule);
    return rule;
}

void TFormatRulesForm::StoreInto(TAbstractFormatterRule& rule) const {
    if (rule.TypeId() == rtRegEXPR) return;
    if (auto* paragraph = dynamic_cast<TParagraphRule*>(&rule)) {
        paragraph->Mode = ParagraphMode->currentIndex() == 0 ? uint8_t{TParagraphRule::pmSingleLine}
                                                             : static_cast<uint8_t>(ParagraphAlign->currentIndex());
        paragraph->Width = ParagraphWidth->value();
    } else if (auto* replace = dynamic_cast<TReplaceTextRule*>(&rule)) {
        replace->FindText = FromQ(ReplaceFind->text());
        replace->ReplaceText = FromQ(ReplaceWith->text());
        replace->CaseSensitive = ReplaceCase->isChecked();
    } else if (auto* chars = dynamic_cast<TChangeCharRule*>(&rule)) {
        chars->FromChar = ReadChar(FromMode, FromChar);
        chars->ToChar = ReadChar(ToMode, ToChar);
    } else if (auto* empty = dynamic_cast<TRemoveEmptyStringRule*>(&rule)) {
        empty->MaxEmpty = EmptyMax->value();
    } else if (auto* indent = dynamic_cast<TLeftIdentRule*>(&rule)) {
        indent->Compare = static_cast<uint8_t>(IndentCompare->currentIndex());
        indent->Count = IndentCount->value();
    } else if (auto* breaks = dynamic_cast<TCRLFRule*>(&rule)) {
        breaks->Target = static_cast<uint8_t>(std::max(LineBreakGroup->checkedId(), 0));
    } else if (auto* tabs = dynamic_cast<TTabToSpacesRule*>(&rule)) {
        tabs->Spaces = TabSpaces->value();
    } else if (auto* cases = dynamic_cast<TRegisterManageRule*>(&rule)) {
        cases->TextMode = static_cast<uint8_t>(CaseText->currentIndex());
        cases->FirstLetterMode = static_cast<uint8_t>(CaseFirst->currentIndex());
    } else if (auto* runs = dynamic_cast<TNoMoreSymbRule*>(&rule)) {
        runs->MaxRun = RunMax->value();
        runs->Symbol = ReadChar(RunMode, RunChar);
    } else if (auto* shift = dynamic_cast<TTextShiftRule*>(&rule)) {
        shift->ToRight = ShiftDir->currentIndex() == 1;
        shift->Count = ShiftCount->value();
    } else if (auto* trim = dynamic_cast<TTextTrimRule*>(&rule)) {
        trim->TextTrim = static_cast<uint8_t>(TrimText->currentIndex());
        trim->LineTrim = static_cast<uint8_t>(TrimLine->currentIndex());
    } else if (auto* tags = dynamic_cast<TRemoveHTMLTagsRule*>(&rule)) {
        tags->MaxTagLength = TagMax->value();
    } else if (auto* remove = dynamic_cast<TRemoveLinesRule*>(&rule)) {
        remove->Lines.clear();
        for (const QString& line : RemoveLinesEdit->toPlainText().split('\n'))
            if (!line.isEmpty()) remove->Lines.push_back(FromQ(line));
    }
    rule.Name = FromQ(RuleNameEdit->text());
}
