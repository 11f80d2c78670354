#include "shell/EditorWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <filesystem>

#include <sys/stat.h>

#include "common/Crc32.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"
#include "editor/ui/MyMemo.h"
#include "format/ui/EditorCommands.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"

namespace {

std::filesystem::path LocalPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

}  // namespace

TEditorWindow::TEditorWindow(TSettingsStore& store, QWidget* parent) : QMainWindow(parent) {
    setObjectName("TEditorWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    Memo = new TMyMemo(this);
    Memo->setObjectName("Memo");
    Memo->Lines().AutoEncoding = false;  // the window decodes the file itself, to write it back alike
    setCentralWidget(Memo);
    Commands = new TEditorCommands(store, this);
    Commands->SetEditor(Memo);
    status_ = new QLabel(this);
    statusBar()->addWidget(status_, 1);

    QMenu* file = menuBar()->addMenu(Msg(rsMenuFile));
    SaveAction = file->addAction(Msg(rsSave), QKeySequence::Save, this, [this] { Save(); });
    RevertAction = file->addAction(Msg(rsRevertToSaved), this, [this] { Revert(); });
    file->addSeparator();
    file->addAction(Msg(rsClose), QKeySequence::Close, this, &QWidget::close);
    QMenu* edit = menuBar()->addMenu(Msg(rsMenuEdit));
    edit->addAction(Msg(rsUndo), QKeySequence::Undo, Memo, &TMyMemo::Undo);
    edit->addAction(Msg(rsRedo), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), Memo, &TMyMemo::Redo);
    edit->addSeparator();
    edit->addAction(Msg(rsCut), QKeySequence::Cut, Memo, &TMyMemo::Cut);
    edit->addAction(Msg(rsCopy), QKeySequence::Copy, Memo, &TMyMemo::Copy);
    edit->addAction(Msg(rsPaste), QKeySequence::Paste, Memo, &TMyMemo::Paste);
    edit->addAction(Msg(rsSelectAll), QKeySequence::SelectAll, Memo, &TMyMemo::SelectAll);
    QMenu* search = menuBar()->addMenu(Msg(rsFind));
    search->addAction(Commands->FindAction);
    search->addAction(Commands->ReplaceAction);
    search->addAction(Commands->FindAgainAction);
    QMenu* format = menuBar()->addMenu(Msg(rsMenuFormat));
    format->addAction(Commands->FormatAction);
    WrapAction = format->addAction(Msg(rsWordWrap));
    WrapAction->setCheckable(true);
    connect(WrapAction, &QAction::toggled, Memo, &TMyMemo::SetWordWrap);

    connect(Memo, &TMyMemo::changed, this, [this] {
        if (loading_) return;
        modified_ = true;
        UpdateTitle();
    });
    connect(Memo, &TMyMemo::failed, this, [this](const QString& text) { Dialogs::ErrorLater(this, text); });
    connect(Commands, &TEditorCommands::failed, this, [this](const QString& text) { Dialogs::ErrorLater(this, text); });
    resize(800, 600);
    UpdateTitle();
}

void TEditorWindow::UpdateTitle() {
    const QString name = file_.isEmpty() ? QString() : QFileInfo(file_).fileName();
    setWindowTitle((modified_ ? "*" : "") + name + " - Shelvara");
}

TEditorWindow::TDiskStamp TEditorWindow::StampOf(const std::vector<uint8_t>& bytes, const QString& path) {
    TDiskStamp stamp;
    struct stat st {};
    if (::stat(LocalPath(path).c_str(), &st) != 0) return stamp;
    stamp.Size = st.st_size;
    stamp.Time = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    stamp.Crc = Crc32Update(0, bytes.data(), bytes.size());
    return stamp;
}

bool TEditorWindow::MayOverwrite() {
    std::vector<uint8_t> now;
    try {
        now = ReadWholeFile(LocalPath(file_));
    } catch (const std::exception&) {
        return true;  // gone or unreadable: writing it back loses nobody's change
    }
    if (StampOf(now, file_) == stamp_) return true;
    switch (Dialogs::AskYesNoCancel(this, windowTitle(), MsgWith(rsFileChangedOnDisk, {FromQ(file_)}), Msg(rsOverwrite),
                                    Msg(rsReloadFile))) {
        case Dialogs::TAnswer::Yes:
            return true;
        case Dialogs::TAnswer::No:
            OpenFile(file_);
            return false;
        default:
            return false;
    }
}

bool TEditorWindow::OpenFile(const QString& path) {
    try {
        const std::vector<uint8_t> bytes = ReadWholeFile(LocalPath(path));
        const TDecodedText decoded = DecodeTextFile(bytes);
        stamp_ = StampOf(bytes, path);
        loading_ = true;
        Memo->Lines().LoadFromBytes(std::vector<uint8_t>(decoded.Text.begin(), decoded.Text.end()));
        loading_ = false;
        file_ = path;
        encoding_ = decoded.Encoding;
        bom_ = decoded.Bom;
        modified_ = false;
        // Saving a text whose characters the editor could not keep would change them all.
        Memo->SetReadOnly(!decoded.Lossless);
        SaveAction->setEnabled(decoded.Lossless);
        status_->setText(QString::fromUtf8(EncodingName(encoding_)) +
                         (decoded.Lossless ? QString() : Msg(rsNotAnsiReadOnly)));
        UpdateTitle();
        return true;
    } catch (const std::exception& e) {
        loading_ = false;
        Dialogs::Error(this, ToQ(e.what()));
        return false;
    }
}

bool TEditorWindow::Save() {
    if (file_.isEmpty() || Memo->ReadOnly()) return false;
    try {
        if (!MayOverwrite()) return false;
        const std::vector<uint8_t> bytes = EncodeTextFile(Memo->Text().Text(), encoding_, bom_);
        ReplaceFile(LocalPath(file_), bytes.data(), bytes.size());
        stamp_ = StampOf(bytes, file_);
        modified_ = false;
        UpdateTitle();
        return true;
    } catch (const std::exception& e) {
        Dialogs::Error(this, ToQ(e.what()));
        return false;
    }
}

bool TEditorWindow::Revert() {
    return !file_.isEmpty() && OpenFile(file_);
}

bool TEditorWindow::SaveEdits() {
    if (!modified_) return true;
    switch (Dialogs::AskYesNoCancel(this, windowTitle(), Msg(rsSaveChangesTo).replace("%s", file_))) {
        case Dialogs::TAnswer::Yes:
            return Save();
        case Dialogs::TAnswer::No:
            return true;
        default:
            return false;
    }
}

void TEditorWindow::closeEvent(QCloseEvent* event) {
    if (SaveEdits())
        event->accept();
    else
        event->ignore();
}
