// Figures for the desktop program's windows on large libraries, on the offscreen platform:
// building and filtering the lists, author management, the book list of a prolific author and
// the full-text filter, and a burst of removals under every open panel. Run a release build:
//   bench_shell [--gtest_filter=...]     (SHELVARA_MEASURE_BOOKS sets the library size)
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "ShellFixture.h"
#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookLinks.h"
#include "catalogue/TitleInfo.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "display/ui/SVGrid.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorManageForm.h"
#include "shell/BookInfoForm.h"
#include "shell/BookListForm.h"

namespace {

// A click on a row as the grid reports it.
void Choose(TSVGrid* grid, int row) {
    grid->SelectOnlyRow(row);
    grid->SetCurrentIndex(row);
    emit grid->SelectionChanged();
}

std::string Fb2(const std::string& title, const std::string& author) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><author>"
           "<first-name>Ivan</first-name><last-name>" +
           author + "</last-name></author><book-title>" + title +
           "</book-title></title-info></description>"
           "<body><p>The text of " +
           title + ".</p></body></FictionBook>";
}

// The time from the removal of half the shown books to every panel showing the rest; the floor
// is the same removal with no window open.
double BurstMs(int shown, bool windows) {
    TBigLibrary big(shown);
    TProgram& program = big.Hub;
    program.Options().SetTimerDelay(false);  // the panels' refresh delay is not part of the work
    program.Start(QString::fromStdString(big.File));
    TSVWinForm& w = *program.Windows().front();
    TSVD& svd = program.Session().Library();
    std::vector<TBookInfo*> half;
    if (windows) {
        ShowEveryBookSelected(w, svd);
        if (!WaitFor([&] { return w.BookList() && w.BookList()->Rows().Count() == shown; }, 60000)) return -1;
        TBookListForm& list = *w.BookList();
        WaitForIdle(list);  // the window's first refreshes, as it shows, are over
        for (int32_t i = 0; i < list.Rows().Count(); ++i)
            list.Rows().Get(i)->Selection = 1;
        emit list.BooksGrid->SelectionChanged();
        static_cast<TBookInfoForm*>(w.Panel(2))->raise();
        if (!WaitFor(
                [&] { return static_cast<TBookInfoForm*>(w.Panel(2))->Books().size() == static_cast<size_t>(shown); }))
            std::printf("the information panel shows %zu books\n",
                        static_cast<TBookInfoForm*>(w.Panel(2))->Books().size());
        Flush();
    } else {
        for (int i = 0; i < TSVWinForm::kPanelCount; ++i)
            if (w.Panel(i)) delete w.Panel(i);
        Flush();
    }
    TBookCollection all;
    svd.MountPoints.front()->CollectBooks(all, true);
    for (size_t i = 0; i < all.Books().size(); i += 2)
        half.push_back(all.Books()[i]);
    const auto t0 = std::chrono::steady_clock::now();
    RemoveInOneBurst(svd, half);
    if (windows) {
        auto& info = *static_cast<TBookInfoForm*>(w.Panel(2));
        const bool done = WaitFor([&] {
            return w.BookList()->Rows().Count() == shown - static_cast<int>(half.size()) &&
                   info.Books().size() == static_cast<size_t>(shown) - half.size() && !info.RefreshDue();
        });
        if (!done)
            std::printf("not settled: %d rows, %zu books in the information\n", w.BookList()->Rows().Count(),
                        info.Books().size());
    }
    Flush();
    const double ms = MillisBetween(t0, std::chrono::steady_clock::now());
    delete &w;
    return ms;
}

}  // namespace

TEST(Burst, RemovingHalfOfTheShownBooks) {
    for (int shown : {2000, 4000, 8000}) {
        const double floor = BurstMs(shown, false);
        const double ms = BurstMs(shown, true);
        std::printf(
            "remove %d of %d shown and selected books, every panel open: %.1f ms; "
            "floor (no window) %.1f ms; ratio %.1f\n",
            shown / 2, shown, ms, floor, floor > 0 ? ms / floor : 0.0);
    }
}

// Figures for the book list on a big library (SHELVARA_MEASURE_BOOKS, 20,000 by default): the
// list of an author of 2,000 books, and a full-text filter over 10,000 book files while the
// event loop is watched for stalls.
TEST(PanelMeasure, AuthorOfManyBooksAndFullTextFilter) {
    const int books = MeasureBooks(12000);
    TBigLibrary big(books, [&](TSVD& svd, const std::filesystem::path& dir) {
        // One author with 2,000 books and another with 10,000 whose files exist.
        TBookCollection all;
        svd.MountPoints.front()->CollectBooks(all, true);
        TAuthorName* prolific = svd.Authors.Author(0)->Name(0);
        TAuthorName* reader = svd.Authors.Author(1)->Name(0);
        svd.MountPoints.front()->Name = (dir / "disk").string();
        for (int i = 0; i < 10000; ++i) {
            TBookInfo* book = all.Books()[static_cast<size_t>(i)];
            if (i < 2000) book->EnsureTitleInfo().AddAuthor(prolific);
            book->EnsureTitleInfo().AddAuthor(reader);
            const std::filesystem::path file = AnsiToUtf8(book->FullPath());
            std::filesystem::create_directories(file.parent_path());
            WriteBytes(file, Bytes(Fb2("b" + std::to_string(i) + (i % 100 == 7 ? " needle" : ""), "Reader")));
        }
    });
    TProgram& hub = big.Hub;
    const std::string& library = big.File;
    hub.Options().SetTimerDelay(false);
    hub.Start(QString::fromStdString(library));
    TSVWinForm& w = *hub.Windows().front();
    ASSERT_TRUE(WaitFor([&] { return w.BookList() != nullptr; }));
    TBookListForm& list = *w.BookList();
    auto rowOf = [&](const TAuthorInfo* author) {
        for (int32_t i = 0; i < w.AuthorRows().Count(); ++i)
            if (w.AuthorRows().Get(i)->Entity() == author) return i;
        return -1;
    };
    const int prolific = rowOf(hub.Session().Library().Authors.Author(0));
    const int reader = rowOf(hub.Session().Library().Authors.Author(1));
    ASSERT_GE(prolific, 0);
    ASSERT_GE(reader, 0);

    // From the reader's 10,000 books to the prolific author's 2,000: the list follows the click
    // once the event loop has run.
    Choose(w.AuthorsGrid, reader);
    ASSERT_TRUE(WaitFor([&] { return list.Rows().Count() >= 10000; }));
    Flush();
    const auto t0 = std::chrono::steady_clock::now();
    Choose(w.AuthorsGrid, prolific);
    WaitFor([&] { return list.Rows().Count() >= 2000 && list.Rows().Count() < 10000; });
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_GE(list.Rows().Count(), 2000);

    Choose(w.AuthorsGrid, reader);
    WaitFor([&] { return list.Rows().Count() >= 10000; });
    ASSERT_GE(list.Rows().Count(), 10000);
    list.FilterCombo->setCurrentIndex(list.FilterCombo->findData(1));
    list.FilterEdit->setText("needle");
    // While the readers run, a timer is asked to fire at once, again and again: its lateness is
    // how long a key press would wait.
    double worst = 0;
    int ticks = 0;
    bool sawProgress = false;
    QElapsedTimer clock;
    clock.start();
    auto asked = std::chrono::steady_clock::now();
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto now = std::chrono::steady_clock::now();
        worst = std::max(worst, MillisBetween(asked, now));
        asked = now;
        ++ticks;
        sawProgress = sawProgress || list.StatusText(2).startsWith(Msg(rsFiltered));
    });
    ASSERT_TRUE(WaitFor([&] { return list.TextFilterRunning(); }, 5000));
    const auto started = std::chrono::steady_clock::now();
    asked = started;
    probe.start();
    ASSERT_TRUE(WaitFor([&] { return !list.TextFilterRunning(); }, 120000));
    probe.stop();
    const double filtered = MillisBetween(started, std::chrono::steady_clock::now());
    EXPECT_EQ(list.Rows().Count(), 100);
    EXPECT_TRUE(sawProgress || filtered < 150);
    std::printf(
        "%d books: an author of 2,000 books listed in %.1f ms; full-text filter over 10,000 files %.0f ms, "
        "%d event loop turns, longest wait for the event loop %.1f ms\n",
        books, MillisBetween(t0, t1), filtered, ticks, worst);
    delete &w;
}

// Figures for author management on a big library (SHELVARA_MEASURE_BOOKS, 20,000 books by
// default): open, filter, and move the links of an author's 500 books to another.
TEST(AuthorMeasure, OpenFilterAndMergeOnABigLibrary) {
    const int books = MeasureBooks(2000);
    TBigLibrary big(books, [&](TSVD& svd, const std::filesystem::path&) {
        TBookCollection all;
        svd.MountPoints.front()->CollectBooks(all, true);
        // Two authors of 500 books each.
        TAuthorName* a = svd.Authors.Author(0)->Name(0);
        TAuthorName* b = svd.Authors.Author(1)->Name(0);
        for (int i = 0; i < 1000; ++i)
            all.Books()[static_cast<size_t>(i)]->EnsureTitleInfo().AddAuthor(i < 500 ? a : b);
    });
    TProgram& hub = big.Hub;
    const std::string& library = big.File;
    hub.Options().SetCanEdit(true);
    hub.Start(QString::fromStdString(library));
    TSVWinForm& w = *hub.Windows().front();
    const auto t0 = std::chrono::steady_clock::now();
    auto* form = new TAuthorManageForm(&w, hub.Session());
    form->OpenFor(hub.Session().Library().Authors.Author(0));
    form->show();
    QApplication::processEvents();
    const auto t1 = std::chrono::steady_clock::now();
    const int all = form->Rows().Count();
    form->FilterEdit->setText(ToQ(hub.Session().Library().Authors.Author(0)->Name(0)->LastName().substr(0, 3)));
    form->FilterTimer->stop();
    const auto t2 = std::chrono::steady_clock::now();
    form->Rows().Stale = true;
    form->Rebuild();
    QApplication::processEvents();
    const auto t3 = std::chrono::steady_clock::now();
    TAuthorName* from = hub.Session().Library().Authors.Author(0)->Name(0);
    TAuthorName* into = hub.Session().Library().Authors.Author(1)->Name(0);
    const size_t moved = from->Links.Count();
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    const auto t4 = std::chrono::steady_clock::now();
    form->MergeSpellingInto(from, into);
    QApplication::processEvents();
    const auto t5 = std::chrono::steady_clock::now();
    EXPECT_EQ(from->Links.Count(), 0u);
    EXPECT_GE(moved, 500u);
    EXPECT_LT(form->Rows().Count(), all);
    std::printf(
        "%d books, %d authors: author management open %.1f ms, filtered (%d rows) %.1f ms, the links of "
        "%zu books moved to another author %.1f ms\n",
        books, all, MillisBetween(t0, t1), form->Rows().Count(), MillisBetween(t2, t3), moved, MillisBetween(t4, t5));
    delete form;
    delete &w;
}

// Not a speed assertion: prints the time to build the lists of a large library and to filter.
TEST(ShellMeasure, LargeLibraryListsAndFilter) {
    const int books = MeasureBooks(0);
    TBigLibrary big(books);
    TProgram& hub = big.Hub;
    const std::string& library = big.File;
    const auto t0 = std::chrono::steady_clock::now();
    hub.Start(QString::fromStdString(library));
    Flush();
    const auto t1 = std::chrono::steady_clock::now();
    TSVWinForm& w = *hub.Windows().front();
    auto timed = [&](const std::function<void()>& f) {
        const auto a = std::chrono::steady_clock::now();
        f();
        QApplication::processEvents();
        return MillisBetween(a, std::chrono::steady_clock::now());
    };
    const int authors = w.AuthorRows().Count();
    const double rebuild = timed([&] {
        w.AuthorRows().Stale = true;
        w.BuildAuthors();
    });
    const std::string typed = w.AuthorRows().Get(authors / 2)->GetValue(2).Text.substr(0, 4);
    w.AuthorFilterEdit->setText(ToQ(typed));
    const auto typedAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return w.AuthorRows().Count() < authors; }, 10000));
    const double shown = MillisBetween(typedAt, std::chrono::steady_clock::now());
    const int left = w.AuthorRows().Count();
    const double filter = timed([&] {
        w.AuthorRows().Stale = true;
        w.BuildAuthors();
    });
    w.AuthorFilterEdit->clear();
    ASSERT_TRUE(WaitFor([&] { return w.AuthorRows().Count() == authors; }, 10000));
    const double sort = timed([&] { w.AuthorsGrid->SortByColumn(2); });
    const double series = timed([&] { w.MainPageControl->setCurrentWidget(w.SeriesTab); });
    std::printf(
        "%d books, %d authors: library loaded and window open %.0f ms; author list built %.1f ms; filtered "
        "list (%d rows) built %.1f ms, on screen %.0f ms after the last key (500 ms timer); sorted by last "
        "name %.1f ms; series tab (%d rows) %.1f ms\n",
        books, authors, MillisBetween(t0, t1), rebuild, left, filter, shown, sort, w.SeriesRows().Count(), series);

    // Every book in one grid: binding, sorting, painting at the top and at the bottom.
    TObjList rows;
    rows.RowClass = &TBookListObject::Class;
    TBookCollection all;
    for (const auto& mount : hub.Session().Library().MountPoints)
        mount->CollectBooks(all, true);
    for (TBookInfo* book : all.Books())
        rows.Add(std::make_unique<TBookListObject>(book));
    TSVGrid grid;
    grid.resize(1000, 700);
    const double bind = timed([&] { grid.SetData(&rows); });
    const double sortBooks = timed([&] { grid.SortByColumn(0); });
    const double paintTop = timed([&] { grid.grab(); });
    const double paintEnd = timed([&] {
        grid.scrollToBottom();
        grid.grab();
    });
    std::printf(
        "book grid of %d rows: bound %.1f ms, sorted by title %.1f ms, painted %.1f ms at the top and %.1f ms "
        "at the end\n",
        rows.Count(), bind, sortBooks, paintTop, paintEnd);
    grid.SetData(nullptr);
    delete &w;
}

namespace {

// The book list's filter on every book of a large library: the work of each keystroke while a
// text is typed letter by letter (the typing pause excluded), for texts of several shapes, in
// every column and in one. The floor is one pass of a substring search over each book's title,
// authors and series, lower-cased beforehand: what any filter over those texts must at least do.
TEST(BookListMeasure, FilterKeystroke) {
    const int books = MeasureBooks(0) < 100000 && !std::getenv("SHELVARA_MEASURE_BOOKS") ? 100000 : MeasureBooks(0);
    TBigLibrary big(books);
    TProgram& program = big.Hub;
    program.Options().SetTimerDelay(false);
    program.Start(QString::fromStdString(big.File));
    TSVWinForm& w = *program.Windows().front();
    TSVD& svd = program.Session().Library();
    ShowEveryBookSelected(w, svd);
    ASSERT_TRUE(WaitFor([&] { return w.BookList() && w.BookList()->Rows().Count() == books; }, 120000));
    TBookListForm& list = *w.BookList();
    WaitForIdle(list);
    list.FilterTimer->setInterval(0);

    std::vector<std::string> haystack;
    TBookCollection all;
    for (const auto& mount : svd.MountPoints)
        mount->CollectBooks(all, true);
    for (const TBookInfo* b : all.Books())
        haystack.push_back(AnsiLowerCase(b->TitleText() + "\n" + b->AuthorsText() + "\n" + b->SeriesText()));

    const std::string title = AnsiToUtf8(all.Books()[static_cast<size_t>(books / 2)]->TitleText());
    const QString word = QString::fromStdString(title).section(' ', 0, 0);
    struct Case {
        const char* what;
        QString text;
        int column;  // filter combo index: 0 everywhere, 2 the title column
    };
    const Case cases[] = {
        {"a word (first use)", word, 0},   {"a word", word, 0}, {"a number", "1974", 0}, {"no match", "qqqzx", 0},
        {"a word, title column", word, 2},
    };
    for (const Case& c : cases) {
        list.FilterCombo->setCurrentIndex(c.column);
        list.FilterEdit->clear();
        ASSERT_TRUE(WaitFor([&] { return list.Rows().Count() == books && !list.RefreshPending(); }, 60000));
        // Typed one letter at a time, as a reader types: every keystroke is timed.
        std::vector<double> keys;
        for (qsizetype n = 1; n <= c.text.size(); ++n) {
            list.FilterEdit->setText(c.text.left(n));
            const auto a = std::chrono::steady_clock::now();
            // Done when the timer has fired and the refresh it asked for has run; the events are
            // handled without waiting, so the time is the window's work.
            while (list.FilterTimer->isActive() || list.RefreshPending())
                QApplication::processEvents();
            keys.push_back(MillisBetween(a, std::chrono::steady_clock::now()));
            // The reader's pause before the next letter (the filter waits 500 ms for it anyway).
            while (list.MakingSearchTexts())
                QApplication::processEvents();
        }
        const int shown = list.Rows().Count();
        double later = 0, worst = 0;
        for (size_t k = 0; k < keys.size(); ++k) {
            worst = std::max(worst, keys[k]);
            if (k > 0) later += keys[k];
        }
        const std::string key = AnsiLowerCase(FromQ(c.text));
        const auto f0 = std::chrono::steady_clock::now();
        int floorHits = 0;
        for (const std::string& h : haystack)
            floorHits += h.find(key) != std::string::npos;
        const double floor = MillisBetween(f0, std::chrono::steady_clock::now());
        std::printf(
            "%d books, filter %-26s \"%s\": %d rows; keystrokes: first %.1f ms, later %.1f ms on average, "
            "worst %.1f; floor %.1f ms (%d hits), ratio %.1f (first) %.1f (later)\n",
            books, c.what, c.text.toUtf8().constData(), shown, keys.front(),
            keys.size() > 1 ? later / double(keys.size() - 1) : 0.0, worst, floor, floorHits,
            keys.front() / std::max(floor, 0.001),
            keys.size() > 1 ? later / double(keys.size() - 1) / std::max(floor, 0.001) : 0.0);
    }
    delete &w;
}

}  // namespace
