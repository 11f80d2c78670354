#include "shell/BookListForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <thread>

#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/ListObjects.h"
#include "catalogue/LostBookInfo.h"
#include "catalogue/SVD.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/ScopeExit.h"
#include "display/ui/SVGrid.h"
#include "dups/DupSearch.h"
#include "scan/PackerArchiveAccess.h"
#include "scan/Packing.h"
#include "scan/Resync.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/BackgroundJob.h"
#include "shell/BookPlace.h"
#include "shell/BookSelection.h"
#include "shell/CommandTable.h"
#include "shell/Dialogs.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"
#include "shell/WorkSummaryForm.h"

namespace {

constexpr int kFilterDelayMs = 500;
constexpr int kProgressAfterMs = 500;
constexpr int kTagEverywhere = 0, kTagText = 1, kTagColumn = 100;

}  // namespace

// One run of the full-text filter: the books' locations taken under the lock, read and
// matched on every core; the GUI thread alone touches the records again.
struct TBookListForm::TTextJob {
    uint64_t Number = 0;
    std::vector<TBookInfo*> Books;  // identities only, never read by the workers
    std::vector<TDupBookRef> Refs;
    std::vector<uint8_t> Matches;
    std::unordered_set<const TBookInfo*> Gone;  // removed meanwhile (GUI thread)
    std::string Text;
    bool Extended = false;
    std::atomic<bool> Cancel{false};
    std::atomic<size_t> Next{0};
    std::atomic<size_t> Done{0};
    std::thread Worker;

    ~TTextJob() {
        Cancel = true;
        if (Worker.joinable()) Worker.join();
    }

    void Run() {
        TPackerArchiveAccess packer;
        for (size_t i = Next++; i < Refs.size() && !Cancel; i = Next++) {
            try {
                Matches[i] = TextFilterMatches(ReadBookText(&packer, Refs[i]), Text, Extended);
            } catch (...) {
                Matches[i] = 0;  // an unreadable book does not match
            }
            ++Done;
        }
    }
};

TBookListForm::TBookListForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection& selection)
    : TDockableForm(mainWindow, session, &selection, 0, "TBookListForm") {
    setObjectName("BookListForm");
    rows_.RowClass = &TBookListObject::Class;
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 0);
    layout->setSpacing(2);
    auto* filters = new QHBoxLayout;
    FilterLabel = new QLabel(body);
    FilterEdit = new QLineEdit(body);
    FilterEdit->setObjectName("FilterEdit");
    FilterEdit->setClearButtonEnabled(true);
    FilterCombo = new QComboBox(body);
    FilterCombo->setObjectName("FilterCombo");
    FilterCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ExtFilterCheck = new QCheckBox(body);
    ExtFilterCheck->setObjectName("ExtFilterCheck");
    filters->addWidget(FilterLabel);
    filters->addWidget(FilterEdit, 1);
    filters->addWidget(FilterCombo);
    filters->addWidget(ExtFilterCheck);
    layout->addLayout(filters);
    BooksGrid = new TSVGrid(body);
    BooksGrid->setObjectName("BooksGrid");
    BooksGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(BooksGrid, 1);
    StatusBar = new QStatusBar(body);
    StatusBar->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        fields_[i] = new QLabel(StatusBar);
        fields_[i]->setObjectName(QString("StatusField%1").arg(i));
        StatusBar->addWidget(fields_[i], i == 1 ? 1 : 0);
    }
    layout->addWidget(StatusBar);
    setWidget(body);

    FilterTimer = new QTimer(this);
    FilterTimer->setSingleShot(true);
    FilterTimer->setInterval(kFilterDelayMs);
    connect(FilterTimer, &QTimer::timeout, this, [this] { RequestRefresh(0); });
    // A keystroke stops a running full-text filter at once; the list follows when typing pauses.
    auto restart = [this] {
        if (busy_) return;
        CancelTextFilter();
        FilterTimer->start();
    };
    connect(FilterEdit, &QLineEdit::textChanged, this, restart);
    connect(FilterCombo, &QComboBox::currentIndexChanged, this, restart);
    connect(ExtFilterCheck, &QCheckBox::toggled, this, restart);

    BooksGrid->OnGetColors = [this](int, int row, QColor& text, QColor& brush, bool selected) {
        const auto* object = static_cast<const TBookListObject*>(BooksGrid->ObjectAt(row));
        if (!object || !object->Book) return;
        try {
            const TBookInfo& book = *object->Book;
            if (book.IsReadOnly())
                text = BgrColor(0xC0C0C0);
            else if (book.IsLost())
                text = BgrColor(0x000080);
            else if (book.Color < 16 && (!selected || book.Color >= 1))
                text = BgrColor(MarkColor(book.Color));
        } catch (...) {
            brush = BgrColor(0x0000FF);
        }
    };
    connect(BooksGrid, &TSVGrid::SelectionChanged, this, &TBookListForm::SelectionChanged);
    connect(BooksGrid, &TSVGrid::DataChanged, this, &TBookListForm::SelectionChanged);
    connect(BooksGrid, &TSVGrid::SortFailed, this, [this](const QString& text) { Dialogs::ErrorLater(this, text); });
    connect(BooksGrid, &QAbstractItemView::doubleClicked, this, [this] { selection_->RequestPanel(1); });

    // Unpacking is not built, so it is not offered.
    commands_ = new TCommandTable(this);
    auto editable = [this] {
        return MainWindow() && session_.Options().CanEdit() && rows_.Count() > 0 && BooksGrid->SelectedCount() > 0;
    };
    BookGridMenu = new QMenu(this);
    BookGridMenu->setObjectName("BookGridMenu");
    resyncMenu_ = BookGridMenu->addMenu(QString());
    resyncMenu_->addAction(commands_->Add(
        "LiteResync", rsLiteResync, [this] { ResyncSelected(false); }, {}, editable));
    resyncMenu_->addAction(commands_->Add(
        "FullResync", rsFullResync, [this] { ResyncSelected(true); }, {}, editable));
    BookGridMenu->addAction(commands_->Add("Pack", rsCompress, [this] { PackSelected(); }));
    BookGridMenu->addAction(commands_->Add(
        "Delete", rsDeleteBook, [this] { DeleteSelected(); }, {}, editable));
    // Ctrl+Delete deletes the selected books where the grid has the focus.
    auto* deleteKey = new QAction(BooksGrid);
    deleteKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    deleteKey->setShortcutContext(Qt::WidgetShortcut);
    connect(deleteKey, &QAction::triggered, this, [this] { commands_->Run("Delete"); });
    BooksGrid->addAction(deleteKey);
    BookGridMenu->addSeparator();
    columnsMenu_ = BookGridMenu->addMenu(QString());
    columnsMenu_->setObjectName("ColumnsItem1");
    connect(BooksGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PrepareMenu();
        BookGridMenu->popup(BooksGrid->viewport()->mapToGlobal(pos));
    });

    makeTexts_ = new QTimer(this);
    makeTexts_->setInterval(0);
    connect(makeTexts_, &QTimer::timeout, this, &TBookListForm::MakeSearchTexts);
    repaintLater_ = new QTimer(this);
    repaintLater_->setSingleShot(true);
    repaintLater_->setInterval(0);
    connect(repaintLater_, &QTimer::timeout, this, [this] {
        if (summaryPending_)
            UpdateSummary();  // repaints too
        else
            BooksGrid->viewport()->update();
    });
    connect(&session_, &TLibrarySession::BookChanged, this, &TBookListForm::BookChanged);
    connect(&session_, &TLibrarySession::AuthorChanged, this, &TBookListForm::RepaintLater);
    connect(selection_, &TBookSelection::SourceUpdated, this, [this] { RequestRefresh(0); });
    connect(selection_, &TBookSelection::ModifiedMarkChanged, this,
            [this](bool modified) { SetNote(modified ? Msg(rsModified) : QString()); });

    BooksGrid->AttachPlacement(Placement);
    Placement->Restore();
    BooksGrid->SetData(&rows_);
    SettingsChanged();
    Recaption();
}

TBookListForm::~TBookListForm() {
    busy_ = true;
    textJob_.reset();
    retired_.clear();
    BooksGrid->SetData(nullptr);
    if (!Closing()) selection_->Publish({});  // the other panels show no book
}

QColor BgrColor(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>(bgr >> 8 & 0xFF), static_cast<int>(bgr >> 16 & 0xFF));
}

QString TBookListForm::Summary(int count, int64_t bytes) {
    QString size;
    if (bytes < 8192)
        size = QString::number(bytes) + " " + Msg(rsBytes);
    else if (bytes < 8388608)
        size = QString::number(bytes / 1024) + " " + Msg(rsKb);
    else
        size = QString::number(bytes / 1048576) + " " + Msg(rsMb);
    return QString::number(count) + " " + Msg(rsGenreBookCount) + ", " + size;
}

uint32_t TBookListForm::MarkColor(uint8_t mark) {
    // Blue in the high byte, red in the low one.
    static constexpr uint32_t kPalette[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                              0x808000, 0x808080, 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF,
                                              0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    return kPalette[mark & 15];
}

void TBookListForm::Recaption() {
    setWindowTitle(Msg(rsBooksName));
    FilterLabel->setText(Msg(rsFilter));
    ExtFilterCheck->setText(Msg(rsExtendedFilter));
    resyncMenu_->setTitle(Msg(rsResync));
    commands_->Recaption();
    columnsMenu_->setTitle(Msg(rsColumns) + "...");
    const bool busy = busy_;
    busy_ = true;
    const int index = FilterCombo->currentIndex();
    FilterCombo->clear();
    FillFilterCombo();
    if (index >= 0 && index < FilterCombo->count()) FilterCombo->setCurrentIndex(index);
    busy_ = busy;
    BooksGrid->model()->headerDataChanged(Qt::Horizontal, 0, std::max(BooksGrid->model()->columnCount() - 1, 0));
    UpdateSummary();
}

void TBookListForm::DropBooks() {
    CancelTextFilter();
    ForgetSearchTexts();
    ShowRows({});
}

void TBookListForm::SettingsChanged() {
    BooksGrid->SetStriped(session_.Options().StripedGrids());
}

void TBookListForm::FillFilterCombo() {
    if (FilterCombo->count() > 0) return;
    const bool blocked = FilterCombo->blockSignals(true);
    FilterCombo->addItem(Msg(rsEverywhereFltItem), kTagEverywhere);
    FilterCombo->addItem(Msg(rsContextFltItem), kTagText);
    for (int c = 0; c < TBookListObject::Class.ColumnCount(); ++c)
        FilterCombo->addItem(ToQ(TBookListObject::Class.ColumnCaption(c)).trimmed(), kTagColumn + c);
    FilterCombo->setCurrentIndex(0);
    FilterCombo->blockSignals(blocked);
}

// --- refresh ---

void TBookListForm::Refresh() {
    if (!MainWindow()) return UpdateSummary();
    CancelTextFilter();
    TBookCollection books;
    selection_->CollectSource(books);
    const std::string text = FromQ(FilterEdit->text());
    const int tag = FilterCombo->currentIndex() >= 0 ? FilterCombo->currentData().toInt() : kTagEverywhere;
    const bool extended = ExtFilterCheck->isChecked();
    if (text.empty() || FilterCombo->currentIndex() < 0) {
        ForgetSearchTexts();  // the filter is over: its texts go
        return ShowRows(books.Books());
    }
    if (tag == kTagText) return StartTextFilter(books.Books(), text, extended);

    // The rows are tested on both cores: the second half on a helper thread (reading only; the
    // lock held here keeps writers out), the first half here with the progress note.
    const std::vector<TBookInfo*>& all = books.Books();
    const int column = tag >= kTagColumn ? tag - kTagColumn : -1;
    if (column >= 0) ForgetSearchTexts();  // kept only for the search of all columns
    std::vector<char> kept(all.size());
    const auto onBothCores = [this](size_t count, const std::function<void(size_t)>& work) {
        const auto part = [&](size_t from, size_t to, bool here) {
            QElapsedTimer clock;
            clock.start();
            for (size_t i = from; i < to; ++i) {
                work(i);
                if (here && i % 64 == 0 && clock.elapsed() > kProgressAfterMs) {
                    SetNote(Msg(rsFiltered) + " : " +
                            QString::number((i - from) * 100 / std::max<size_t>(to - from, 1)) + "%");
                    fields_[2]->repaint();
                }
            }
        };
        const size_t half = count > 2000 ? count / 2 : count;
        std::exception_ptr failed;
        std::thread helper;
        if (half < count)
            helper = std::thread([&] {
                try {
                    part(half, count, false);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
        const ScopeExit join([&] {
            if (helper.joinable()) helper.join();
        });
        part(0, half, true);
        if (helper.joinable()) helper.join();
        if (failed) std::rethrow_exception(failed);
    };
    {
        TCatalogueGuard guard;
        if (column >= 0) {
            onBothCores(all.size(),
                        [&](size_t i) { kept[i] = TBookListObject(all[i]).Matches(column, extended, text); });
        } else {
            // A book with its folded texts kept is searched in them; one without (the first
            // keystroke, or changed since) column by column, which stops at the first match, and
            // its texts are made once while the reader pauses, a slice at a time.
            const std::string key = TBookListObject::KeyOf(extended, text);
            std::vector<char> missing(all.size());
            onBothCores(all.size(), [&](size_t i) {
                const TBookListObject row(all[i]);
                const auto it = searchTexts_.find(all[i]);
                missing[i] = it == searchTexts_.end();
                kept[i] = missing[i] ? row.MatchesAnyColumn(key) : row.MatchesEverywhere(it->second, key);
            });
            textsToMake_.clear();
            goneBeforeMade_.clear();
            for (size_t i = 0; i < all.size(); ++i)
                if (missing[i]) textsToMake_.push_back(all[i]);
            if (!textsToMake_.empty()) makeTexts_->start();
        }
    }
    std::vector<TBookInfo*> passed;
    for (size_t i = 0; i < all.size(); ++i)
        if (kept[i]) passed.push_back(all[i]);
    SetNote(QString());
    ShowRows(passed);
}

void TBookListForm::ForgetSearchTexts() {
    makeTexts_->stop();
    textsToMake_.clear();
    goneBeforeMade_.clear();
    searchTexts_.clear();
}

void TBookListForm::MakeSearchTexts() {
    // A slice of a few milliseconds: the window stays free for the next keystroke.
    constexpr size_t kSlice = 4000;
    const size_t from = textsToMake_.size() > kSlice ? textsToMake_.size() - kSlice : 0;
    {
        TCatalogueGuard guard;
        for (size_t i = from; i < textsToMake_.size(); ++i) {
            const TBookInfo* book = textsToMake_[i];
            if (goneBeforeMade_.count(book) || searchTexts_.count(book)) continue;
            searchTexts_.emplace(book, TBookListObject(const_cast<TBookInfo*>(book)).SearchText());
        }
    }
    textsToMake_.resize(from);
    if (textsToMake_.empty()) {
        makeTexts_->stop();
        goneBeforeMade_.clear();
    }
}

void TBookListForm::ShowRows(const std::vector<TBookInfo*>& books) {
    busy_ = true;
    rows_.BeginUpdate();
    rows_.Clear();
    shown_.clear();
    rows_.SetCapacity(static_cast<int32_t>(books.size()));
    shown_.reserve(books.size());
    for (TBookInfo* book : books) {
        rows_.Add(std::make_unique<TBookListObject>(book));
        shown_.insert(book);
    }
    rows_.Fresh = true;
    rows_.Changed(kRowsChanged);
    rows_.EndUpdate();
    busy_ = false;
    UpdateSummary();
    SelectionChanged();  // the fresh list's first row is selected: the other panels follow
}

void TBookListForm::UpdateSummary() {
    summaryPending_ = false;
    int64_t bytes = 0;
    int count = 0;
    {
        TCatalogueGuard guard;
        // Rows of books on their way out are neither counted nor read.
        for (int32_t i = 0; i < rows_.Count(); ++i) {
            const auto* row = static_cast<const TBookListObject*>(rows_.Get(i));
            if (!row || !row->Book || BooksGrid->IsDoomed(row)) continue;
            bytes += row->Book->Size;
            ++count;
        }
    }
    fields_[0]->setText(Summary(count, bytes));
    BooksGrid->viewport()->update();
}

void TBookListForm::SetNote(const QString& text) {
    fields_[2]->setText(text);
    fields_[2]->setVisible(!text.trimmed().isEmpty());
}

QString TBookListForm::StatusText(int field) const {
    return field >= 0 && field < 3 ? fields_[field]->text() : QString();
}

// --- the full-text filter ---

void TBookListForm::StartTextFilter(const std::vector<TBookInfo*>& books, const std::string& text, bool extended) {
    ShowRows({});
    auto job = std::make_unique<TTextJob>();
    job->Number = ++jobNumber_;
    job->Books = books;
    job->Text = text;
    job->Extended = extended;
    job->Matches.assign(books.size(), 0);
    {
        TCatalogueGuard guard;
        job->Refs.reserve(books.size());
        for (TBookInfo* book : books)
            job->Refs.push_back({book, book->FullPath(), book->EntryName, book->Packed, book->GetFileType()});
    }
    SetNote(Msg(rsFiltered) + " : 0%");
    TTextJob* raw = job.get();
    // The form joins every job before it goes, so posting to it from the workers is safe.
    raw->Worker = std::thread([raw, self = this] {
        // Two readers share the books; a third thread reports progress about ten times a second.
        std::thread helper([raw] { raw->Run(); });
        const size_t total = std::max<size_t>(raw->Refs.size(), 1);
        std::atomic<bool> finished{false};
        std::thread progress([raw, self, total, &finished] {
            while (!raw->Cancel && !finished) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                const int percent = static_cast<int>(raw->Done * 100 / total);
                QMetaObject::invokeMethod(
                    self, [self, number = raw->Number, percent] { self->TextFilterProgress(number, percent); },
                    Qt::QueuedConnection);
            }
        });
        raw->Run();
        helper.join();
        finished = true;
        progress.join();
        QMetaObject::invokeMethod(
            self, [self, number = raw->Number] { self->TextFilterDone(number); }, Qt::QueuedConnection);
    });
    textJob_ = std::move(job);
}

void TBookListForm::CancelTextFilter() {
    if (!textJob_) return;
    textJob_->Cancel = true;
    // The readers finish the book in hand; the job is joined when its end arrives.
    retired_.push_back(std::move(textJob_));
    SetNote(QString());
}

void TBookListForm::TextFilterProgress(uint64_t job, int percent) {
    if (!textJob_ || textJob_->Number != job) return;
    SetNote(Msg(rsFiltered) + " : " + QString::number(percent) + "%");
}

void TBookListForm::TextFilterDone(uint64_t job) {
    for (auto it = retired_.begin(); it != retired_.end(); ++it) {
        if ((*it)->Number == job) {
            retired_.erase(it);  // joins its worker, which has ended
            return;
        }
    }
    if (!textJob_ || textJob_->Number != job) return;
    std::unique_ptr<TTextJob> done = std::move(textJob_);
    done->Worker.join();
    std::vector<TBookInfo*> found;
    for (size_t i = 0; i < done->Books.size(); ++i)
        if (done->Matches[i] && !done->Gone.count(done->Books[i])) found.push_back(done->Books[i]);
    SetNote(QString());
    ShowRows(found);
}

// --- selection and notifications ---

std::vector<TBookInfo*> TBookListForm::SelectedBooks() const {
    std::vector<TBookInfo*> books;
    for (TListObject* row : BooksGrid->SelectedList())
        if (!BooksGrid->IsDoomed(row)) books.push_back(static_cast<TBookListObject*>(row)->Book);
    return books;
}

void TBookListForm::SelectionChanged() {
    if (busy_ || Closing()) return;
    std::vector<TBookInfo*> books = SelectedBooks();
    if (books.size() == 1) {
        const TBookPlace place = PlaceOf(*books.front());
        fields_[1]->setText(ToQ(place.Path));
        CheckPresence(books.front(), place);
    } else {
        fields_[1]->clear();
    }
    selection_->Publish(std::move(books));
    if (!textJob_ && !selection_->ModifiedMark()) SetNote(QString());
    FillFilterCombo();
}

void TBookListForm::CheckPresence(TBookInfo* book, const TBookPlace& place) {
    // The lost mark follows the disk, asked on another thread through an archive access of its
    // own: the catalogue's may be busy with a resynchronisation for a long while.
    const uint64_t job = ++presenceJob_;
    RunInBackground<bool>(
        this,
        [place] {
            TPackerArchiveAccess packer;
            try {
                return PlaceExists(packer, place);
            } catch (...) {
                return false;
            }
        },
        [this, book, job](bool exists) {
            presenceShown_ = std::max(presenceShown_, job);
            // Only the latest answer, and only for a book still in the catalogue.
            if (job != presenceJob_ || !shown_.count(book)) return;
            TCatalogueGuard guard;
            book->ShowPresence(exists);
        });
}

void TBookListForm::BookChanged(TBookChange change, const TBookInfo* book) {
    if (Closing()) return;
    searchTexts_.erase(book);  // its texts may differ now, or the record is gone
    if (!textsToMake_.empty()) goneBeforeMade_.insert(book);
    if (change == TBookChange::Removed || change == TBookChange::Moved) {
        if (textJob_) textJob_->Gone.insert(book);
        // Found through the set, taken out in one pass when the event loop runs again.
        if (shown_.erase(book)) {
            BooksGrid->RemoveEntityLater(book);
            summaryPending_ = true;  // one summary for a whole burst of removals
            RepaintLater();
        }
    } else if (change == TBookChange::Changed && shown_.count(book)) {
        RepaintLater();
    }
}

void TBookListForm::RepaintLater() {
    if (!repaintLater_->isActive()) repaintLater_->start();
}

// --- commands ---

void TBookListForm::PrepareMenu() {
    commands_->UpdateEnabled();
    resyncMenu_->menuAction()->setEnabled(commands_->Action("LiteResync")->isEnabled());
    BooksGrid->FillColumnsMenu(columnsMenu_);
}

void TBookListForm::ResyncSelected(bool full) {
    QMainWindow* window = MainWindow();
    if (!window) return;
    std::vector<TBookInfo*> books = SelectedBooks();
    std::reverse(books.begin(), books.end());
    session_.StartResync(window, std::move(books), full ? TResyncMode::Full : TResyncMode::Update, this);
}

void TBookListForm::PackSelected() {
    std::vector<TBookInfo*> books = SelectedBooks();
    std::reverse(books.begin(), books.end());
    std::vector<std::string> warnings;
    std::vector<TBookInfo*> packed;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        packed = PackBooks(books, warnings);
    } catch (const std::exception& e) {
        warnings.push_back(e.what());
    }
    QApplication::restoreOverrideCursor();
    if (!packed.empty()) selection_->Publish(SelectedBooks());  // the books are elsewhere now
    QStringList lines{MsgWith(rsSummaryPacked, {std::to_string(packed.size()), std::to_string(books.size())})};
    if (!warnings.empty()) lines << MsgWith(rsSummaryWarnings, {std::to_string(warnings.size())});
    QStringList shown;
    for (const std::string& w : warnings)
        shown << QString::fromStdString(w);
    (new TWorkSummaryForm(this, session_, lines, shown))->show();
}

void TBookListForm::DeleteSelected() {
    if (Dialogs::AskYesNoCancel(this, Msg(rsDeleting), Msg(rsDelDocConfirm)) != Dialogs::TAnswer::Yes) return;
    std::vector<TBookInfo*> books = SelectedBooks();
    TSVD& svd = session_.Library();
    int deleted = 0, failed = 0;
    QString reason;
    // From the last selected to the first.
    for (auto it = books.rbegin(); it != books.rend(); ++it) {
        TBookInfo* book = *it;
        try {
            errno = 0;
            if (!book->DeleteFile()) {
                if (reason.isEmpty())
                    reason = ToQ(book->FullPath()) + ": " + QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
                ++failed;
                continue;
            }
        } catch (const std::exception& e) {
            if (reason.isEmpty()) reason = ToQ(e.what());
            ++failed;
            continue;
        }
        TCatalogueGuard guard;
        svd.ForgetBook(book);
        if (auto* lost = dynamic_cast<TLostBookInfo*>(book))
            svd.RemoveLostBook(lost);
        else if (book->Folder)
            book->Folder->ExtractBook(book);
        ++deleted;
    }
    if (deleted > 0) svd.SetModified(true);
    // One box for all the books that stayed.
    if (failed > 0) Dialogs::Error(this, failed == 1 ? reason : reason + QString(" (+%1)").arg(failed - 1));
}
