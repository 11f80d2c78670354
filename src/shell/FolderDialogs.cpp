#include "shell/FolderDialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

#include "catalogue/BookFolder.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"
#include "shell/FolderTree.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

TFolderPropertiesForm::TFolderPropertiesForm(QWidget* parent, TLibrarySession& session, TBookFolder* folder)
    : QDialog(parent), session_(session), folder_(folder) {
    setObjectName("FolderPropertiesForm");
    setWindowTitle(Msg(rsFolderProp));
    auto* mount = dynamic_cast<TMountPoint*>(folder);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName("NameEdit");
    PathEdit = new QLineEdit(this);
    PathEdit->setObjectName("PathEdit");
    BrowseButton = new QPushButton("...", this);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(PathEdit, 1);
    pathRow->addWidget(BrowseButton);
    if (mount) {
        NameEdit->setText(ToQ(mount->DisplayName()));
        form->addRow(Msg(rsMountPointName), NameEdit);
    } else {
        NameEdit->hide();
        BrowseButton->hide();
        PathEdit->setReadOnly(true);
    }
    PathEdit->setText(ToQ(folder->FullPath()));
    form->addRow(Msg(rsPath), pathRow);
    ReadOnlyCheck = new QCheckBox(Msg(rsReadOnly), this);
    ReadOnlyCheck->setChecked(folder->Flags & TBookFolder::kReadOnly);
    form->addRow(ReadOnlyCheck);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Msg(rsOk));
    buttons->button(QDialogButtonBox::Cancel)->setText(Msg(rsCancel));
    layout->addWidget(buttons);
    // Editing as the settings allow it, and never below a read-only folder.
    const bool editable = session.Options().CanEdit() && !(folder->Parent && folder->Parent->IsReadOnly());
    for (QWidget* w : {static_cast<QWidget*>(NameEdit), static_cast<QWidget*>(PathEdit),
                       static_cast<QWidget*>(BrowseButton), static_cast<QWidget*>(ReadOnlyCheck)})
        w->setEnabled(editable);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(editable);
    connect(BrowseButton, &QPushButton::clicked, this, [this] {
        const QString path = Dialogs::DirectoryName(this, Msg(rsFolderTree));
        std::error_code error;
        if (!path.isEmpty() && std::filesystem::is_directory(path.toStdString(), error)) PathEdit->setText(path);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        try {
            Apply();
            accept();
        } catch (const std::exception& e) {
            Dialogs::Error(this, ToQ(e.what()));
        }
    });
}

void TFolderPropertiesForm::Apply() {
    TCatalogueGuard guard;
    const bool readOnly = ReadOnlyCheck->isChecked();
    const bool wasReadOnly = folder_->Flags & TBookFolder::kReadOnly;
    folder_->SetReadOnly(false);
    try {
        if (auto* mount = dynamic_cast<TMountPoint*>(folder_)) {
            // Checked before anything changes: an existing directory, no overlap, letter case counts.
            const std::string path = FromQ(PathEdit->text());
            if (TrimBlanks(path) != TrimBlanks(mount->Name)) session_.Library().RepointMountPoint(mount, path);
            if (FromQ(NameEdit->text()) != mount->DisplayName()) mount->Rename(FromQ(NameEdit->text()));
        }
    } catch (...) {
        folder_->SetReadOnly(wasReadOnly);  // a refused change leaves the folder as it was
        throw;
    }
    folder_->SetReadOnly(readOnly);
    folder_->NotifyChanged();
}

bool EditFolderProperties(QWidget* parent, TLibrarySession& session, TBookFolder* folder) {
    TFolderPropertiesForm form(parent, session, folder);
    if (Dialogs::Script().Active) return false;  // tests drive the form itself
    return form.exec() == QDialog::Accepted;
}

TMPDirTreeForm::TMPDirTreeForm(QWidget* parent, TSVD& library, const QString& start) : QDialog(parent), start_(start) {
    setObjectName("MPDirTreeForm");
    setWindowTitle(Msg(rsFolderTree));
    auto* layout = new QVBoxLayout(this);
    Tree = new QTreeView(this);
    Tree->setHeaderHidden(true);
    model_ = new TFolderTreeModel(library, this);
    model_->CanEdit = [] { return false; };
    Tree->setModel(model_);
    Tree->setDragEnabled(false);
    layout->addWidget(Tree, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(420, 480);
    // The deepest folder whose path begins the start path is selected.
    const QString wanted = start.trimmed().toLower();
    QModelIndex parentIndex, best;
    for (bool found = true; found;) {
        found = false;
        if (parentIndex.isValid() && model_->canFetchMore(parentIndex)) model_->fetchMore(parentIndex);
        for (int row = 0; row < model_->rowCount(parentIndex); ++row) {
            const QModelIndex index = model_->index(row, 0, parentIndex);
            const QString path = ToQ(model_->FolderAt(index)->FullPath()).trimmed().toLower();
            if (!path.isEmpty() && wanted.startsWith(path) &&
                (wanted.size() == path.size() || wanted[path.size()] == '/')) {
                best = parentIndex = index;
                Tree->expand(index);
                found = true;
                break;
            }
        }
    }
    if (best.isValid()) Tree->setCurrentIndex(best);
}

QString TMPDirTreeForm::Chosen() const {
    const TBookFolder* folder = model_->FolderAt(Tree->currentIndex());
    return folder ? ToQ(folder->FullPath()) : start_;
}

QString PickCatalogueFolder(QWidget* parent, TSVD& library, const QString& start) {
    if (Dialogs::Script().Active) {
        QString name = Dialogs::Script().FileNames.empty() ? start : Dialogs::Script().FileNames.front();
        if (!Dialogs::Script().FileNames.empty()) Dialogs::Script().FileNames.pop_front();
        return name;
    }
    TMPDirTreeForm form(parent, library, start);
    return form.exec() == QDialog::Accepted ? form.Chosen() : start;
}
