#include "format/ui/FindReplaceDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/MessageIds.h"
#include "editor/ui/MyMemo.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"

namespace {

TMyMemo* NewFieldMemo(QWidget* parent) {
    auto* memo = new TMyMemo(parent);
    memo->Lines().AutoEncoding = false;
    memo->SetTimedScroll(false);
    memo->setMinimumHeight(40);
    return memo;
}

std::string MemoText(const TMyMemo* memo) {
    return memo->Text().Text();
}

void SetMemoText(TMyMemo* memo, const std::string& text) {
    memo->Lines().SetTextStr(text);
    memo->SelectAll();
}

std::string ComboText(const QComboBox* combo) {
    return FromQ(combo->currentText());
}

void SetComboText(QComboBox* combo, const std::string& text) {
    combo->setEditText(ToQ(text));
    combo->lineEdit()->selectAll();
}

QComboBox* NewCombo(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(TFindReplaceDlg::kHistory);
    return combo;
}

std::vector<std::string> Items(const QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(FromQ(combo->itemText(i)));
    return items;
}

void SetItems(QComboBox* combo, const std::vector<std::string>& items) {
    const QString text = combo->currentText();
    combo->clear();
    for (const std::string& item : items)
        combo->addItem(ToQ(item));
    combo->setEditText(text);
}

QString Spaced(const QString& caption) {
    return "  " + caption + "  ";
}

}  // namespace

TFindReplaceDlg::TFindReplaceDlg(TSettingsStore& store, bool findPage, QWidget* parent) : QDialog(parent) {
    setObjectName("TFindReplaceDlg");
    setWindowTitle(Msg(rsFindReplace));
    setWindowFlag(Qt::Tool);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    FindTab = new QWidget;
    ReplaceTab = new QWidget;
    PageControl1->addTab(FindTab, Spaced(Msg(rsFind)));
    PageControl1->addTab(ReplaceTab, Spaced(Msg(rsReplace)));
    layout->addWidget(PageControl1, 1);

    // The find page.
    auto* findLayout = new QVBoxLayout(FindTab);
    SimpleFindPanel = new QWidget(FindTab);
    auto* simpleFind = new QHBoxLayout(SimpleFindPanel);
    simpleFind->setContentsMargins(0, 0, 0, 0);
    auto* findLabel1 = new QLabel(Msg(rsFindWhat), SimpleFindPanel);
    findLabel1->setObjectName("FindLabel1");
    Find1Combo = NewCombo(SimpleFindPanel);
    Find1Combo->setObjectName("Find1Combo");
    simpleFind->addWidget(findLabel1);
    simpleFind->addWidget(Find1Combo, 1);
    MultiFindGroup = new QGroupBox(Spaced(Msg(rsFindWhat)), FindTab);
    MultiFindGroup->setObjectName("MultiFindGroup");
    Find1Memo = NewFieldMemo(MultiFindGroup);
    Find1Memo->setObjectName("Find1Memo");
    (new QVBoxLayout(MultiFindGroup))->addWidget(Find1Memo);
    findLayout->addWidget(SimpleFindPanel);
    findLayout->addWidget(MultiFindGroup, 1);
    findLayout->addStretch(0);

    // The replace page.
    auto* replaceLayout = new QVBoxLayout(ReplaceTab);
    SimpleReplacePanel = new QWidget(ReplaceTab);
    auto* simpleReplace = new QGridLayout(SimpleReplacePanel);
    simpleReplace->setContentsMargins(0, 0, 0, 0);
    auto* findLabel2 = new QLabel(Msg(rsFindWhat), SimpleReplacePanel);
    findLabel2->setObjectName("FindLabel2");
    Find2Combo = NewCombo(SimpleReplacePanel);
    Find2Combo->setObjectName("Find2Combo");
    auto* replaceLabel = new QLabel(Msg(rsReplaceBy), SimpleReplacePanel);
    replaceLabel->setObjectName("ReplaceLabel");
    Replace2Combo = NewCombo(SimpleReplacePanel);
    Replace2Combo->setObjectName("Replace2Combo");
    simpleReplace->addWidget(findLabel2, 0, 0);
    simpleReplace->addWidget(Find2Combo, 0, 1);
    simpleReplace->addWidget(replaceLabel, 1, 0);
    simpleReplace->addWidget(Replace2Combo, 1, 1);
    MultiReplacePanel = new QWidget(ReplaceTab);
    auto* multiReplace = new QVBoxLayout(MultiReplacePanel);
    multiReplace->setContentsMargins(0, 0, 0, 0);
    auto* findGroup2 = new QGroupBox(Spaced(Msg(rsFindWhat)), MultiReplacePanel);
    findGroup2->setObjectName("MultiFindGroup2");
    Find2Memo = NewFieldMemo(findGroup2);
    Find2Memo->setObjectName("Find2Memo");
    (new QVBoxLayout(findGroup2))->addWidget(Find2Memo);
    auto* replaceGroup2 = new QGroupBox(Spaced(Msg(rsReplaceBy)), MultiReplacePanel);
    replaceGroup2->setObjectName("MultiReplaceGroup2");
    Replace2Memo = NewFieldMemo(replaceGroup2);
    Replace2Memo->setObjectName("Replace2Memo");
    (new QVBoxLayout(replaceGroup2))->addWidget(Replace2Memo);
    // The two groups share the area equally.
    multiReplace->addWidget(findGroup2, 1);
    multiReplace->addWidget(replaceGroup2, 1);
    replaceLayout->addWidget(SimpleReplacePanel);
    replaceLayout->addWidget(MultiReplacePanel, 1);
    replaceLayout->addStretch(0);

    // Options and buttons.
    MultilineCheck = new QCheckBox(Msg(rsMultiline), this);
    MultilineCheck->setObjectName("MultilineCheck");
    CaseCheck = new QCheckBox(Msg(rsCaseSensitive), this);
    CaseCheck->setObjectName("CaseCheck");
    SelectionCheck = new QCheckBox(Msg(rsSelection), this);
    SelectionCheck->setObjectName("SelectionCheck");
    auto* options = new QHBoxLayout;
    options->addWidget(MultilineCheck);
    options->addWidget(CaseCheck);
    options->addWidget(SelectionCheck);
    options->addStretch(1);
    layout->addLayout(options);
    OkBtn = new QPushButton(this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setDefault(true);
    AllBtn = new QPushButton(Msg(rsReplaceAll), this);
    AllBtn->setObjectName("AllBtn");
    CancelBtn = new QPushButton(Msg(rsCancel), this);
    CancelBtn->setObjectName("CancelBtn");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->setSpacing(4);
    buttons->addWidget(OkBtn);
    buttons->addWidget(AllBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);

    connect(OkBtn, &QPushButton::clicked, this, [this] { Confirm(QDialog::Accepted); });
    connect(AllBtn, &QPushButton::clicked, this, [this] { Confirm(AllResult); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(MultilineCheck, &QCheckBox::clicked, this, [this] { MultilineClicked(); });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageChanged(); });

    PageControl1->setCurrentWidget(findPage ? FindTab : ReplaceTab);
    resize(460, 260);
    placement_ = new TIniPlacement(this, store, "TFindReplaceDlg");
    placement_->AddCheck("MultilineCheck_Checked", MultilineCheck);
    placement_->AddCheck("CaseCheck_Checked", CaseCheck);
    placement_->AddCheck("SelectionCheck_Checked", SelectionCheck);
    placement_->AfterRestore = [this](TFormState& state) {
        if (const auto items = state.ReadList("Find2Combo_Items")) SetItems(Find2Combo, *items);
        if (const auto items = state.ReadList("Replace2Combo_Items")) SetItems(Replace2Combo, *items);
    };
    placement_->BeforeSave = [this](TFormState& state) {
        state.WriteList("Find2Combo_Items", Items(Find2Combo));
        state.WriteList("Replace2Combo_Items", Items(Replace2Combo));
    };
    placement_->Restore();
    Restored();
}

TFindReplaceDlg::~TFindReplaceDlg() {
    placement_->SaveQuietly();
}

bool TFindReplaceDlg::OnFindPage() const {
    return PageControl1->currentWidget() == FindTab;
}

std::string TFindReplaceDlg::FindText() const {
    const bool multi = MultilineCheck->isChecked();
    if (OnFindPage()) return multi ? MemoText(Find1Memo) : ComboText(Find1Combo);
    return multi ? MemoText(Find2Memo) : ComboText(Find2Combo);
}

std::string TFindReplaceDlg::ReplaceText() const {
    if (OnFindPage()) return {};
    return MultilineCheck->isChecked() ? MemoText(Replace2Memo) : ComboText(Replace2Combo);
}

TSearchSettings TFindReplaceDlg::Settings() const {
    TSearchSettings s;
    s.Defined = result() == QDialog::Accepted || result() == AllResult;
    s.ReplaceMode = !OnFindPage();
    s.FindText = FindText();
    s.ReplaceText = ReplaceText();
    s.CaseSensitive = CaseCheck->isChecked();
    s.ReplaceAll = result() == AllResult;
    s.InSelection = SelectionCheck->isChecked();
    return s;
}

void TFindReplaceDlg::Confirm(int result) {
    // The texts used go to the top of the histories; the same text in another case moves.
    std::vector<std::string> finds = Items(Find2Combo);
    AddToHistory(finds, FindText(), kHistory);
    std::vector<std::string> replaces = Items(Replace2Combo);
    if (!OnFindPage()) AddToHistory(replaces, ReplaceText(), kHistory);
    if (replaces.size() > kHistory) replaces.resize(kHistory);
    SetItems(Find2Combo, finds);
    SetItems(Find1Combo, finds);
    SetItems(Replace2Combo, replaces);
    done(result);
}

void TFindReplaceDlg::LayoutFields() {
    const bool multi = MultilineCheck->isChecked();
    SimpleFindPanel->setVisible(!multi);
    SimpleReplacePanel->setVisible(!multi);
    MultiFindGroup->setVisible(multi);
    MultiReplacePanel->setVisible(multi);
    OkBtn->setText(OnFindPage() ? Msg(rsFind) : Msg(rsReplace));
    AllBtn->setVisible(!OnFindPage());
}

void TFindReplaceDlg::MultilineClicked() {
    if (MultilineCheck->isChecked()) {
        SetMemoText(Find1Memo, ComboText(Find1Combo));
        SetMemoText(Find2Memo, ComboText(Find2Combo));
        SetMemoText(Replace2Memo, ComboText(Replace2Combo));
    } else {
        SetComboText(Find1Combo, MemoText(Find1Memo));
        SetComboText(Find2Combo, MemoText(Find2Memo));
        SetComboText(Replace2Combo, MemoText(Replace2Memo));
    }
    LayoutFields();
}

void TFindReplaceDlg::PageChanged() {
    const bool multi = MultilineCheck->isChecked();
    if (OnFindPage()) {
        const std::string text = multi ? MemoText(Find2Memo) : ComboText(Find2Combo);
        if (multi) {
            SetMemoText(Find1Memo, text);
            Find1Memo->setFocus();
        } else {
            SetComboText(Find1Combo, text);
            Find1Combo->setFocus();
        }
    } else {
        const std::string text = multi ? MemoText(Find1Memo) : ComboText(Find1Combo);
        if (multi) {
            SetMemoText(Find2Memo, text);
            Replace2Memo->SelectAll();
            Find2Memo->setFocus();
        } else {
            SetComboText(Find2Combo, text);
            Replace2Combo->lineEdit()->selectAll();
            Find2Combo->setFocus();
        }
    }
    LayoutFields();
}

void TFindReplaceDlg::Restored() {
    SetItems(Find1Combo, Items(Find2Combo));
    if (Find2Combo->count() > 0) {
        const std::string last = FromQ(Find2Combo->itemText(0));
        Find1Combo->setCurrentIndex(0);
        Find2Combo->setCurrentIndex(0);
        SetComboText(Find1Combo, last);
        SetComboText(Find2Combo, last);
        SetMemoText(Find1Memo, last);
        SetMemoText(Find2Memo, last);
    }
    if (Replace2Combo->count() > 0) {
        const std::string last = FromQ(Replace2Combo->itemText(0));
        Replace2Combo->setCurrentIndex(0);
        SetComboText(Replace2Combo, last);
        SetMemoText(Replace2Memo, last);
    }
    LayoutFields();
    PageChanged();
}

bool ExecuteFindReplace(TSettingsStore& store, QWidget* parent, bool& findPage, TSearchSettings& settings) {
    TFindReplaceDlg dialog(store, findPage, parent);
    const int result = dialog.exec();
    const TSearchSettings chosen = dialog.Settings();
    settings.InSelection = chosen.InSelection;
    if (result != QDialog::Accepted && result != TFindReplaceDlg::AllResult) return false;
    findPage = dialog.OnFindPage();
    settings = chosen;
    return true;
}
