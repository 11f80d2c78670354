#include "shell/Screenshots.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>

#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/SVD.h"
#include "catalogue/TitleInfo.h"
#include "common/Encoding.h"
#include "display/ui/SVGrid.h"
#include "editor/ui/MyMemo.h"
#include "format/FormatterSet.h"
#include "format/ui/EditorCommands.h"
#include "format/ui/FindReplaceDlg.h"
#include "format/ui/FormatRulesForm.h"
#include "format/ui/FormatterForm.h"
#include "scan/Resync.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorListForm.h"
#include "shell/AuthorManageForm.h"
#include "shell/BookInfoForm.h"
#include "shell/BookListForm.h"
#include "shell/BookPreviewForm.h"
#include "shell/BookSelection.h"
#include "shell/DemoLibrary.h"
#include "shell/DupSearchPage.h"
#include "shell/EditorWindow.h"
#include "shell/FastBookInfoForm.h"
#include "shell/FirstStartForm.h"
#include "shell/FolderTree.h"
#include "shell/LibrarySession.h"
#include "shell/MainWindow.h"
#include "shell/Options.h"
#include "shell/PendingChoicesForm.h"
#include "shell/Program.h"
#include "shell/SettingsForm.h"
#include "shell/WorkSummaryForm.h"

namespace {

// Lets timers and posted work run for a while (refresh delays, layouts).
void Settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

// The first author (of the first fifty) with a book whose short information shows a cover,
// that book chosen; the first author otherwise.
void ChooseBookWithCover(TSVWinForm& window) {
    TSVGrid* authors = window.AuthorsGrid;
    auto* fast = static_cast<TFastBookInfoForm*>(window.Panel(1));
    TBookListForm* list = window.BookList();
    if (!fast || !list) return;
    fast->raise();
    const int32_t count = std::min<int32_t>(window.AuthorRows().Count(), 50);
    for (int32_t pass = 0; pass < 2; ++pass) {
        for (int32_t i = 0; i < count; ++i) {
            authors->SelectOnlyRow(i);
            authors->SetCurrentIndex(i);
            window.RefreshPanels(0, 0);
            Settle(50);
            for (int32_t row = 0; row < list->Rows().Count(); ++row) {
                list->BooksGrid->SelectOnlyRow(row);
                list->BooksGrid->SetCurrentIndex(row);
                window.RefreshPanels(1, 3);
                Settle(120);
                if (pass == 1 || !fast->Picture().isNull()) return;
            }
        }
    }
}

// The preview beside the book list: the chosen book formatted, its source with a selection, and
// a picture book.
void PicturePreview(TProgram& program, TSVWinForm& window, const QDir& dir) {
    auto* preview = static_cast<TBookPreviewForm*>(window.OpenPanel(3));
    if (!preview) return;
    preview->show();
    preview->raise();
    window.RefreshPanels(0, 3);
    Settle(500);
    window.grab().save(dir.filePath("24-preview.png"));
    if (preview->ShownArea() == preview->FB2Panel) {
        preview->FBPageControl->setCurrentWidget(preview->FBtextViewTab);
        Settle(200);
        TMemoText& text = preview->FB2Memo->Text();
        const int32_t line = std::min<int32_t>(12, text.Lines.Count() - 1);
        text.Select({0, line}, {20, line + 2});
        preview->FB2Memo->setFocus();
        preview->FB2Memo->CaretMoved();
        Settle(300);
        window.grab().save(dir.filePath("25-preview-text.png"));
        preview->FBPageControl->setCurrentWidget(preview->FBViewTab);
    }
    TBookCollection books;
    for (const auto& mount : program.Session().Library().MountPoints)
        mount->CollectBooks(books, true);
    for (TBookInfo* book : books.Books())
        if (book->GetFileType() == kFilePng) {
            window.Selection().Publish({book});
            Settle(300);
            window.grab().save(dir.filePath("26-preview-picture.png"));
            break;
        }
}

// The editor on a book's source with a selection, the formatter with a profile of four rules,
// the rule editor on two of them and the find dialog.
void PictureEditors(TProgram& program, const QDir& dir) {
    TBookCollection books;
    for (const auto& mount : program.Session().Library().MountPoints)
        mount->CollectBooks(books, true);
    QString file;
    for (TBookInfo* book : books.Books()) {
        const QString path = ToQ(book->FullPath());
        if (path.endsWith(".fb2", Qt::CaseInsensitive) && QFileInfo(path).size() > 20000) {
            file = path;
            break;
        }
    }
    if (file.isEmpty()) return;
    auto* editor = new TEditorWindow(program.Options().Store());
    editor->resize(900, 640);
    editor->show();
    if (!editor->OpenFile(file)) return;
    editor->Memo->setFocus();
    editor->WrapAction->setChecked(true);
    TMemoText& text = editor->Memo->Text();
    const int32_t line = std::min<int32_t>(60, text.Lines.Count() - 1);
    text.Select({0, line}, {12, line + 3});
    editor->Memo->CaretMoved();
    Settle(400);
    editor->grab().save(dir.filePath("19-editor.png"));

    TFormatterSet& profile = TheFormatterSet(program.Options().Store());
    profile.NewProfile();
    profile.SetName(Utf8ToAnsi("Книги из сети"));
    auto replace = std::make_unique<TReplaceTextRule>();
    replace->Name = Utf8ToAnsi("Кавычки-ёлочки");
    replace->FindText = "\"";
    replace->ReplaceText = "\xAB";
    profile.AddRule(std::move(replace));
    auto runs = std::make_unique<TNoMoreSymbRule>();
    runs->Name = Utf8ToAnsi("Один пробел подряд");
    profile.AddRule(std::move(runs));
    profile.AddRule(TAbstractFormatterRule::Create(rtRemoveEmptyString, Utf8ToAnsi("Не больше одной пустой строки")));
    profile.AddRule(TAbstractFormatterRule::Create(rtRegisterManage, Utf8ToAnsi("Заглавная в начале предложения")));
    TFormatterForm* formatter = editor->Commands->OpenFormatter();
    formatter->FillProfiles();
    formatter->RulesChanged();
    formatter->RuleList->setCurrentRow(1);
    Settle(300);
    formatter->grab().save(dir.filePath("20-formatter.png"));
    int shot = 21;
    for (int32_t i : {0, 3}) {
        TFormatRulesForm rules(formatter);
        rules.LoadRule(profile.Rule(i));
        rules.show();
        Settle(200);
        rules.grab().save(dir.filePath(QString("%1-rule-editor.png").arg(shot++)));
    }
    formatter->close();
    {
        // A search used before, so the history shows.
        TFindReplaceDlg used(program.Options().Store(), false);
        used.Find2Combo->setEditText(QString::fromUtf8("Турбин"));
        used.Replace2Combo->setEditText(QString::fromUtf8("Турбины"));
        used.show();
        used.AllBtn->click();
    }
    TFindReplaceDlg find(program.Options().Store(), true);
    find.show();
    Settle(200);
    find.grab().save(dir.filePath("23-find-dialog.png"));
    find.close();
    editor->close();
}

}  // namespace

// The first start's question, the author questions a scan queued, and the demo library.
void PictureFirstSteps(TProgram& program, TSVWinForm& window, const QDir& dir) {
    {
        TFirstStartForm first(&window);
        first.show();
        Settle(200);
        first.grab().save(dir.filePath("27-first-start.png"));
    }
    TLibrarySession& session = program.Session();
    {
        // Questions as a scan leaves them: books by an author whose name two authors share.
        TAuthorList& authors = session.Library().Authors;
        std::vector<TAuthorName*> candidates;
        for (size_t a = 0; a < authors.Count() && candidates.size() < 2; ++a)
            if (authors.Author(a)->Count() > 0) candidates.push_back(authors.Author(a)->Name(0));
        if (candidates.size() == 2)
            for (size_t i = 0; i < candidates[0]->Links.Count() && i < 12; ++i)
                session.PendingChoices().ChooseAuthor(*candidates[0]->Links[i].Book, 1, candidates,
                                                      candidates[0]->LastName());
        TPendingChoicesForm* choices = window.ShowPendingChoices();
        if (choices->RowCount() > 0) choices->Choose(0, 1);
        Settle(300);
        choices->grab().save(dir.filePath("28-pending-choices.png"));
        choices->close();
        session.PendingChoices().Clear();
    }
    QTemporaryDir demo;
    QString library;
    try {
        library = MakeDemoLibrary(demo.path());
    } catch (const std::exception&) {
        return;
    }
    session.Library().SetModified(false);  // the pictures changed nothing worth a question
    if (!session.OpenLibrary(library, &window)) return;
    window.MainPageControl->setCurrentWidget(window.AuthorsTab);
    window.RebuildKeepingRows();
    Settle(300);
    ChooseBookWithCover(window);
    Settle(500);
    window.grab().save(dir.filePath("30-demo-library.png"));
}

void TakeScreenshots(TProgram& program, const QString& path) {
    const QDir dir(path);
    TSVWinForm* window = program.Windows().empty() ? nullptr : program.Windows().front();
    if (window) {
        window->resize(1200, 760);
        for (int i = 0; i < TSVWinForm::kPanelCount; ++i)
            window->OpenPanel(i);
        Settle(300);
        for (int i = window->MainPageControl->count() - 1; i >= 0; --i) {
            if (!window->MainPageControl->isTabVisible(i)) continue;  // a tab not built is not pictured
            window->MainPageControl->setCurrentIndex(i);
            if (i == 0) ChooseBookWithCover(*window);
            Settle(200);
            const QString name = window->MainPageControl->widget(i)->objectName();
            window->grab().save(dir.filePath(QString("%1-%2.png").arg(i + 1).arg(name)));
        }
        PicturePreview(program, *window, dir);
        auto* fast = window->Panel(1);
        auto* info = window->Panel(2);
        auto* list = window->Panel(0);
        if (fast && info && list) {
            // Docked: the list at the bottom, both information panels one above the other.
            window->removeDockWidget(info);
            window->addDockWidget(Qt::RightDockWidgetArea, info);
            window->splitDockWidget(fast, info, Qt::Vertical);
            info->show();
            Settle(300);
            window->grab().save(dir.filePath("8-panels-docked.png"));
            // Tabbed: both information panels in one group at the right.
            window->tabifyDockWidget(fast, info);
            fast->raise();
            Settle(300);
            window->grab().save(dir.filePath("9-panels-tabbed.png"));
            // Floating: the information panels in their own window beside the main one.
            window->move(0, 0);
            fast->setFloating(true);
            fast->setGeometry(760, 120, 480, 420);
            info->setFloating(true);
            info->setGeometry(760, 560, 480, 220);
            Settle(500);
            if (QScreen* screen = QGuiApplication::primaryScreen())
                screen->grabWindow(0).save(dir.filePath("10-panels-floating.png"));
        }
    }
    if (window && !program.Session().Library().MountPoints.empty()) {
        // The structure tab during a resynchronisation of the last mount point, its folders open.
        if (auto* fast = window->Panel(1)) {
            fast->setFloating(false);
            window->addDockWidget(Qt::RightDockWidgetArea, fast);
        }
        window->MainPageControl->setCurrentWidget(window->DirTreeTab);
        TFolderTreeView& tree = *window->MPTree;
        TFolderTreeModel& model = tree.Model();
        for (int row = 0; row < model.rowCount({}); ++row) {
            const QModelIndex root = model.index(row, 0, {});
            if (model.canFetchMore(root)) model.fetchMore(root);
            tree.expand(root);
            for (int child = 0; child < model.rowCount(root); ++child) {
                const QModelIndex sub = model.index(child, 0, root);
                if (model.canFetchMore(sub)) model.fetchMore(sub);
                tree.expand(sub);
            }
        }
        // The second shelf first (it finds the file removed after the scan as a lost book),
        // then the largest mount point, pictured while its strip shows progress.
        TMountPoint* last = program.Session().Library().MountPoints.back().get();
        TMountPoint* largest = last;
        for (const auto& mount : program.Session().Library().MountPoints)
            if (mount->BookCountDeep() > largest->BookCountDeep()) largest = mount.get();
        QElapsedTimer clock;
        clock.start();
        for (TMountPoint* mount : {last, largest}) {
            tree.SelectFolder(mount);
            Settle(300);
            if (!program.Session().StartResync(window, *mount, TResyncMode::Full, window)) continue;
            bool pictured = mount != largest;
            while ((program.Session().ResyncRunning() || window->ResyncPanel->isVisible()) && clock.elapsed() < 30000) {
                QApplication::processEvents(QEventLoop::AllEvents, 1);
                if (!pictured && window->ResyncPanel->isVisible() && !window->ResyncLabel->text().trimmed().isEmpty()) {
                    window->grab().save(dir.filePath("11-structure-resync.png"));
                    pictured = true;
                }
            }
            Settle(100);
        }
        // The summary the last run ended with.
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* summary = qobject_cast<TWorkSummaryForm*>(top); summary && summary->isVisible()) {
                summary->grab().save(dir.filePath("29-summary.png"));
                summary->close();
            }
        tree.SelectFolder(last);
        Settle(300);
        // The lost books the resynchronisation found.
        auto* work = static_cast<QTabWidget*>(window->WorkTab);
        window->MainPageControl->setCurrentWidget(window->WorkTab);
        work->setCurrentIndex(0);
        window->RefreshPanels(0, 0);
        Settle(300);
        window->grab().save(dir.filePath("12-lost-books.png"));
        // The duplicate search over the second shelf.
        work->setCurrentIndex(1);
        TDupSearchPage& page = *window->DupPage;
        const QString shelf = ToQ(last->FullPath());
        page.SetFolder(1, shelf);
        page.SetFolder(2, shelf);
        page.DupSettingsButton->setChecked(true);
        page.StartCommand();
        clock.restart();
        while (page.Running() && clock.elapsed() < 30000)
            Settle(20);
        Settle(200);
        if (page.DupsGrid->Data() && page.DupsGrid->Data()->Count() > 0) {
            page.DupsGrid->SelectOnlyRow(0);
            window->RefreshPanels(0, 0);
            Settle(300);
        }
        window->grab().save(dir.filePath("13-duplicates.png"));
    }
    if (window) {
        // The genre and series windows, opened the way Alt+double click opens them.
        window->MainPageControl->setCurrentWidget(window->GenresTab);
        Settle(200);
        if (QDialog* genres = window->OpenEntityWindow(window->GenresGrid)) {
            genres->resize(420, 560);
            if (auto* tree = genres->findChild<QTreeWidget*>("GenresTree")) tree->expandToDepth(0);
            Settle(200);
            genres->grab().save(dir.filePath("14-genres-window.png"));
            genres->close();
        }
        window->MainPageControl->setCurrentWidget(window->SeriesTab);
        Settle(200);
        if (window->SeriesRows().Count() > 0) window->SeriesGrid->SelectOnlyRow(0);
        if (QDialog* series = window->OpenEntityWindow(window->SeriesGrid)) {
            Settle(200);
            series->grab().save(dir.filePath("15-series-window.png"));
            series->close();
        }
    }
    if (window) {
        // Author management on the author with the most spellings, the list dialog of a book,
        // and choice mode over two authors.
        TAuthorList& authors = program.Session().Library().Authors;
        TAuthorInfo* most = nullptr;
        for (size_t a = 0; a < authors.Count(); ++a)
            if (authors.Author(a)->Count() > 0 && (!most || authors.Author(a)->Count() > most->Count()))
                most = authors.Author(a);
        if (most) {
            TAuthorManageForm manage(window, program.Session());
            manage.OpenFor(most);
            manage.show();
            Settle(300);
            manage.grab().save(dir.filePath("16-author-management.png"));
            std::vector<TAuthorName*> candidates;
            for (size_t a = 0; a < authors.Count() && candidates.size() < 2; ++a)
                if (authors.Author(a)->Count() > 0) candidates.push_back(authors.Author(a)->Name(0));
            TBookCollection books;
            for (const auto& mount : program.Session().Library().MountPoints)
                mount->CollectBooks(books, true);
            TBookInfo* withAuthors = nullptr;
            for (TBookInfo* book : books.Books())
                if (!withAuthors && book->TitleInfo && book->TitleInfo->Authors.size() >= 2) withAuthors = book;
            if (withAuthors) {
                TAuthorManageForm choice(window, program.Session());
                choice.AskOnShow = false;
                choice.SetChoice(withAuthors, 1, candidates);
                choice.show();
                choice.ShowChoicePanel();
                Settle(300);
                choice.grab().save(dir.filePath("18-author-choice.png"));
                TAuthorListForm list(window, program.Session(), {withAuthors}, 1);
                list.show();
                Settle(300);
                list.grab().save(dir.filePath("17-list-dialog.png"));
            }
        }
    }
    PictureEditors(program, dir);
    // Last: it opens the demo library in place of the one pictured so far.
    if (window) PictureFirstSteps(program, *window, dir);
    program.Settings().show();
    Settle(200);
    program.Settings().grab().save(dir.filePath("7-settings.png"));
    QApplication::exit(0);
}
