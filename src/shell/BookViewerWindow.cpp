#include "shell/BookViewerWindow.h"

#include <QCloseEvent>
#include <QFileInfo>

#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "display/ui/FB2Viewer.h"
#include "fb2/FBDescription.h"
#include "scan/Packer.h"
#include "settings/ui/QtText.h"
#include "shell/BookPreviewForm.h"
#include "shell/Dialogs.h"
#include "shell/MainWindow.h"
#include "shell/SettingsForm.h"

TBookViewerWindow::TBookViewerWindow(TSVMainForm& hub, QWidget* parent) : QMainWindow(parent), hub_(hub) {
    setObjectName("TBookViewerWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    Preview = new TBookPreviewForm(nullptr, hub_);
    Preview->setTitleBarWidget(new QWidget(Preview));  // the window's own title says it
    Preview->setFeatures(QDockWidget::NoDockWidgetFeatures);
    Preview->setAttribute(Qt::WA_DeleteOnClose, false);
    setCentralWidget(Preview);
    resize(820, 900);
}

TBookViewerWindow::~TBookViewerWindow() {
    // The panel lets go of the book before the book goes.
    delete Preview;
}

bool TBookViewerWindow::OpenBook(const QString& path) {
    const std::string file = FromQ(QFileInfo(path).absoluteFilePath());
    auto book = std::make_unique<TBookInfo>(&hub_.Library());
    book->FileName = file;
    try {
        if (TPacker::ArchiveKind(file) == 1) {
            TPacker packer;
            if (!packer.Open(file, false)) RaiseFixedError("Cannot open the archive " + file);
            for (const TArcFileInfoRec& member : packer.List())
                if (QString::fromStdString(AnsiToUtf8(member.Path)).endsWith(".fb2", Qt::CaseInsensitive)) {
                    book->Packed = true;
                    book->EntryName = member.Path;
                    break;
                }
            if (!book->Packed) RaiseFixedError("The archive " + file + " holds no FB2 book");
        }
    } catch (const std::exception& e) {
        Dialogs::Error(this, ToQ(e.what()));
        return false;
    }
    show();
    Preview->SetBook(book.get());
    book_ = std::move(book);
    QString title = QFileInfo(path).fileName();
    const std::string bookTitle = ReadDescription(Preview->FB2Viewer1->Book()).TitleInfo.BookTitle;
    if (!bookTitle.empty()) title = ToQ(bookTitle);
    setWindowTitle(title + " - Shelvara");
    return true;
}

void TBookViewerWindow::closeEvent(QCloseEvent* event) {
    QString error;
    if (!Preview->SaveEdits(error)) {
        Dialogs::Error(this, error);
        return event->ignore();
    }
    event->accept();
}
