#include "shell/BookViewerWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <algorithm>
#include <string_view>

#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
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

namespace {

bool IsZipFile(const std::string& file) {
    std::vector<uint8_t> head;
    try {
        head = ReadFileHead(AnsiToPath(file), [](const std::vector<uint8_t>& bytes) { return bytes.size() >= 4; });
    } catch (const std::exception&) {
        return false;
    }
    return head.size() >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4;
}

}  // namespace

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

bool TBookViewerWindow::IsBookFile(const QString& path) {
    const std::string file = FromQ(QFileInfo(path).absoluteFilePath());
    std::vector<uint8_t> head;
    try {
        head = ReadFileHead(AnsiToPath(file), [](const std::vector<uint8_t>& bytes) { return bytes.size() >= 65536; });
    } catch (const std::exception&) {
        head.clear();
    }
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    if (text.starts_with(std::string_view(TSVDStream::kSignature, 15))) return false;
    if (text.starts_with("PK\x03\x04")) {
        std::vector<TArcFileInfoRec> members;
        if (!TPacker::ListFile(file, members)) {
            TPacker packer;
            try {
                if (packer.OpenBytes(ReadWholeFile(AnsiToPath(file)), file)) members = packer.List();
            } catch (const std::exception&) {
                members.clear();
            }
        }
        return std::any_of(members.begin(), members.end(),
                           [](const TArcFileInfoRec& m) { return FileTypeOfName(m.Path) == kFileFb2; });
    }
    if (text.find("<FictionBook") != std::string_view::npos) return true;
    const QString name = path.toLower();
    return name.endsWith(".fb2") || name.endsWith(".fb2.zip") || name.endsWith(".fbz");
}

bool TBookViewerWindow::OpenBook(const QString& path) {
    const std::string file = FromQ(QFileInfo(path).absoluteFilePath());
    auto book = std::make_unique<TBookInfo>(&session_.Library());
    book->FileName = file;
    try {
        if (TPacker::ArchiveKind(file) == 1 || IsZipFile(file)) {
            TPacker packer;
            if (!packer.OpenBytes(ReadWholeFile(AnsiToPath(file)), file))
                throw EShelvaraError(rsErrCannotOpenArchive,
                                     FormatMessageText(MessageText(rsErrCannotOpenArchive), {file}));
            for (const TArcFileInfoRec& member : packer.List())
                if (FileTypeOfName(member.Path) == kFileFb2) {
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
