#include "shell/AuthorManageForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDrag>
#include <QDropEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/ListBuilders.h"
#include "catalogue/ListObjects.h"
#include "catalogue/SVD.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "display/ui/SVGrid.h"
#include "settings/LanguageFiles.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"
#include "shell/FormParts.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

namespace {

constexpr const char* kSpellingMime = "application/x-shelvara-spelling";
constexpr int kNameColumns = 4;

QTableWidgetItem* Cell(const QString& text, bool editable) {
    auto* item = new QTableWidgetItem(text);
    if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// A spelling of the library given by its address, or null: the address is only compared.
TAuthorName* FindSpelling(TAuthorList& list, quintptr id) {
    for (size_t a = 0; a < list.Count(); ++a)
        for (size_t n = 0; n < list.Author(a)->Count(); ++n)
            if (reinterpret_cast<quintptr>(list.Author(a)->Name(n)) == id) return list.Author(a)->Name(n);
    return nullptr;
}

}  // namespace

TAuthorManageForm::TAuthorManageForm(QWidget* parent, TLibrarySession& session) : QDialog(parent), session_(session) {
    setObjectName("AuthorManageForm");
    rows_.RowClass = &TAuthorListObject::Class;
    auto* layout = new QVBoxLayout(this);
    ChoicePanel = new QLabel(this);
    ChoicePanel->setObjectName("ChoicePanel");
    ChoicePanel->setStyleSheet("background: #ffe9a8; padding: 4px");
    ChoicePanel->hide();
    layout->addWidget(ChoicePanel);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto* filters = new QHBoxLayout;
    FilterLabel = new QLabel(left);
    FilterEdit = new QLineEdit(left);
    FilterEdit->setClearButtonEnabled(true);
    FilterEdit->setMinimumWidth(140);  // room for a name, beside the combo and the check box
    FilterLabel->setBuddy(FilterEdit);
    filters->addWidget(FilterLabel);
    FilterCombo = new QComboBox(left);
    ExtFilterCheck = new QCheckBox(left);
    filters->addWidget(FilterEdit, 1);
    filters->addWidget(FilterCombo);
    filters->addWidget(ExtFilterCheck);
    leftLayout->addLayout(filters);
    AuthorsGrid = new TSVGrid(left);
    AuthorsGrid->setObjectName("AuthorsGrid");
    AuthorsGrid->setAcceptDrops(true);
    AuthorsGrid->viewport()->setAcceptDrops(true);
    AuthorsGrid->viewport()->installEventFilter(this);
    leftLayout->addWidget(AuthorsGrid, 1);
    auto* strip = new QHBoxLayout;
    CountLabel = new QLabel(left);
    PlusButton = new QPushButton("+", left);
    MinusButton = new QPushButton("-", left);
    strip->addWidget(CountLabel, 1);
    strip->addWidget(PlusButton);
    strip->addWidget(MinusButton);
    leftLayout->addLayout(strip);

    auto* right = new QWidget(splitter);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    NamesGroup = new QGroupBox(right);
    auto* namesLayout = new QVBoxLayout(NamesGroup);
    ANamesGrid = new QTableWidget(NamesGroup);
    ANamesGrid->setObjectName("ANamesGrid");
    ANamesGrid->setColumnCount(9);
    ANamesGrid->verticalHeader()->setDefaultSectionSize(20);
    ANamesGrid->installEventFilter(this);
    ANamesGrid->viewport()->installEventFilter(this);
    // Rows are reordered by dragging their header: the author's spellings take that order.
    ANamesGrid->verticalHeader()->setSectionsMovable(true);
    connect(ANamesGrid->verticalHeader(), &QHeaderView::sectionMoved, this, [this] {
        if (!busy_) QTimer::singleShot(0, this, &TAuthorManageForm::ReorderFromGrid);
    });
    ANamesGrid->viewport()->setAcceptDrops(true);
    namesLayout->addWidget(ANamesGrid);
    rightLayout->addWidget(NamesGroup, 2);
    SynonymsGroup = new QGroupBox(right);
    auto* synonymsLayout = new QVBoxLayout(SynonymsGroup);
    AuthorControl = new QTabWidget(SynonymsGroup);
    AuthorControl->setObjectName("AuthorControl");
    AliasesGrid = new QTableWidget(AuthorControl);
    AliasesGrid->setObjectName("AliasesGrid");
    AliasesGrid->setColumnCount(kNameColumns);
    AliasesGrid->installEventFilter(this);
    AuthorControl->addTab(AliasesGrid, QString());
    AuthorControl->addTab(new QWidget(AuthorControl), QString());
    AuthorControl->widget(0)->setObjectName("SynTab");
    AuthorControl->widget(1)->setObjectName("AddInfoTab");
    synonymsLayout->addWidget(AuthorControl);
    rightLayout->addWidget(SynonymsGroup, 1);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);
    AddOkCancelRow(this, layout, OkBtn, CancelBtn);

    addedLater_ = new QTimer(this);
    addedLater_->setSingleShot(true);
    addedLater_->setInterval(500);
    // The user stays on the author they were on.
    connect(addedLater_, &QTimer::timeout, this, [this] { OpenFor(author_); });
    FilterTimer = new QTimer(this);
    FilterTimer->setSingleShot(true);
    FilterTimer->setInterval(500);
    connect(FilterTimer, &QTimer::timeout, this, [this] {
        rows_.Stale = true;
        Rebuild();
    });
    auto restart = [this] {
        if (!busy_) FilterTimer->start();
    };
    connect(FilterEdit, &QLineEdit::textChanged, this, restart);
    connect(FilterCombo, &QComboBox::currentIndexChanged, this, restart);
    connect(ExtFilterCheck, &QCheckBox::toggled, this, restart);
    connect(AuthorsGrid, &TSVGrid::SelectionChanged, this, &TAuthorManageForm::ShowAuthor);
    connect(AuthorsGrid, &TSVGrid::DataChanged, this, &TAuthorManageForm::ShowAuthor);
    connect(ANamesGrid, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (!busy_ && column >= 1 && column <= kNameColumns) SpellingEdited(row);
    });
    connect(AliasesGrid, &QTableWidget::cellChanged, this, [this] {
        if (!busy_) SynonymsEdited();
    });
    auto guarded = [this](void (TAuthorManageForm::*command)()) {
        return [this, command] {
            try {
                (this->*command)();
            } catch (const std::exception& e) {
                Dialogs::Error(this, ToQ(e.what()));
            }
        };
    };
    // The authors grid's menu: delete the selected authors (also Ctrl+Delete), and the columns.
    auto* menu = new QMenu(this);
    QAction* deleteAuthor =
        menu->addAction(QString::fromUtf8("Удалить автора"), this, guarded(&TAuthorManageForm::DeleteAuthors));
    deleteAuthor->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    deleteAuthor->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    AuthorsGrid->addAction(deleteAuthor);
    QMenu* columns = menu->addMenu(Msg(rsColumns));
    AuthorsGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(AuthorsGrid, &QWidget::customContextMenuRequested, this, [this, menu, columns](const QPoint& pos) {
        AuthorsGrid->FillColumnsMenu(columns);
        menu->popup(AuthorsGrid->viewport()->mapToGlobal(pos));
    });
    connect(PlusButton, &QPushButton::clicked, this, guarded(&TAuthorManageForm::AddAuthor));
    connect(MinusButton, &QPushButton::clicked, this, guarded(&TAuthorManageForm::DeleteAuthors));
    connect(&session_, &TLibrarySession::BookChanged, this, [this] { AuthorsGrid->viewport()->update(); });
    connect(&session_, &TLibrarySession::AuthorChanged, this, &TAuthorManageForm::AuthorChanged);
    connect(&session_.Options(), &TOptions::languageChanged, this, &TAuthorManageForm::Recaption);
    placement_ = new TIniPlacement(this, session_.Options().Store(), "TAuthorManageForm");
    AuthorsGrid->AttachPlacement(placement_);
    placement_->AddValue(
        "Panel1_Width", [splitter] { return std::to_string(splitter->sizes().value(0)); },
        [splitter](const std::string& text) {
            const int width = QString::fromStdString(text).toInt();
            if (width > 0) splitter->setSizes({width, 400});
        });
    resize(980, 560);
    placement_->Restore();
    AuthorsGrid->SetData(&rows_);
    Recaption();
    ready_ = true;
}

TAuthorManageForm::~TAuthorManageForm() {
    SavePlacementQuietly(placement_);
    AuthorsGrid->SetData(nullptr);
}

void TAuthorManageForm::Recaption() {
    setWindowTitle(Msg(rsAuthorsListCaption));
    OkBtn->setText(Msg(rsOk));
    CancelBtn->setText(Msg(rsCancel));
    ExtFilterCheck->setText(Msg(rsExtendedFilter));
    FilterLabel->setText(Msg(rsFilter));
    FilterEdit->setPlaceholderText(Msg(rsFilter));
    NamesGroup->setTitle(Msg(rsAInfoGroupCapt));
    NamesGroup->setToolTip(Msg(rsAInfoGroupHint).replace("\r\n", "\n"));
    SynonymsGroup->setTitle(Msg(rsAuthorSynCapt));
    ANamesGrid->setHorizontalHeaderLabels({QString(), Msg(rsAuthorFirstName), Msg(rsAuthorMiddleName),
                                           Msg(rsAuthorLastName), Msg(rsAuthorNickName), Msg(rsAuthorLinkCount),
                                           Msg(rsAuthorBookCount), Msg(rsAuthorTransCount)});
    ANamesGrid->setColumnCount(9);
    ANamesGrid->setHorizontalHeaderItem(8, new QTableWidgetItem(Msg(rsAuthorDesCount)));
    AliasesGrid->setHorizontalHeaderLabels(
        {Msg(rsAuthorFirstName), Msg(rsAuthorMiddleName), Msg(rsAuthorLastName), Msg(rsAuthorNickName)});
    AuthorControl->setTabText(0, " " + Msg(rsAuthorSynTab) + " ");
    AuthorControl->setTabText(1, " " + Msg(rsAuthorAddInfo) + " ");
    const bool blocked = FilterCombo->blockSignals(true);
    const int index = FilterCombo->currentIndex();
    FilterCombo->clear();
    FilterCombo->addItem(Msg(rsEverywhereFltItem), 0);
    for (int c = 0; c < TAuthorListObject::Class.ColumnCount(); ++c)
        FilterCombo->addItem(ToQ(TAuthorListObject::Class.ColumnCaption(c)).trimmed(), 100 + c);
    FilterCombo->setCurrentIndex(std::max(index, 0));
    FilterCombo->blockSignals(blocked);
}

bool TAuthorManageForm::CanEdit() const {
    return session_.Options().CanEdit();
}

void TAuthorManageForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (choice_ && AskOnShow) QTimer::singleShot(0, this, &TAuthorManageForm::ShowChoice);
}

// --- the author list ---

void TAuthorManageForm::Rebuild() {
    if (choice_) return;  // choice mode keeps its candidates
    TCatalogueGuard guard;
    TListFilter filter;
    if (FilterCombo->currentIndex() >= 0) {
        filter.Text = FromQ(FilterEdit->text());
        const int tag = FilterCombo->currentData().toInt();
        filter.Column = tag >= 100 ? tag - 100 : -1;
        filter.Extended = ExtFilterCheck->isChecked();
    }
    const std::string text = filter.SearchText();
    TAuthorList& authors = session_.Library().Authors;
    rows_.BeginUpdate();
    rows_.Clear();
    for (size_t i = 0; i < authors.Count(); ++i) {
        auto row = std::make_unique<TAuthorListObject>(authors.Author(i));
        if (!filter.Active() || row->Matches(filter.Column, filter.Extended, text)) rows_.Add(std::move(row));
    }
    rows_.Fresh = true;
    rows_.Stale = false;
    rows_.Changed(kRowsChanged);
    rows_.EndUpdate();
    CountLabel->setText("  " + Msg(rsAuthorsCnt) + ": " + QString::number(rows_.Count()));
    const bool edit = CanEdit();
    for (QWidget* w :
         {static_cast<QWidget*>(OkBtn), static_cast<QWidget*>(PlusButton), static_cast<QWidget*>(MinusButton)})
        w->setEnabled(edit || (w == OkBtn && choice_));
}

void TAuthorManageForm::OpenFor(const TAuthorInfo* author) {
    rows_.Stale = true;
    Rebuild();
    for (int32_t i = 0; i < rows_.Count(); ++i)
        if (rows_.Get(i)->Entity() == author) {
            AuthorsGrid->SelectOnlyRow(i);
            AuthorsGrid->SetCurrentIndex(i);
        }
    ShowAuthor();
}

void TAuthorManageForm::SetChoice(const TBookInfo* book, uint8_t role, const std::vector<TAuthorName*>& candidates) {
    choice_ = true;
    choiceBook_ = book;
    choiceRole_ = role;
    candidates_ = candidates;
    busy_ = true;
    FilterEdit->setText(Msg(rsListItem));
    busy_ = false;
    rows_.BeginUpdate();
    rows_.Clear();
    std::vector<const TAuthorInfo*> seen;
    for (TAuthorName* spelling : candidates) {
        if (!spelling || std::find(seen.begin(), seen.end(), spelling->Author) != seen.end()) continue;
        seen.push_back(spelling->Author);
        rows_.Add(std::make_unique<TAuthorListObject>(spelling->Author));
    }
    rows_.Fresh = true;
    rows_.Changed(kRowsChanged);
    rows_.EndUpdate();
    OkBtn->setEnabled(true);
    // The question waits on this window: nothing it lists may go meanwhile.
    PlusButton->setEnabled(false);
    MinusButton->setEnabled(false);
    if (!candidates.empty()) SelectSpelling(candidates.front());
}

void TAuthorManageForm::ShowChoicePanel() {
    if (!choiceBook_) return;
    const std::string name = candidates_.empty() ? std::string() : candidates_.front()->DisplayName();
    const int first = choiceRole_ == 2 || choiceRole_ == 4 ? rsSelTranslator1
                      : choiceRole_ == 5                   ? rsSelDesigner1
                                                           : rsSelAuthor1;
    ChoicePanel->setText(" " + ToQ(choiceBook_->FileNameInFolder()) + "  (" + Msg(first + 1) + ": " + ToQ(name) + ")");
    ChoicePanel->show();
}

void TAuthorManageForm::ShowChoice() {
    if (!choiceBook_) return;
    // "Ivan Petrov (nick)", the role's words, the book: what the question is about.
    const std::string name = candidates_.empty() ? std::string() : candidates_.front()->DisplayName();
    const int first = choiceRole_ == 2 || choiceRole_ == 4 ? rsSelTranslator1
                      : choiceRole_ == 5                   ? rsSelDesigner1
                                                           : rsSelAuthor1;
    ShowChoicePanel();
    Dialogs::Information(
        this, Msg(rsSelAuthorCaption),
        ToQ(FormatMessageText(MessageText(rsSelAuthorText), {choiceBook_->FullPath(), MessageText(first), name})));
}

void TAuthorManageForm::SelectSpelling(const TAuthorName* spelling) {
    if (!spelling) return;
    for (int32_t i = 0; i < rows_.Count(); ++i)
        if (rows_.Get(i)->Entity() == spelling->Author) {
            AuthorsGrid->SelectOnlyRow(i);
            AuthorsGrid->SetCurrentIndex(i);
        }
    ShowAuthor();
    for (size_t r = 0; r < spellings_.size(); ++r)
        if (spellings_[r] == spelling) ANamesGrid->setCurrentCell(static_cast<int>(r), 1);
}

TAuthorName* TAuthorManageForm::SelectedSpelling() const {
    const int row = ANamesGrid->currentRow();
    return row >= 0 && row < static_cast<int>(spellings_.size()) ? spellings_[static_cast<size_t>(row)] : nullptr;
}

void TAuthorManageForm::ShowAuthor() {
    const TListObject* row = AuthorsGrid->CurrentObject();
    author_ = row && !AuthorsGrid->IsDoomed(row)
                  ? const_cast<TAuthorInfo*>(static_cast<const TAuthorInfo*>(row->Entity()))
                  : nullptr;
    if (author_ && author_->AuthorList != &session_.Library().Authors) author_ = nullptr;  // the placeholder
    FillSpellings();
    FillSynonyms();
}

void TAuthorManageForm::FillSpellings() {
    busy_ = true;
    TCatalogueGuard guard;
    spellings_.clear();
    const bool edit = CanEdit();
    const size_t count = author_ ? author_->Count() : 0;
    ANamesGrid->setRowCount(static_cast<int>(std::max<size_t>(count, 1)));
    ANamesGrid->clearContents();
    for (size_t i = 0; i < std::max<size_t>(count, 1); ++i) {
        TAuthorName* s = i < count ? author_->Name(i) : nullptr;
        spellings_.push_back(s);
        const int r = static_cast<int>(i);
        ANamesGrid->setItem(r, 0, Cell(QString(), false));
        const std::string parts[] = {s ? s->FirstName() : "", s ? s->MiddleName() : "", s ? s->LastName() : "",
                                     s ? s->NickName() : ""};
        for (int c = 0; c < kNameColumns; ++c)
            ANamesGrid->setItem(r, c + 1, Cell(ToQ(parts[c]), edit));
        ANamesGrid->setItem(r, 5, Cell(s ? QString::number(s->Links.Count()) : QString(), false));
        ANamesGrid->setItem(r, 6, Cell(s ? QString::number(s->CountByRoles(1u << 1 | 1u << 3)) : QString(), false));
        ANamesGrid->setItem(r, 7, Cell(s ? QString::number(s->CountByRoles(1u << 2 | 1u << 4)) : QString(), false));
        ANamesGrid->setItem(r, 8, Cell(s ? QString::number(s->CountByRoles(1u << 5)) : QString(), false));
    }
    busy_ = false;
}

void TAuthorManageForm::FillSynonyms() {
    busy_ = true;
    TCatalogueGuard guard;
    size_t rows = 1;
    for (int part = 0; part < kNameColumns && author_; ++part)
        rows = std::max(rows, author_->Synonyms(static_cast<TAuthorInfo::TNamePart>(part)).size());
    AliasesGrid->setRowCount(static_cast<int>(rows));
    AliasesGrid->clearContents();
    for (int part = 0; part < kNameColumns; ++part) {
        const auto* list = author_ ? &author_->Synonyms(static_cast<TAuthorInfo::TNamePart>(part)) : nullptr;
        for (size_t r = 0; r < rows; ++r)
            AliasesGrid->setItem(static_cast<int>(r), part,
                                 Cell(list && r < list->size() ? ToQ((*list)[r]) : QString(), CanEdit()));
    }
    busy_ = false;
}

// --- editing ---

void TAuthorManageForm::SpellingEdited(int row) {
    if (!CanEdit() || row < 0 || row >= static_cast<int>(spellings_.size())) return;
    std::string parts[kNameColumns];
    bool empty = true;
    for (int c = 0; c < kNameColumns; ++c) {
        parts[c] = TrimBlanks(FromQ(ANamesGrid->item(row, c + 1) ? ANamesGrid->item(row, c + 1)->text() : QString()));
        empty = empty && parts[c].empty();
    }
    TAuthorName* spelling = spellings_[static_cast<size_t>(row)];
    TCatalogueGuard guard;
    TAuthorList& list = session_.Library().Authors;
    if (empty) {
        // An emptied spelling without books goes; one with books stays.
        if (spelling && spelling->Links.Empty()) DeleteSpelling(row);
        return;
    }
    bool added = false;
    if (!spelling) {
        if (!author_) {
            QApplication::beep();
            FillSpellings();
            return;
        }
        spelling = author_->AppendName();
        spellings_[static_cast<size_t>(row)] = spelling;
        added = true;
    }
    spelling->SetParts(parts[0], parts[1], parts[2], parts[3]);
    list.PostNotification(spelling, added ? TAuthorInfo::kNameAdded : TAuthorInfo::kNameChanged);
}

void TAuthorManageForm::DeleteSpelling(int row) {
    if (!CanEdit() || choice_ || row < 0 || row >= static_cast<int>(spellings_.size())) return;
    TAuthorName* spelling = spellings_[static_cast<size_t>(row)];
    if (!spelling || !author_) return;
    TCatalogueGuard guard;
    author_->DeleteName(spelling);  // raises rsErrCannotDeleteName while it has books
    spellings_[static_cast<size_t>(row)] = nullptr;
    QTimer::singleShot(0, this, &TAuthorManageForm::FillSpellings);
}

void TAuthorManageForm::ReorderFromGrid() {
    if (!author_ || busy_) return;
    std::vector<TAuthorName*> order;
    QHeaderView* header = ANamesGrid->verticalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int row = header->logicalIndex(visual);
        if (row >= 0 && row < static_cast<int>(spellings_.size()) && spellings_[static_cast<size_t>(row)])
            order.push_back(spellings_[static_cast<size_t>(row)]);
    }
    if (CanEdit()) {
        TCatalogueGuard guard;
        if (author_->ReorderNames(order))
            session_.Library().Authors.PostNotification(author_, TAuthorInfo::kChanged);  // one notice
        else
            QApplication::beep();
    }
    // The grid shows the author's order again, rows in their plain places.
    busy_ = true;
    for (int visual = 0; visual < header->count(); ++visual)
        header->moveSection(header->visualIndex(visual), visual);
    busy_ = false;
    FillSpellings();
}

void TAuthorManageForm::SynonymsEdited() {
    if (!CanEdit() || !author_) return;
    TCatalogueGuard guard;
    for (int part = 0; part < kNameColumns; ++part) {
        std::vector<std::string> list;
        for (int r = 0; r < AliasesGrid->rowCount(); ++r)
            if (const QTableWidgetItem* item = AliasesGrid->item(r, part))
                if (const std::string text = TrimBlanks(FromQ(item->text())); !text.empty()) list.push_back(text);
        author_->SetSynonyms(static_cast<TAuthorInfo::TNamePart>(part), std::move(list));
    }
    session_.Library().Authors.PostNotification(author_, TAuthorInfo::kChanged);
}

void TAuthorManageForm::AddAuthor() {
    if (!CanEdit()) return;
    TCatalogueGuard guard;
    TAuthorInfo* author = session_.Library().Authors.NewAuthor(true);
    rows_.Fresh = false;
    rows_.Add(std::make_unique<TAuthorListObject>(author));
    for (int32_t i = 0; i < rows_.Count(); ++i)
        if (rows_.Get(i)->Entity() == author) {
            AuthorsGrid->SelectOnlyRow(i);
            AuthorsGrid->SetCurrentIndex(i);
        }
    ShowAuthor();
}

void TAuthorManageForm::DeleteAuthors() {
    if (!CanEdit() || choice_) return;
    std::vector<TAuthorInfo*> authors;
    for (TListObject* row : AuthorsGrid->SelectedList()) {
        auto* author = const_cast<TAuthorInfo*>(static_cast<const TAuthorInfo*>(row->Entity()));
        if (author->AuthorList == &session_.Library().Authors) authors.push_back(author);
    }
    if (authors.empty()) return;
    TCatalogueGuard guard;
    session_.Library().Authors.DeleteAuthors(authors);  // all are checked before any goes
}

void TAuthorManageForm::MoveSpellingTo(TAuthorName* spelling, TAuthorInfo* author) {
    if (!CanEdit() || !spelling || !author || spelling->Author == author) return;
    TCatalogueGuard guard;
    TAuthorInfo* old = spelling->Author;
    TAuthorName::MoveToAuthor(spelling, author);
    DropIfEmptied(old);
}

void TAuthorManageForm::DropIfEmptied(TAuthorInfo* author) {
    // A join leaves nothing behind: an author without books is no author any more.
    if (author && (author->Count() == 0 || author->LinkCount() <= 0))
        session_.Library().Authors.DeleteAuthors({author});
}

void TAuthorManageForm::MergeSpellingInto(TAuthorName* spelling, TAuthorName* target) {
    if (!CanEdit() || !spelling || !target || spelling == target) return;
    const QString text =
        ToQ(FormatMessageText(MessageText(rsConfirmLinkMove), {spelling->DisplayName(), target->DisplayName()}));
    if (Dialogs::AskYesNoCancel(this, Msg(rsConfirmation), text) != Dialogs::TAnswer::Yes) return;
    TCatalogueGuard guard;
    TAuthorInfo* old = spelling->Author;
    TAuthorName::MergeInto(spelling, target);
    if (old != target->Author) DropIfEmptied(old);
}

// --- notices, keys, drags ---

void TAuthorManageForm::AuthorChanged(TAuthorChange kind, const void* object) {
    if (kind == TAuthorChange::Deleted) {
        // Found by identity; its row goes in one pass with any others.
        AuthorsGrid->RemoveEntityLater(object);
        if (object == author_) {
            author_ = nullptr;
            QTimer::singleShot(0, this, &TAuthorManageForm::ShowAuthor);
        }
        return;
    }
    if (kind == TAuthorChange::Added) {
        // An import adds many: the list is built again once for all that arrive meanwhile.
        if (!choice_ && !addedLater_->isActive()) addedLater_->start();
        return;
    }
    AuthorsGrid->viewport()->update();
    QTimer::singleShot(0, this, &TAuthorManageForm::ShowAuthor);
}

bool TAuthorManageForm::eventFilter(QObject* watched, QEvent* event) {
    if (!ready_) return QDialog::eventFilter(watched, event);
    // The spelling grid's keys: Down on the last row adds one; Ctrl+Delete deletes a spelling.
    if (watched == ANamesGrid && event->type() == QEvent::KeyPress && CanEdit()) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int row = ANamesGrid->currentRow();
        if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier && row == ANamesGrid->rowCount() - 1 &&
            (SelectedSpelling() || (ANamesGrid->item(row, 1) && !ANamesGrid->item(row, 1)->text().isEmpty()))) {
            ANamesGrid->insertRow(row + 1);
            spellings_.push_back(nullptr);
            ANamesGrid->setCurrentCell(row + 1, 1);
            return true;
        }
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            try {
                DeleteSpelling(row);
            } catch (const std::exception& e) {
                Dialogs::Error(this, ToQ(e.what()));
            }
            return true;
        }
    }
    // The synonym grid grows the same way: Down on a last row that holds a synonym adds a row.
    if (watched == AliasesGrid && event->type() == QEvent::KeyPress && CanEdit()) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int row = AliasesGrid->currentRow();
        bool filled = false;
        for (int c = 0; c < AliasesGrid->columnCount() && row >= 0; ++c)
            filled = filled || (AliasesGrid->item(row, c) && !AliasesGrid->item(row, c)->text().trimmed().isEmpty());
        if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier && row == AliasesGrid->rowCount() - 1 &&
            filled) {
            busy_ = true;
            AliasesGrid->insertRow(row + 1);
            for (int c = 0; c < AliasesGrid->columnCount(); ++c)
                AliasesGrid->setItem(row + 1, c, Cell(QString(), true));
            busy_ = false;
            AliasesGrid->setCurrentCell(row + 1, std::max(AliasesGrid->currentColumn(), 0));
            return true;
        }
    }
    // A spelling row pressed and moved starts a drag of that spelling.
    if (watched == ANamesGrid->viewport() && event->type() == QEvent::MouseMove && CanEdit()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if ((mouse->buttons() & Qt::LeftButton) && SelectedSpelling()) {
            auto* drag = new QDrag(this);
            auto* mime = new QMimeData;
            mime->setData(kSpellingMime, QByteArray::number(reinterpret_cast<quintptr>(SelectedSpelling())));
            drag->setMimeData(mime);
            drag->exec(Qt::MoveAction);
            return true;
        }
    }
    const bool overAuthors = watched == AuthorsGrid->viewport(), overNames = watched == ANamesGrid->viewport();
    if ((overAuthors || overNames) &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        TAuthorName* spelling =
            drop->mimeData()->hasFormat(kSpellingMime)
                ? FindSpelling(session_.Library().Authors, drop->mimeData()->data(kSpellingMime).toULongLong())
                : nullptr;
        if (!spelling) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop) {
            const QPoint at = drop->position().toPoint();
            try {
                if (overAuthors) {
                    const TListObject* row = AuthorsGrid->ObjectAt(AuthorsGrid->rowAt(at.y()));
                    if (row)
                        MoveSpellingTo(spelling,
                                       const_cast<TAuthorInfo*>(static_cast<const TAuthorInfo*>(row->Entity())));
                } else {
                    const int row = ANamesGrid->rowAt(at.y());
                    if (row >= 0 && row < static_cast<int>(spellings_.size()))
                        MergeSpellingInto(spelling, spellings_[static_cast<size_t>(row)]);
                }
            } catch (const std::exception& e) {
                Dialogs::ErrorLater(this, ToQ(e.what()));
            }
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
