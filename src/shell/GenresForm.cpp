#include "shell/GenresForm.h"

#include <QApplication>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "catalogue/BookGenre.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"
#include "shell/FormParts.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

// --- the tree ---

TEntityTree::TEntityTree(const char* mime, QWidget* parent) : QTreeWidget(parent), mime_(mime) {
    setHeaderHidden(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setAutoExpandDelay(2000);  // a collapsed node opens when a drag rests on it
    setAutoScrollMargin(10);
}

QStringList TEntityTree::mimeTypes() const {
    return {mime_};
}

QMimeData* TEntityTree::mimeData(const QList<QTreeWidgetItem*>& items) const {
    if (items.isEmpty() || !IdOf) return nullptr;
    auto* mime = new QMimeData;
    mime->setData(mime_, QByteArray::number(IdOf(items.front())));
    return mime;
}

quintptr TEntityTree::DraggedId(const QDropEvent* event) const {
    return event->mimeData()->hasFormat(mime_) ? event->mimeData()->data(mime_).toULongLong() : 0;
}

void TEntityTree::dragMoveEvent(QDragMoveEvent* event) {
    QTreeWidget::dragMoveEvent(event);  // expansion after a rest, scrolling at the edges
    const quintptr id = DraggedId(event);
    if (id && Accepts && Accepts(id, itemAt(event->position().toPoint()))) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TEntityTree::dropEvent(QDropEvent* event) {
    const quintptr id = DraggedId(event);
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    if (!id || !Accepts || !Accepts(id, target)) return event->ignore();
    event->setDropAction(Qt::IgnoreAction);  // the catalogue moves, and its notice moves the items
    event->accept();
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (Dropped) Dropped(id, target, alt);
}

// --- the window ---

namespace {

constexpr const char* kGenreMime = "application/x-shelvara-genre";

void Mark(TLibrarySession& session) {
    session.Library().SetModified(true);
}

}  // namespace

TGenresForm::TGenresForm(QWidget* parent, TLibrarySession& session) : QDialog(parent), session_(session) {
    setObjectName("GenresForm");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    GenresTree = new TEntityTree(kGenreMime, this);
    GenresTree->setObjectName("GenresTree");
    GenresTree->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(GenresTree, 1);
    AddOkCancelRow(this, layout, OkBtn, CancelBtn);

    GenresMenu = new QMenu(this);
    GenresMenu->setObjectName("GenresMenu");
    auto guarded = [this](void (TGenresForm::*command)()) {
        return [this, command] { Dialogs::Guard(this, [this, command] { (this->*command)(); }); };
    };
    NewItem = GenresMenu->addAction(QString(), this, guarded(&TGenresForm::NewGenre));
    DeleteItem = GenresMenu->addAction(QString(), this, guarded(&TGenresForm::DeleteSelected));
    // Genre properties are not built: the item is made, never shown.
    Properties1 = new QAction(this);
    HiddenItem = GenresMenu->addAction(QString(), this, guarded(&TGenresForm::ToggleHidden));
    HiddenItem->setCheckable(true);
    GenresMenu->addSeparator();
    BuiltInItem = GenresMenu->addAction(QString(), this, guarded(&TGenresForm::AddBuiltIn));
    connect(GenresTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const TBookGenre* genre = SelectedGenre();
        for (QAction* item : {NewItem, DeleteItem, HiddenItem})
            item->setEnabled(genre != nullptr);
        HiddenItem->setChecked(genre && genre->IsHidden());
        GenresMenu->popup(GenresTree->viewport()->mapToGlobal(pos));
    });
    GenresTree->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    connect(GenresTree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        if (filling_) return;
        TBookGenre* genre = FindGenre(item->data(0, Qt::UserRole).value<quintptr>());
        if (!genre) return;
        const std::string code = FromQ(item->text(0));
        if (code == genre->Code) return;
        // A new code is a change the library must save, and other windows must show.
        TCatalogueGuard guard;
        genre->SetCode(code);
        Mark(session_);
        genre->Notify(TBookGenre::kChanged);
    });
    GenresTree->IdOf = [](QTreeWidgetItem* item) { return item->data(0, Qt::UserRole).value<quintptr>(); };
    GenresTree->Accepts = [this](quintptr id, QTreeWidgetItem* target) {
        TBookGenre* dragged = FindGenre(id);
        TBookGenre* onto =
            target ? FindGenre(target->data(0, Qt::UserRole).value<quintptr>()) : &session_.Library().Genres;
        if (!dragged || !onto || onto == dragged) return false;
        for (const TBookGenre* p = onto; p; p = p->Parent)
            if (p == dragged) return false;
        return true;
    };
    GenresTree->Dropped = [this](quintptr id, QTreeWidgetItem* target, bool alt) {
        try {
            DropGenre(FindGenre(id), target ? FindGenre(target->data(0, Qt::UserRole).value<quintptr>()) : nullptr,
                      alt);
        } catch (const std::exception& e) {
            Dialogs::ErrorLater(this, ToQ(e.what()));
        }
    };
    connect(&session_, &TLibrarySession::GenreChanged, this, &TGenresForm::GenreChanged);
    connect(&session_.Options(), &TOptions::languageChanged, this, &TGenresForm::Recaption);
    placement_ = new TIniPlacement(this, session_.Options().Store(), "TGenresForm");
    Recaption();
    resize(420, 560);
}

TGenresForm::~TGenresForm() {
    SavePlacementQuietly(placement_);
}

void TGenresForm::Recaption() {
    setWindowTitle(Msg(rsGenresTab));
    NewItem->setText(Msg(rsNewGenre) + "...");
    DeleteItem->setText(Msg(rsDelete) + "...");
    Properties1->setText(Msg(rsProperties) + "...");
    HiddenItem->setText(Msg(rsHidden));
    BuiltInItem->setText(Msg(rsBuiltInGenres));
    OkBtn->setText(Msg(rsOk));
    CancelBtn->setText(Msg(rsCancel));
}

void TGenresForm::showEvent(QShowEvent* event) {
    if (!placement_->Restored()) placement_->Restore();
    Fill();
    QDialog::showEvent(event);
}

TBookGenre* TGenresForm::FindGenre(quintptr id) const {
    // Known by its address only while this window has its node, which goes with its notice;
    // the address is a key here, never followed before it is found.
    const auto it = items_.find(reinterpret_cast<const TBookGenre*>(id));
    return it == items_.end() ? nullptr : const_cast<TBookGenre*>(it->first);
}

QTreeWidgetItem* TGenresForm::AddItem(TBookGenre* genre, QTreeWidgetItem* parent) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(GenresTree);
    item->setText(0, ToQ(genre->Code));
    item->setToolTip(0, ToQ(genre->RusName));
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(genre)));
    item->setIcon(0, QApplication::style()->standardIcon(QStyle::SP_FileDialogListView));
    item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    if (genre->IsHidden()) item->setForeground(0, QColor(128, 128, 128));
    items_[genre] = item;
    for (size_t i = 0; i < genre->Count(); ++i)
        AddItem(genre->Child(i), item);
    return item;
}

void TGenresForm::Fill() {
    if (filled_) return;
    filled_ = filling_ = true;
    TCatalogueGuard guard;
    GenresTree->clear();
    items_.clear();
    TBookGenre& root = session_.Library().Genres;
    for (size_t i = 0; i < root.Count(); ++i)
        AddItem(root.Child(i), nullptr);
    filling_ = false;
}

void TGenresForm::SelectGenre(const TBookGenre* genre) {
    if (!genre) return;
    Fill();
    if (QTreeWidgetItem* item = ItemOf(genre)) GenresTree->setCurrentItem(item);
}

QTreeWidgetItem* TGenresForm::ItemOf(const TBookGenre* genre) const {
    const auto it = items_.find(genre);
    return it == items_.end() ? nullptr : it->second;
}

TBookGenre* TGenresForm::SelectedGenre() const {
    QTreeWidgetItem* item = GenresTree->currentItem();
    return item ? FindGenre(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

void TGenresForm::NewGenre() {
    TBookGenre* parent = SelectedGenre();
    creating_ = true;
    TBookGenre::AddGenre(parent ? parent : &session_.Library().Genres, -1, "---=== new genre ===---", false,
                         "---=== new genre ===---", "---=== new genre ===---");
    creating_ = false;
}

void TGenresForm::DeleteSelected() {
    TBookGenre* genre = SelectedGenre();
    if (!genre) return;
    // The count covers the whole subtree: nothing goes unless all of it may go.
    if (genre->BookCount() > 0) RaiseError(rsErrCannotDeleteGenre);
    TCatalogueGuard guard;
    genre->Parent->DeleteChild(genre);
    Mark(session_);
}

void TGenresForm::ToggleHidden() {
    TBookGenre* genre = SelectedGenre();
    if (!genre) return;
    genre->Flags = static_cast<uint8_t>(genre->Flags ^ TBookGenre::kHidden);
    Mark(session_);  // kept in the library file
    if (QTreeWidgetItem* item = ItemOf(genre))
        item->setForeground(0, genre->IsHidden() ? QColor(128, 128, 128) : GenresTree->palette().text().color());
}

void TGenresForm::AddBuiltIn() {
    TCatalogueGuard guard;
    if (session_.Library().Genres.MergeBuiltIn(false) > 0) Mark(session_);
}

void TGenresForm::DropGenre(TBookGenre* dragged, TBookGenre* target, bool alt) {
    if (!dragged) return;
    TCatalogueGuard guard;
    if (alt) {
        // Joining needs a genre to join into: empty space is not one.
        if (!target) return;
        TBookGenre::MergeInto(dragged, target, false);
    } else if (!TBookGenre::MoveTo(dragged, target ? target : &session_.Library().Genres)) {
        return;
    }
    Mark(session_);
}

void TGenresForm::Forget(QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount(); ++i)
        Forget(item->child(i));
    items_.erase(FindGenre(item->data(0, Qt::UserRole).value<quintptr>()));
}

void TGenresForm::GenreChanged(TEntityChange kind, const TBookGenre* genre) {
    if (!filled_) return;
    filling_ = true;
    switch (kind) {
        case TEntityChange::Changed:
            if (QTreeWidgetItem* item = ItemOf(genre)) item->setText(0, ToQ(genre->Code));
            break;
        case TEntityChange::Moved:
        case TEntityChange::Added: {
            if (QTreeWidgetItem* old = ItemOf(genre)) {
                Forget(old);
                delete old;
            }
            if (!genre->Parent) break;
            QTreeWidgetItem* item = AddItem(const_cast<TBookGenre*>(genre), ItemOf(genre->Parent));
            if (creating_ && kind == TEntityChange::Added) {
                GenresTree->setCurrentItem(item);
                GenresTree->editItem(item);
            }
            break;
        }
        case TEntityChange::Deleted:
            if (QTreeWidgetItem* item = ItemOf(genre)) {
                Forget(item);
                delete item;
            }
            break;
        default:
            break;
    }
    filling_ = false;
}
