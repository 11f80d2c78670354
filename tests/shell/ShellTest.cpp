#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>

#include "LibraryGenerator.h"
#include "ShellFixture.h"
#include "TestUtils.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/BookSequence.h"
#include "catalogue/LibraryLock.h"
#include "catalogue/ListBuilders.h"
#include "catalogue/ListObjects.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/TextUtils.h"
#include "display/ui/SVGrid.h"
#include "scan/FolderSync.h"
#include "scan/Resync.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"
#include "settings/ui/QtText.h"
#include "shell/BookListForm.h"
#include "shell/Dialogs.h"
#include "shell/EndSignals.h"
#include "shell/MainWindow.h"
#include "shell/SettingsForm.h"

namespace {

std::vector<std::string> Column(const TSVGrid& grid, int id) {
    std::vector<std::string> texts;
    for (int32_t i = 0; grid.Data() && i < grid.Data()->Count(); ++i)
        texts.push_back(CellText(grid.Data()->Get(i)->GetValue(id)));
    return texts;
}

// Authors who wrote (not only translated or designed) some book, the default role boxes.
int WritingAuthors(const TSVD& svd) {
    int count = 0;
    for (size_t i = 0; i < svd.Authors.Count(); ++i) {
        const TAuthorInfo* author = svd.Authors.Author(i);
        bool writes = false;
        for (size_t n = 0; n < author->Count(); ++n)
            writes = writes || author->Name(n)->CountByRoles(1u << 1 | 1u << 3) > 0;
        count += writes;
    }
    return count;
}

TEST_F(Program, ListsShowTheLibrary) {
    TSVWinForm& w = Window();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.windowTitle().startsWith(Msg(rsSVWinCaption) + " : 1 ("));
    EXPECT_TRUE(w.windowTitle().contains("books.sv2"));
    ASSERT_EQ(w.MainPageControl->currentWidget(), w.AuthorsTab);
    EXPECT_EQ(w.AuthorRows().Count(), WritingAuthors(Svd()));
    EXPECT_GT(w.AuthorRows().Count(), 50);
    EXPECT_EQ(w.AuthorsGrid->Columns().Count(), 9u);
    EXPECT_EQ(w.AuthorsGrid->model()->headerData(2, Qt::Horizontal).toString(), "Фамилия");

    w.MainPageControl->setCurrentWidget(w.SeriesTab);
    EXPECT_EQ(w.SeriesRows().Count(), Svd().Counts().Series);
    w.MainPageControl->setCurrentWidget(w.GenresTab);
    EXPECT_GT(w.GenreRows().Count(), 100);
    EXPECT_EQ(w.AuthorFilterCombo->itemText(0), Msg(rsEverywhereFltItem));
    EXPECT_EQ(w.AuthorFilterCombo->count(), 10);

    // The role boxes: with every box cleared nobody is listed.
    w.MainPageControl->setCurrentWidget(w.AuthorsTab);
    w.FltAuthorCheck->setCheckState(Qt::PartiallyChecked);
    EXPECT_EQ(w.AuthorRows().Count(), 0);
    EXPECT_EQ(w.FltAuthorCheck->toolTip(), Msg(rsAuthorHintGray));
    w.FltNoAuthorCheck->setCheckState(Qt::Checked);
    EXPECT_EQ(w.AuthorRows().Count(), 1);  // the placeholder of books without author

    // An ambiguous name takes the first candidate at once; the question waits in the queue.
    TBookCollection books;
    Svd().MountPoints.front()->CollectBooks(books, true);
    TAuthorName* a = Svd().Authors.FindOrAddName("Ivan", "", "", "Petrov");
    TAuthorName* b = Svd().Authors.FindOrAddName("Ivan", "", "", "Petrova");
    ASSERT_TRUE(Svd().AuthorChooser);
    EXPECT_EQ(Svd().AuthorChooser->ChooseAuthor(*books.Books().at(0), 1, {a, b}, "I. Petrov"), a);
    ASSERT_EQ(session->PendingChoices().Count(), 1u);
    EXPECT_EQ(session->PendingChoices().Snapshot().front().NameRead, "I. Petrov");
    EXPECT_TRUE(Dialogs::Script().Shown.isEmpty());
}

TEST_F(Program, FiltersNarrowTheListsAfterTypingPauses) {
    TSVWinForm& w = Window();
    const int all = w.AuthorRows().Count();
    const std::string last = w.AuthorRows().Get(0)->GetValue(2).Text;
    w.AuthorFilterCombo->setCurrentIndex(3);  // the last name column
    w.AuthorFilterEdit->setText(ToQ(last.substr(0, 3)));
    EXPECT_EQ(w.AuthorRows().Count(), all);  // nothing before the timer
    ASSERT_TRUE(WaitFor([&] { return w.AuthorRows().Count() < all; }));
    const std::string typed = AnsiLowerCase(last.substr(0, 3));
    for (const std::string& name : Column(*w.AuthorsGrid, 2))
        EXPECT_NE(AnsiLowerCase(name).find(typed), std::string::npos) << name;
    w.AuthorFilterEdit->clear();
    ASSERT_TRUE(WaitFor([&] { return w.AuthorRows().Count() == all; }));

    w.MainPageControl->setCurrentWidget(w.GenresTab);
    w.GenresFilterEdit->setText("sf_");
    ASSERT_TRUE(WaitFor([&] { return w.GenreRows().Count() > 0 && w.GenreRows().Count() < 60; }));
}

TEST_F(Program, HeaderClicksSortUpThenDownWithTiesBrokenLeftToRight) {
    TSVWinForm& w = Window();
    TSVGrid& grid = *w.AuthorsGrid;
    grid.SortByColumn(4);  // the link count
    EXPECT_EQ(grid.SortColumn(), 4);
    EXPECT_FALSE(grid.SortDescending());
    TRowOrder order{4, false, true, {0, 1, 2, 3, 4, 5, 6, 7, 8}};
    for (int32_t i = 1; i < w.AuthorRows().Count(); ++i)
        ASSERT_LE(CompareRows(*w.AuthorRows().Get(i - 1), *w.AuthorRows().Get(i), order), 0) << i;
    grid.SortByColumn(4);
    EXPECT_TRUE(grid.SortDescending());
    order.Descending = true;
    for (int32_t i = 1; i < w.AuthorRows().Count(); ++i)
        ASSERT_LE(CompareRows(*w.AuthorRows().Get(i - 1), *w.AuthorRows().Get(i), order), 0) << i;
    grid.SortByColumn(2);
    EXPECT_EQ(grid.SortColumn(), 2);
    EXPECT_FALSE(grid.SortDescending());

    // A filter rebuilds the rows; the order chosen stays, arrow and all.
    grid.SortByColumn(4);
    ASSERT_TRUE(grid.SortDescending() == false && grid.SortColumn() == 4);
    const int all = w.AuthorRows().Count();
    w.AuthorFilterEdit->setText("a");
    ASSERT_TRUE(WaitFor([&] { return w.AuthorRows().Count() < all; }));
    EXPECT_EQ(grid.SortColumn(), 4);
    order.Descending = false;
    for (int32_t i = 1; i < w.AuthorRows().Count(); ++i)
        ASSERT_LE(CompareRows(*w.AuthorRows().Get(i - 1), *w.AuthorRows().Get(i), order), 0) << i;
    w.AuthorFilterEdit->clear();
    ASSERT_TRUE(WaitFor([&] { return w.AuthorRows().Count() == all; }));
    EXPECT_EQ(grid.SortColumn(), 4);
    grid.SortByColumn(2);

    // With the first columns hidden, the link count (id 4, now at position 0) still sorts.
    grid.SetLayoutString("2;60,4,0;90,2,0");
    grid.SortByColumn(0);
    EXPECT_EQ(grid.SortColumn(), 4);
    const TRowOrder shown{4, false, true, {4, 2}};
    for (int32_t i = 1; i < w.AuthorRows().Count(); ++i)
        ASSERT_LE(CompareRows(*w.AuthorRows().Get(i - 1), *w.AuthorRows().Get(i), shown), 0) << i;
    EXPECT_EQ(grid.LayoutString(), "2;60,4,0;90,2,0");
}

TEST_F(Program, ClosingTheLastWindowAsksWhenTheLibraryChanged) {
    TSVWinForm& w = Window();
    // Looking is no change: every tab and panel shown, then closed, asks nothing.
    for (int i = 0; i < TSVWinForm::kPanelCount; ++i)
        w.OpenPanel(i);
    w.FltNoAuthorCheck->setCheckState(Qt::Checked);  // the placeholder of books without author
    for (QWidget* tab : {w.AuthorsTab, w.SeriesTab, w.GenresTab, w.AuthorsTab}) {
        w.MainPageControl->setCurrentWidget(tab);
        Flush();
    }
    // The books' files are not on disk: the shown book is marked lost, which is no change either.
    ShowEveryBookSelected(w, Svd());
    ASSERT_TRUE(w.BookList() && WaitForIdle(*w.BookList()));
    TSVGrid* books = w.BookList()->BooksGrid;
    ASSERT_GT(books->Data()->Count(), 1);
    for (int32_t i = 0; i < books->Data()->Count(); ++i)
        books->Data()->Get(i)->Selection = i == 0;
    emit books->SelectionChanged();
    TBookInfo* shown = static_cast<TBookListObject*>(books->Data()->Get(0))->Book;
    EXPECT_TRUE(WaitFor([&] { return shown->IsLost(); }));
    EXPECT_FALSE(Svd().IsModified());

    Svd().SetModified(true);
    Dialogs::Script().Answers = {Dialogs::TAnswer::Cancel};
    w.close();
    Flush();
    ASSERT_EQ(program->Windows().size(), 1u);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(Dialogs::Script().Shown.back(), Msg(rsSVDNotSaved));

    // Yes saves; the file on disk then holds the change (a new series).
    Svd().FindOrAddSequence(Utf8ToAnsi("Новая серия"), false);
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    w.close();
    Flush();
    EXPECT_TRUE(program->Windows().empty());
    TSVD again;
    again.LoadFromFile(Utf8ToAnsi(library));
    EXPECT_EQ(again.Counts().Series, Svd().Counts().Series);
}

TEST_F(Program, TwoWindowsStayInStepAndTakeTheSmallestFreeNumber) {
    TSVWinForm& one = Window();
    TSVWinForm* two = program->NewWindow();
    TSVWinForm* three = program->NewWindow();
    EXPECT_EQ(two->Number(), 2);
    EXPECT_EQ(three->Number(), 3);
    two->close();
    Flush();
    TSVWinForm* again = program->NewWindow();
    EXPECT_EQ(again->Number(), 2);
    EXPECT_TRUE(again->windowTitle().contains(" : 2 ("));

    for (TSVWinForm* w : {&one, again})
        w->MainPageControl->setCurrentWidget(w->SeriesTab);
    const int series = one.SeriesRows().Count();
    one.SeriesGrid->SortByColumn(0);
    TBookSequence* added = Svd().FindOrAddSequence(Utf8ToAnsi("Ааа новая"), false);
    EXPECT_EQ(one.SeriesRows().Count(), series + 1);
    EXPECT_EQ(again->SeriesRows().Count(), series + 1);
    EXPECT_EQ(one.SeriesRows().Get(0)->Entity(), added);  // put at its sorted place

    // A sweep frees authors and series nobody needs: both windows drop their rows.
    one.MainPageControl->setCurrentWidget(one.AuthorsTab);
    const int authors = one.AuthorRows().Count();
    TAuthorName* lonely = Svd().Authors.FindOrAddName("", "", "", "Lonely");
    lonely->Author->Modified = 1;
    one.FltAuthorCheck->setCheckState(Qt::Checked);
    Svd().Sweep(false, kSweepAuthors | kSweepSeries);
    ASSERT_TRUE(WaitFor([&] { return one.SeriesRows().Count() == series && again->SeriesRows().Count() == series; }));
    EXPECT_EQ(one.AuthorRows().Count(), authors);
}

TEST_F(Program, LanguageFileRecaptionsOpenWindows) {
    std::filesystem::create_directories(dir / "lang");
    const std::string text =
        "LangName = 'English'\r\nrsAuthorsTab = 'Authors'\r\nrsSVWinCaption='Shelvara main window'\r\n"
        "rsEverywhereFltItem = 'Anywhere'\r\n";
    WriteBytes(dir / "lang" / "en.lng", std::vector<uint8_t>(text.begin(), text.end()));
    languages->Rescan();
    TSVWinForm& w = Window();
    options->ChooseLanguage(0);
    EXPECT_EQ(w.MainPageControl->tabText(0), "Authors");
    EXPECT_TRUE(w.windowTitle().startsWith("Shelvara main window : 1"));
    EXPECT_EQ(w.AuthorFilterCombo->itemText(0), "Anywhere");
    EXPECT_EQ(w.MainPageControl->tabText(1), "Серии");
    // The choice is stored at once.
    TSettingsStore reread(dir / "config" / "settings.ini");
    EXPECT_NE(reread.ReadString(kProgramKey, "LangFile").value_or("").find("en.lng"), std::string::npos);
}

TEST_F(Program, OptionsAndWindowStatePersistAcrossRestarts) {
    program->Settings().StripedGridsCheck->setChecked(false);
    program->Settings().AutosaveEveryCheck->setChecked(true);
    program->Settings().AutosaveSpin->setValue(7);
    EXPECT_TRUE(session->AutosaveTimer()->isActive());
    EXPECT_EQ(session->AutosaveTimer()->interval(), 7 * 60000);
    program->Settings().show();
    program->Settings().hide();  // closing the dialog saves the options
    EXPECT_FALSE(Window().AuthorsGrid->Striped());
    Window().MainPageControl->setCurrentWidget(Window().GenresTab);
    Window().FltTranslatorsCheck->setCheckState(Qt::Unchecked);
    Window().AuthorsGrid->Columns().RemoveById(8);
    Svd().SetModified(false);
    Window().close();
    Flush();
    Stop();

    Start();
    EXPECT_FALSE(program->Settings().StripedGridsCheck->isChecked());
    EXPECT_EQ(program->Settings().AutosaveSpin->value(), 7);
    EXPECT_EQ(Window().MainPageControl->currentWidget(), Window().GenresTab);
    EXPECT_EQ(Window().FltTranslatorsCheck->checkState(), Qt::Unchecked);
    EXPECT_EQ(Window().AuthorsGrid->Columns().FindById(8), -1);
    EXPECT_EQ(store->ReadString(kProgramKey + "\\TSVMainForm", "LastSVD"), Utf8ToAnsi(library));
}

TEST_F(Program, AutosaveWritesOnlyAModifiedLibrary) {
    const auto before = std::filesystem::last_write_time(library);
    EXPECT_FALSE(session->Autosave());
    EXPECT_EQ(std::filesystem::last_write_time(library), before);
    EXPECT_FALSE(std::filesystem::exists(TSVD::BackupName(library)));
    Svd().FindOrAddSequence("x", false);
    EXPECT_TRUE(session->Autosave());
    EXPECT_FALSE(Svd().IsModified());
    EXPECT_FALSE(session->Autosave());

    // A write that fails is shown.
    Svd().SetModified(true);
    Svd().FileName = (dir / "no such folder" / "b.sv2").string();
    EXPECT_FALSE(session->Autosave());
    EXPECT_FALSE(Dialogs::Script().Shown.isEmpty());
}

TEST_F(Program, OpeningAnotherLibraryAsksFirstAndRebuildsEveryWindow) {
    TSVD other;
    GenerateLibrary(other, 50, 7);
    const std::string second = (dir / "other.sv2").string();
    other.SaveToFile(Utf8ToAnsi(second));
    TSVWinForm* two = program->NewWindow();
    Svd().SetModified(true);
    Dialogs::Script().Answers = {Dialogs::TAnswer::Cancel};
    EXPECT_FALSE(session->OpenLibrary(QString::fromStdString(second), &Window()));
    EXPECT_TRUE(Window().windowTitle().contains("books.sv2"));

    Dialogs::Script().Answers = {Dialogs::TAnswer::No};
    EXPECT_TRUE(session->OpenLibrary(QString::fromStdString(second), &Window()));
    EXPECT_TRUE(Window().windowTitle().contains("other.sv2"));
    EXPECT_TRUE(two->windowTitle().contains("other.sv2"));
    EXPECT_EQ(Window().AuthorRows().Count(), WritingAuthors(Svd()));

    // A damaged file: the error is shown and the windows rebuilt on what was read.
    const std::string bad = (dir / "bad.sv2").string();
    auto bytes = ReadBytes(second);
    bytes.resize(bytes.size() / 2);
    WriteBytes(bad, bytes);
    Dialogs::Script().Shown.clear();
    EXPECT_FALSE(session->OpenLibrary(QString::fromStdString(bad), &Window()));
    EXPECT_FALSE(Dialogs::Script().Shown.isEmpty());
    EXPECT_TRUE(Svd().FileName.empty());
    EXPECT_FALSE(session->Autosave());  // tied to no file: nothing can overwrite the damaged one

    // A record whose name leads outside its folder is left out, said, and the rest opens.
    TSVD crafted;
    crafted.MountPoints.push_back(std::make_unique<TMountPoint>(&crafted));
    crafted.MountPoints.back()->Name = "/books";
    crafted.MountPoints.back()->AddBook()->FileName = "ok.fb2";
    TBookInfo* evil = crafted.MountPoints.back()->AddBook();
    evil->FileName = "a.zip";
    evil->Packed = true;
    evil->EntryName = "QQ/x.fb2";
    const std::string craftedFile = (dir / "crafted.sv2").string();
    ASSERT_TRUE(crafted.SaveToFile(craftedFile));
    bytes = ReadBytes(craftedFile);
    const std::string stand = "QQ/x.fb2", bad2 = "../x.fb2";
    std::copy(bad2.begin(), bad2.end(), std::search(bytes.begin(), bytes.end(), stand.begin(), stand.end()));
    WriteBytes(craftedFile, bytes);
    Dialogs::Script().Shown.clear();
    EXPECT_TRUE(session->OpenLibrary(QString::fromStdString(craftedFile), &Window()));
    ASSERT_EQ(Dialogs::Script().Shown.size(), 1);
    EXPECT_TRUE(Dialogs::Script().Shown[0].contains("../x.fb2")) << Dialogs::Script().Shown[0].toStdString();
    EXPECT_EQ(Svd().Counts().Books, 1);
    EXPECT_EQ(Svd().FileName, craftedFile);
}

TEST_F(Program, ResynchronisationShowsProgressAndNewAuthorsAppear) {
    TSVWinForm& w = Window();
    w.ResyncStarted(&w);
    EXPECT_FALSE(w.ResyncPanel->isHidden());
    w.ResyncProgress(&w, 3, 10, "a.fb2");
    EXPECT_EQ(w.ProgressBar1->value(), 3);
    EXPECT_EQ(w.ProgressBar1->maximum(), 10);
    // A name the scan added; the user's row stays current.
    w.AuthorsGrid->SetCurrentIndex(5);
    const void* current = w.AuthorsGrid->CurrentObject()->Entity();
    const int before = w.AuthorRows().Count();
    TAuthorName* name = Svd().Authors.FindOrAddName("", "", "", Utf8ToAnsi("Новиков"));
    TBookCollection books;
    Svd().MountPoints.front()->CollectBooks(books, true);
    name->LinkBook(books.Books().at(0), 1);
    w.ResyncFinished(&w, TSyncStats{});
    EXPECT_TRUE(w.ResyncPanel->isHidden());
    EXPECT_EQ(w.AuthorRows().Count(), before + 1);
    EXPECT_EQ(w.AuthorsGrid->CurrentObject()->Entity(), current);
}

TEST_F(Program, ALibraryThatFailsToLoadAtStartIsShownAndTiedToNoFile) {
    Stop();
    auto bytes = ReadBytes(library);
    bytes.resize(bytes.size() * 2 / 3);
    WriteBytes(library, bytes);
    Dialogs::Script().Shown.clear();
    Start();
    EXPECT_EQ(Dialogs::Script().Shown.size(), 1u);
    ASSERT_EQ(program->Windows().size(), 1u);
    EXPECT_TRUE(Svd().FileName.empty());
    // The window says that what it shows is only part of a damaged file.
    EXPECT_TRUE(session->LibraryDamaged());
    EXPECT_TRUE(Window().windowTitle().contains(Msg(rsLibraryDamaged)));
    const QLabel* damaged = Window().findChild<QLabel*>("DamagedLabel");
    ASSERT_TRUE(damaged);
    EXPECT_FALSE(damaged->isHidden());
    Svd().SetModified(true);
    EXPECT_FALSE(session->Autosave());
    EXPECT_EQ(ReadBytes(library), bytes);
}

namespace {
class ShowWatcher : public QObject {
public:
    bool Shown = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) Shown = true;
        return false;
    }
};
}  // namespace

// A real background resynchronisation: the strip shows while it runs, the window keeps
// answering, new authors appear at the end, and opening another library is refused meanwhile.
TEST_F(Program, BackgroundResynchronisationOfAFolder) {
    const std::filesystem::path books = dir / "disk";
    std::filesystem::create_directories(books);
    for (int i = 0; i < 200; ++i) {
        const std::string fb2 =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info>"
            "<author><first-name>Ivan</first-name><last-name>Scanned" +
            std::to_string(i % 7) + "</last-name></author><book-title>B" + std::to_string(i) +
            "</book-title></title-info></description><body><p>text</p></body></FictionBook>";
        WriteBytes(books / ("b" + std::to_string(i) + ".fb2"), std::vector<uint8_t>(fb2.begin(), fb2.end()));
    }
    TMountPoint* mount = Svd().AddMountPoint(books.string());
    ASSERT_TRUE(mount);
    TSVWinForm& w = Window();
    const int before = w.AuthorRows().Count();
    // The start and the end may arrive in one pass of the event loop: watch for the show itself.
    ShowWatcher strip;
    w.ResyncPanel->installEventFilter(&strip);
    ASSERT_TRUE(session->StartResync(&w, *mount, TResyncMode::Full, &w));
    EXPECT_FALSE(session->OpenLibrary(QString::fromStdString(library), &w));  // refused while it runs
    EXPECT_EQ(Dialogs::Script().Shown.back(), Msg(rsErrThreadWorking));
    ASSERT_TRUE(WaitFor([&] { return !session->ResyncRunning() && w.ResyncPanel->isHidden() && strip.Shown; }, 20000));
    ASSERT_TRUE(WaitFor([&] { return w.AuthorRows().Count() == before + 7; }));
    TBookCollection found;
    mount->CollectBooks(found, true);
    EXPECT_EQ(found.Count(), 200u);
}

TEST_F(Program, BackgroundResynchronisationReportsAnOfflineMountPoint) {
    const std::filesystem::path books = dir / "unplugged";
    std::filesystem::create_directories(books);
    WriteBytes(books / "a.fb2", Bytes("<FictionBook><description><title-info><book-title>A</book-title>"
                                      "</title-info></description></FictionBook>"));
    TMountPoint* mount = Svd().AddMountPoint(books.string());
    TSVWinForm& w = Window();
    ASSERT_TRUE(session->StartResync(&w, *mount, TResyncMode::Full, &w));
    ASSERT_TRUE(WaitFor([&] { return !session->ResyncRunning() && w.ResyncPanel->isHidden(); }, 20000));
    ASSERT_EQ(mount->BookCount(), 1u);
    std::filesystem::remove_all(books);
    Dialogs::Script().Shown.clear();
    ASSERT_TRUE(session->StartResync(&w, *mount, TResyncMode::Full, &w));
    ASSERT_TRUE(WaitFor([&] { return !Dialogs::Script().Shown.isEmpty(); }, 20000));
    EXPECT_TRUE(Dialogs::Script().Shown.back().startsWith(Msg(rsMountPointOffline).section('%', 0, 0)))
        << Dialogs::Script().Shown.back().toStdString();
    EXPECT_EQ(mount->BookCount(), 1u);
    EXPECT_TRUE(Svd().LostBooks.empty());
}

TEST_F(Program, ALibraryOpenInAnotherProgramIsRefused) {
    // The program holds its own library's lock: another writer is refused.
    EXPECT_THROW(TLibraryLock(library, "a second writer"), EShelvaraError);
    const std::string busy = (dir / "busy.sv2").string();
    TSVD().SaveToFile(busy);
    TLibraryLock other(busy, "shelvara-cli scan (process 1)");
    EXPECT_FALSE(session->OpenLibrary(QString::fromStdString(busy), &Window()));
    ASSERT_FALSE(Dialogs::Script().Shown.isEmpty());
    const std::string refusal = FormatMessageText(MessageText(rsErrLibraryInUse), {busy, "shelvara-cli scan"});
    EXPECT_TRUE(Dialogs::Script().Shown.back().startsWith(ToQ(refusal.substr(0, refusal.find("scan") + 4))))
        << Dialogs::Script().Shown.back().toStdString();
}

// The grid's own selection: clicks with and without Ctrl and Shift, keys, and an empty list.
TEST(GridSelection, MouseAndKeys) {
    TSVD svd;
    TObjList rows;
    NumberedGenreRows(svd, 30, 100, rows);
    TSVGrid grid;
    grid.resize(400, 300);
    grid.show();
    auto flags = [&] {
        std::string s;
        for (int32_t i = 0; i < 6; ++i)
            s += rows.Get(i)->Selected() ? '1' : '0';
        return s;
    };
    auto click = [&](int row, Qt::KeyboardModifiers mods) {
        const QPoint at = grid.visualRect(grid.model()->index(row, 0)).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, grid.viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, mods);
        QApplication::sendEvent(grid.viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, grid.viewport()->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, mods);
        QApplication::sendEvent(grid.viewport(), &release);
    };
    auto key = [&](int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, mods);
        QApplication::sendEvent(&grid, &press);
    };

    // An empty list: clicks and keys select nothing and do not fail.
    TObjList empty;
    grid.SetData(&empty);
    click(0, Qt::NoModifier);
    key(Qt::Key_End);
    EXPECT_EQ(grid.SelectedCount(), 0);

    grid.SetData(&rows);
    EXPECT_EQ(flags(), "100000");  // a fresh list selects its first row
    click(2, Qt::NoModifier);
    EXPECT_EQ(flags(), "001000");
    click(4, Qt::ControlModifier);
    EXPECT_EQ(flags(), "001010");
    click(2, Qt::ControlModifier);
    EXPECT_EQ(flags(), "000010");
    click(1, Qt::ShiftModifier);  // from the row clicked last (2) to 1, the others kept
    EXPECT_EQ(flags(), "011010");
    key(Qt::Key_Down);
    EXPECT_EQ(grid.CurrentIndex(), 2);
    EXPECT_EQ(flags(), "001000");
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(flags(), "001100");
    key(Qt::Key_End);
    EXPECT_EQ(grid.CurrentIndex(), 29);
    EXPECT_EQ(grid.SelectedCount(), 1);
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid.SelectedCount(), 30);
    key(Qt::Key_Home);
    EXPECT_EQ(flags(), "100000");

    // Colours: selected rows in the highlight, every second row striped, and the hook last.
    const QColor base = grid.model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>();
    EXPECT_EQ(base, grid.palette().color(QPalette::Highlight));
    EXPECT_EQ(grid.model()->index(3, 0).data(Qt::BackgroundRole).value<QColor>().rgb() & 0xFFFFFF,
              StripedColor(grid.model()->index(2, 0).data(Qt::BackgroundRole).value<QColor>().rgb() & 0xFFFFFF));
    grid.OnGetColors = [](int, int row, QColor& text, QColor&, bool) {
        if (row == 4) text = Qt::red;
    };
    EXPECT_EQ(grid.model()->index(4, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));

    // Single-select: Ctrl and Shift select only the clicked row.
    grid.MultiSelect = false;
    click(3, Qt::ControlModifier);
    EXPECT_EQ(flags(), "000100");
    click(5, Qt::ShiftModifier);
    EXPECT_EQ(flags(), "000001");
    grid.SetData(nullptr);
}

}  // namespace

namespace {

// SIGTERM reaches the program through its event loop, where ending is safe.
TEST(EndSignals, ATerminationSignalEndsThroughTheEventLoop) {
    int ended = 0;
    {
        const TEndSignals ending([&] { ++ended; });
        ASSERT_EQ(::raise(SIGTERM), 0);
        EXPECT_EQ(ended, 0);  // nothing ran inside the handler
        for (int i = 0; i < 50 && ended == 0; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(ended, 1);
        ASSERT_EQ(::raise(SIGINT), 0);
        for (int i = 0; i < 50 && ended == 1; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(ended, 2);
    }
    // The previous handlers are back: ignoring SIGTERM now is ours to set and see.
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_NE(now.sa_handler, SIG_IGN);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace

namespace {

// A library another program holds at the start: another one is chosen, or the program ends
// rather than show an empty library.
TEST_F(Program, ALockedLibraryAtStartOffersAnotherOrEnds) {
    Stop();
    const TLibraryLock held(Utf8ToAnsi(library), "another program");
    const std::string second = (dir / "second.sv2").string();
    TSVD other;
    GenerateLibrary(other, 20, 3);
    ASSERT_TRUE(other.SaveToFile(Utf8ToAnsi(second)));
    Dialogs::Script().Shown.clear();
    Dialogs::Script().FileNames = {QString::fromStdString(second)};
    Start();
    EXPECT_FALSE(program->Ended());
    ASSERT_EQ(program->Windows().size(), 1u);
    EXPECT_EQ(Svd().FileName, Utf8ToAnsi(second));
    ASSERT_FALSE(Dialogs::Script().Shown.isEmpty());
    EXPECT_TRUE(Dialogs::Script().Shown[0].contains("another program"));

    Stop();
    Dialogs::Script().FileNames.clear();
    Start();
    EXPECT_TRUE(program->Ended());
    EXPECT_TRUE(program->Windows().empty());
}

}  // namespace
