#include "shell/BookViewerWindow.h"

#include <QCloseEvent>
#include <QFileInfo>

#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "display/ui/FB2Viewer.h"
#include "fb2/FBDescription.h"
#include "scan/Packer.h"
#include "settings/LanguageFiles.h"
#include "settings/ui/QtText.h"
#include "shell/BookPreviewForm.h"
#include "shell/Dialogs.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

TBookViewerWindow::TBookViewerWindow(TLibrarySession& session, QWidget* parent)
    : QMainWindow(parent), session_(session) {
    setObjectName("TBookViewerWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    Preview = new TBookPreviewForm(nullptr, session_, nullptr);
    Preview->setTitleBarWidget(new QWidget(Preview));  // the window's own title says it
    Preview->setFeatures(QDockWidget::NoDockWidgetFeatures);
    Preview->setAttribute(Qt::WA_DeleteOnClose, false);
    setCentralWidget(Preview);
    // The title is the book's own once it has been read.
    connect(Preview, &TBookPreviewForm::BookShown, this, [this] {
        const std::string bookTitle = ReadDescription(Preview->FB2Viewer1->Book()).TitleInfo.BookTitle;
        setWindowTitle((bookTitle.empty() ? fileName_ : ToQ(bookTitle)) + " - Shelvara");
    });
    resize(820, 900);
}

TBookViewerWindow::~TBookViewerWindow() {
    // The panel lets go of the book before the book goes.
    delete Preview;
}

bool TBookViewerWindow::OpenBook(const QString& path) {
    const std::string file = FromQ(QFileInfo(path).absoluteFilePath());
    auto book = std::make_unique<TBookInfo>(&session_.Library());
    book->FileName = file;
    try {
        if (TPacker::ArchiveKind(file) == 1) {
            TPacker packer;
            if (!packer.Open(file, false))
                throw EShelvaraError(rsErrCannotOpenArchive,
                                     FormatMessageText(MessageText(rsErrCannotOpenArchive), {file}));
            for (const TArcFileInfoRec& member : packer.List())
                if (QString::fromStdString(AnsiToUtf8(member.Path)).endsWith(".fb2", Qt::CaseInsensitive)) {
                    book->Packed = true;
                    book->EntryName = member.Path;
                    break;
                }
            if (!book->Packed)
                throw EShelvaraError(rsErrNoBookInArchive,
                                     FormatMessageText(MessageText(rsErrNoBookInArchive), {file}));
        }
    } catch (const std::exception& e) {
        Dialogs::Error(this, ToQ(e.what()));
        return false;
    }
    fileName_ = QFileInfo(path).fileName();
    setWindowTitle(fileName_ + " - Shelvara");
    show();
    Preview->SetBook(book.get());
    book_ = std::move(book);
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
