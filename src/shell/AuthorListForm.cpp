#include "shell/AuthorListForm.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorName.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "catalogue/TitleInfo.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorManageForm.h"
#include "shell/Dialogs.h"
#include "shell/FormParts.h"
#include "shell/GenresForm.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"
#include "shell/SeqListForm.h"

namespace {

enum { kAuthors = 1, kTitles = 2, kGenres = 3, kSeries = 4 };

QTableWidgetItem* Cell(const QString& text, bool editable) {
    auto* item = new QTableWidgetItem(text);
    if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

}  // namespace

TAuthorListForm::TAuthorListForm(QWidget* parent, TLibrarySession& session, std::vector<TBookInfo*> books, int kind)
    : QDialog(parent), session_(session), books_(std::move(books)), kind_(std::clamp(kind, 1, 4)) {
    setObjectName("AuthorListForm");
    const int captions[] = {rsAuthorsListCaption, rsNamesListCaption, rsGenresListCaption, rsSeriesListCaption};
    setWindowTitle(Msg(captions[kind_ - 1]));
    auto* layout = new QVBoxLayout(this);
    ListGroup = new QGroupBox(Msg(rsList), this);
    auto* groupLayout = new QVBoxLayout(ListGroup);
    StringGrid1 = new QTableWidget(ListGroup);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->installEventFilter(this);
    StringGrid1->horizontalHeader()->setStretchLastSection(true);
    groupLayout->addWidget(StringGrid1);
    auto* rowButtons = new QHBoxLayout;
    PlusButton = new QPushButton("+", ListGroup);
    MinusButton = new QPushButton("-", ListGroup);
    rowButtons->addWidget(PlusButton);
    rowButtons->addWidget(MinusButton);
    rowButtons->addStretch(1);
    groupLayout->addLayout(rowButtons);
    layout->addWidget(ListGroup, 1);
    AddOkCancelRow(this, layout, OkBtn, CancelBtn);
    OkBtn->setText(Msg(rsOk));
    CancelBtn->setText(Msg(rsCancel));
    disconnect(OkBtn, nullptr, this, nullptr);
    connect(OkBtn, &QPushButton::clicked, this, [this] {
        try {
            Apply();
            accept();
        } catch (const std::exception& e) {
            Dialogs::Error(this, ToQ(e.what()));
        }
    });
    connect(PlusButton, &QPushButton::clicked, this, &TAuthorListForm::AddRow);
    connect(MinusButton, &QPushButton::clicked, this, &TAuthorListForm::DeleteRow);
    connect(StringGrid1, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == 0) PickForRow(row);
    });

    // Editing needs books, the option, and no read-only book.
    editable_ = !books_.empty() && session_.Options().CanEdit();
    for (const TBookInfo* book : books_)
        editable_ = editable_ && !book->IsReadOnly();
    for (QPushButton* button : {OkBtn, PlusButton, MinusButton})
        button->setEnabled(editable_);
    ListGroup->setVisible(!books_.empty());
    // A genre, series or spelling that goes while the dialog is open (in a picker, say) leaves
    // its rows empty; no row keeps it.
    auto gone = [this](const void* object) {
        for (size_t row = 0; row < entities_.size(); ++row) {
            if (entities_[row] != object) continue;
            entities_[row] = nullptr;
            for (int column = 1; column < StringGrid1->columnCount(); ++column)
                if (QTableWidgetItem* item = StringGrid1->item(static_cast<int>(row), column)) item->setText(QString());
        }
    };
    connect(&session_, &TLibrarySession::GenreChanged, this, [gone](TEntityChange change, const TBookGenre* genre) {
        if (change == TEntityChange::Deleted) gone(genre);
    });
    connect(&session_, &TLibrarySession::SeriesChanged, this,
            [gone](TEntityChange change, const TBookSequence* series) {
                if (change == TEntityChange::Deleted) gone(series);
            });
    connect(&session_, &TLibrarySession::AuthorChanged, this, [gone](TAuthorChange change, const void* spelling) {
        if (change == TAuthorChange::NameDeleted) gone(spelling);
    });
    Fill();
    resize(560, 360);
}

void TAuthorListForm::Fill() {
    QStringList headers = {QString()};
    switch (kind_) {
        case kAuthors:
            headers << Msg(rsAuthorFirstName) << Msg(rsAuthorLastName) << Msg(rsAuthorMiddleName)
                    << Msg(rsAuthorNickName) << Msg(rsAuthorLinkCount) << Msg(rsAuthorType);
            break;
        case kTitles:
            headers << Msg(rsBookName);
            break;
        case kGenres:
            headers << Msg(rsBookGenre) << Msg(rsBookGenreHint) << Msg(rsGenreNote);
            break;
        default:
            headers << Msg(rsBookSeries) << Msg(rsBookSeriesNumber);
            break;
    }
    StringGrid1->setColumnCount(static_cast<int>(headers.size()));
    StringGrid1->setHorizontalHeaderLabels(headers);
    StringGrid1->setColumnWidth(0, 24);
    entities_.clear();
    StringGrid1->setRowCount(0);
    TCatalogueGuard guard;
    const TTitleInfo* info = books_.size() == 1 ? books_.front()->TitleInfo.get() : nullptr;
    if (info) {
        switch (kind_) {
            case kAuthors:
                for (TAuthorName* spelling : info->Authors) {
                    AddRow();
                    SetRowEntity(StringGrid1->rowCount() - 1, spelling);
                }
                break;
            case kTitles:
                for (const TText& title : info->Titles) {
                    AddRow();
                    StringGrid1->setItem(StringGrid1->rowCount() - 1, 1, Cell(ToQ(title), editable_));
                }
                break;
            case kGenres:
                for (TBookGenre* genre : info->Genres) {
                    AddRow();
                    SetRowEntity(StringGrid1->rowCount() - 1, genre);
                }
                break;
            default:
                for (const TSequenceEntry& entry : info->Sequences) {
                    AddRow();
                    const int row = StringGrid1->rowCount() - 1;
                    SetRowEntity(row, entry.Sequence);
                    StringGrid1->setItem(row, 2, Cell(QString::number(entry.Number), editable_));
                }
                break;
        }
    }
    if (StringGrid1->rowCount() == 0) AddRow();
}

void TAuthorListForm::AddRow() {
    const int row = StringGrid1->rowCount();
    StringGrid1->insertRow(row);
    entities_.push_back(nullptr);
    StringGrid1->setItem(row, 0, Cell("...", false));
    for (int column = 1; column < StringGrid1->columnCount(); ++column) {
        // Titles and series numbers are typed; the rest come from the pickers.
        const bool typed = (kind_ == kTitles && column == 1) || (kind_ == kSeries && column == 2);
        StringGrid1->setItem(row, column, Cell(QString(), typed && editable_));
    }
}

void TAuthorListForm::DeleteRow() {
    const int row = std::max(StringGrid1->currentRow(), 0);
    if (row >= StringGrid1->rowCount()) return;
    if (StringGrid1->rowCount() == 1) {
        // The last row is emptied, not removed.
        entities_[0] = nullptr;
        for (int column = 1; column < StringGrid1->columnCount(); ++column)
            StringGrid1->item(0, column)->setText(QString());
        return;
    }
    StringGrid1->removeRow(row);
    entities_.erase(entities_.begin() + row);
}

void TAuthorListForm::SetRowEntity(int row, void* entity) {
    if (row < 0 || row >= static_cast<int>(entities_.size())) return;
    entities_[static_cast<size_t>(row)] = entity;
    ShowRowEntity(row);
}

void TAuthorListForm::ShowRowEntity(int row) {
    const void* entity = entities_[static_cast<size_t>(row)];
    auto set = [&](int column, const std::string& text) {
        if (column < StringGrid1->columnCount()) StringGrid1->item(row, column)->setText(ToQ(text));
    };
    if (!entity) return;
    if (kind_ == kAuthors) {
        const auto* s = static_cast<const TAuthorName*>(entity);
        set(1, s->FirstName());
        set(2, s->LastName());
        set(3, s->MiddleName());
        set(4, s->NickName());
        set(5, std::to_string(s->Links.Count()));
        set(6, FromQ(Msg(rsBookAuthor)));
    } else if (kind_ == kGenres) {
        const auto* g = static_cast<const TBookGenre*>(entity);
        set(1, g->Code);
        set(2, g->RusName);
        set(3, g->Comment);
    } else if (kind_ == kSeries) {
        set(1, static_cast<const TBookSequence*>(entity)->DisplayName());
    }
}

void TAuthorListForm::PickForRow(int row) {
    if (!editable_ || row < 0 || row >= StringGrid1->rowCount()) return;
    if (kind_ == kTitles) return;  // titles are typed in place: there is no list to pick from
    if (kind_ == kGenres) {
        TGenresForm picker(this, session_);
        picker.setAttribute(Qt::WA_DeleteOnClose, false);
        picker.SelectGenre(static_cast<const TBookGenre*>(entities_[static_cast<size_t>(row)]));
        if (!Dialogs::Script().Active && picker.exec() == QDialog::Accepted && picker.SelectedGenre())
            SetRowEntity(row, picker.SelectedGenre());
    } else if (kind_ == kSeries) {
        TSeqListForm picker(this, session_);
        picker.setAttribute(Qt::WA_DeleteOnClose, false);
        picker.SelectSeries(static_cast<const TBookSequence*>(entities_[static_cast<size_t>(row)]));
        if (!Dialogs::Script().Active && picker.exec() == QDialog::Accepted && picker.CurrentSeries())
            SetRowEntity(row, picker.CurrentSeries());
    }
    if (kind_ == kAuthors) {
        TAuthorManageForm picker(this, session_);
        const auto* spelling = static_cast<const TAuthorName*>(entities_[static_cast<size_t>(row)]);
        picker.OpenFor(spelling ? spelling->Author : nullptr);
        picker.SelectSpelling(spelling);
        if (!Dialogs::Script().Active && picker.exec() == QDialog::Accepted && picker.SelectedSpelling())
            SetRowEntity(row, picker.SelectedSpelling());
    }
}

void TAuthorListForm::Apply() {
    if (!editable_) return;
    TSVD& library = session_.Library();
    // Series rows to keep: the row and its number.
    std::vector<std::pair<int, int32_t>> series;
    if (kind_ == kSeries) {
        // Empty names go; of equal name and number only the first row stays; numbers must be numbers.
        std::vector<std::pair<std::string, std::string>> seen;
        for (int row = 0; row < StringGrid1->rowCount(); ++row) {
            const std::string name = TrimBlanks(FromQ(StringGrid1->item(row, 1)->text()));
            if (name.empty()) continue;
            const std::string numberText = TrimBlanks(FromQ(StringGrid1->item(row, 2)->text()));
            const std::pair key{SearchKeyTrimmed(name), SearchKeyTrimmed(numberText)};
            if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
            seen.push_back(key);
            int32_t number = 0;
            if (!numberText.empty() && !TextToInt(numberText, number)) {
                StringGrid1->setCurrentCell(row, 2);
                RaiseError(rsErrCorrectNumber);
            }
            series.push_back({row, number});
        }
    }
    for (TBookInfo* book : books_) {
        try {
            TCatalogueGuard guard;
            TTitleInfo& info = book->EnsureTitleInfo();
            if (kind_ == kAuthors) {
                std::vector<TAuthorName*> spellings;
                for (void* entity : entities_)
                    spellings.push_back(static_cast<TAuthorName*>(entity));
                info.SetAuthors(spellings);
            } else if (kind_ == kTitles) {
                std::vector<std::string> titles;
                for (int row = 0; row < StringGrid1->rowCount(); ++row)
                    if (const std::string t = TrimBlanks(FromQ(StringGrid1->item(row, 1)->text())); !t.empty())
                        titles.push_back(t);
                info.SetTitles(titles);
            } else if (kind_ == kGenres) {
                std::vector<TBookGenre*> genres;
                for (void* entity : entities_)
                    genres.push_back(static_cast<TBookGenre*>(entity));
                info.SetGenres(genres);
            } else {
                TSequenceEntries entries;
                for (const auto& [row, number] : series) {
                    const std::string name = TrimBlanks(FromQ(StringGrid1->item(row, 1)->text()));
                    entries.push_back({library.FindOrAddSequence(name, false), number});
                }
                info.SetSequences(entries);
            }
            book->NotifyChanged();
        } catch (const std::exception& e) {
            Dialogs::ErrorLater(this, ToQ(e.what()));  // the next book goes on
        }
    }
    library.SetModified(true);
}

bool TAuthorListForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StringGrid1 && event->type() == QEvent::KeyPress && editable_) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int row = StringGrid1->currentRow();
        if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier && row == StringGrid1->rowCount() - 1 &&
            !StringGrid1->item(row, 1)->text().isEmpty()) {
            AddRow();
            StringGrid1->setCurrentCell(row + 1, 1);
            return true;
        }
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            DeleteRow();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

TAuthorInfoForm::TAuthorInfoForm(QWidget* parent, const TAuthorInfo* author) : QDialog(parent) {
    setObjectName("AuthorInfoForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8("Информация о авторе"));
    auto* layout = new QVBoxLayout(this);
    NameLabel = new QLabel(this);
    QFont bold = NameLabel->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    NameLabel->setFont(bold);
    layout->addWidget(NameLabel);
    if (author && author->Count() > 0)
        NameLabel->setText(ToQ(author->Name(0)->DisplayName()));
    else
        NameLabel->hide();
    for (const char* caption : {"  Инфа  ", "  Фота  "})
        layout->addWidget(new QGroupBox(QString::fromUtf8(caption), this), 1);
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    AddOkCancelRow(this, layout, ok, cancel);
    ok->setText(Msg(rsOk));
    cancel->hide();
    resize(380, 300);
}
