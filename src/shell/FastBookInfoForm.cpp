#include "shell/FastBookInfoForm.h"

#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "catalogue/AuthorName.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "catalogue/TitleInfo.h"
#include "common/MessageIds.h"
#include "fb2/FBCover.h"
#include "fb2/MyStream.h"
#include "fb2/Picture.h"
#include "scan/PackerArchiveAccess.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorListForm.h"
#include "shell/BookSelection.h"
#include "shell/Dialogs.h"
#include "shell/LibrarySession.h"

namespace {

constexpr int kPaintDelayMs = 50;
// Pictures larger than this are not worth decoding for a preview.
constexpr qint64 kMaxPictureBytes = 64 << 20;

QLabel* TextLabel(QWidget* parent, const char* name, bool wrap = false) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(wrap);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The cover an FB2 file carries (its coverpage's picture); null when none.
QImage ReadCover(const std::string& path, bool packed, const std::string& entry) {
    try {
        TPackerArchiveAccess packer;
        const std::vector<uint8_t> bytes = ReadBookBytes(&packer, path, packed, entry);
        if (bytes.size() > static_cast<size_t>(kMaxPictureBytes) * 2) return {};
        TMyMemStream stream;
        stream.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
        const uint8_t zero = 0;
        stream.Write(&zero, 1);  // the cover finder wants the text followed by a zero byte
        stream.SetSize(static_cast<int32_t>(bytes.size()));
        std::unique_ptr<TBitmap> cover = GetCover(stream);
        if (!cover || cover->Width <= 0 || cover->Height <= 0) return {};
        // B, G, R, A bytes are Qt's 32-bit ARGB on a little-endian machine.
        QImage image(cover->Pixels.data(), cover->Width, cover->Height, cover->Width * 4, QImage::Format_ARGB32);
        return image.copy();
    } catch (...) {
        return {};  // an unreadable book shows no cover
    }
}

}  // namespace

TFastBookInfoForm::TFastBookInfoForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection& selection)
    : TDockableForm(mainWindow, session, &selection, 1, "TFastBookInfoForm") {
    setObjectName("FastBookInfoForm");
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName("Splitter1");
    PicturePanel = new QWidget(Splitter1);
    PicturePanel->setObjectName("PicturePanel");
    auto* pictureLayout = new QVBoxLayout(PicturePanel);
    pictureLayout->setContentsMargins(2, 2, 2, 2);
    MyImage1 = new QLabel(PicturePanel);
    MyImage1->setObjectName("MyImage1");
    MyImage1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    MyImage1->setMinimumSize(1, 1);
    MyImage1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    pictureLayout->addWidget(MyImage1);

    BNPanel = new QScrollArea(Splitter1);
    BNPanel->setObjectName("BNPanel");
    BNPanel->setWidgetResizable(true);
    BNPanel->setFrameShape(QFrame::NoFrame);
    BNPanel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    BookNameLabel = TextLabel(content, "BookNameLabel", true);
    QFont bold = BookNameLabel->font();
    bold.setBold(true);
    BookNameLabel->setFont(bold);
    layout->addWidget(BookNameLabel);
    AuthorsPanel = new QWidget(content);
    AuthorsPanel->setObjectName("AuthorsPanel");
    AuthorsPanel->installEventFilter(this);
    layout->addWidget(AuthorsPanel);
    auto pair = [&](QLabel*& heading, const char* headingName, QLabel*& value, const char* valueName) {
        auto* row = new QHBoxLayout;
        heading = TextLabel(content, headingName);
        value = TextLabel(content, valueName, true);
        row->addWidget(heading);
        row->addWidget(value, 1);
        layout->addLayout(row);
    };
    pair(SLabel1, "SLabel1", SerieLabel, "SerieLabel");
    pair(SLabel2, "SLabel2", SerieNumLabel, "SerieNumLabel");
    pair(SLabel3, "SLabel3", GenreLabel, "GenreLabel");
    layout->addSpacing(6);
    ALabel1 = TextLabel(content, "ALabel1");
    ALabel1->setFont(bold);
    layout->addWidget(ALabel1);
    layout->addSpacing(6);
    AnnoLabel = TextLabel(content, "AnnoLabel", true);
    layout->addWidget(AnnoLabel);
    NoInfoLabel = TextLabel(content, "NoInfoLabel", true);
    layout->addWidget(NoInfoLabel);
    layout->addStretch(1);
    BNPanel->setWidget(content);
    BNPanel->viewport()->installEventFilter(this);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->installEventFilter(this);
    setWidget(Splitter1);

    PaintTimer = new QTimer(this);
    PaintTimer->setSingleShot(true);
    PaintTimer->setInterval(kPaintDelayMs);
    connect(PaintTimer, &QTimer::timeout, this, &TFastBookInfoForm::Repaint);
    connect(&session_, &TLibrarySession::BookChanged, this, &TFastBookInfoForm::BookChanged);
    connect(selection_, &TBookSelection::BooksChanged, this, [this] { RequestRefresh(0); });

    Placement->Restore();
    noInfoText_ = rsSelectOneBook;
    Recaption();
    Repaint();
    RequestRefresh(0);
}

TFastBookInfoForm::~TFastBookInfoForm() {
    painting_ = true;
}

void TFastBookInfoForm::Recaption() {
    setWindowTitle(Msg(rsFastInfoName));
    SLabel1->setText(Msg(rsBookSeries));
    SLabel2->setText(Msg(rsBookSeriesNum));
    SLabel3->setText(Msg(rsBookGenre));
    ALabel1->setText(Msg(rsBookAnno));
    NoInfoLabel->setText(Msg(noInfoText_));
}

void TFastBookInfoForm::DropBooks() {
    book_ = nullptr;
    Repaint();
}

void TFastBookInfoForm::Refresh() {
    TBookInfo* book = MainWindow() ? selection_->Single() : nullptr;
    if (book && book == book_) return;
    book_ = book;
    SchedulePaint();
}

void TFastBookInfoForm::SchedulePaint() {
    if (!painting_) PaintTimer->start();
}

void TFastBookInfoForm::Repaint() {
    PaintTimer->stop();
    if (painting_) return;
    painting_ = true;
    QImage picture;
    bool hasTitle = false;
    QString title;
    std::vector<QString> authors;
    authorSpellings_.clear();
    QString series, number, genres, annotation;
    if (book_) {
        std::string path, entry;
        uint8_t type = 0;
        bool packed = false;
        std::vector<uint8_t> cover;
        {
            TCatalogueGuard guard;
            path = book_->FullPath();
            entry = book_->EntryName;
            type = book_->GetFileType();
            packed = book_->Packed;
            const TTitleInfo* info = book_->TitleInfo.get();
            hasTitle = info != nullptr;
            title = ToQ(info && !info->Titles.empty() ? info->Titles.front().str() : book_->FileNameInFolder());
            if (info) {
                cover = info->Cover;
                for (const TAuthorName* spelling : info->Authors) {
                    authors.push_back(ToQ(spelling->DisplayName()));
                    authorSpellings_.push_back(spelling);
                }
                if (!info->Sequences.empty() && info->Sequences.front().Sequence) {
                    series = ToQ(info->Sequences.front().Sequence->DisplayName());
                    if (info->Sequences.front().Number >= 1) number = QString::number(info->Sequences.front().Number);
                }
                genres = ToQ(book_->GenreNamesText());
                annotation = ToQ(info->Annotation);
            }
        }
        // A picture file shows itself; a book's cover takes its place.
        if (type >= kFileBmp && type <= kFileGif && !packed) {
            QFile file(QString::fromStdString(AnsiToUtf8(path)));
            if (file.size() <= kMaxPictureBytes && file.open(QIODevice::ReadOnly)) picture.loadFromData(file.readAll());
        }
        if (!cover.empty())
            picture.loadFromData(cover.data(), static_cast<int>(std::min<size_t>(cover.size(), INT32_MAX)), "BMP");
        else if (hasTitle && type == kFileFb2)
            if (QImage found = ReadCover(path, packed, entry); !found.isNull()) picture = found;
    }
    if (picture != picture_) picture_ = picture;  // the same cover is not handed to the label again
    const bool showPicture = !picture_.isNull();
    PicturePanel->setVisible(showPicture);
    if (showPicture) {
        // At most half the panel's width (the text stays legible), and no taller than the panel.
        const int high = std::max(Splitter1->height() - 8, 16);
        const int fit =
            static_cast<int>(static_cast<int64_t>(picture_.width()) * high / std::max(picture_.height(), 1));
        const int shown = std::max(std::min({picture_.width(), width() / 2 - 4, fit}) + 4, 8);
        Splitter1->setSizes({shown, std::max(width() - shown, 1)});
        MyImage1->setPixmap(
            QPixmap::fromImage(picture_.scaledToWidth(std::max(shown - 4, 1), Qt::SmoothTransformation)));
    } else {
        MyImage1->clear();
    }

    BookNameLabel->setText(title);
    BookNameLabel->setVisible(book_ && !title.isEmpty());
    // Author labels are kept and reused; those beyond the count are hidden.
    while (authorLabels_.size() < authors.size()) {
        auto* label = new QLabel(AuthorsPanel);
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);  // a click opens the author's information
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        authorLabels_.push_back(label);
    }
    for (size_t i = 0; i < authorLabels_.size(); ++i) {
        QLabel* label = authorLabels_[i];
        label->setVisible(i < authors.size());
        if (i < authors.size()) label->setText(authors[i] + (i + 1 < authors.size() ? "," : ""));
        label->setWordWrap(false);
        label->adjustSize();
    }
    AuthorsPanel->setVisible(hasTitle && !authors.empty());
    PlaceAuthors();
    SLabel1->setVisible(!series.isEmpty());
    SerieLabel->setVisible(!series.isEmpty());
    SerieLabel->setText(series);
    SLabel2->setVisible(!number.isEmpty());
    SerieNumLabel->setVisible(!number.isEmpty());
    SerieNumLabel->setText(number);
    SLabel3->setVisible(!genres.isEmpty());
    GenreLabel->setVisible(!genres.isEmpty());
    GenreLabel->setText(genres);
    ALabel1->setVisible(!annotation.isEmpty());
    AnnoLabel->setVisible(!annotation.isEmpty());
    AnnoLabel->setText(annotation);
    noInfoText_ = book_ ? rsNoBookInfo : rsSelectOneBook;
    NoInfoLabel->setText(Msg(noInfoText_));
    NoInfoLabel->setVisible(!book_ || !hasTitle);
    painting_ = false;
}

int TFastBookInfoForm::VisibleAuthorLabels() const {
    return static_cast<int>(std::count_if(authorLabels_.begin(), authorLabels_.end(),
                                          [](const QLabel* label) { return !label->isHidden(); }));
}

// Left to right from x = 4, 4 pixels apart; a label that would pass the strip's width starts a
// new line 2 pixels below.
void TFastBookInfoForm::PlaceAuthors() {
    const int width = std::max(AuthorsPanel->width(), 1);
    int x = 4, y = 0, lineHeight = 0;
    for (QLabel* label : authorLabels_) {
        if (label->isHidden()) continue;
        QSize size = label->sizeHint();
        if (size.width() > width - 4) {
            // A name wider than the strip wraps within it.
            label->setWordWrap(true);
            size = QSize(std::max(width - 4, 1), label->heightForWidth(std::max(width - 4, 1)));
        }
        if (x > 4 && x + size.width() > width) {
            x = 4;
            y += lineHeight + 2;
            lineHeight = 0;
        }
        label->setGeometry(x, y, size.width(), size.height());
        x += size.width() + 4;
        lineHeight = std::max(lineHeight, size.height());
    }
    AuthorsPanel->setMinimumHeight(y + lineHeight);
}

bool TFastBookInfoForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto it = std::find(authorLabels_.begin(), authorLabels_.end(), watched);
        if (it != authorLabels_.end()) {
            ShowAuthor(static_cast<size_t>(it - authorLabels_.begin()));
            return true;
        }
    }
    if (event->type() == QEvent::Resize && (watched == AuthorsPanel || watched == BNPanel->viewport())) PlaceAuthors();
    // The picture is fitted to the panel again once resizing pauses.
    if (event->type() == QEvent::Resize && watched == Splitter1 && book_) SchedulePaint();
    return TDockableForm::eventFilter(watched, event);
}

void TFastBookInfoForm::ShowAuthor(size_t index) {
    // Looked up again through the current book: the spelling is not kept over time.
    const TAuthorInfo* author = nullptr;
    {
        TCatalogueGuard guard;
        if (book_ && book_->TitleInfo && index < book_->TitleInfo->Authors.size())
            author = book_->TitleInfo->Authors[index]->Author;
    }
    if (!author) return;
    auto* dialog = new TAuthorInfoForm(this, author);
    if (Dialogs::Script().Active) {
        dialog->deleteLater();
        return;
    }
    dialog->exec();
}

void TFastBookInfoForm::BookChanged(TBookChange change, const TBookInfo* book) {
    if (Closing() || !book_ || book != book_) return;
    if (change == TBookChange::Removed) {
        book_ = nullptr;
        SchedulePaint();
    } else if (change == TBookChange::Changed) {
        SchedulePaint();
    }
}
