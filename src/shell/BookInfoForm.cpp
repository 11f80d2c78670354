#include "shell/BookInfoForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "common/Dates.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorListForm.h"
#include "shell/BookListForm.h"
#include "shell/BookSelection.h"
#include "shell/Dialogs.h"
#include "shell/LibrarySession.h"

namespace {

QIcon Swatch(uint32_t bgr) {
    QPixmap pixmap(16, 16);
    pixmap.fill(BgrColor(bgr));
    QPainter painter(&pixmap);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

QDate ToQDate(TDateTime value) {
    const TDateParts parts = DecodeDateTime(value);
    return QDate(parts.Year, parts.Month, parts.Day);
}

// The text all books share, or the list marker when they differ.
template <typename F>
QString Shared(const std::vector<TBookInfo*>& books, F text) {
    const std::string first = text(*books.front());
    for (const TBookInfo* book : books)
        if (text(*book) != first) return Msg(rsListItem);
    return ToQ(first);
}

}  // namespace

TBookInfoForm::TBookInfoForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection& selection)
    : TDockableForm(mainWindow, session, &selection, 2, "TBookInfoForm") {
    setObjectName("BookInfoForm");
    auto* body = new QWidget(this);
    auto* outer = new QVBoxLayout(body);
    outer->setContentsMargins(4, 4, 4, 4);
    Panel2 = new QLabel(body);
    Panel2->setObjectName("Panel2");
    Panel2->setAlignment(Qt::AlignCenter);
    outer->addWidget(Panel2, 1);
    Panel1 = new QWidget(body);
    Panel1->setObjectName("Panel1");
    outer->addWidget(Panel1, 1);

    auto* layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    auto link = [&](const char* name, QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(Panel1);
        button->setObjectName(name);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        layout->addWidget(button);
        return button;
    };
    AuthLabel = link("AuthLabel", QStyle::SP_FileDialogContentsView);
    NamesLabel = link("NamesLabel", QStyle::SP_FileIcon);
    GenresLabel = link("GenresLabel", QStyle::SP_DirIcon);
    SeriesLabel = link("SeriesLabel", QStyle::SP_FileDialogListView);

    auto* form = new QFormLayout;
    noteLabel_ = new QLabel(Panel1);
    NoteEdit = new QLineEdit(Panel1);
    NoteEdit->setObjectName("NoteEdit");
    form->addRow(noteLabel_, NoteEdit);

    readLabel_ = new QLabel(Panel1);
    auto* dateRow = new QHBoxLayout;
    ReadDateCheck = new QCheckBox(Panel1);
    ReadDateCheck->setObjectName("ReadDateCheck");
    ReadDateTimePicker = new QDateEdit(Panel1);
    ReadDateTimePicker->setObjectName("ReadDateTimePicker");
    ReadDateTimePicker->setCalendarPopup(true);
    ReadDateTimePicker->setDate(QDate::currentDate());
    dateRow->addWidget(ReadDateCheck);
    dateRow->addWidget(ReadDateTimePicker, 1);
    form->addRow(readLabel_, dateRow);

    colorLabel_ = new QLabel(Panel1);
    ColorComboBox1 = new QComboBox(Panel1);
    ColorComboBox1->setObjectName("ColorComboBox1");
    ColorComboBox1->addItem(QString(), -1);
    for (int mark = 0; mark < 16; ++mark)
        ColorComboBox1->addItem(Swatch(TBookListForm::MarkColor(static_cast<uint8_t>(mark))), QString(), mark);
    form->addRow(colorLabel_, ColorComboBox1);

    fileLabel_ = new QLabel(Panel1);
    auto* fileRow = new QHBoxLayout;
    FileNameEdit = new QLineEdit(Panel1);
    FileNameEdit->setObjectName("FileNameEdit");
    FileRenameButton = new QPushButton(Panel1);
    FileRenameButton->setObjectName("FileRenameButton");
    fileRow->addWidget(FileNameEdit, 1);
    fileRow->addWidget(FileRenameButton);
    form->addRow(fileLabel_, fileRow);
    layout->addLayout(form);
    layout->addStretch(1);
    setWidget(body);

    connect(NoteEdit, &QLineEdit::textEdited, this, &TBookInfoForm::NoteEdited);
    connect(ReadDateCheck, &QCheckBox::toggled, this, &TBookInfoForm::ReadDateEdited);
    connect(ReadDateTimePicker, &QDateEdit::dateChanged, this, &TBookInfoForm::ReadDateEdited);
    connect(ColorComboBox1, &QComboBox::currentIndexChanged, this, &TBookInfoForm::ColorEdited);
    // Each label opens the list dialog of its kind for the shown books.
    const std::pair<QToolButton*, int> lists[] = {{AuthLabel, 1}, {NamesLabel, 2}, {GenresLabel, 3}, {SeriesLabel, 4}};
    for (const auto& [label, kind] : lists)
        connect(label, &QToolButton::clicked, this,
                [this, kind] { Dialogs::Guard(this, [this, kind] { OpenList(kind); }); });
    connect(FileRenameButton, &QPushButton::clicked, this,
            [this] { Dialogs::Guard(this, [this] { RenameCommand(); }); });
    fillLater_ = new QTimer(this);
    fillLater_->setSingleShot(true);
    fillLater_->setInterval(0);
    connect(fillLater_, &QTimer::timeout, this, &TBookInfoForm::FillControls);
    connect(&session_, &TLibrarySession::BookChanged, this, &TBookInfoForm::BookChanged);
    connect(selection_, &TBookSelection::BooksChanged, this, [this] { RequestRefresh(0); });

    Placement->Restore();
    Recaption();
    FillControls();
    RequestRefresh(0);
}

TBookInfoForm::~TBookInfoForm() = default;

void TBookInfoForm::Recaption() {
    setWindowTitle(Msg(rsBookInfoName));
    Panel2->setText(Msg(rsSelectOneBook));
    AuthLabel->setToolTip(Msg(rsBookAuthors));
    NamesLabel->setToolTip(Msg(rsBookName));
    GenresLabel->setToolTip(Msg(rsGenresTab));
    SeriesLabel->setToolTip(Msg(rsSeriesTab));
    noteLabel_->setText(Msg(rsBookNote));
    readLabel_->setText(Msg(rsReaded));
    colorLabel_->setText(Msg(rsColor));
    fileLabel_->setText(Msg(rsFileName));
    FileRenameButton->setText(Msg(rsRename));
}

void TBookInfoForm::DropBooks() {
    books_.clear();
    shown_.clear();
    FillControls();
}

void TBookInfoForm::Refresh() {
    books_.clear();
    if (MainWindow()) books_ = selection_->Books();
    fillLater_->stop();
    shown_ = std::unordered_set<const TBookInfo*>(books_.begin(), books_.end());
    FillControls();
}

const std::vector<TBookInfo*>& TBookInfoForm::Books() const {
    DropGone();
    return books_;
}

void TBookInfoForm::DropGone() const {
    if (books_.size() != shown_.size())
        std::erase_if(books_, [this](const TBookInfo* book) { return !shown_.count(book); });
}

void TBookInfoForm::FillControls() {
    ++fills_;
    fillLater_->stop();
    DropGone();
    updating_ = true;
    const bool any = !books_.empty();
    Panel1->setVisible(any);
    Panel2->setVisible(!any);
    if (any) {
        TCatalogueGuard guard;
        AuthLabel->setText(Shared(books_, [](const TBookInfo& b) { return b.AuthorsText(); }));
        NamesLabel->setText(Shared(books_, [](const TBookInfo& b) { return b.TitleText(); }));
        GenresLabel->setText(Shared(books_, [](const TBookInfo& b) { return b.GenreNamesText(); }));
        SeriesLabel->setText(Shared(books_, [](const TBookInfo& b) { return b.SeriesText(); }));
        const bool sameNote = std::all_of(books_.begin(), books_.end(),
                                          [&](const TBookInfo* b) { return b->Comment == books_.front()->Comment; });
        NoteEdit->setText(sameNote ? ToQ(books_.front()->Comment) : QString());
        const std::string name = books_.front()->FileNameInFolder();
        const bool sameName = std::all_of(books_.begin(), books_.end(),
                                          [&](const TBookInfo* b) { return b->FileNameInFolder() == name; });
        FileNameEdit->setText(sameName ? ToQ(name) : QString());
        FileRenameButton->setEnabled(books_.size() == 1);
        TDateTime latest = 0;
        for (const TBookInfo* book : books_)
            latest = std::max(latest, book->ReadDate);
        ReadDateCheck->setChecked(latest != 0);
        ReadDateTimePicker->setEnabled(latest != 0);
        if (latest != 0) ReadDateTimePicker->setDate(ToQDate(latest));
        const uint8_t mark = books_.front()->Color;
        const bool sameMark =
            std::all_of(books_.begin(), books_.end(), [&](const TBookInfo* b) { return b->Color == mark; });
        ColorComboBox1->setCurrentIndex(sameMark && mark < 16 ? mark + 1 : 0);
    }
    updating_ = false;
}

// Sets a field on every shown book whose value differs; the panel's own change notices do not
// refill the control being typed in.
template <typename T>
void TBookInfoForm::Apply(T TBookInfo::*field, const T& value) {
    DropGone();
    updating_ = true;
    for (TBookInfo* book : std::vector<TBookInfo*>(books_)) {
        TCatalogueGuard guard;
        if (book->*field == value) continue;
        book->*field = value;
        book->NotifyChanged();
    }
    updating_ = false;
}

void TBookInfoForm::NoteEdited() {
    if (updating_) return;
    Apply(&TBookInfo::Comment, TText(FromQ(NoteEdit->text().trimmed())));
}

void TBookInfoForm::ReadDateEdited() {
    if (updating_) return;
    ReadDateTimePicker->setEnabled(ReadDateCheck->isChecked());
    const QDate date = ReadDateTimePicker->date();
    Apply(&TBookInfo::ReadDate, ReadDateCheck->isChecked() ? EncodeDate(date.year(), date.month(), date.day()) : 0);
}

void TBookInfoForm::ColorEdited() {
    if (updating_) return;
    const int chosen = ColorComboBox1->currentData().toInt();
    Apply(&TBookInfo::Color, static_cast<uint8_t>(chosen >= 0 && chosen < 16 ? chosen : 0));
}

void TBookInfoForm::OpenList(int kind) {
    DropGone();
    if (books_.empty()) RaiseError(rsSelectOneBook);
    TAuthorListForm dialog(this, session_, books_, kind);
    if (!Dialogs::Script().Active) dialog.exec();
    FillControls();
}

void TBookInfoForm::RenameCommand() {
    DropGone();
    if (books_.size() != 1) RaiseError(rsSelectOneBook);
    TCatalogueGuard guard;
    books_.front()->Rename(FromQ(FileNameEdit->text()));
}

void TBookInfoForm::BookChanged(TBookChange change, const TBookInfo* book) {
    if (Closing() || !shown_.count(book)) return;
    if (change == TBookChange::Removed) {
        // Never read again; the selection tells the panel to refill once for the whole burst.
        shown_.erase(book);
    } else if (change == TBookChange::Changed && !updating_) {
        fillLater_->start();
    }
}
