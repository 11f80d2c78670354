#include "shell/SeqListForm.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/MessageIds.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"
#include "shell/FormParts.h"
#include "shell/GenresForm.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

namespace {
constexpr const char* kSeriesMime = "application/x-shelvara-series";
}

TSeqListForm::TSeqListForm(QWidget* parent, TLibrarySession& session) : QDialog(parent), session_(session) {
    setObjectName("SeqListForm");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    splitter_ = new QSplitter(Qt::Horizontal, this);
    SeqTree = new TEntityTree(kSeriesMime, splitter_);
    SeqTree->setObjectName("SeqTree");
    SeqTree->setSortingEnabled(true);
    SeqTree->sortByColumn(0, Qt::AscendingOrder);
    auto* group = new QGroupBox(splitter_);
    group->setObjectName("GroupBox1");
    auto* groupLayout = new QVBoxLayout(group);
    SeqNamesGrid = new QTableWidget(group);
    SeqNamesGrid->setObjectName("SeqNamesGrid");
    SeqNamesGrid->setColumnCount(1);
    SeqNamesGrid->horizontalHeader()->setStretchLastSection(true);
    SeqNamesGrid->verticalHeader()->setDefaultSectionSize(20);
    SeqNamesGrid->installEventFilter(this);
    groupLayout->addWidget(SeqNamesGrid);
    splitter_->setStretchFactor(1, 1);
    layout->addWidget(splitter_, 1);
    AddOkCancelRow(this, layout, OkBtn, CancelBtn);

    SeqTree->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    connect(SeqTree, &QTreeWidget::currentItemChanged, this, [this] {
        if (!filling_) ShowNames();
    });
    connect(SeqTree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        if (filling_) return;
        TBookSequence* series = FindSeries(item->data(0, Qt::UserRole).value<quintptr>());
        if (!series || FromQ(item->text(0)) == series->DisplayName()) return;
        TCatalogueGuard guard;
        if (series->Names().empty())
            series->AddName(FromQ(item->text(0)));
        else
            series->SetName(0, FromQ(item->text(0)));
        session_.Library().SetModified(true);
        series->Notify(TBookSequence::kChanged);
    });
    connect(SeqNamesGrid, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (filling_ || column != 0) return;
        NameEdited(row + 1, SeqNamesGrid->item(row, 0) ? SeqNamesGrid->item(row, 0)->text() : QString());
    });
    SeqTree->IdOf = [](QTreeWidgetItem* item) { return item->data(0, Qt::UserRole).value<quintptr>(); };
    SeqTree->Accepts = [this](quintptr id, QTreeWidgetItem* target) {
        TBookSequence* dragged = FindSeries(id);
        TBookSequence* onto = target ? FindSeries(target->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
        if (!dragged || !onto || onto == dragged) return false;
        for (const TBookSequence* p = dragged->Parent; p; p = p->Parent)
            if (p == onto) return false;  // not onto its parent or any node above it
        return true;
    };
    SeqTree->Dropped = [this](quintptr id, QTreeWidgetItem* target, bool) {
        DropSeries(FindSeries(id), target ? FindSeries(target->data(0, Qt::UserRole).value<quintptr>()) : nullptr);
    };
    connect(&session_, &TLibrarySession::SeriesChanged, this, &TSeqListForm::SeriesChanged);
    connect(&session_.Options(), &TOptions::languageChanged, this, &TSeqListForm::Recaption);
    placement_ = new TIniPlacement(this, session_.Options().Store(), "TSeqListForm");
    placement_->AddValue(
        "Panel1_Width", [this] { return std::to_string(splitter_->sizes().value(0)); },
        [this](const std::string& text) {
            const int width = QString::fromStdString(text).toInt();
            if (width > 0) splitter_->setSizes({width, std::max(this->width() - width, 100)});
        });
    resize(560, 480);
    placement_->Restore();
    Recaption();
    Fill();
}

TSeqListForm::~TSeqListForm() {
    SavePlacementQuietly(placement_);
}

void TSeqListForm::Recaption() {
    setWindowTitle(Msg(rsSeriesListCaption));
    findChild<QGroupBox*>("GroupBox1")->setTitle("  " + Msg(rsInformation) + "  ");
    SeqNamesGrid->setHorizontalHeaderLabels({Msg(rsSeriesName)});
    OkBtn->setText(Msg(rsOk));
    CancelBtn->setText(Msg(rsCancel));
}

TBookSequence* TSeqListForm::FindSeries(quintptr id) const {
    // The address is only a key until found: a series that went has no node any more.
    const auto it = items_.find(reinterpret_cast<const TBookSequence*>(id));
    return it == items_.end() ? nullptr : const_cast<TBookSequence*>(it->first);
}

QTreeWidgetItem* TSeqListForm::ItemOf(const TBookSequence* series) const {
    const auto it = items_.find(series);
    return it == items_.end() ? nullptr : it->second;
}

QTreeWidgetItem* TSeqListForm::AddItem(TBookSequence* series, QTreeWidgetItem* parent, bool deep) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(SeqTree);
    item->setText(0, ToQ(series->DisplayName()));
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(series)));
    item->setIcon(0, QApplication::style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    if (series->BookCount() <= 0) item->setForeground(0, QColor(128, 128, 128));
    items_[series] = item;
    if (deep)
        for (size_t i = 0; i < series->Count(); ++i)
            AddItem(series->Child(i), item, true);
    return item;
}

void TSeqListForm::Fill() {
    filling_ = true;
    TCatalogueGuard guard;
    SeqTree->clear();
    items_.clear();
    TBookSequence& root = session_.Library().Sequences;
    for (size_t i = 0; i < root.Count(); ++i)
        AddItem(root.Child(i), nullptr, true);
    filling_ = false;
    ShowNames();
}

void TSeqListForm::SelectSeries(const TBookSequence* series) {
    if (QTreeWidgetItem* item = series ? ItemOf(series) : nullptr) SeqTree->setCurrentItem(item);
    ShowNames();
}

TBookSequence* TSeqListForm::SelectedSeries() const {
    QTreeWidgetItem* item = SeqTree->currentItem();
    return item ? FindSeries(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

void TSeqListForm::ShowNames() {
    const bool filling = filling_;
    filling_ = true;
    TBookSequence* series = SelectedSeries();
    current_ = series && !series->Names().empty() ? series : nullptr;
    const auto& names = current_ ? current_->Names() : std::vector<std::string>{};
    SeqNamesGrid->setRowCount(std::max<int>(static_cast<int>(names.size()), 1));
    SeqNamesGrid->clearContents();
    for (size_t i = 0; i < names.size(); ++i)
        SeqNamesGrid->setItem(static_cast<int>(i), 0, new QTableWidgetItem(ToQ(names[i])));
    filling_ = filling;
}

void TSeqListForm::NameEdited(int row, const QString& text) {
    TBookSequence* series = SelectedSeries();
    if (!series) {
        QApplication::beep();
        ShowNames();
        return;
    }
    TCatalogueGuard guard;
    series->SetName(static_cast<size_t>(row - 1), FromQ(text));  // fills the names before it
    session_.Library().SetModified(true);
    ShowNames();
}

void TSeqListForm::AppendName() {
    TBookSequence* series = SelectedSeries();
    const int rows = SeqNamesGrid->rowCount();
    const QTableWidgetItem* last = SeqNamesGrid->item(rows - 1, 0);
    if (!series || !last || last->text().isEmpty() || static_cast<int>(series->Names().size()) < rows) return;
    TCatalogueGuard guard;
    series->AddName({});
    session_.Library().SetModified(true);
    ShowNames();
    SeqNamesGrid->setCurrentCell(rows, 0);
}

void TSeqListForm::DeleteName(int row) {
    TBookSequence* series = SelectedSeries();
    if (!series || row < 1 || static_cast<int>(series->Names().size()) < row) return;
    TCatalogueGuard guard;
    series->DeleteName(static_cast<size_t>(row - 1));  // announced as a change
    session_.Library().SetModified(true);
    ShowNames();
}

bool TSeqListForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == SeqNamesGrid && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int row = SeqNamesGrid->currentRow();
        if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier && row == SeqNamesGrid->rowCount() - 1) {
            AppendName();
            return true;
        }
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier) && row >= 0) {
            DeleteName(row + 1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSeqListForm::DropSeries(TBookSequence* dragged, TBookSequence* target) {
    if (!dragged || !target) return;
    TCatalogueGuard guard;
    if (TBookSequence::MoveTo(dragged, target)) session_.Library().SetModified(true);
}

void TSeqListForm::Forget(QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount(); ++i)
        Forget(item->child(i));
    items_.erase(reinterpret_cast<const TBookSequence*>(item->data(0, Qt::UserRole).value<quintptr>()));
}

void TSeqListForm::SeriesChanged(TEntityChange kind, const TBookSequence* series) {
    const bool filling = filling_;
    filling_ = true;
    switch (kind) {
        case TEntityChange::Changed:
            if (QTreeWidgetItem* item = ItemOf(series)) item->setText(0, ToQ(series->DisplayName()));
            break;
        case TEntityChange::Moved:
        case TEntityChange::Added:
            if (QTreeWidgetItem* old = ItemOf(series)) {
                Forget(old);
                delete old;
            }
            if (series->Parent)
                AddItem(const_cast<TBookSequence*>(series), ItemOf(series->Parent), kind == TEntityChange::Added);
            break;
        case TEntityChange::Deleted:
            if (QTreeWidgetItem* item = ItemOf(series)) {
                if (current_ == series) current_ = nullptr;
                Forget(item);
                delete item;
            }
            break;
        default:
            break;
    }
    filling_ = filling;
    if (kind == TEntityChange::Deleted) ShowNames();
}
