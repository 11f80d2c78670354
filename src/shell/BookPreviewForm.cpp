#include "shell/BookPreviewForm.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMimeDatabase>
#include <QMovie>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cstring>
#include <string_view>

#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "display/ui/FB2Viewer.h"
#include "editor/ui/MyMemo.h"
#include "format/ui/EditorCommands.h"
#include "scan/PackerArchiveAccess.h"
#include "scan/Packing.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/BackgroundJob.h"
#include "shell/BookSelection.h"
#include "shell/Dialogs.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"
#include "shell/PictureView.h"

namespace {

// Pictures beyond this many megabytes decoded are refused rather than exhausting memory.
constexpr int kPictureAllocationMb = 512;

QToolButton* ToolButton(QWidget* parent, const char* name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

// A content area: a bar of tools above its view.
QWidget* Area(const char* name, std::initializer_list<QWidget*> tools, QWidget* view) {
    auto* area = new QWidget;
    area->setObjectName(name);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (tools.size() > 0) {
        auto* bar = new QHBoxLayout;
        bar->setContentsMargins(2, 2, 2, 2);
        for (QWidget* tool : tools)
            bar->addWidget(tool);
        bar->addStretch(1);
        layout->addLayout(bar);
    }
    if (view) layout->addWidget(view, 1);
    return area;
}

TMyMemo* Editor(const char* name) {
    auto* memo = new TMyMemo;
    memo->setObjectName(name);
    memo->Lines().AutoEncoding = false;  // the panel decodes, to write back alike
    memo->Lines().DefaultStringTermination = sesOriginal;
    memo->SetWordWrap(true);
    return memo;
}

}  // namespace

TBookPreviewForm::TBookPreviewForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection* selection)
    : TDockableForm(mainWindow, session, selection, 3, "TBookPreviewForm") {
    setObjectName("BookPreviewForm");
    QImageReader::setAllocationLimit(kPictureAllocationMb);
    Areas = new QStackedWidget(this);
    Areas->setObjectName("Areas");
    Panel6 = new QLabel(Areas);
    Panel6->setObjectName("Panel6");
    Panel6->setAlignment(Qt::AlignCenter);
    Panel6->setWordWrap(true);
    Areas->addWidget(Panel6);

    MemoFormatButton = ToolButton(this, "MemoFormatButton");
    MyMemo1 = Editor("MyMemo1");
    TxtPanel = Area("TxtPanel", {MemoFormatButton}, MyMemo1);
    RTFToTextButton = ToolButton(this, "RTFToTextButton");
    RichEdit = Editor("RichEdit");
    RTFPanel = Area("RTFPanel", {RTFToTextButton}, RichEdit);

    OleToTextButton = ToolButton(this, "OleToTextButton");
    OLEToRTFButton = ToolButton(this, "OLEToRTFButton");
    ShowOLEBox = new QCheckBox(this);
    ShowOLEBox->setObjectName("ShowOLEBox");
    auto* oleView = new QWidget;
    auto* oleLayout = new QVBoxLayout(oleView);
    OleIcon = new QLabel(oleView);
    OleIcon->setObjectName("OleIcon");
    OleIcon->setAlignment(Qt::AlignCenter);
    OleName = new QLabel(oleView);
    OleName->setObjectName("OleName");
    OleName->setAlignment(Qt::AlignCenter);
    OleName->setWordWrap(true);
    OleName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    OleType = new QLabel(oleView);
    OleType->setObjectName("OleType");
    OleType->setAlignment(Qt::AlignCenter);
    oleLayout->addStretch(1);
    oleLayout->addWidget(OleIcon);
    oleLayout->addWidget(OleName);
    oleLayout->addWidget(OleType);
    oleLayout->addStretch(1);
    OLEPanel = Area("OLEPanel", {OleToTextButton, OLEToRTFButton, ShowOLEBox}, oleView);

    FBPageControl = new QTabWidget;
    FBPageControl->setObjectName("FBPageControl");
    FB2Viewer1 = new TFB2Viewer;
    FB2Viewer1->setObjectName("FB2Viewer1");
    FBViewTab = Area("FBViewTab", {}, FB2Viewer1);
    XMLViewTab = Area("XMLViewTab", {}, nullptr);
    UTF8ConvertButton = ToolButton(this, "UTF8ConvertButton");
    FB2Memo = Editor("FB2Memo");
    FBtextViewTab = Area("FBtextViewTab", {UTF8ConvertButton}, FB2Memo);
    FBPageControl->addTab(FBViewTab, QString());
    FBPageControl->addTab(XMLViewTab, QString());
    FBPageControl->addTab(FBtextViewTab, QString());
    FBPageControl->setTabVisible(1, false);  // the XML tree view is not built
    FB2Panel = Area("FB2Panel", {}, FBPageControl);

    Image1 = new TPictureView;
    Image1->setObjectName("Image1");
    BMPPanel = Area("BMPPanel", {}, Image1);
    GifView = new TPictureView;
    GifView->setObjectName("GifView");
    GifPanel = Area("GifPanel", {}, GifView);
    for (QWidget* area : {TxtPanel, RTFPanel, OLEPanel, FB2Panel, BMPPanel, GifPanel})
        Areas->addWidget(area);
    // Above the areas: where to turn editing on, while it is off.
    auto* body = new QWidget(this);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(0);
    EditingHint = new QWidget(body);
    EditingHint->setObjectName("EditingHint");
    EditingHint->setAutoFillBackground(true);
    QPalette hintPalette = EditingHint->palette();
    hintPalette.setColor(QPalette::Window, QColor(255, 244, 200));
    EditingHint->setPalette(hintPalette);
    auto* hintLayout = new QHBoxLayout(EditingHint);
    hintLayout->setContentsMargins(6, 2, 6, 2);
    EditingHintLabel = new QLabel(EditingHint);
    EditingOnButton = new QPushButton(EditingHint);
    EditingOnButton->setObjectName("EditingOnButton");
    hintLayout->addWidget(EditingHintLabel, 1);
    hintLayout->addWidget(EditingOnButton);
    connect(EditingOnButton, &QPushButton::clicked, this, [this] {
        Dialogs::Guard(this, [this] {
            session_.Options().SetCanEdit(true);
            session_.Options().Save();
        });
    });
    EditingHint->hide();
    bodyLayout->addWidget(EditingHint);
    bodyLayout->addWidget(Areas, 1);
    setWidget(body);

    // The editors' shared menu; its shortcuts work wherever the panel has the focus.
    Commands = new TEditorCommands(session_.Options().Store(), this);
    connect(Commands, &TEditorCommands::failed, this, [this](const QString& text) { Dialogs::ErrorLater(this, text); });
    MemoMenu1 = new QMenu(this);
    MemoMenu1->setObjectName("MemoMenu1");
    Commands->ReplaceAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    MemoMenu1->addAction(Commands->FindAction);
    MemoMenu1->addAction(Commands->ReplaceAction);
    MemoMenu1->addAction(Commands->FindAgainAction);
    QMenu* format = MemoMenu1->addMenu(QString());
    format->setObjectName("FormatItem");
    Format2Item = format->addAction(QString(), QKeySequence(Qt::Key_F9), this, [this] {
        if (ActiveEditor()) Commands->OpenFormatter();
    });
    // Repeating the last rule and finding problem text are not built: made, never shown.
    ApplylastformatruleItem = new QAction(this);
    FindproblemtextItem = new QAction(this);
    MemoMenu1->addSeparator();
    ReverttosavedItem = MemoMenu1->addAction(QString(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z), this,
                                             &TBookPreviewForm::RevertToSaved);
    ReverttosavedItem->setEnabled(false);
    for (QAction* action :
         {Commands->FindAction, Commands->ReplaceAction, Commands->FindAgainAction, Format2Item, ReverttosavedItem}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    for (TMyMemo* memo : {MyMemo1, FB2Memo, RichEdit}) {
        memo->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(memo, &QWidget::customContextMenuRequested, this,
                [this, memo](const QPoint& at) { MemoMenu1->popup(memo->mapToGlobal(at)); });
        connect(memo, &TMyMemo::changed, this, [this, memo] { EditorChanged(memo); });
        connect(memo, &TMyMemo::failed, this, [this](const QString& text) { Dialogs::ErrorLater(this, text); });
    }
    connect(MemoFormatButton, &QToolButton::clicked, Format2Item, &QAction::trigger);
    // RTF is shown as its markup; turning it into text is not built.
    RTFToTextButton->hide();
    connect(ShowOLEBox, &QCheckBox::clicked, this, [this](bool checked) {
        // Another program runs only when the user asks for it here.
        if (!checked || !book_) return;
        const TBookPlace place = PlaceOf(*book_);
        if (!place.Packed)
            QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(AnsiToUtf8(place.Path))));
    });
    connect(UTF8ConvertButton, &QToolButton::clicked, this,
            [this] { Dialogs::Guard(this, [this] { ConvertUtf8(); }); });
    connect(FBPageControl, &QTabWidget::currentChanged, this, &TBookPreviewForm::Fb2PageChanged);
    connect(&session_, &TLibrarySession::BookChanged, this, &TBookPreviewForm::BookChanged);
    if (selection_) connect(selection_, &TBookSelection::BooksChanged, this, [this] { RequestRefresh(0); });

    Placement->Restore();
    Recaption();
    ShowMessage(rsSelectOneBook);
    if (mainWindow) RequestRefresh(0);
}

TBookPreviewForm::~TBookPreviewForm() {
    refreshing_ = true;
    StopAnimation();
}

void TBookPreviewForm::Recaption() {
    setWindowTitle(Msg(rsPreviewCaption));
    MemoFormatButton->setText(Msg(rsFormat) + "...");
    RTFToTextButton->setText(Msg(rsToText));
    OleToTextButton->setText(Msg(rsToText));
    OLEToRTFButton->setText(Msg(rsToRTF));
    ShowOLEBox->setText(Msg(rsShowOLE));
    FBPageControl->setTabText(0, " " + Msg(rsFBViewTab) + " ");
    FBPageControl->setTabText(1, " " + Msg(rsXMLViewTab) + " ");
    FBPageControl->setTabText(2, " " + Msg(rsTextViewTab) + " ");
    UTF8ConvertButton->setText(Msg(rsUTF8Convert));
    EditingHintLabel->setText(Msg(rsEditingOff));
    EditingOnButton->setText(Msg(rsEditingTurnOn));
    static_cast<QMenu*>(Format2Item->parent())->setTitle(Msg(rsFormat));
    Format2Item->setText(Msg(rsFormat) + "...");
    ApplylastformatruleItem->setText(Msg(rsFormatAgain));
    FindproblemtextItem->setText(Msg(rsProblemText) + "...");
    Commands->Recaption();
    ReverttosavedItem->setText(Msg(rsRevertToSaved));
    if (messageId_ == rsSelectOneBook || messageId_ == rsNoBook) Panel6->setText(Msg(messageId_));
}

void TBookPreviewForm::SettingsChanged() {
    IsEditable();
}

void TBookPreviewForm::DropBooks() {
    book_ = nullptr;
    modified_ = false;
    pendingEditor_ = nullptr;
    RefreshView();
}

void TBookPreviewForm::ShowMessage(int id) {
    messageId_ = id;
    Panel6->setText(id ? Msg(id) : QString());
}

// --- choosing the book ---

void TBookPreviewForm::Refresh() {
    ShowSelection();
    if (viewPending_) RefreshView();
}

void TBookPreviewForm::ShowSelection() {
    if (Closing() || !selection_) return;
    if (TBookInfo* book = selection_->Single()) return ChangeBook(book);
    ShowMessage(rsSelectOneBook);
    ChangeBook(nullptr);
}

void TBookPreviewForm::SetBook(TBookInfo* book) {
    if (!selection_) ChangeBook(book);  // in a main window the selection alone chooses
}

void TBookPreviewForm::ChangeBook(TBookInfo* book) {
    if (book == book_) return;
    QString error;
    if (!SaveEdits(error)) {
        // The edits stay with their book rather than being lost with the switch.
        Dialogs::ErrorLater(this, error);
        return;
    }
    book_ = book;
    modified_ = false;
    pendingEditor_ = nullptr;
    RefreshView();
}

void TBookPreviewForm::BookChanged(TBookChange change, const TBookInfo* book) {
    if (!book_ || book != book_ || change != TBookChange::Removed) return;
    // The book went: nothing is written for it.
    book_ = nullptr;
    modified_ = false;
    pendingEditor_ = nullptr;
    SetModifiedMark(false);
    RefreshView();
}

void TBookPreviewForm::SetModifiedMark(bool modified) {
    if (selection_) selection_->SetModifiedMark(modified);
}

// --- loading ---

QWidget* TBookPreviewForm::ShownArea() const {
    return Areas->currentWidget() == Panel6 ? nullptr : Areas->currentWidget();
}

void TBookPreviewForm::RefreshView() {
    if (Closing() && MainWindow()) return;
    if (!isVisible() || (MainWindow() && !EffectivelyVisible())) {
        viewPending_ = true;
        return;
    }
    viewPending_ = false;
    const uint64_t job = ++loadJob_;
    StopAnimation();
    if (!book_) {
        ShowLoaded({}, {});
        return;
    }
    // Until the book arrives the old one stays on screen, taking no input, so that nothing typed
    // can be written into the wrong book.
    Areas->setEnabled(false);
    const TBookPlace place = PlaceOf(*book_);
    const bool content = place.Type != kFileFb2 || FBPageControl->currentWidget() != XMLViewTab;
    // The formatted view's book is parsed there as well; only its layout needs this thread.
    const bool parse = place.Type == kFileFb2 && FBPageControl->currentWidget() == FBViewTab;
    const bool other = !(place.Type == kFileText || place.Type == kFileHtml || place.Type == kFileFb2 ||
                         place.Type == kFileRtf || (place.Type >= kFileBmp && place.Type <= kFileGif));
    RunInBackground<TLoaded>(
        this,
        [place, read = content && !other, parse] {
            TLoaded loaded;
            TPackerArchiveAccess packer;  // its own: the catalogue's may be busy with a worker
            try {
                loaded.Exists = PlaceExists(packer, place);
                if (loaded.Exists && read) loaded.Bytes = ReadPlace(packer, place);
                if (parse && !loaded.Bytes.empty())
                    loaded.Document =
                        TFB2Viewer::ParseDocument(loaded.Bytes.data(), loaded.Bytes.size(), loaded.Parsed);
            } catch (const std::exception& e) {
                loaded.Error = e.what();
            } catch (...) {
                loaded.Error = MessageText(rsUnknownError);
            }
            return loaded;
        },
        [this, job, place](TLoaded loaded) {
            loadedJob_ = std::max(loadedJob_, job);
            if (job == loadJob_) ShowLoaded(place, std::move(loaded));  // a later request wins
        });
}

void TBookPreviewForm::ShowLoaded(const TBookPlace& place, TLoaded loaded) {
    loadedJob_ = loadJob_;
    refreshing_ = true;
    QWidget* area = Panel6;
    content_.clear();
    try {
        if (book_) {
            {
                TCatalogueGuard guard;
                book_->ShowPresence(loaded.Exists || !loaded.Error.empty());
            }
            const uint8_t type = place.Type;
            const bool failed = !loaded.Error.empty();
            if (!failed && !loaded.Exists) {
                ShowMessage(rsNoBook);
            } else if (type == kFileFb2) {
                area = LoadFb2(loaded);  // a content that cannot be read leaves the view empty
            } else if (failed) {
                ShowMessage(0);
                Dialogs::ErrorLater(this, ToQ(loaded.Error));
            } else if (type == kFileText || type == kFileHtml) {
                area = LoadText(loaded.Bytes);
            } else if (type == kFileRtf) {
                area = LoadRtf(loaded.Bytes);
            } else if (type >= kFileBmp && type <= kFileGif) {
                area = LoadPicture(loaded.Bytes, type);
            } else {
                area = LoadOle(place);
            }
            content_ = std::move(loaded.Bytes);
        }
    } catch (const std::exception& e) {
        area = Panel6;
        ShowMessage(0);
        Dialogs::ErrorLater(this, ToQ(e.what()));
    }
    Areas->setCurrentWidget(area);
    Areas->setEnabled(true);
    IsEditable();
    Commands->SetEditor(ActiveEditor());
    SetModifiedMark(modified_);
    ReverttosavedItem->setEnabled(modified_);
    refreshing_ = false;
    emit BookShown();
}

void TBookPreviewForm::LoadEditor(TMyMemo* memo, const std::vector<uint8_t>& bytes) {
    const TDecodedText decoded = DecodeTextFile(bytes);
    encoding_ = decoded.Encoding;
    bom_ = decoded.Bom;
    memo->Lines().LoadFromBytes(std::vector<uint8_t>(decoded.Text.begin(), decoded.Text.end()));
    modified_ = false;
}

QWidget* TBookPreviewForm::LoadText(const std::vector<uint8_t>& bytes) {
    LoadEditor(MyMemo1, bytes);
    return TxtPanel;
}

QWidget* TBookPreviewForm::LoadRtf(const std::vector<uint8_t>& bytes) {
    // The markup itself, written back byte for byte.
    RichEdit->Lines().LoadFromBytes(bytes);
    modified_ = false;
    return RTFPanel;
}

QWidget* TBookPreviewForm::LoadFb2(TLoaded& loaded) {
    FB2Viewer1->ClearDocument();
    FB2Memo->Clear();
    Areas->setCurrentWidget(FB2Panel);
    fb2Page_ = FBPageControl->currentIndex();
    QWidget* page = FBPageControl->currentWidget();
    if (page == FBViewTab) {
        if (loaded.Document)
            FB2Viewer1->SetDocument(std::move(loaded.Document), loaded.Parsed);
        else if (!loaded.Bytes.empty())
            FB2Viewer1->LoadDocument(loaded.Bytes.data(), loaded.Bytes.size());
    } else if (page == FBtextViewTab) {
        LoadEditor(FB2Memo, loaded.Bytes);
    }
    modified_ = false;
    return FB2Panel;
}

void TBookPreviewForm::StopAnimation() {
    if (movie_) {
        movie_->stop();
        delete movie_;
        movie_ = nullptr;
    }
    delete animationBuffer_;
    animationBuffer_ = nullptr;
    animation_.clear();
}

QWidget* TBookPreviewForm::LoadPicture(const std::vector<uint8_t>& bytes, uint8_t type) {
    // The content decides the decoder, whatever the name says.
    animation_ = QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    animationBuffer_ = new QBuffer(&animation_);
    animationBuffer_->open(QIODevice::ReadOnly);
    QByteArray format = QImageReader::imageFormat(animationBuffer_);
    if (format.isEmpty()) {
        static const char* const byType[] = {"bmp", "png", "jpeg", "gif"};
        format = byType[type - kFileBmp];
    }
    if (format == "gif") {
        movie_ = new QMovie(animationBuffer_, format, this);
        if (movie_->isValid()) {
            connect(movie_, &QMovie::frameChanged, this, [this] {
                if (movie_) GifView->SetPicture(movie_->currentImage());
            });
            movie_->start();
            GifView->SetPicture(movie_->currentImage());
            return GifPanel;
        }
        StopAnimation();
        RaiseError(rsErrPictureUnreadable);
    }
    QImageReader reader(animationBuffer_, format);
    const QImage picture = reader.read();
    StopAnimation();
    if (picture.isNull())
        throw EShelvaraError(rsErrPictureUnreadable,
                             MessageText(rsErrPictureUnreadable) + ": " + FromQ(reader.errorString()));
    Image1->SetPicture(picture);
    return BMPPanel;
}

QWidget* TBookPreviewForm::LoadOle(const TBookPlace& place) {
    const std::string& path = place.Path;
    const bool packed = place.Packed;
    const std::string& entry = place.Entry;
    const QString name = ToQ(packed ? entry : path);
    QMimeDatabase mimes;
    QMimeType mime = mimes.mimeTypeForFile(ToQ(path));
    if (packed) mime = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    OleName->setText(QFileInfo(name).fileName());
    OleType->setText(mime.comment() + " (" + mime.name() + ")");
    const QIcon icon = QIcon::fromTheme(
        mime.iconName(), QIcon::fromTheme(mime.genericIconName(), style()->standardIcon(QStyle::SP_FileIcon)));
    OleIcon->setPixmap(icon.pixmap(64, 64));
    ShowOLEBox->setChecked(false);
    ShowOLEBox->setEnabled(!packed);
    return OLEPanel;
}

void TBookPreviewForm::Fb2PageChanged(int page) {
    if (refreshing_ || !book_) {
        fb2Page_ = page;
        return;
    }
    // Edits made on the text page are saved whichever page comes next.
    QString error;
    if (!SaveEdits(error)) {
        const QSignalBlocker block(FBPageControl);
        FBPageControl->setCurrentIndex(fb2Page_);
        Dialogs::ErrorLater(this, error);
        return;
    }
    RefreshView();
}

// --- editing ---

bool TBookPreviewForm::IsEditable() {
    bool editable = book_ != nullptr && session_.Options().CanEdit();
    if (editable) {
        TCatalogueGuard guard;
        editable = !book_->IsReadOnly() && !book_->IsLost();
    }
    for (TMyMemo* memo : {MyMemo1, FB2Memo, RichEdit})
        memo->SetReadOnly(!editable);
    for (QToolButton* button : {RTFToTextButton, OleToTextButton, OLEToRTFButton})
        button->setEnabled(editable);
    EditingHint->setVisible(book_ != nullptr && !session_.Options().CanEdit());
    return editable;
}

TMyMemo* TBookPreviewForm::ActiveEditor() const {
    if (!book_) return nullptr;
    const QWidget* area = Areas->currentWidget();
    if (area == TxtPanel) {
        TCatalogueGuard guard;
        return (book_->GetFileType() & 0x7F) == kFileText ? MyMemo1 : nullptr;
    }
    if (area == FB2Panel && FBPageControl->currentWidget() == FBtextViewTab) return FB2Memo;
    return nullptr;
}

void TBookPreviewForm::EditorChanged(TMyMemo* memo) {
    if (refreshing_) return;
    pendingEditor_ = memo;
    MarkModified(true);
}

void TBookPreviewForm::MarkModified(bool modified) {
    if (refreshing_ || !IsEditable()) return;
    modified_ = modified;
    if (!modified) pendingEditor_ = nullptr;
    ReverttosavedItem->setEnabled(modified);
    SetModifiedMark(modified);
}

bool TBookPreviewForm::SaveEdits(QString& error) {
    if (!modified_ || !book_ || !pendingEditor_) {
        modified_ = false;
        return true;
    }
    if (!IsEditable()) {
        // Editing went off, or the book became read-only or lost, after the typing: the edit
        // is kept like one whose write failed, never dropped without a word.
        int reason = rsEditingOff;
        {
            TCatalogueGuard guard;
            if (book_->IsLost())
                reason = rsBookFileGone;
            else if (book_->IsReadOnly())
                reason = rsBookIsReadOnly;
        }
        error = MsgWith(rsEditNotWritten, {FromQ(Msg(reason))});
        return false;
    }
    const std::string text = pendingEditor_->Text().Text();
    const std::vector<uint8_t> bytes = pendingEditor_ == RichEdit ? std::vector<uint8_t>(text.begin(), text.end())
                                                                  : EncodeTextFile(text, encoding_, bom_);
    const TBookPlace place = PlaceOf(*book_);
    try {
        WriteBookContent(place.Path, place.Packed, place.Entry, bytes);
        // The shared packer may hold the archive as it was (marked only, never waited for).
        if (TSVD* library = book_->Container(); library && library->Packer) library->Packer->Reset();
        // The record follows the new content, read through an access of our own: the shared one
        // may be busy with a worker.
        TPackerArchiveAccess own;
        book_->UpdateFromDisk(3, false, nullptr, &own);
    } catch (const std::exception& e) {
        error = ToQ(e.what());
        return false;
    }
    modified_ = false;
    pendingEditor_ = nullptr;
    content_ = bytes;
    ReverttosavedItem->setEnabled(false);
    SetModifiedMark(false);
    return true;
}

void TBookPreviewForm::RevertToSaved() {
    MarkModified(false);
    modified_ = false;
    pendingEditor_ = nullptr;
    RefreshView();
}

void TBookPreviewForm::ConvertUtf8() {
    if (!IsEditable()) return;
    uint8_t type = 0;
    {
        TCatalogueGuard guard;
        type = book_->GetFileType() & 0x7F;
    }
    if (type != kFileFb2) RaiseError(rsErrNotAnFB2);
    std::vector<uint8_t> bytes = content_;
    bytes.push_back(0);
    const char* text = reinterpret_cast<const char*>(bytes.data());
    if (std::string_view(text, 5) != "<?xml") RaiseError(rsErrNotAnXML);
    const char* end = std::strchr(text + 5, '>');
    if (!end) RaiseError(rsErrInvalidXML);
    const std::string_view declaration(text, static_cast<size_t>(end - text + 1));
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) RaiseError(rsErrXMLEncoding);
    at += 8;
    auto skipBlanks = [&] {
        while (at < declaration.size() && declaration[at] >= 1 && declaration[at] <= 32)
            ++at;
    };
    skipBlanks();
    if (at >= declaration.size() || declaration[at] != '=') RaiseError(rsErrXMLEncoding);
    ++at;
    skipBlanks();
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) RaiseError(rsErrXMLEncoding);
    const char quote = declaration[at];
    const size_t valueStart = at + 1;
    size_t valueEnd = valueStart;
    while (valueEnd + 1 < declaration.size() && declaration[valueEnd] != quote && declaration[valueEnd] != '<' &&
           declaration[valueEnd] != '>')
        ++valueEnd;
    if (valueEnd + 1 >= declaration.size() || declaration[valueEnd] != quote) RaiseError(rsErrXMLEncoding);
    const std::string value(declaration.substr(valueStart, valueEnd - valueStart));
    if (QString::fromStdString(value).toUpper() != "UTF-8") return;
    // The text page already shows the book decoded; the declaration changes and the book is
    // written back in Windows-1251 when the edits are saved.
    std::string current = FB2Memo->Text().Text();
    const size_t declared = current.find(std::string(declaration.substr(0, valueStart)) + value);
    if (declared == std::string::npos) RaiseError(rsErrInvalidXML);
    current.replace(declared + valueStart, value.size(), "windows-1251");
    encoding_ = TTextEncoding::Windows1251;
    bom_ = false;
    FB2Memo->Lines().BeginUpdate();
    FB2Memo->Lines().SetTextStr(current);
    FB2Memo->Lines().EndUpdate();
}
