#pragma once

#include <functional>

#include <QAbstractItemModel>
#include <QTreeView>
#include <memory>
#include <unordered_map>
#include <vector>

#include "catalogue/CatalogueObserver.h"

class QAction;
class QMenu;
class TBookFolder;
class TBookInfo;
class TSVD;
class TBookSelection;
class TLibrarySession;
enum class TEntityChange;

// The library's folders as a tree: the mount points, and below them the catalogue folders,
// loaded when a node is expanded and dropped again when it is collapsed. A hash finds the node
// of a folder, so a notice is handled without a search. Siblings stay sorted by name.
class TFolderTreeModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    TFolderTreeModel(TSVD& library, QObject* parent = nullptr);
    ~TFolderTreeModel() override;

    // Rebuilds the roots from the library's mount points (every loaded node goes).
    void Reset();
    // No node at all (before the library is replaced).
    void Clear();
    // Drops the loaded children of a collapsed node; the next expansion reads them again.
    void Unload(const QModelIndex& index);
    TBookFolder* FolderAt(const QModelIndex& index) const;
    // The node of a folder, when it is loaded.
    QModelIndex IndexOf(const TBookFolder* folder) const;
    // Follows a folder notice: 0 changed, 1 moved, 2 added, 3 deleted.
    void FolderChanged(TEntityChange kind, const TBookFolder* folder);
    // Asked each time a name may be edited in place (the editing option).
    std::function<bool()> CanEdit;

    QModelIndex index(int row, int column, const QModelIndex& parent) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    bool hasChildren(const QModelIndex& parent) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

signals:
    // A rename failed; the message for the error box.
    void Failed(const QString& message);

private:
    struct TNode {
        TBookFolder* Folder = nullptr;
        TNode* Parent = nullptr;
        std::vector<std::unique_ptr<TNode>> Children;
        bool Loaded = false;
        int Row = 0;  // its place among its siblings, kept up to date: parent() asks for it often
    };
    static void Renumber(std::vector<std::unique_ptr<TNode>>& siblings, size_t from);

    std::vector<std::unique_ptr<TNode>>& Siblings(TNode* parent);
    int RowOf(const TNode* node) const;
    QModelIndex IndexOfNode(const TNode* node) const;
    // The place a folder's node takes among sorted siblings.
    int SortedRow(TNode* parent, const TBookFolder* folder);
    void Insert(TNode* parent, TBookFolder* folder);
    void Remove(const TBookFolder* folder);
    void Forget(TNode* node);

    TSVD& library_;
    std::vector<std::unique_ptr<TNode>> roots_;
    std::unordered_map<const TBookFolder*, TNode*> nodes_;
};

// The structure tab's tree: folders and mount points of the library, their menu (properties,
// resynchronise, new folder, delete, new mount point, contents of sub-folders), renaming in
// place, and drops of folders and of books from a book list.
class TFolderTreeView final : public QTreeView {
    Q_OBJECT

public:
    TFolderTreeView(TLibrarySession& session, TBookSelection& selection, QWidget* parent = nullptr);

    TFolderTreeModel& Model() { return *model_; }
    TBookFolder* SelectedFolder() const;
    void SelectFolder(const TBookFolder* folder);
    bool Cumulative() const;
    QAction* CumulativeItem() const { return cumulative_; }
    void Recaption();
    void PrepareMenu();

    // The commands of the menu, on the selected folder.
    void NewMountPoint();
    // "Импорт INPX...": an INPX index chosen by the user, imported in the background.
    void ImportInpx();
    void NewFolder();
    void DeleteSelected();
    void Resync(int mode);
    void Properties();
    // The name "Новая папка NNN" the next new folder in a directory gets.
    static std::string NextFolderName(const std::string& directory);
    // What a drop on target does: moves the folder under it, or else the books into it (from
    // the last to the first). Raises what the moves raise.
    void Drop(TBookFolder* target, TBookFolder* folder, const std::vector<TBookInfo*>& books);
    // Whether folder may be dropped on target (not itself, not below itself, no mount point,
    // neither missing).
    static bool FolderDropAllowed(const TBookFolder* folder, const TBookFolder* target);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions actions) override;

private:
    bool AcceptDrop(QDropEvent* event, TBookFolder*& dragged, std::vector<TBookInfo*>* books);

    TBookSelection& selection_;
    TLibrarySession& session_;
    TFolderTreeModel* model_;
    QMenu* menu_;
    QAction* properties_;
    QAction* importInpx_;
    QMenu* resyncMenu_;
    QAction* resyncItems_[3];
    QAction* newFolder_;
    QAction* delete_;
    QAction* newMountPoint_;
    QAction* cumulative_;
};
