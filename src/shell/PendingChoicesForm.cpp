#include "shell/PendingChoicesForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorName.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/MessageIds.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"
#include "shell/FormParts.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

namespace {

constexpr int kBookColumn = 0, kNameColumn = 1, kAuthorColumn = 2;

// The author cell edits as a list of the row's candidates.
class TCandidateDelegate final : public QStyledItemDelegate {
public:
    explicit TCandidateDelegate(TPendingChoicesForm* form) : QStyledItemDelegate(form), form_(form) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
        auto* box = new QComboBox(parent);
        box->addItems(form_->CandidateNames(index.row()));
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        static_cast<QComboBox*>(editor)->setCurrentIndex(form_->Chosen(index.row()));
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        form_->Choose(index.row(), static_cast<QComboBox*>(editor)->currentIndex());
    }

private:
    TPendingChoicesForm* form_;
};

}  // namespace

TPendingChoicesForm::TPendingChoicesForm(QWidget* parent, TLibrarySession& session)
    : QDialog(parent), session_(session) {
    setObjectName("PendingChoicesForm");
    auto* layout = new QVBoxLayout(this);
    HintLabel = new QLabel(this);
    HintLabel->setWordWrap(true);
    layout->addWidget(HintLabel);
    ChoicesGrid = new QTableWidget(0, 3, this);
    ChoicesGrid->setObjectName("ChoicesGrid");
    ChoicesGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ChoicesGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    ChoicesGrid->setEditTriggers(QAbstractItemView::AllEditTriggers);
    ChoicesGrid->setItemDelegateForColumn(kAuthorColumn, new TCandidateDelegate(this));
    ChoicesGrid->verticalHeader()->hide();
    ChoicesGrid->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(ChoicesGrid, 1);
    auto* row = new QHBoxLayout;
    SameNameBtn = new QPushButton(this);
    DismissBtn = new QPushButton(this);
    ApplyBtn = new QPushButton(this);
    LaterBtn = new QPushButton(this);
    row->addWidget(SameNameBtn);
    row->addStretch(1);
    row->addWidget(DismissBtn);
    row->addWidget(LaterBtn);
    row->addWidget(ApplyBtn);
    ApplyBtn->setDefault(true);
    layout->addLayout(row);
    connect(SameNameBtn, &QPushButton::clicked, this, [this] {
        if (ChoicesGrid->currentRow() >= 0) SameForName(ChoicesGrid->currentRow());
    });
    connect(ApplyBtn, &QPushButton::clicked, this, [this] {
        Dialogs::Guard(this, [this] {
            Apply();
            accept();
        });
    });
    connect(DismissBtn, &QPushButton::clicked, this, [this] {
        Dismiss();
        accept();
    });
    connect(LaterBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(&session_.Options(), &TOptions::languageChanged, this, &TPendingChoicesForm::Recaption);
    placement_ = new TIniPlacement(this, session_.Options().Store(), "TPendingChoicesForm");
    resize(760, 420);
    placement_->Restore();
    Recaption();
    Fill();
}

TPendingChoicesForm::~TPendingChoicesForm() {
    SavePlacementQuietly(placement_);
}

TPendingChoicesForm* TPendingChoicesForm::Open(QWidget* parent, TLibrarySession& session) {
    auto* form = new TPendingChoicesForm(parent, session);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
    return form;
}

QString TPendingChoicesForm::ButtonText(const TLibrarySession& session) {
    return MsgWith(rsPendingButton, {std::to_string(session.PendingChoices().Count())});
}

void TPendingChoicesForm::Recaption() {
    setWindowTitle(Msg(rsPendingCaption));
    HintLabel->setText(Msg(rsPendingHint));
    ChoicesGrid->setHorizontalHeaderLabels({Msg(rsPendingBook), Msg(rsPendingName), Msg(rsPendingAuthor)});
    SameNameBtn->setText(Msg(rsPendingSameName));
    ApplyBtn->setText(Msg(rsPendingApply));
    DismissBtn->setText(Msg(rsPendingDismiss));
    LaterBtn->setText(Msg(rsPendingLater));
}

void TPendingChoicesForm::Fill() {
    rows_ = session_.PendingChoices().Snapshot();
    names_.clear();
    chosen_.assign(rows_.size(), 0);
    ChoicesGrid->setRowCount(static_cast<int>(rows_.size()));
    // The texts are read once, under the lock: the rows keep no pointer they follow later.
    TCatalogueGuard guard;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const TPendingChoice& choice = rows_[i];
        const int r = static_cast<int>(i);
        QString book = ToQ(choice.Book->TitleText());
        const QString file = ToQ(choice.Book->FileName);
        if (book != file) book += "  (" + file + ")";
        QStringList names;
        for (const TAuthorName* c : choice.Candidates)
            names << QString("%1  [%2]").arg(ToQ(c->DisplayName())).arg(c->Author ? c->Author->LinkTotal : 0);
        names_.push_back(names);
        auto* bookItem = new QTableWidgetItem(book);
        bookItem->setFlags(bookItem->flags() & ~Qt::ItemIsEditable);
        bookItem->setToolTip(ToQ(choice.Book->FullPath()));
        auto* nameItem = new QTableWidgetItem(ToQ(choice.NameRead));
        nameItem->setFlags(nameItem->flags() & ~Qt::ItemIsEditable);
        ChoicesGrid->setItem(r, kBookColumn, bookItem);
        ChoicesGrid->setItem(r, kNameColumn, nameItem);
        ChoicesGrid->setItem(r, kAuthorColumn, new QTableWidgetItem);
        ShowChoice(r);
    }
    ChoicesGrid->resizeColumnToContents(kNameColumn);
    ChoicesGrid->setColumnWidth(kBookColumn, std::min(ChoicesGrid->columnWidth(kBookColumn) * 2, 320));
    if (!rows_.empty()) ChoicesGrid->setCurrentCell(0, kAuthorColumn);
    const bool any = !rows_.empty();
    for (QPushButton* b : {SameNameBtn, ApplyBtn, DismissBtn})
        b->setEnabled(any);
}

void TPendingChoicesForm::ShowChoice(int row) {
    const size_t i = static_cast<size_t>(row);
    ChoicesGrid->item(row, kAuthorColumn)->setText(names_[i].value(chosen_[i]));
    QFont font = ChoicesGrid->font();
    font.setBold(chosen_[i] != 0);  // a decision that changes the book stands out
    ChoicesGrid->item(row, kAuthorColumn)->setFont(font);
}

void TPendingChoicesForm::Choose(int row, int candidate) {
    if (row < 0 || row >= RowCount()) return;
    const size_t i = static_cast<size_t>(row);
    if (candidate < 0 || candidate >= static_cast<int>(rows_[i].Candidates.size())) return;
    chosen_[i] = candidate;
    ShowChoice(row);
}

void TPendingChoicesForm::SameForName(int row) {
    if (row < 0 || row >= RowCount()) return;
    const TPendingChoice& model = rows_[static_cast<size_t>(row)];
    const TAuthorInfo* author = model.Authors[static_cast<size_t>(Chosen(row))];
    for (int r = 0; r < RowCount(); ++r) {
        const TPendingChoice& other = rows_[static_cast<size_t>(r)];
        if (other.NameRead != model.NameRead || other.Authors.size() != model.Authors.size() ||
            !std::is_permutation(other.Authors.begin(), other.Authors.end(), model.Authors.begin()))
            continue;
        const auto it = std::find(other.Authors.begin(), other.Authors.end(), author);
        Choose(r, static_cast<int>(it - other.Authors.begin()));
    }
}

int TPendingChoicesForm::Apply() {
    std::vector<TAuthorDecision> decisions;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const TPendingChoice& choice = rows_[i];
        decisions.push_back(
            {choice.Book, choice.Role, choice.Candidates.front(), choice.Candidates[static_cast<size_t>(chosen_[i])]});
    }
    const int changed = session_.PendingChoices().Decide(decisions);
    if (changed) session_.Library().SetModified(true);
    Fill();
    return changed;
}

void TPendingChoicesForm::Dismiss() {
    session_.PendingChoices().Clear();
    Fill();
}
