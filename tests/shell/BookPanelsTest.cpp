#include <gtest/gtest.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "ShellFixture.h"
#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/ListBuilders.h"
#include "catalogue/ListObjects.h"
#include "catalogue/TitleInfo.h"
#include "common/Dates.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "display/ui/SVGrid.h"
#include "scan/Resync.h"
#include "settings/ui/QtText.h"
#include "shell/BookInfoForm.h"
#include "shell/BookListForm.h"
#include "shell/DockTabs.h"
#include "shell/DockableForm.h"
#include "shell/FastBookInfoForm.h"
#include "shell/WorkSummaryForm.h"

namespace {

// A click on a row as the grid reports it.
void Choose(TSVGrid* grid, int row) {
    grid->SelectOnlyRow(row);
    grid->SetCurrentIndex(row);
    emit grid->SelectionChanged();
}

void ChooseRows(TSVGrid* grid, const std::vector<int>& rows) {
    for (int32_t i = 0; i < grid->Data()->Count(); ++i)
        grid->Data()->Get(i)->Selection = 0;
    for (int row : rows)
        grid->Data()->Get(row)->Selection = 1;
    emit grid->SelectionChanged();
}

std::string Fb2(const std::string& title, const std::string& author) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><author>"
           "<first-name>Ivan</first-name><last-name>" +
           author + "</last-name></author><book-title>" + title + "</book-title><annotation><p>About " + title +
           "</p></annotation></title-info></description><body><p>The text of " + title +
           " with a rare word.</p></body></FictionBook>";
}

struct Panels : Program {
    TSVWinForm* w = nullptr;

    void SetUp() override {
        Program::SetUp();
        w = &Window();
        ASSERT_TRUE(WaitFor([&] { return w->BookList() && w->Panel(1) && w->Panel(2); }));
        ASSERT_TRUE(WaitForIdle(List()));
    }

    TBookListForm& List() { return *w->BookList(); }
    TFastBookInfoForm& Fast() { return *static_cast<TFastBookInfoForm*>(w->Panel(1)); }
    TBookInfoForm& Info() { return *static_cast<TBookInfoForm*>(w->Panel(2)); }

    // The row of an author with exactly n books, or -1.
    int AuthorWithBooks(size_t n) {
        for (int32_t i = 0; i < w->AuthorRows().Count(); ++i) {
            TBookCollection books;
            w->AuthorRows().Get(i)->CollectBooks(books);
            if (books.Count() == n) return i;
        }
        return -1;
    }

    // A mount point of real files named by title, read into the catalogue.
    TMountPoint* RealBooks(const std::vector<std::string>& titles, const std::string& author = "Realfiles") {
        const std::filesystem::path folder = dir / "disk";
        std::filesystem::create_directories(folder);
        for (const std::string& title : titles)
            WriteBytes(folder / (title + ".fb2"), Bytes(Fb2(title, author)));
        TMountPoint* mount = Svd().AddMountPoint(folder.string());
        TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
        w->AuthorRows().Stale = true;
        w->BuildAuthors();
        return mount;
    }

    // Shows the books of the author named last in the list.
    void ChooseAuthor(const std::string& lastName) {
        for (int32_t i = 0; i < w->AuthorRows().Count(); ++i)
            if (CellText(w->AuthorRows().Get(i)->GetValue(2)) == lastName) {
                Choose(w->AuthorsGrid, i);
                return;
            }
        FAIL() << "no author " << lastName;
    }
};

TEST_F(Panels, TheSelectionFlowsFromTheAuthorsToTheBookListAndTheInformation) {
    const int row = AuthorWithBooks(3);
    ASSERT_GE(row, 0);
    Choose(w->AuthorsGrid, row);
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == 3; }));
    // Every column but the hidden mark, which nothing sets ("16;w,0,a;...": no id 10).
    const QStringList columns = QString::fromStdString(List().BooksGrid->LayoutString()).split(';');
    EXPECT_EQ(columns.size(), 17);
    for (const QString& column : columns.mid(1))
        EXPECT_NE(column.section(',', 1, 1), "10") << column.toStdString();
    TBookCollection expected;
    w->AuthorRows().Get(row)->CollectBooks(expected);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_TRUE(expected.Contains(static_cast<TBookListObject*>(List().Rows().Get(i))->Book));

    // A fresh list selects its first row: both information panels follow it, each when it is
    // the tab in front.
    const TBookInfo* book = static_cast<TBookListObject*>(List().Rows().Get(0))->Book;
    ASSERT_TRUE(WaitFor([&] { return Info().Books().size() == 1 && Info().Books().front() == book; }));
    Fast().raise();
    ASSERT_TRUE(WaitFor([&] { return Fast().Book() == book && !Fast().PaintTimer->isActive(); }));
    EXPECT_EQ(Fast().Book(), book);
    EXPECT_EQ(Fast().BookNameLabel->text(), ToQ(book->TitleInfo->Titles.front()));
    EXPECT_EQ(Fast().VisibleAuthorLabels(), static_cast<int>(book->TitleInfo->Authors.size()));
    EXPECT_EQ(Info().AuthLabel->text(), ToQ(book->AuthorsText()));
    EXPECT_TRUE(Info().AuthLabel->isEnabled());
    EXPECT_TRUE(Info().FileRenameButton->isEnabled());

    // Two rows: the short information shows none, the information both.
    ChooseRows(List().BooksGrid, {0, 2});
    ASSERT_TRUE(WaitFor([&] { return Fast().Book() == nullptr; }));
    EXPECT_EQ(Info().Books().size(), 1u);  // behind the short information: not refreshed yet
    Info().raise();
    ASSERT_TRUE(WaitFor([&] { return Info().Books().size() == 2; }));
    EXPECT_FALSE(Info().FileRenameButton->isEnabled());
    EXPECT_EQ(ErrorOf([&] { Info().RenameCommand(); }), rsSelectOneBook);
    EXPECT_EQ(ErrorOf([&] { List().RequestRefresh(1); }), rsErrUnknownEvent);

    // Another tab without a list: no books.
    w->MainPageControl->setCurrentWidget(w->FavourTab);
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == 0; }));
    EXPECT_EQ(w->FavoritesGrid->model()->rowCount({}), 1);  // one blank row under its header
    EXPECT_GT(w->FavoritesGrid->model()->columnCount({}), 0);
}

TEST_F(Panels, TheSummaryCountsBytesKilobytesAndMegabytes) {
    struct Case {
        int64_t bytes;
        const char* shown;
    };
    const Case cases[] = {{0, "0 байт"}, {8191, "8191 байт"}, {8192, "8 кб"}, {8388607, "8191 кб"}, {8388608, "8 Мб"}};
    for (const Case& c : cases)
        EXPECT_EQ(TBookListForm::Summary(2, c.bytes), "2 книг, " + QString::fromUtf8(c.shown)) << c.bytes;

    // The status bar adds the sizes of the rows' books.
    const int row = AuthorWithBooks(2);
    ASSERT_GE(row, 0);
    TBookCollection books;
    w->AuthorRows().Get(row)->CollectBooks(books);
    books.Books()[0]->Size = 4096;
    books.Books()[1]->Size = 4096;
    Choose(w->AuthorsGrid, row);
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == 2; }));
    EXPECT_EQ(List().StatusText(0), "2 книг, 8 кб");
}

TEST_F(Panels, NotesReadDatesAndColoursGoToEverySelectedBook) {
    const int row = AuthorWithBooks(2);
    ASSERT_GE(row, 0);
    TBookCollection books;
    w->AuthorRows().Get(row)->CollectBooks(books);
    TBookInfo* a = books.Books()[0];
    TBookInfo* b = books.Books()[1];
    a->Comment = "first";
    b->Comment = "second";
    a->Color = 4;
    b->Color = 4;
    Choose(w->AuthorsGrid, row);
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == 2; }));
    ASSERT_TRUE(WaitForIdle(List()));
    ChooseRows(List().BooksGrid, {0, 1});
    ASSERT_TRUE(WaitFor([&] { return Info().Books().size() == 2; }));
    EXPECT_EQ(Info().NoteEdit->text(), "");
    EXPECT_EQ(Info().ColorComboBox1->currentData().toInt(), 4);
    EXPECT_FALSE(Info().ReadDateCheck->isChecked());

    Info().NoteEdit->setFocus();
    Info().NoteEdit->setText(" read again ");
    emit Info().NoteEdit->textEdited(Info().NoteEdit->text());
    EXPECT_EQ(a->Comment, "read again");
    EXPECT_EQ(b->Comment, "read again");
    EXPECT_EQ(Info().NoteEdit->text(), " read again ");  // the typing is not disturbed

    Info().ColorComboBox1->setCurrentIndex(Info().ColorComboBox1->findData(12));
    EXPECT_EQ(a->Color, 12);
    EXPECT_EQ(b->Color, 12);
    b->Color = 3;
    b->NotifyChanged();
    Flush();                                                      // changes are shown once the event loop runs
    EXPECT_EQ(Info().ColorComboBox1->currentData().toInt(), -1);  // marks differ: no colour

    Info().ReadDateTimePicker->setDate(QDate(2024, 5, 17));
    Info().ReadDateCheck->setChecked(true);
    EXPECT_EQ(a->ReadDate, EncodeDate(2024, 5, 17));
    EXPECT_EQ(b->ReadDate, EncodeDate(2024, 5, 17));
    Info().ReadDateCheck->setChecked(false);
    EXPECT_EQ(a->ReadDate, 0);

    // Row colours: a marked book's text takes its colour, a lost one maroon. (The generated
    // books have no files: choosing one alone marked it lost.)
    a->SetLost(false);
    b->SetLost(false);
    QColor text, brush;
    for (int i = 0; i < 2; ++i) {
        const auto* shown = static_cast<TBookListObject*>(List().Rows().Get(i));
        text = Qt::black;
        List().BooksGrid->OnGetColors(0, i, text, brush, false);
        EXPECT_EQ(text, shown->Book == b ? QColor(0x80, 0x80, 0) : QColor(0, 0, 0xFF));  // olive, blue
    }
    a->SetLost(true);
    const int rowOfA = static_cast<TBookListObject*>(List().Rows().Get(0))->Book == a ? 0 : 1;
    List().BooksGrid->OnGetColors(0, rowOfA, text, brush, false);
    EXPECT_EQ(text, QColor(0x80, 0, 0));
}

TEST_F(Panels, TheFullTextFilterReadsTheBooksInTheBackground) {
    RealBooks({"alpha", "beta", "gamma"});
    ChooseAuthor("Realfiles");
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == 3; }));
    List().FilterCombo->setCurrentIndex(List().FilterCombo->findData(1));
    List().FilterEdit->setText("TEXT OF BETA");
    ASSERT_TRUE(WaitFor([&] { return !List().TextFilterRunning() && List().Rows().Count() == 1; }));
    EXPECT_EQ(static_cast<TBookListObject*>(List().Rows().Get(0))->Book->FileName, "beta.fb2");

    // The extended variant finds the skeleton anywhere, not only at the end of the text.
    List().ExtFilterCheck->setChecked(true);
    List().FilterEdit->setText("rare word");
    ASSERT_TRUE(WaitFor([&] { return !List().TextFilterRunning() && List().Rows().Count() == 3; }));
    // A keystroke stops the run; the next one finds nothing.
    List().FilterEdit->setText("no such words anywhere");
    ASSERT_TRUE(WaitFor([&] { return !List().TextFilterRunning() && List().Rows().Count() == 0; }));
}

// The search of all columns keeps each book's texts between keystrokes: a book changed in
// between is searched as it is now, one removed is not searched at all.
TEST_F(Panels, TheFilterOfAllColumnsFollowsBooksChangedBetweenKeystrokes) {
    RealBooks({"alpha", "beta", "gamma"});
    ChooseAuthor("Realfiles");
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == 3; }));
    List().FilterTimer->setInterval(0);
    List().FilterCombo->setCurrentIndex(0);  // every column
    const auto settled = [&] {
        return !List().FilterTimer->isActive() && !List().RefreshPending() && !List().MakingSearchTexts();
    };
    List().FilterEdit->setText("a");
    ASSERT_TRUE(WaitFor(settled));
    EXPECT_EQ(List().Rows().Count(), 3);  // "a" is in every title
    List().FilterEdit->setText("alp");
    ASSERT_TRUE(WaitFor(settled));
    ASSERT_EQ(List().Rows().Count(), 1);  // from the kept texts
    TBookInfo* beta = nullptr;
    TBookCollection all;
    Svd().MountPoints.back()->CollectBooks(all, true);
    for (TBookInfo* b : all.Books())
        if (b->FileName == "beta.fb2") beta = b;
    ASSERT_TRUE(beta);
    {
        TCatalogueGuard guard;
        beta->Comment = "also alphorn";
        beta->NotifyChanged();
    }
    List().FilterEdit->setText("alph");
    ASSERT_TRUE(WaitFor(settled));
    EXPECT_EQ(List().Rows().Count(), 2);
    List().FilterEdit->setText("alpho");
    ASSERT_TRUE(WaitFor(settled));
    ASSERT_EQ(List().Rows().Count(), 1);
    EXPECT_EQ(static_cast<TBookListObject*>(List().Rows().Get(0))->Book, beta);
}

TEST_F(Panels, PackingAndDeletingFromTheMenu) {
    TMountPoint* mount = RealBooks({"one", "two", "three", "four"});
    ChooseAuthor("Realfiles");
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == 4; }));
    auto rowOf = [&](const std::string& file) {
        for (int32_t i = 0; i < List().Rows().Count(); ++i)
            if (static_cast<TBookListObject*>(List().Rows().Get(i))->Book->FileName == file) return i;
        return -1;
    };
    const std::filesystem::path disk = mount->Name;

    // Packing: the archive is there and the file gone, the record points into the archive.
    ChooseRows(List().BooksGrid, {rowOf("one.fb2")});
    List().PackSelected();
    EXPECT_TRUE(std::filesystem::exists(disk / "one.zip"));
    EXPECT_FALSE(std::filesystem::exists(disk / "one.fb2"));
    const int packed = rowOf("one.zip");
    ASSERT_GE(packed, 0);
    EXPECT_TRUE(static_cast<TBookListObject*>(List().Rows().Get(packed))->Book->Packed);
    const auto summaries = List().findChildren<TWorkSummaryForm*>();
    ASSERT_EQ(summaries.size(), 1);
    EXPECT_EQ(summaries.front()->CountsLabel->text(), MsgWith(rsSummaryPacked, {"1", "1"}));
    summaries.front()->close();

    // Deleting: one question; a file that cannot go (a folder stands in its place) stays and
    // is reported once for all.
    std::filesystem::remove(disk / "two.fb2");
    std::filesystem::create_directories(disk / "two.fb2" / "inside");
    std::filesystem::remove(disk / "three.fb2");
    std::filesystem::create_directories(disk / "three.fb2" / "inside");
    Dialogs::Script().Shown.clear();
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    ChooseRows(List().BooksGrid, {rowOf("two.fb2"), rowOf("three.fb2"), rowOf("four.fb2")});
    List().PrepareMenu();
    List().DeleteSelected();
    ASSERT_EQ(Dialogs::Script().Shown.size(), 2u);
    EXPECT_EQ(Dialogs::Script().Shown[0], Msg(rsDelDocConfirm));
    EXPECT_TRUE(Dialogs::Script().Shown[1].endsWith("(+1)")) << Dialogs::Script().Shown[1].toStdString();
    EXPECT_FALSE(std::filesystem::exists(disk / "four.fb2"));
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == 3; }));
    EXPECT_LT(rowOf("four.fb2"), 0);
    EXPECT_GE(rowOf("two.fb2"), 0);
    EXPECT_GE(rowOf("three.fb2"), 0);
    TBookCollection left;
    mount->CollectBooks(left, true);
    EXPECT_EQ(left.Count(), 3u);

    // No answer, nothing deleted.
    Dialogs::Script().Answers = {Dialogs::TAnswer::No};
    ChooseRows(List().BooksGrid, {rowOf("one.zip")});
    List().DeleteSelected();
    EXPECT_TRUE(std::filesystem::exists(disk / "one.zip"));
}

TEST_F(Panels, DeletingTheShownBookEmptiesTheShortInformation) {
    RealBooks({"shown"});
    ChooseAuthor("Realfiles");
    Fast().raise();
    ASSERT_TRUE(WaitFor([&] {
        return Fast().Book() && Fast().Book()->FileName == "shown.fb2" && !Fast().PaintTimer->isActive() &&
               !Fast().NoInfoLabel->isVisible();
    }));
    EXPECT_EQ(Fast().BookNameLabel->text(), "shown");
    EXPECT_EQ(Fast().AnnoLabel->text().trimmed(), "About shown");
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    ChooseRows(List().BooksGrid, {0});
    List().DeleteSelected();
    ASSERT_TRUE(WaitFor([&] { return Fast().Book() == nullptr && Fast().NoInfoLabel->isVisible(); }));
    EXPECT_EQ(Fast().NoInfoLabel->text(), Msg(rsSelectOneBook));
    Info().raise();  // a panel on a hidden tab catches up when it comes to the front
    EXPECT_TRUE(WaitFor([&] { return Info().Books().empty() && !Info().RefreshPending(); }));
    EXPECT_TRUE(WaitFor([&] { return List().Rows().Count() == 0; }));
}

// Many removals at once (a sweep, a resynchronisation) reach the list as one change.
TEST_F(Panels, RemovalsAreFoundThroughTheSetAndAppliedInOnePass) {
    int row = -1;
    size_t most = 0;
    for (int32_t i = 0; i < w->AuthorRows().Count(); ++i) {
        TBookCollection books;
        w->AuthorRows().Get(i)->CollectBooks(books);
        if (books.Count() > most) most = books.Count(), row = i;
    }
    ASSERT_GE(most, 4u);
    Choose(w->AuthorsGrid, row);
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == static_cast<int>(most); }));
    int changes = 0;
    QObject counting;  // the count goes with the test, before the grid's last signals
    QObject::connect(List().BooksGrid, &TSVGrid::DataChanged, &counting, [&] { ++changes; });
    std::vector<TBookInfo*> gone;
    for (int32_t i = 0; i < 3; ++i)
        gone.push_back(static_cast<TBookListObject*>(List().Rows().Get(i))->Book);
    for (TBookInfo* book : gone)
        book->NotifyRemoved();
    ASSERT_TRUE(WaitFor([&] { return List().Rows().Count() == static_cast<int>(most) - 3; }));
    EXPECT_EQ(changes, 1);
}

// A panel that cannot keep its edits stops its window from closing and another library from
// opening; the error is shown.
class StubbornPanel final : public TDockableForm {
public:
    StubbornPanel(TSVWinForm* window, TLibrarySession& session)
        : TDockableForm(window, session, nullptr, 3, "StubbornPanel") {}
    bool Refuse = true;
    bool SavePendingEdits(QString& error) override {
        error = "the edits could not be written";
        return !Refuse;
    }
    void Recaption() override { setWindowTitle("stubborn"); }

protected:
    void Refresh() override {}
};

TEST_F(Panels, PendingEditsAreKeptBeforeAPanelOrItsWindowGoes) {
    delete w->Panel(3);  // the preview's slot takes the stand-in
    Flush();
    auto* panel = new StubbornPanel(w, *session);
    w->InstallPanel(3, panel);
    Dialogs::Script().Shown.clear();
    w->close();
    EXPECT_TRUE(w->isVisible());
    ASSERT_FALSE(Dialogs::Script().Shown.empty());
    EXPECT_EQ(Dialogs::Script().Shown.back(), "the edits could not be written");
    EXPECT_FALSE(session->OpenLibrary(QString::fromStdString(library), w));
    panel->close();
    Flush();
    EXPECT_EQ(w->Panel(3), panel);
    panel->Refuse = false;
    w->TogglePanel(3);
    Flush();
    EXPECT_EQ(w->Panel(3), nullptr);
}

TEST_F(Panels, PanelsComeBackWhereTheyWereAndFreeEverythingWhenClosed) {
    Fast().setFloating(true);
    Fast().setGeometry(100, 100, 300, 200);
    w->TogglePanel(2);
    Flush();
    ASSERT_EQ(w->Panel(2), nullptr);
    Svd().SetModified(false);
    w->close();
    Flush();
    EXPECT_EQ(store->ReadString(kProgramKey + "\\TSVWinForm", "OpenedWindows").value_or(""), "1101");
    Stop();
    Start();
    TSVWinForm& again = Window();
    ASSERT_TRUE(WaitFor([&] { return again.Panel(0) && again.Panel(1); }));
    Flush();
    EXPECT_EQ(again.Panel(2), nullptr);
    EXPECT_TRUE(again.Panel(1)->isFloating());
    EXPECT_FALSE(again.Panel(0)->isFloating());
    EXPECT_EQ(again.dockWidgetArea(again.Panel(0)), Qt::BottomDockWidgetArea);
}

// Panels grouped in a floating window are captioned together; the tabs of a group have the
// tab-position menu, kept for the next start.
TEST_F(Panels, GroupsAreCaptionedTogetherAndTheirTabsCanMove) {
    // Qt makes floating groups only from a drag; the caption is taken from the group's tabs.
    QWidget group;
    auto* bar = new QTabBar(&group);
    bar->addTab(Msg(rsFastInfoName));
    bar->addTab(Msg(rsBookInfoName));
    EXPECT_EQ(TDockTabs::GroupCaption(&group), Msg(rsFastInfoName) + ", " + Msg(rsBookInfoName));
    QMenu* menu = w->findChild<QMenu*>("DockTabMenu");
    ASSERT_TRUE(menu);
    QAction* top = menu->findChild<QAction*>("Top1");
    ASSERT_TRUE(top);
    EXPECT_EQ(top->text(), Msg(rsTabsTop));
    top->trigger();
    EXPECT_EQ(w->tabPosition(Qt::RightDockWidgetArea), QTabWidget::North);
    Svd().SetModified(false);
    w->close();
    Flush();
    EXPECT_EQ(store->ReadString(kProgramKey + "\\TTabDockHost", "Top1_Checked").value_or(""), "True");
}

TEST_F(Program, TheMainWindowCountsRowsAndKeepsTabsInSeveralRows) {
    TSVWinForm& w = Window();
    const QLabel* count = w.findChild<QLabel*>("RowCountLabel");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->text(), QString::number(w.AuthorRows().Count()) + " / " + QString::number(Svd().Authors.Count()));
    QAction* multiline = w.findChild<QAction*>("MultilineItem1");
    ASSERT_TRUE(multiline);
    EXPECT_EQ(multiline->text(), Msg(rsMultilineTab));
    multiline->trigger();
    EXPECT_FALSE(w.MainPageControl->usesScrollButtons());
    w.close();
    Flush();
    EXPECT_EQ(store->ReadString(kProgramKey + "\\TSVWinForm", "MultilineItem1_Checked").value_or(""), "True");
}

// A header click sorts without moving the view to the user's row; the wheel only scrolls.
TEST(GridViewing, SortShowsTheTopAndTheWheelKeepsTheSelection) {
    TSVD svd;
    TObjList rows;
    NumberedGenreRows(svd, 400, 1000, rows);
    TSVGrid grid;
    grid.resize(400, 300);
    grid.show();
    grid.SetData(&rows);
    Choose(&grid, 390);
    grid.scrollTo(grid.model()->index(390, 0));
    ASSERT_GT(grid.verticalScrollBar()->value(), 0);
    grid.SortByColumn(0);
    grid.SortByColumn(0);  // descending: the chosen row lands near the top, the view stays there
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
    grid.SortByColumn(0);  // ascending again: the row is near the end, the view still at the top
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
    // Qt draws its descending order as the up arrow: ascending shows up.
    EXPECT_EQ(grid.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    const int selected = grid.CurrentIndex();
    QWheelEvent wheel(QPointF(50, 50), grid.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid.viewport(), &wheel);
    EXPECT_EQ(grid.CurrentIndex(), selected);
    EXPECT_EQ(grid.SelectedCount(), 1);
    EXPECT_TRUE(rows.Get(selected)->Selected());
    EXPECT_GT(grid.verticalScrollBar()->value(), 0);

    // Widths stored before the list ever had rows are refitted once it has some.
    TSVGrid fresh;
    fresh.SetLayoutString("3;64,0,0;64,1,0;64,2,0");
    fresh.SetData(&rows);
    EXPECT_NE(fresh.Columns().Width(0), 64);
    TSVGrid sized;
    sized.SetLayoutString("3;200,0,0;64,1,0;64,2,0");
    sized.SetData(&rows);
    EXPECT_EQ(sized.Columns().Width(0), 200);
}

// Half of 4,000 shown and selected books go at once, with every panel open: each panel takes the
// burst in one pass (one refill, one change of the list), so the work grows with the books, not
// with their square. bench_shell prints the time.
TEST(PanelBurst, RemovingHalfOfTheShownBooksIsOnePassPerPanel) {
    TBigLibrary big(4000);
    TProgram& program = big.Hub;
    program.Start(QString::fromStdString(big.File));
    TSVWinForm& w = *program.Windows().front();
    TSVD& svd = program.Session().Library();
    ShowEveryBookSelected(w, svd);
    ASSERT_TRUE(WaitFor([&] { return w.BookList() && w.BookList()->Rows().Count() == 4000; }, 20000));
    TBookListForm& list = *w.BookList();
    ASSERT_TRUE(WaitForIdle(list));
    for (int32_t i = 0; i < list.Rows().Count(); ++i)
        list.Rows().Get(i)->Selection = 1;
    emit list.BooksGrid->SelectionChanged();
    auto& info = *static_cast<TBookInfoForm*>(w.Panel(2));
    info.raise();
    ASSERT_TRUE(WaitFor([&] { return info.Books().size() == 4000 && !info.RefreshDue(); }));
    Flush();

    std::vector<TBookInfo*> half;
    for (int32_t i = 0; i < 4000; i += 2)
        half.push_back(static_cast<TBookListObject*>(list.Rows().Get(i))->Book);
    int listChanges = 0, selectionChanges = 0;
    QObject counting;
    QObject::connect(list.BooksGrid, &TSVGrid::DataChanged, &counting, [&] { ++listChanges; });
    QObject::connect(&w.Selection(), &TBookSelection::BooksChanged, &counting, [&] { ++selectionChanges; });
    const int fills = info.FillCount();
    RemoveInOneBurst(svd, half);
    ASSERT_TRUE(WaitFor([&] {
        return list.Rows().Count() == 2000 && info.FillCount() > fills && !info.RefreshPending();
    })) << list.Rows().Count()
        << " rows, " << info.Books().size() << " books in the information";
    Flush();
    EXPECT_EQ(listChanges, 1);
    EXPECT_EQ(selectionChanges, 1);
    EXPECT_EQ(info.FillCount() - fills, 1);
    EXPECT_EQ(w.Selection().Books().size(), 2000u);
    delete &w;
}

}  // namespace
