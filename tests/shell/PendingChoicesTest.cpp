#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "ShellFixture.h"
#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/AuthorName.h"
#include "scan/Resync.h"
#include "settings/ui/QtText.h"
#include "shell/FirstStartForm.h"
#include "shell/PendingChoicesForm.h"
#include "shell/WorkSummaryForm.h"

namespace {

std::string Book(const std::string& title, const std::string& first, const std::string& last) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><genre>sf</genre>"
           "<author><first-name>" +
           first + "</first-name><last-name>" + last + "</last-name></author><book-title>" + title +
           "</book-title></title-info></description><body><p>Text</p></body></FictionBook>";
}

template <typename Form>
Form* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<Form*>(w); form && form->isVisible()) return form;
    return nullptr;
}

// A scan from the window whose books name an author several authors match asks nothing while
// it runs; the questions wait in one window, where one decision settles every book of the name.
TEST_F(Program, AScanOfAmbiguousAuthorsAsksNothingAndTheChoicesApplyLater) {
    TAuthorName* ivan = Svd().Authors.FindOrAddName("Ivan", "", "", "Petrov");
    TAuthorName* igor = Svd().Authors.NewAuthor(true)->AddName("Igor", "", "", "Petrov");
    const std::filesystem::path folder = dir / "ambiguous";
    std::filesystem::create_directories(folder);
    constexpr int kAmbiguous = 40;
    for (int i = 0; i < kAmbiguous; ++i)
        WriteBytes(folder / ("p" + std::to_string(i) + ".fb2"), Bytes(Book("P" + std::to_string(i), "I.", "Petrov")));
    for (int i = 0; i < 5; ++i)
        WriteBytes(folder / ("s" + std::to_string(i) + ".fb2"), Bytes(Book("S" + std::to_string(i), "Semen", "Sidr")));
    TMountPoint* mount = Svd().AddMountPoint(folder.string());
    TSVWinForm& w = Window();
    ASSERT_TRUE(session->StartResync(&w, *mount, TResyncMode::Full, &w));
    ASSERT_TRUE(WaitFor([&] { return !session->ResyncRunning() && w.ResyncPanel->isHidden(); }, 30000));
    EXPECT_TRUE(Dialogs::Script().Shown.isEmpty()) << Dialogs::Script().Shown.join("\n").toStdString();
    ASSERT_EQ(session->PendingChoices().Count(), size_t{kAmbiguous});

    // The run ends with its summary, which leads to the questions.
    ASSERT_TRUE(WaitFor([] { return Shown<TWorkSummaryForm>() != nullptr; }));
    TWorkSummaryForm* summary = Shown<TWorkSummaryForm>();
    EXPECT_TRUE(summary->CountsLabel->text().contains(QString::number(kAmbiguous + 5)));
    EXPECT_TRUE(WaitFor([&] { return summary->ChoicesBtn->isVisible(); }));
    summary->close();

    // A book that goes takes its question along.
    TBookCollection books;
    mount->CollectBooks(books, true);
    TBookInfo* gone = nullptr;
    for (TBookInfo* b : books.Books())
        if (b->FileName == "p0.fb2") gone = b;
    ASSERT_TRUE(gone);
    RemoveInOneBurst(Svd(), {gone});
    Flush();
    EXPECT_EQ(session->PendingChoices().Count(), size_t{kAmbiguous - 1});

    // Saved with the library, the questions are there again when it is opened again.
    ASSERT_TRUE(session->Save(&w));
    EXPECT_TRUE(std::filesystem::exists(library + ".choices"));
    ASSERT_TRUE(session->OpenLibrary(QString::fromStdString(library), &w));
    ASSERT_EQ(session->PendingChoices().Count(), size_t{kAmbiguous - 1});
    ivan = Svd().Authors.FindOrAddName("Ivan", "", "", "Petrov");
    igor = Svd().Authors.FindOrAddName("Igor", "", "", "Petrov");
    mount = Svd().MountPoints.back().get();

    TPendingChoicesForm* form = w.ShowPendingChoices();
    ASSERT_EQ(form->RowCount(), kAmbiguous - 1);
    EXPECT_EQ(form->ChoicesGrid->item(0, 1)->text(), "I. Petrov");
    const std::vector<TPendingChoice> rows = session->PendingChoices().Snapshot();
    const auto indexOf = [](const TPendingChoice& c, const TAuthorName* n) {
        return static_cast<int>(std::find(c.Candidates.begin(), c.Candidates.end(), n) - c.Candidates.begin());
    };
    const TAuthorName* standIn = rows.front().Candidates.front();
    const TAuthorName* other = standIn == ivan ? igor : ivan;
    form->Choose(0, indexOf(rows.front(), other));
    form->SameForName(0);
    for (int r = 0; r < form->RowCount(); ++r)
        EXPECT_EQ(form->Chosen(r), indexOf(rows[static_cast<size_t>(r)], other)) << r;
    EXPECT_EQ(form->Apply(), kAmbiguous - 1);
    EXPECT_EQ(form->RowCount(), 0);
    EXPECT_EQ(session->PendingChoices().Count(), 0u);
    EXPECT_TRUE(Svd().IsModified());
    ASSERT_TRUE(session->Save(&w));
    EXPECT_FALSE(std::filesystem::exists(library + ".choices"));  // none left, no file
    TBookCollection reread;
    mount->CollectBooks(reread, true);
    for (TBookInfo* b : reread.Books())
        if (b->FileName.str().front() == 'p') {
            EXPECT_EQ(b->TitleInfo->Authors.front(), other) << b->FileName;
        }
    delete form;
}

}  // namespace

namespace {

// A first start, with the user's data folder in the test's own folder.
struct FirstStart : Program {
    QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");

    void SetUp() override {
        Program::SetUp();
        Stop();
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dir / "data").string()));
        program = std::make_unique<TProgram>(*store, *languages);
        session = &program->Session();
        options = &program->Options();
    }
    void TearDown() override {
        Program::TearDown();
        if (oldDataHome.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", oldDataHome);
    }
};

// The demo library: written by the program into the data folder, opened at once, every tab with
// something to show, and kept as the library of the next start.
TEST_F(FirstStart, TheDemoLibraryHasSomethingInEveryTab) {
    program->FirstStart(TFirstStartForm::Demo);
    ASSERT_EQ(program->Windows().size(), 1u);
    EXPECT_TRUE(Dialogs::Script().Shown.isEmpty()) << Dialogs::Script().Shown.join("\n").toStdString();
    ASSERT_EQ(Svd().MountPoints.size(), 1u);
    EXPECT_TRUE(ToQ(Svd().FileName).startsWith(QString::fromStdString((dir / "data" / "shelvara" / "demo").string())));
    EXPECT_EQ(options->LastLibrary(), Svd().FileName);
    const TSVDCounts counts = Svd().Counts();
    EXPECT_GE(counts.Books, 290);
    EXPECT_EQ(counts.LostBooks, 1);
    EXPECT_GE(counts.Series, 5);
    TBookCollection books;
    Svd().MountPoints.front()->CollectBooks(books, true);
    int packed = 0, named = 0;
    for (const TBookInfo* b : books.Books()) {
        packed += b->Packed;
        named += b->TitleInfo && !b->TitleInfo->Genres.empty() && !b->TitleInfo->Genres[0]->RusName.empty();
    }
    EXPECT_GT(packed, 10);
    EXPECT_EQ(named, static_cast<int>(books.Count()));  // every genre by name
    TSVWinForm& w = Window();
    for (QWidget* tab : {w.AuthorsTab, w.SeriesTab, w.GenresTab}) {
        w.MainPageControl->setCurrentWidget(tab);
        Flush();
    }
    EXPECT_GE(w.AuthorRows().Count(), 10);
    EXPECT_GE(w.SeriesRows().Count(), 5);
    EXPECT_GE(w.GenreRows().Count(), 10);
    EXPECT_FALSE(Svd().IsModified());
    // One author under several spellings.
    const TAuthorName* svetlova = Svd().Authors.FindOrAddName(Utf8ToAnsi("Анна"), "", "", Utf8ToAnsi("Светлова"));
    EXPECT_GE(svetlova->Author->Count(), 2u);
}

// A new library on a folder of books: made in the data folder, the folder scanned in the
// background, and the summary shown at the end.
// An empty library not yet saved says so in the title rather than "()".
TEST_F(FirstStart, AnUnsavedLibrarySaysSoInTheTitle) {
    program->FirstStart(TFirstStartForm::Empty);
    ASSERT_EQ(program->Windows().size(), 1u);
    const QString title = Window().windowTitle();
    EXPECT_TRUE(title.contains(Msg(rsUnsavedLibrary))) << title.toStdString();
    EXPECT_FALSE(title.contains("()")) << title.toStdString();
}

TEST_F(FirstStart, ANewLibraryOnAFolderScansItInTheBackground) {
    const std::filesystem::path folder = dir / "my books";
    std::filesystem::create_directories(folder);
    for (int i = 0; i < 12; ++i)
        WriteBytes(folder / ("b" + std::to_string(i) + ".fb2"), Bytes(Book("B" + std::to_string(i), "Semen", "Sidr")));
    program->FirstStart(TFirstStartForm::NewOnFolder, QString::fromStdString(folder.string()));
    ASSERT_EQ(program->Windows().size(), 1u);
    EXPECT_EQ(options->LastLibrary(), Svd().FileName);
    EXPECT_TRUE(session->HasFile());
    ASSERT_TRUE(WaitFor([&] { return Shown<TWorkSummaryForm>() != nullptr; }, 30000));
    ASSERT_EQ(Svd().MountPoints.size(), 1u);
    EXPECT_EQ(Svd().MountPoints.front()->BookCount(), 12u);
    EXPECT_TRUE(Shown<TWorkSummaryForm>()->CountsLabel->text().contains("12"));
    Shown<TWorkSummaryForm>()->close();
}

}  // namespace
