#include "format/ui/FormatterForm.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/Error.h"
#include "common/MessageIds.h"
#include "editor/ui/MyMemo.h"
#include "format/ui/FormatRulesForm.h"
#include "settings/ui/QtText.h"

namespace {

// Selected entries on navy, greyed ones on silver, as the rule lists always looked.
const char* const kListStyle =
    "QListView::item { min-height: 17px; }"
    "QListView::item:selected { background: navy; color: white; }"
    "QListView::item:disabled { background: silver; }";

}  // namespace

TFormatterForm::TFormatterForm(TFormatterSet& profile, TMyMemo* editor, QWidget* parent)
    : QDialog(parent), profile_(profile), editor_(editor) {
    setObjectName("TFormatterForm");
    setWindowTitle(Msg(rsFormatWndCaption));
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(367, 150);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QString::fromUtf8("  Название  ")));
    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName("NameEdit");
    nameRow->addWidget(NameEdit, 1);
    layout->addLayout(nameRow);

    auto* rules = new QGroupBox("  " + Msg(rsRulesList) + "  ", this);
    auto* rulesLayout = new QVBoxLayout(rules);
    RuleList = new QListWidget(rules);
    RuleList->setObjectName("RuleList");
    RuleList->setWordWrap(true);
    RuleList->setStyleSheet(kListStyle);
    rulesLayout->addWidget(RuleList, 1);
    auto* ruleButtons = new QHBoxLayout;
    auto button = [&](const char* caption, const char* hint, const char* name) {
        auto* b = new QPushButton(QString::fromUtf8(caption), rules);
        b->setObjectName(name);
        b->setToolTip(QString::fromUtf8(hint));
        b->setFixedWidth(28);
        ruleButtons->addWidget(b);
        return b;
    };
    DeleteRuleBtn = button("-", "Удалить правило", "DeleteRuleBtn");
    AddRuleBtn = button("+", "Добавить правило...", "AddRuleBtn");
    UpBtn = button("^", "правило выше", "UpBtn");
    DownBtn = button("v", "правило ниже", "DownBtn");
    ruleButtons->addWidget(new QLabel("  " + Msg(rsProfile) + "  :"));
    ProfileCombo = new QComboBox(rules);
    ProfileCombo->setObjectName("ProfileCombo");
    ProfileCombo->setToolTip(QString::fromUtf8("Сменить правило"));
    ProfileCombo->setMaxVisibleItems(24);
    ProfileCombo->setMinimumWidth(150);
    ProfileCombo->setStyleSheet(kListStyle);
    ruleButtons->addWidget(ProfileCombo, 1);
    NewProfileBtn = new QToolButton(rules);
    NewProfileBtn->setObjectName("NewProfileBtn");
    NewProfileBtn->setIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    NewProfileBtn->setToolTip(QString::fromUtf8("Новый профиль"));
    DeleteProfileBtn = new QToolButton(rules);
    DeleteProfileBtn->setObjectName("DeleteProfileBtn");
    DeleteProfileBtn->setIcon(QApplication::style()->standardIcon(QStyle::SP_TrashIcon));
    DeleteProfileBtn->setToolTip(QString::fromUtf8("Удалить профиль"));
    ruleButtons->addWidget(NewProfileBtn);
    ruleButtons->addWidget(DeleteProfileBtn);
    rulesLayout->addLayout(ruleButtons);
    layout->addWidget(rules, 1);

    auto* commands = new QHBoxLayout;
    FormatBtn = new QPushButton(QString::fromUtf8("Форматировать"), this);
    FormatBtn->setObjectName("FormatBtn");
    FormatSelBtn = new QPushButton(Msg(rsFormatSelected), this);
    FormatSelBtn->setObjectName("FormatSelBtn");
    CloseBtn = new QPushButton(QString::fromUtf8("Закрыть"), this);
    CloseBtn->setObjectName("CloseBtn");
    commands->addWidget(FormatBtn);
    commands->addWidget(FormatSelBtn);
    commands->addStretch(1);
    commands->addWidget(CloseBtn);
    layout->addLayout(commands);

    ExecRuleEditor = [](TFormatRulesForm& form) { return form.exec() == QDialog::Accepted; };
    connect(DeleteRuleBtn, &QPushButton::clicked, this, [this] {
        if (RuleList->currentRow() >= 0) profile_.DeleteRule(RuleList->currentRow());
    });
    connect(AddRuleBtn, &QPushButton::clicked, this, &TFormatterForm::AddRule);
    connect(UpBtn, &QPushButton::clicked, this, [this] { MoveRule(-1); });
    connect(DownBtn, &QPushButton::clicked, this, [this] { MoveRule(1); });
    connect(RuleList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { EditRule(RuleList->row(item)); });
    connect(ProfileCombo, &QComboBox::activated, this, &TFormatterForm::ProfileChosen);
    connect(NewProfileBtn, &QToolButton::clicked, this, &TFormatterForm::NewProfile);
    connect(DeleteProfileBtn, &QToolButton::clicked, this, &TFormatterForm::DeleteProfile);
    connect(NameEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        profile_.SetName(FromQ(text));
        if (ProfileCombo->currentIndex() >= 0) ProfileCombo->setItemText(ProfileCombo->currentIndex(), text);
    });
    connect(FormatBtn, &QPushButton::clicked, this, [this] { Format(false); });
    connect(FormatSelBtn, &QPushButton::clicked, this, [this] { Format(true); });
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::close);

    resize(420, 360);
    profile_.Window = this;
    FillProfiles();
    RulesChanged();
}

TFormatterForm::~TFormatterForm() {
    if (profile_.Window == this) profile_.Window = nullptr;
}

void TFormatterForm::FillProfiles() {
    filling_ = true;
    ProfileCombo->clear();
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileDialogContentsView);
    for (const TProfileEntry& entry : profile_.ListProfiles())
        ProfileCombo->addItem(icon, ToQ(entry.Name), entry.Number);
    ProfileCombo->setCurrentIndex(ProfileCombo->findData(profile_.Number()));
    filling_ = false;
}

void TFormatterForm::RulesChanged() {
    const int current = RuleList->currentRow();
    RuleList->clear();
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileDialogContentsView);
    for (int32_t i = 0; i < profile_.Count(); ++i) {
        const TAbstractFormatterRule& rule = profile_.Rule(i);
        const std::string name = rule.Name.empty() ? TAbstractFormatterRule::Caption(rule.TypeId()) : rule.Name;
        RuleList->addItem(new QListWidgetItem(icon, ToQ(name)));
    }
    if (current >= 0 && current < RuleList->count()) RuleList->setCurrentRow(current);
    if (NameEdit->text() != ToQ(profile_.Name())) NameEdit->setText(ToQ(profile_.Name()));
    EnableControls();
}

void TFormatterForm::EnableControls() {
    const bool chosen = ProfileCombo->currentIndex() >= 0;
    for (QWidget* w : std::initializer_list<QWidget*>{NameEdit, DeleteProfileBtn, AddRuleBtn, DeleteRuleBtn, FormatBtn,
                                                      FormatSelBtn})
        w->setEnabled(chosen);
}

void TFormatterForm::ProfileChosen(int index) {
    if (filling_) return;
    try {
        if (index < 0)
            profile_.Clear();
        else
            profile_.SelectProfile(ProfileCombo->itemData(index).toInt());
        RulesChanged();
    } catch (const std::exception& e) {
        emit failed(ToQ(e.what()));
    }
}

void TFormatterForm::NewProfile() {
    try {
        profile_.NewProfile();
        FillProfiles();
        RulesChanged();
    } catch (const std::exception& e) {
        emit failed(ToQ(e.what()));
    }
}

void TFormatterForm::DeleteProfile() {
    const int index = ProfileCombo->currentIndex();
    if (index < 0) return;
    try {
        const int32_t number = profile_.Number();
        filling_ = true;
        ProfileCombo->removeItem(index);
        filling_ = false;
        const int next = ProfileCombo->count() == 0 ? -1 : std::min(index, ProfileCombo->count() - 1);
        ProfileCombo->setCurrentIndex(next);
        if (next < 0) profile_.Clear();
        profile_.DeleteStoredProfile(number);
        if (next >= 0) ProfileChosen(next);
        RulesChanged();
    } catch (const std::exception& e) {
        filling_ = false;
        emit failed(ToQ(e.what()));
    }
}

void TFormatterForm::AddRule() {
    TFormatRulesForm form(this);
    if (!ExecRuleEditor(form)) return;
    try {
        if (auto rule = form.CreateRule()) {
            profile_.AddRule(std::move(rule));
            RuleList->setCurrentRow(RuleList->count() - 1);
        }
    } catch (const std::exception& e) {
        emit failed(ToQ(e.what()));
    }
}

void TFormatterForm::EditRule(int index) {
    if (index < 0 || index >= profile_.Count()) return;
    TFormatRulesForm form(this);
    form.LoadRule(profile_.Rule(index));
    if (!ExecRuleEditor(form)) return;
    try {
        form.StoreInto(profile_.Rule(index));
        profile_.Changed();
    } catch (const std::exception& e) {
        emit failed(ToQ(e.what()));
    }
}

void TFormatterForm::MoveRule(int by) {
    const int from = RuleList->currentRow();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= profile_.Count()) return;
    try {
        profile_.ExchangeRules(from, to);
        RuleList->setCurrentRow(to);
    } catch (const std::exception& e) {
        emit failed(ToQ(e.what()));
    }
}

bool TFormatterForm::Format(bool selection) {
    if (!editor_) return false;
    try {
        if (!FormatEditorText(profile_, editor_->Text(), selection)) return false;
        editor_->CaretMoved();
        return true;
    } catch (const std::exception& e) {
        emit failed(ToQ(e.what()));
        return false;
    }
}
