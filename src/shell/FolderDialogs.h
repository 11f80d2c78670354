#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeView;
class TBookFolder;
class TFolderTreeModel;
class TSVD;
class TLibrarySession;

// The properties of a catalogue folder or mount point: a mount point's caption and directory
// (changed without touching the disk), and the read-only mark.
class TFolderPropertiesForm final : public QDialog {
    Q_OBJECT

public:
    TFolderPropertiesForm(QWidget* parent, TLibrarySession& session, TBookFolder* folder);
    // What OK does; raises when the new directory is refused.
    void Apply();

    QLineEdit* NameEdit;
    QLineEdit* PathEdit;
    QPushButton* BrowseButton;
    QCheckBox* ReadOnlyCheck;

private:
    TLibrarySession& session_;
    TBookFolder* folder_;
};

// True when the properties were changed (OK). Errors are shown and keep the dialog open.
bool EditFolderProperties(QWidget* parent, TLibrarySession& session, TBookFolder* folder);

// A catalogue folder for the duplicate search, starting at the deepest folder on start's path;
// the start path when cancelled.
class TMPDirTreeForm final : public QDialog {
    Q_OBJECT

public:
    TMPDirTreeForm(QWidget* parent, TSVD& library, const QString& start);
    // The chosen folder's path, or the start path.
    QString Chosen() const;

    QTreeView* Tree;

private:
    TFolderTreeModel* model_;
    QString start_;
};

QString PickCatalogueFolder(QWidget* parent, TSVD& library, const QString& start);
