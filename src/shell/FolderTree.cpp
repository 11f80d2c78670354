#include "shell/FolderTree.h"

#include <QAction>
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/ListObjects.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "display/ui/SVGrid.h"
#include "scan/Resync.h"
#include "settings/LanguageFiles.h"
#include "settings/ui/QtText.h"
#include "shell/BookSelection.h"
#include "shell/Dialogs.h"
#include "shell/FolderDialogs.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

namespace {

constexpr const char* kFolderMime = "application/x-shelvara-folder";
constexpr const char* kRowsMime = "application/x-shelvara-rows";

QString NameOf(const TBookFolder* folder) {
    return ToQ(folder->DisplayName());
}

bool IsMountPoint(const TBookFolder* folder) {
    return folder && !folder->Parent;
}

bool Missing(const TBookFolder* folder) {
    return folder->Flags & TBookFolder::kMissing;
}

// A folder of the library given by its address, or null when no folder of it has that address
// (the drag came from another window and the folder went meanwhile).
TBookFolder* FindFolder(TSVD& library, quintptr address) {
    std::vector<TBookFolder*> pending;
    for (const auto& mount : library.MountPoints)
        pending.push_back(mount.get());
    while (!pending.empty()) {
        TBookFolder* folder = pending.back();
        pending.pop_back();
        if (reinterpret_cast<quintptr>(folder) == address) return folder;
        for (size_t i = 0; i < folder->FolderCount(); ++i)
            pending.push_back(folder->Folder(i));
    }
    return nullptr;
}

}  // namespace

// --- the model ---

TFolderTreeModel::TFolderTreeModel(TSVD& library, QObject* parent) : QAbstractItemModel(parent), library_(library) {
    Reset();
}

TFolderTreeModel::~TFolderTreeModel() = default;

void TFolderTreeModel::Reset() {
    beginResetModel();
    roots_.clear();
    nodes_.clear();
    {
        TCatalogueGuard guard;
        for (const auto& mount : library_.MountPoints) {
            mount->Exists();  // the missing mark is current when the node appears
            auto node = std::make_unique<TNode>();
            node->Folder = mount.get();
            nodes_[mount.get()] = node.get();
            roots_.push_back(std::move(node));
        }
        std::sort(roots_.begin(), roots_.end(), [](const auto& a, const auto& b) {
            return NameOf(a->Folder).compare(NameOf(b->Folder), Qt::CaseInsensitive) < 0;
        });
        Renumber(roots_, 0);
    }
    endResetModel();
}

void TFolderTreeModel::Clear() {
    beginResetModel();
    roots_.clear();
    nodes_.clear();
    endResetModel();
}

std::vector<std::unique_ptr<TFolderTreeModel::TNode>>& TFolderTreeModel::Siblings(TNode* parent) {
    return parent ? parent->Children : roots_;
}

void TFolderTreeModel::Renumber(std::vector<std::unique_ptr<TNode>>& siblings, size_t from) {
    for (size_t i = from; i < siblings.size(); ++i)
        siblings[i]->Row = static_cast<int>(i);
}

int TFolderTreeModel::RowOf(const TNode* node) const {
    return node->Row;
}

QModelIndex TFolderTreeModel::IndexOfNode(const TNode* node) const {
    if (!node) return {};
    const int row = RowOf(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<TNode*>(node));
}

QModelIndex TFolderTreeModel::IndexOf(const TBookFolder* folder) const {
    const auto it = nodes_.find(folder);
    return it == nodes_.end() ? QModelIndex() : IndexOfNode(it->second);
}

TBookFolder* TFolderTreeModel::FolderAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TNode*>(index.internalPointer())->Folder : nullptr;
}

QModelIndex TFolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const auto& siblings = parent.isValid() ? static_cast<TNode*>(parent.internalPointer())->Children : roots_;
    if (row >= static_cast<int>(siblings.size())) return {};
    return createIndex(row, 0, siblings[static_cast<size_t>(row)].get());
}

QModelIndex TFolderTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    return IndexOfNode(static_cast<TNode*>(child.internalPointer())->Parent);
}

int TFolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(roots_.size());
    return static_cast<int>(static_cast<TNode*>(parent.internalPointer())->Children.size());
}

int TFolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TFolderTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return !roots_.empty();
    const TNode* node = static_cast<TNode*>(parent.internalPointer());
    if (node->Loaded) return !node->Children.empty();
    TCatalogueGuard guard;
    return node->Folder->FolderCount() > 0;
}

bool TFolderTreeModel::canFetchMore(const QModelIndex& parent) const {
    if (!parent.isValid()) return false;
    const TNode* node = static_cast<TNode*>(parent.internalPointer());
    TCatalogueGuard guard;
    return !node->Loaded && node->Folder->FolderCount() > 0;
}

void TFolderTreeModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid()) return;
    TNode* node = static_cast<TNode*>(parent.internalPointer());
    if (node->Loaded) return;
    std::vector<std::unique_ptr<TNode>> children;
    {
        TCatalogueGuard guard;
        for (size_t i = 0; i < node->Folder->FolderCount(); ++i) {
            auto child = std::make_unique<TNode>();
            child->Folder = node->Folder->Folder(i);
            child->Folder->Exists();
            child->Parent = node;
            children.push_back(std::move(child));
        }
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        return NameOf(a->Folder).compare(NameOf(b->Folder), Qt::CaseInsensitive) < 0;
    });
    node->Loaded = true;
    if (children.empty()) return;
    beginInsertRows(parent, 0, static_cast<int>(children.size()) - 1);
    for (auto& child : children) {
        nodes_[child->Folder] = child.get();
        node->Children.push_back(std::move(child));
    }
    Renumber(node->Children, 0);
    endInsertRows();
}

void TFolderTreeModel::Forget(TNode* node) {
    for (auto& child : node->Children)
        Forget(child.get());
    nodes_.erase(node->Folder);
}

void TFolderTreeModel::Unload(const QModelIndex& index) {
    if (!index.isValid()) return;
    TNode* node = static_cast<TNode*>(index.internalPointer());
    if (!node->Children.empty()) {
        beginRemoveRows(index, 0, static_cast<int>(node->Children.size()) - 1);
        for (auto& child : node->Children)
            Forget(child.get());
        node->Children.clear();
        endRemoveRows();
    }
    node->Loaded = false;
}

int TFolderTreeModel::SortedRow(TNode* parent, const TBookFolder* folder) {
    const auto& siblings = Siblings(parent);
    const QString name = NameOf(folder);
    const auto at = std::lower_bound(siblings.begin(), siblings.end(), name, [](const auto& node, const QString& n) {
        return NameOf(node->Folder).compare(n, Qt::CaseInsensitive) < 0;
    });
    return static_cast<int>(at - siblings.begin());
}

// A new node goes to its sorted place among its siblings: no sort of the whole tree.
void TFolderTreeModel::Insert(TNode* parent, TBookFolder* folder) {
    if (nodes_.count(folder)) return;
    folder->Exists();
    const int row = SortedRow(parent, folder);
    beginInsertRows(IndexOfNode(parent), row, row);
    auto node = std::make_unique<TNode>();
    node->Folder = folder;
    node->Parent = parent;
    nodes_[folder] = node.get();
    auto& siblings = Siblings(parent);
    siblings.insert(siblings.begin() + row, std::move(node));
    Renumber(siblings, static_cast<size_t>(row));
    endInsertRows();
}

void TFolderTreeModel::Remove(const TBookFolder* folder) {
    const auto it = nodes_.find(folder);
    if (it == nodes_.end()) return;
    TNode* node = it->second;
    const int row = RowOf(node);
    if (row < 0) return;
    beginRemoveRows(IndexOfNode(node->Parent), row, row);
    Forget(node);
    auto& siblings = Siblings(node->Parent);
    siblings.erase(siblings.begin() + row);
    Renumber(siblings, static_cast<size_t>(row));
    endRemoveRows();
}

void TFolderTreeModel::FolderChanged(TEntityChange kind, const TBookFolder* folder) {
    switch (kind) {
        case TEntityChange::Changed: {
            const QModelIndex index = IndexOf(folder);
            if (index.isValid()) emit dataChanged(index, index);  // its name, mark and colour
            break;
        }
        case TEntityChange::Moved:
        case TEntityChange::Added: {
            auto* moved = const_cast<TBookFolder*>(folder);
            if (kind == TEntityChange::Moved) Remove(folder);
            if (!moved->Parent) {
                Insert(nullptr, moved);
                break;
            }
            const auto parent = nodes_.find(moved->Parent);
            if (parent == nodes_.end()) break;
            if (parent->second->Loaded)
                Insert(parent->second, moved);
            else
                emit dataChanged(IndexOfNode(parent->second), IndexOfNode(parent->second));  // has children now
            break;
        }
        case TEntityChange::Deleted:
            Remove(folder);
            break;
        default:
            break;
    }
}

QVariant TFolderTreeModel::data(const QModelIndex& index, int role) const {
    const TBookFolder* folder = FolderAt(index);
    if (!folder) return {};
    TCatalogueGuard guard;  // a background resynchronisation may be changing the folder
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return NameOf(folder);
        case Qt::DecorationRole: {
            QStyle* style = QApplication::style();
            if (IsMountPoint(folder)) return style->standardIcon(QStyle::SP_DriveHDIcon);
            return style->standardIcon(QStyle::SP_DirIcon);
        }
        case Qt::ForegroundRole:
            if (Missing(folder)) return QColor(255, 0, 0);
            if (folder->IsReadOnly()) return QColor(128, 128, 128);
            return {};
        case Qt::ToolTipRole:
            return ToQ(folder->FullPath());
        default:
            return {};
    }
}

bool TFolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    TBookFolder* folder = FolderAt(index);
    if (role != Qt::EditRole || !folder) return false;
    try {
        if (!folder->Rename(FromQ(value.toString()))) {
            emit Failed(ToQ(FormatMessageText(MessageText(rsErrInvalidFolderName), {FromQ(value.toString())})));
            return false;
        }
    } catch (const std::exception& e) {
        emit Failed(ToQ(e.what()));
        return false;
    }
    return true;
}

Qt::ItemFlags TFolderTreeModel::flags(const QModelIndex& index) const {
    const TBookFolder* folder = FolderAt(index);
    if (!folder) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    TCatalogueGuard guard;
    if (CanEdit && CanEdit() && !folder->IsReadOnly()) flags |= Qt::ItemIsEditable;
    if (!IsMountPoint(folder) && !Missing(folder)) flags |= Qt::ItemIsDragEnabled;
    return flags;
}

QStringList TFolderTreeModel::mimeTypes() const {
    return {kFolderMime, kRowsMime};
}

QMimeData* TFolderTreeModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.isEmpty()) return nullptr;
    auto* mime = new QMimeData;
    // The folder travels by identity and is looked up in the library again on the drop.
    mime->setData(kFolderMime, QByteArray::number(reinterpret_cast<quintptr>(FolderAt(indexes.front()))));
    return mime;
}

// --- the view ---

TFolderTreeView::TFolderTreeView(TLibrarySession& session, TBookSelection& selection, QWidget* parent)
    : QTreeView(parent),
      selection_(selection),
      session_(session),
      model_(new TFolderTreeModel(session.Library(), this)) {
    model_->CanEdit = [this] { return session_.Options().CanEdit(); };
    setObjectName("MPTree");
    setModel(model_);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setAutoExpandDelay(2000);  // a collapsed folder opens when a drag rests on it
    setAutoScrollMargin(10);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QTreeView::collapsed, model_, [this](const QModelIndex& index) {
        // The children are read again on the next expansion.
        QTimer::singleShot(0, model_, [this, folder = model_->FolderAt(index)] {
            const QModelIndex again = model_->IndexOf(folder);
            if (again.isValid() && !isExpanded(again)) model_->Unload(again);
        });
    });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        // With Alt held the whole subtree opens.
        if (!(QApplication::keyboardModifiers() & Qt::AltModifier)) return;
        for (int row = 0; row < model_->rowCount(index); ++row)
            expand(model_->index(row, 0, index));
    });
    connect(model_, &TFolderTreeModel::Failed, this, [this](const QString& text) { Dialogs::ErrorLater(this, text); });
    connect(&session_, &TLibrarySession::FolderChanged, model_, &TFolderTreeModel::FolderChanged);

    menu_ = new QMenu(this);
    menu_->setObjectName("TreeMenu");
    auto guarded = [this](auto command) { return [this, command] { Dialogs::Guard(this, command); }; };
    properties_ = menu_->addAction(QString(), this, guarded([this] { Properties(); }));
    resyncMenu_ = menu_->addMenu(QString());
    for (int mode = 0; mode < 3; ++mode)
        resyncItems_[mode] = resyncMenu_->addAction(QString(), this, guarded([this, mode] { Resync(mode); }));
    newFolder_ = menu_->addAction(QString(), this, guarded([this] { NewFolder(); }));
    delete_ = menu_->addAction(QString(), this, guarded([this] { DeleteSelected(); }));
    menu_->addSeparator();
    newMountPoint_ = menu_->addAction(QString(), this, guarded([this] { NewMountPoint(); }));
    importInpx_ = menu_->addAction(QString(), this, guarded([this] { ImportInpx(); }));
    importInpx_->setObjectName("ImportInpxItem");
    cumulative_ = menu_->addAction(QString());
    cumulative_->setObjectName("CheckCumulativeItem");
    cumulative_->setCheckable(true);
    connect(cumulative_, &QAction::toggled, &selection_, &TBookSelection::SourceChanged);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PrepareMenu();
        menu_->popup(viewport()->mapToGlobal(pos));
    });
    Recaption();
}

void TFolderTreeView::Recaption() {
    properties_->setText(Msg(rsFolderProperties));
    resyncMenu_->setTitle(Msg(rsResync));
    resyncItems_[0]->setText(Msg(rsNoneResync));
    resyncItems_[1]->setText(Msg(rsLiteResync));
    resyncItems_[2]->setText(Msg(rsFullResync));
    newFolder_->setText(Msg(rsNewFolder));
    delete_->setText(Msg(rsDelete) + "...");
    newMountPoint_->setText(Msg(rsNewMountPoint));
    importInpx_->setText(Msg(rsImportInpx) + "...");
    cumulative_->setText(Msg(rsCumulative));
}

TBookFolder* TFolderTreeView::SelectedFolder() const {
    return model_->FolderAt(currentIndex());
}

void TFolderTreeView::SelectFolder(const TBookFolder* folder) {
    const QModelIndex index = model_->IndexOf(folder);
    if (index.isValid()) setCurrentIndex(index);
}

bool TFolderTreeView::Cumulative() const {
    return cumulative_->isChecked();
}

void TFolderTreeView::PrepareMenu() {
    TBookFolder* folder = SelectedFolder();
    const bool editable = folder && session_.Options().CanEdit() && !folder->IsReadOnly();
    properties_->setVisible(folder != nullptr);
    resyncMenu_->menuAction()->setVisible(folder != nullptr);
    delete_->setVisible(folder != nullptr);
    resyncMenu_->setEnabled(editable);
    delete_->setEnabled(editable);
    newFolder_->setEnabled(editable);
    // A command greyed out says why: the option that turns editing on, by its own caption.
    const QString why = !session_.Options().CanEdit() ? Msg(rsEditingOff) + " (" + Msg(rsCanEdit) + ")" : QString();
    for (QAction* action : {resyncMenu_->menuAction(), delete_, newFolder_}) {
        action->setToolTip(editable || why.isEmpty() ? action->text() : why);
        action->setStatusTip(editable ? QString() : why);
    }
    menu_->setToolTipsVisible(!why.isEmpty());
}

std::string TFolderTreeView::NextFolderName(const std::string& directory) {
    const std::string base = FromQ(Msg(rsNewFolder)) + " ";
    for (int n = 1;; ++n) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", n);
        const std::string name = base + number;
        std::error_code error;
        if (!std::filesystem::is_directory(AnsiToPath(JoinPath(directory, name)), error)) return name;
    }
}

void TFolderTreeView::NewFolder() {
    TBookFolder* folder = SelectedFolder();
    if (!folder || folder->FullPath().empty()) return;
    const std::string name = NextFolderName(folder->FullPath());
    if (!folder->CreateSubfolder(name))
        Dialogs::Error(
            this, ToQ(FormatMessageText(MessageText(rsErrCannotCreateFolder), {JoinPath(folder->FullPath(), name)})));
}

void TFolderTreeView::NewMountPoint() {
    const QString path = Dialogs::DirectoryName(this, Msg(rsFindMountPoint));
    // Selected before the scan's first notices arrive.
    if (TMountPoint* mount = session_.AddFolder(window(), path, this)) SelectFolder(mount);
}

void TFolderTreeView::ImportInpx() {
    const QString file = Dialogs::OpenFileName(this, Msg(rsImportInpx), "INPX (*.inpx);;" + Msg(rsAllFiles) + " (*)");
    if (file.isEmpty()) return;
    session_.StartInpxImport(window(), file, this);
}

void TFolderTreeView::DeleteSelected() {
    TBookFolder* folder = SelectedFolder();
    if (!folder) return;
    TSVD& library = session_.Library();
    library.CheckNoBackgroundWork();
    const int question = IsMountPoint(folder) ? rsMPDeleteConfirm : rsFldrDeleteConfirm;
    const QString text = ToQ(FormatMessageText(MessageText(question), {folder->DisplayName()}));
    if (Dialogs::AskYesNoCancel(this, Msg(rsDeleting), text) != Dialogs::TAnswer::Yes) return;
    if (auto* mount = dynamic_cast<TMountPoint*>(folder)) {
        // Only the catalogue forgets it; the disk stays as it is.
        mount->DeleteFromCatalogue();
        mount->NotifyDeleted();
        library.RemoveMountPoint(mount);
        return;
    }
    // The disk first: the nodes go as each folder's notice comes, children first, and only
    // for what was really deleted.
    folder->DeleteFolder(true);
    folder->Parent->DeleteSubfolder(folder);
}

void TFolderTreeView::Resync(int mode) {
    TBookFolder* folder = SelectedFolder();
    if (!folder) return;
    const TResyncMode modes[] = {TResyncMode::RemoveLost, TResyncMode::Update, TResyncMode::Full};
    session_.StartResync(window(), *folder, modes[std::clamp(mode, 0, 2)], this);
}

void TFolderTreeView::Properties() {
    TBookFolder* folder = SelectedFolder();
    if (!folder) return;
    if (EditFolderProperties(this, session_, folder)) {
        folder->Exists();
        viewport()->update();
    }
}

// --- drag and drop ---

bool TFolderTreeView::FolderDropAllowed(const TBookFolder* folder, const TBookFolder* target) {
    if (!folder || !target || IsMountPoint(folder) || Missing(folder) || Missing(target) || folder == target)
        return false;
    for (const TBookFolder* p = target; p; p = p->Parent)
        if (p == folder) return false;
    return true;
}

void TFolderTreeView::startDrag(Qt::DropActions actions) {
    const TBookFolder* folder = SelectedFolder();
    if (!folder || IsMountPoint(folder) || Missing(folder)) return;
    QTreeView::startDrag(actions);
}

bool TFolderTreeView::AcceptDrop(QDropEvent* event, TBookFolder*& dragged, std::vector<TBookInfo*>* books) {
    dragged = nullptr;
    TBookFolder* target = model_->FolderAt(indexAt(event->position().toPoint()));
    if (!target) return false;
    TCatalogueGuard guard;
    const QMimeData* mime = event->mimeData();
    if (mime->hasFormat(kFolderMime)) {
        dragged = FindFolder(session_.Library(), mime->data(kFolderMime).toULongLong());
        return FolderDropAllowed(dragged, target);
    }
    // Books from a book list: the rows its grid has selected.
    auto* grid = qobject_cast<TSVGrid*>(event->source());
    if (!mime->hasFormat(kRowsMime) || !grid || !grid->Data() || grid->Data()->RowClass != &TBookListObject::Class ||
        Missing(target))
        return false;
    if (books) {
        const std::vector<TListObject*> rows = grid->SelectedList();
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            if (!grid->IsDoomed(*it)) books->push_back(static_cast<TBookListObject*>(*it)->Book);
    }
    return true;
}

void TFolderTreeView::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime->hasFormat(kFolderMime) || mime->hasFormat(kRowsMime))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFolderTreeView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeView::dragMoveEvent(event);  // auto-expansion and scrolling at the edges
    TBookFolder* dragged = nullptr;
    if (AcceptDrop(event, dragged, nullptr)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TFolderTreeView::dropEvent(QDropEvent* event) {
    TBookFolder* dragged = nullptr;
    std::vector<TBookInfo*> books;
    if (!AcceptDrop(event, dragged, &books)) return event->ignore();
    TBookFolder* target = model_->FolderAt(indexAt(event->position().toPoint()));
    event->setDropAction(Qt::IgnoreAction);  // the model rows are not moved by Qt
    event->accept();
    try {
        Drop(target, dragged, books);
    } catch (const std::exception& e) {
        Dialogs::ErrorLater(this, ToQ(e.what()));
    }
}

void TFolderTreeView::Drop(TBookFolder* target, TBookFolder* folder, const std::vector<TBookInfo*>& books) {
    if (!target || (!folder && books.empty())) return;
    // Files move on the disk: a slip of the mouse is not a reason to.
    TOptions& options = session_.Options();
    if (options.AskBeforeMoving()) {
        const std::string what = folder ? folder->DisplayName() : std::to_string(books.size());
        bool remember = false;
        if (Dialogs::AskYesNoRemember(this, Msg(rsAttention), MsgWith(rsMoveFilesAsk, {what, target->DisplayName()}),
                                      remember) != Dialogs::TAnswer::Yes)
            return;
        if (remember) {
            options.SetAskBeforeMoving(false);
            options.Save();
        }
    }
    if (folder) {
        if (!FolderDropAllowed(folder, target) || !folder->MoveFolder(target)) RaiseError(rsErrCannotMoveFolder);
        return;
    }
    // From the last collected book to the first.
    for (auto it = books.rbegin(); it != books.rend(); ++it)
        (*it)->MoveToFolder(target);
}
