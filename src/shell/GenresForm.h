#pragma once

#include <QDialog>
#include <QTreeWidget>
#include <unordered_map>

#include "shell/LibrarySession.h"

class QAction;
class QMenu;
class QPushButton;
class TBookGenre;
class TIniPlacement;
class TLibrarySession;

// The tree widget of the genre and series windows: drags carry the entity's address as an id
// that the drop looks up in the catalogue again, so a drop never follows a freed entity.
class TEntityTree final : public QTreeWidget {
    Q_OBJECT

public:
    TEntityTree(const char* mime, QWidget* parent);
    // The drop: the id dragged (0 when none), the item under the pointer, Alt held.
    std::function<void(quintptr id, QTreeWidgetItem* target, bool alt)> Dropped;
    std::function<bool(quintptr id, QTreeWidgetItem* target)> Accepts;
    std::function<quintptr(QTreeWidgetItem* item)> IdOf;

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    quintptr DraggedId(const QDropEvent* event) const;
    const char* mime_;
};

// The genre tree of the catalogue: new, delete, rename in place, hide, move and join by drag
// and drop. Every change goes to the catalogue at once; OK and Cancel only close the window
// (a picker reads SelectedGenre after OK).
class TGenresForm final : public QDialog {
    Q_OBJECT

public:
    TGenresForm(QWidget* parent, TLibrarySession& session);
    ~TGenresForm() override;

    void Fill();
    void SelectGenre(const TBookGenre* genre);
    TBookGenre* SelectedGenre() const;
    QTreeWidgetItem* ItemOf(const TBookGenre* genre) const;

    // The menu's commands.
    void NewGenre();
    void DeleteSelected();
    void ToggleHidden();
    // The built-in genre tree into the library, bare known codes named.
    void AddBuiltIn();
    // What a drop does: Alt joins the dragged genre's books into the target (a target is
    // needed), otherwise the dragged genre becomes the target's (or the root's) last child.
    void DropGenre(TBookGenre* dragged, TBookGenre* target, bool alt);
    void Recaption();

    TEntityTree* GenresTree;
    QMenu* GenresMenu;
    QAction* NewItem;
    QAction* DeleteItem;
    QAction* Properties1;
    QAction* HiddenItem;
    QAction* BuiltInItem;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTreeWidgetItem* AddItem(TBookGenre* genre, QTreeWidgetItem* parent);
    void Forget(QTreeWidgetItem* item);
    void GenreChanged(TEntityChange kind, const TBookGenre* genre);
    TBookGenre* FindGenre(quintptr id) const;

    TLibrarySession& session_;
    std::unordered_map<const TBookGenre*, QTreeWidgetItem*> items_;
    bool filled_ = false;
    bool creating_ = false;
    bool filling_ = false;
    TIniPlacement* placement_;
};
