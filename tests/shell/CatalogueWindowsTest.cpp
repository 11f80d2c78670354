#include <gtest/gtest.h>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "LibraryGenerator.h"
#include "ShellFixture.h"
#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/BookSequence.h"
#include "catalogue/ListObjects.h"
#include "catalogue/TitleInfo.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "display/ui/SVGrid.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorListForm.h"
#include "shell/AuthorManageForm.h"
#include "shell/BookListForm.h"
#include "shell/GenresForm.h"
#include "shell/SeqListForm.h"

namespace {

struct Windows : Program {
    // The first spellings of the first two authors that have one.
    std::vector<TAuthorName*> TwoCandidates() {
        std::vector<TAuthorName*> candidates;
        TAuthorList& authors = Svd().Authors;
        for (size_t a = 0; a < authors.Count() && candidates.size() < 2; ++a)
            if (authors.Author(a)->Count() > 0) candidates.push_back(authors.Author(a)->Name(0));
        return candidates;
    }
    TBookInfo* FirstBook() {
        TBookCollection all;
        Svd().MountPoints.front()->CollectBooks(all, true);
        return all.Books().front();
    }
    template <typename F>
    F* Open() {
        auto* form = new F(&Window(), *session);
        form->show();
        Flush();
        return form;
    }
};

TEST_F(Windows, GenresAreCreatedRenamedHiddenAndDeletedEverywhere) {
    TBookGenre& root = Svd().Genres;
    TBookGenre* group = TBookGenre::AddGenre(&root, -1, "emptygroup", true);
    TBookGenre::AddGenre(group, -1, "child1", true);
    TBookGenre* child2 = TBookGenre::AddGenre(group, -1, "child2", true);
    TBookGenre::AddGenre(child2, -1, "grandchild", true);
    auto* one = Open<TGenresForm>();
    auto* two = Open<TGenresForm>();
    Window().MainPageControl->setCurrentWidget(Window().GenresTab);
    Window().GenreRows().Stale = true;
    Window().BuildGenres();

    // New, twice, under the same group: the second finds the first and adds nothing.
    one->SelectGenre(group);
    one->NewGenre();
    ASSERT_EQ(group->Count(), 3u);
    TBookGenre* fresh = group->Child(2);
    EXPECT_EQ(one->SelectedGenre(), fresh);
    EXPECT_TRUE(two->ItemOf(fresh));
    one->SelectGenre(group);
    one->NewGenre();
    EXPECT_EQ(group->Count(), 3u);

    // A code typed in place is a saved change that every window shows.
    Svd().SetModified(false);
    one->ItemOf(fresh)->setText(0, "renamed");
    EXPECT_EQ(fresh->Code, "renamed");
    EXPECT_TRUE(Svd().IsModified());
    EXPECT_EQ(two->ItemOf(fresh)->text(0), "renamed");

    // Hidden: grey at once, and kept.
    Svd().SetModified(false);
    one->SelectGenre(fresh);
    one->ToggleHidden();
    EXPECT_TRUE(fresh->IsHidden());
    EXPECT_TRUE(Svd().IsModified());
    EXPECT_EQ(one->ItemOf(fresh)->foreground(0).color(), QColor(128, 128, 128));

    // A genre with books stays.
    TBookGenre* used = nullptr;
    std::vector<TBookGenre*> all;
    root.CollectNodes(all);
    for (TBookGenre* genre : all)
        if (genre != &root && genre->Links.Count() > 0 && genre->Count() == 0) used = genre;
    ASSERT_TRUE(used);
    one->SelectGenre(used);
    EXPECT_THROW(one->DeleteSelected(), EShelvaraError);
    EXPECT_TRUE(two->ItemOf(used));

    // A group without books goes with all its genres, from every window and grid.
    const int rowsBefore = Window().GenreRows().Count();
    one->SelectGenre(group);
    one->DeleteSelected();
    EXPECT_FALSE(one->ItemOf(group));
    EXPECT_FALSE(two->ItemOf(child2));
    Flush();
    EXPECT_LT(Window().GenreRows().Count(), rowsBefore);
    Window().GenresGrid->grab();  // a row of a freed genre would be read here
    one->close();
    two->close();
    Flush();
}

// A library made before genres had names: its bare codes take the built-in names and groups from
// the genres window, and the tab lists the names.
TEST_F(Windows, BuiltInGenresNameTheBareCodesOfAnOlderLibrary) {
    TBookGenre& root = Svd().Genres;
    TBookGenre* bare = TBookGenre::AddGenre(&root, -1, "humor_prose", true);
    TBookInfo* book = FirstBook();
    {
        TCatalogueGuard guard;
        book->EnsureTitleInfo().AddGenre(bare, true);
    }
    auto* form = Open<TGenresForm>();
    ASSERT_TRUE(form->ItemOf(bare));
    Svd().SetModified(false);
    form->AddBuiltIn();
    Flush();
    EXPECT_TRUE(Svd().IsModified());
    EXPECT_FALSE(form->ItemOf(bare));
    TBookGenre* named = book->TitleInfo->Genres.back();
    EXPECT_EQ(named->Code, "humor_prose");
    EXPECT_EQ(named->RusName, Utf8ToAnsi("Юмористическая Проза"));
    EXPECT_TRUE(form->ItemOf(named));
    EXPECT_EQ(ToQ(book->GenreNamesText()).count(QString::fromUtf8("Юмористическая Проза")), 1);
    form->close();
    Flush();
}

TEST_F(Windows, GenreDropsMoveAndJoinButNeverIntoNothing) {
    TBookGenre& root = Svd().Genres;
    std::vector<TBookGenre*> all;
    root.CollectNodes(all);
    TBookGenre* source = nullptr;
    TBookGenre* target = nullptr;
    for (TBookGenre* genre : all) {
        if (genre == &root || genre->Count() || genre->Links.Count() == 0) continue;
        if (!source)
            source = genre;
        else if (!target && genre->Parent != source)
            target = genre;
    }
    ASSERT_TRUE(source && target);
    auto* form = Open<TGenresForm>();
    const size_t links = source->Links.Count() + target->Links.Count();
    form->DropGenre(source, nullptr, true);  // Alt on empty space: refused
    EXPECT_GT(source->Links.Count(), 0u);
    form->DropGenre(source, target, true);  // Alt on a genre: its books now name the target
    EXPECT_EQ(source->Links.Count(), 0u);
    EXPECT_EQ(target->Links.Count(), links);
    EXPECT_TRUE(form->ItemOf(source));
    form->DropGenre(source, nullptr, false);  // on empty space: the last top-level genre
    EXPECT_EQ(source->Parent, &root);
    EXPECT_EQ(root.Child(root.Count() - 1), source);
    EXPECT_EQ(form->ItemOf(source)->parent(), nullptr);
    // The tree's own rule: not onto itself or below itself.
    const quintptr id = reinterpret_cast<quintptr>(target->Parent);
    EXPECT_FALSE(form->GenresTree->Accepts(id, form->ItemOf(target)));
    form->close();
    Flush();
}

TEST_F(Windows, SeriesNamesAreEditedInTheGridAndSaved) {
    TBookSequence& root = Svd().Sequences;
    TBookSequence* nameless = root.AddChild("Nameless", true);
    nameless->DeleteName(0);
    TBookSequence* parent = root.Child(0);
    TBookSequence* child = parent->AddChild("Child series", true);
    auto* form = Open<TSeqListForm>();
    form->SelectSeries(nameless);
    EXPECT_EQ(form->CurrentSeries(), nullptr);
    EXPECT_EQ(form->SeqNamesGrid->rowCount(), 1);
    Svd().SetModified(false);
    form->NameEdited(1, "First name");
    ASSERT_EQ(nameless->Names().size(), 1u);
    EXPECT_EQ(nameless->Names()[0], "First name");
    EXPECT_EQ(form->ItemOf(nameless)->text(0), "First name");
    EXPECT_TRUE(Svd().IsModified());
    EXPECT_EQ(form->CurrentSeries(), nameless);

    // Down in the last filled row adds an empty row; Ctrl+Delete in row 1 deletes the name.
    form->SeqNamesGrid->setCurrentCell(0, 0);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(form->SeqNamesGrid, &down);
    EXPECT_EQ(nameless->Names().size(), 2u);
    EXPECT_EQ(form->SeqNamesGrid->rowCount(), 2);
    form->NameEdited(2, "Second");
    Svd().SetModified(false);
    form->SeqNamesGrid->setCurrentCell(0, 0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::ControlModifier);
    QApplication::sendEvent(form->SeqNamesGrid, &del);
    ASSERT_EQ(nameless->Names().size(), 1u);
    EXPECT_EQ(nameless->Names()[0], "Second");
    EXPECT_TRUE(Svd().IsModified());  // a deleted name is a change to save
    EXPECT_EQ(form->ItemOf(nameless)->text(0), "Second");

    // Drops: not onto the parent or above; onto a sibling it becomes its last sub-series.
    const auto id = [](const TBookSequence* s) { return reinterpret_cast<quintptr>(s); };
    EXPECT_FALSE(form->SeqTree->Accepts(id(child), form->ItemOf(parent)));
    EXPECT_TRUE(form->SeqTree->Accepts(id(child), form->ItemOf(nameless)));
    form->DropSeries(child, nameless);
    EXPECT_EQ(child->Parent, nameless);
    EXPECT_EQ(form->ItemOf(child)->parent(), form->ItemOf(nameless));
    form->close();
    Flush();
}

// A sub-tree of series deleted while the window shows it: every node goes, none is read again.
TEST_F(Windows, DeletedSeriesSubtreesLeaveNoNodes) {
    TBookSequence& root = Svd().Sequences;
    TBookSequence* top = root.AddChild("Top", true);
    TBookSequence* mid = top->AddChild("Mid", true);
    TBookSequence* low = mid->AddChild("Low", true);
    auto* form = Open<TSeqListForm>();
    ASSERT_TRUE(form->ItemOf(low));
    form->SelectSeries(low);
    root.DeleteChild(top);
    EXPECT_FALSE(form->ItemOf(top));
    EXPECT_FALSE(form->ItemOf(mid));
    EXPECT_FALSE(form->ItemOf(low));
    for (const TBookSequence* gone : {top, mid, low})
        EXPECT_NE(form->CurrentSeries(), gone);
    form->grab();
    form->close();
    Flush();
}

// The list dialog writes its rows to every book; series rows are tidied and checked first.
TEST_F(Windows, TheListDialogWritesItsRowsToEveryBook) {
    TBookCollection all;
    Svd().MountPoints.front()->CollectBooks(all, true);
    std::vector<TBookInfo*> two = {all.Books()[0], all.Books()[1]};
    options->SetCanEdit(true);

    TAuthorListForm titles(&Window(), *session, two, 2);
    ASSERT_TRUE(titles.CanEdit());
    EXPECT_EQ(titles.StringGrid1->rowCount(), 1);  // several books: the list starts empty
    titles.StringGrid1->item(0, 1)->setText("  Common title ");
    titles.AddRow();
    titles.StringGrid1->item(1, 1)->setText("Second");
    titles.Apply();
    for (TBookInfo* book : two) {
        ASSERT_EQ(book->TitleInfo->Titles.size(), 2u);
        EXPECT_EQ(book->TitleInfo->Titles[0], "Common title");
    }

    TAuthorListForm series(&Window(), *session, two, 4);
    series.StringGrid1->item(0, 1)->setText("Saga");
    series.StringGrid1->item(0, 2)->setText("2");
    series.AddRow();
    series.StringGrid1->item(1, 1)->setText(" SAGA ");
    series.StringGrid1->item(1, 2)->setText("2");
    series.AddRow();
    series.StringGrid1->item(2, 1)->setText("Other");
    series.StringGrid1->item(2, 2)->setText("two");
    EXPECT_EQ(ErrorOf([&] { series.Apply(); }), rsErrCorrectNumber);
    EXPECT_EQ(series.StringGrid1->currentRow(), 2);
    series.StringGrid1->item(2, 2)->setText("3");
    series.Apply();
    for (TBookInfo* book : two) {
        ASSERT_EQ(book->TitleInfo->Sequences.size(), 2u);  // the two equal rows became one
        EXPECT_EQ(book->TitleInfo->Sequences[0].Sequence->DisplayName(), "Saga");
        EXPECT_EQ(book->TitleInfo->Sequences[0].Number, 2);
        EXPECT_EQ(book->TitleInfo->Sequences[1].Number, 3);
    }

    // Genres come from the genres window; a row given one writes it.
    TBookGenre* genre = Svd().Genres.Child(0)->Child(0);
    TAuthorListForm genres(&Window(), *session, {two[0]}, 3);
    genres.SetRowEntity(0, genre);
    while (genres.StringGrid1->rowCount() > 1) {
        genres.StringGrid1->setCurrentCell(1, 0);
        genres.DeleteRow();
    }
    genres.Apply();
    ASSERT_EQ(two[0]->TitleInfo->Genres.size(), 1u);
    EXPECT_EQ(two[0]->TitleInfo->Genres[0], genre);
    EXPECT_GT(genre->Links.Count(), 0u);

    // A genre deleted while a row holds it (in a picker, say) leaves that row empty.
    TBookGenre* doomed = TBookGenre::AddGenre(&Svd().Genres, -1, "doomed", true);
    TAuthorListForm holder(&Window(), *session, {two[1]}, 3);
    holder.SetRowEntity(0, doomed);
    Svd().Genres.DeleteChild(doomed);
    EXPECT_EQ(holder.StringGrid1->item(0, 1)->text(), "");
    holder.Apply();  // nothing freed is read
    for (const TBookGenre* g : two[1]->TitleInfo->Genres)
        EXPECT_NE(static_cast<const void*>(g), static_cast<const void*>(doomed));

    // No book: nothing to edit; a read-only book: neither.
    TAuthorListForm none(&Window(), *session, {}, 1);
    EXPECT_FALSE(none.OkBtn->isEnabled());
    EXPECT_TRUE(none.ListGroup->isHidden());
    two[1]->Folder->SetReadOnly(true);
    TAuthorListForm readOnly(&Window(), *session, two, 1);
    EXPECT_FALSE(readOnly.CanEdit());
    two[1]->Folder->SetReadOnly(false);
    options->SetCanEdit(false);  // the option off: nothing to edit either
    TAuthorListForm notAllowed(&Window(), *session, two, 2);
    EXPECT_FALSE(notAllowed.CanEdit());
}

// Totals of links kept by the authors agree with a recount of their spellings.
void ExpectTotalsRight(TSVD& svd) {
    for (size_t a = 0; a < svd.Authors.Count(); ++a) {
        TAuthorInfo* author = svd.Authors.Author(a);
        int32_t recount = 0;
        for (size_t n = 0; n < author->Count(); ++n)
            recount += static_cast<int32_t>(author->Name(n)->Links.Count());
        EXPECT_EQ(author->LinkTotal, recount) << a;
    }
}

TEST_F(Windows, AuthorsAndTheirSpellingsAreManaged) {
    options->SetCanEdit(true);
    TAuthorList& authors = Svd().Authors;
    // Two authors with books; the first gets a second spelling that names a book too.
    TAuthorInfo* first = nullptr;
    TAuthorInfo* second = nullptr;
    for (size_t a = 0; a < authors.Count() && !(first && second); ++a) {
        TAuthorInfo* author = authors.Author(a);
        if (author->Count() == 0 || author->LinkCount() <= 0) continue;
        (first ? second : first) = author;
    }
    ASSERT_TRUE(first && second);
    TBookCollection books;
    Svd().MountPoints.front()->CollectBooks(books, true);
    TAuthorName* extra = first->AppendName();
    extra->SetParts("Other", "", "Spelling", "");
    books.Books()[0]->EnsureTitleInfo().AddAuthor(extra);
    ASSERT_EQ(extra->Links.Count(), 1u);
    auto* form = new TAuthorManageForm(&Window(), *session);
    form->OpenFor(first);
    ASSERT_EQ(form->SelectedAuthor(), first);
    EXPECT_EQ(form->ANamesGrid->rowCount(), static_cast<int>(first->Count()));
    // The parts of the window say what they hold, and the filter has room for a name.
    form->show();
    QApplication::processEvents();
    EXPECT_EQ(form->NamesGroup->title(), Msg(rsAInfoGroupCapt));
    EXPECT_FALSE(form->NamesGroup->toolTip().isEmpty());
    EXPECT_EQ(form->SynonymsGroup->title(), Msg(rsAuthorSynCapt));
    EXPECT_EQ(form->FilterLabel->text(), Msg(rsFilter));
    EXPECT_GE(form->FilterEdit->width(), 120);

    // A spelling with books, emptied, stays; a new one without books, emptied, goes.
    TAuthorName* used = first->Name(0);
    ASSERT_FALSE(used->Links.Empty());
    for (int c = 1; c <= 4; ++c)
        form->ANamesGrid->item(0, c)->setText("");
    EXPECT_EQ(first->Name(0), used);
    const size_t count = first->Count();
    form->ANamesGrid->insertRow(form->ANamesGrid->rowCount());
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    form->ShowAuthor();
    form->ANamesGrid->setCurrentCell(form->ANamesGrid->rowCount() - 1, 1);
    QApplication::sendEvent(form->ANamesGrid, &down);
    const int fresh = form->ANamesGrid->rowCount() - 1;
    form->ANamesGrid->setItem(fresh, 3, new QTableWidgetItem("Newname"));
    ASSERT_EQ(first->Count(), count + 1);
    EXPECT_EQ(first->Name(count)->LastName(), "Newname");
    form->ShowAuthor();
    form->ANamesGrid->item(static_cast<int>(count), 3)->setText("");
    Flush();
    EXPECT_EQ(first->Count(), count);

    // Dragging a spelling row to the top makes it the author's first spelling, with one notice.
    int notices = 0;
    QObject::connect(session, &TLibrarySession::AuthorChanged, [&](TAuthorChange change, const void* object) {
        if (change == TAuthorChange::Changed && object == first) ++notices;
    });
    form->ShowAuthor();
    const int last = static_cast<int>(first->Count()) - 1;
    TAuthorName* wasLast = first->Name(static_cast<size_t>(last));
    form->ANamesGrid->verticalHeader()->moveSection(last, 0);
    Flush();
    EXPECT_EQ(first->Name(0), wasLast);
    EXPECT_EQ(notices, 1);

    // A spelling moved to another author, and the links of one spelling moved to another.
    TAuthorName* moving = extra;
    form->MoveSpellingTo(moving, second);
    EXPECT_EQ(moving->Author, second);
    ExpectTotalsRight(Svd());
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    const size_t links = moving->Links.Count() + second->Name(0)->Links.Count();
    form->MergeSpellingInto(moving, second->Name(0));
    EXPECT_EQ(moving->Links.Count(), 0u);
    EXPECT_EQ(second->Name(0)->Links.Count(), links);
    ExpectTotalsRight(Svd());

    // Joining an author's only spelling, by either drop, leaves no empty author behind.
    for (const bool merge : {false, true}) {
        TAuthorInfo* lone = authors.NewAuthor(true);
        TAuthorName* only = lone->AddName("Lone", "", "", merge ? "Merged" : "Moved");
        books.Books()[1]->EnsureTitleInfo().AddAuthor(only);
        const size_t before = authors.Count();
        Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
        if (merge)
            form->MergeSpellingInto(only, second->Name(0));
        else
            form->MoveSpellingTo(only, second);
        EXPECT_EQ(authors.Count(), before - 1) << merge;
        EXPECT_TRUE(books.Books()[1]->TitleInfo->Authors.back()->Author == second) << merge;
        ExpectTotalsRight(Svd());
    }

    // "+" makes an empty author; "-" deletes it, and refuses an author with books.
    const size_t before = authors.Count();
    form->AddAuthor();
    ASSERT_EQ(authors.Count(), before + 1);
    TAuthorInfo* added = form->SelectedAuthor();
    ASSERT_TRUE(added);
    form->DeleteAuthors();
    Flush();
    EXPECT_EQ(authors.Count(), before);
    form->OpenFor(first);
    EXPECT_EQ(ErrorOf([&] { form->DeleteAuthors(); }), rsErrCannotDeleteAuthor);

    // Synonyms typed in the grid become the author's.
    form->AliasesGrid->item(0, 2)->setText("Alias");
    ASSERT_EQ(first->Synonyms(TAuthorInfo::kLast).size(), 1u);
    EXPECT_EQ(first->Synonyms(TAuthorInfo::kLast)[0], "Alias");
    // Down on the last row, which holds a synonym, adds a row for the next one; on an empty
    // last row it does not.
    form->AliasesGrid->setCurrentCell(0, 2);
    const auto pressDown = [&] {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(form->AliasesGrid, &key);
    };
    pressDown();
    ASSERT_EQ(form->AliasesGrid->rowCount(), 2);
    EXPECT_EQ(form->AliasesGrid->currentRow(), 1);
    pressDown();
    EXPECT_EQ(form->AliasesGrid->rowCount(), 2);
    form->AliasesGrid->item(1, 2)->setText("Second");
    ASSERT_EQ(first->Synonyms(TAuthorInfo::kLast).size(), 2u);
    EXPECT_EQ(first->Synonyms(TAuthorInfo::kLast)[1], "Second");
    delete form;
}

TEST_F(Windows, ChoiceModeListsOnlyTheCandidatesAuthors) {
    const std::vector<TAuthorName*> candidates = TwoCandidates();
    ASSERT_EQ(candidates.size(), 2u);
    TAuthorManageForm form(&Window(), *session);
    form.SetChoice(FirstBook(), 2, candidates);
    EXPECT_EQ(form.Rows().Count(), 2);
    EXPECT_EQ(form.FilterEdit->text(), Msg(rsListItem));
    EXPECT_EQ(form.SelectedSpelling(), candidates[0]);
    EXPECT_TRUE(form.OkBtn->isEnabled());
}

// A double click as the window system delivers it: press, release, double click, release.
void DoubleClick(TSVGrid* grid, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QRect cell = grid->visualRect(grid->model()->index(row, 0));
    const QPointF at = cell.center();
    const QPointF global = grid->viewport()->mapToGlobal(cell.center());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                              QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, global, Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, modifiers);
        QApplication::sendEvent(grid->viewport(), &event);
    }
}

// A double click on a row of each catalogue grid does what the window promises (author
// information, with Ctrl the entity's window for that row, in the book list the book panel), and
// a right click picks the row its menu acts on.
TEST_F(Windows, ClicksOnTheGridsReachTheirRowsAndWindows) {
    TSVWinForm& w = Window();
    w.resize(1000, 700);
    w.show();
    Flush();
    const auto count = [&w]<typename Form>(Form*) { return w.findChildren<Form*>().size(); };
    w.MainPageControl->setCurrentWidget(w.AuthorsTab);
    Flush();
    const qsizetype infos = count(static_cast<TAuthorInfoForm*>(nullptr));
    DoubleClick(w.AuthorsGrid, 1);
    EXPECT_EQ(count(static_cast<TAuthorInfoForm*>(nullptr)), infos + 1);  // shown, then let go while scripted
    EXPECT_EQ(w.AuthorsGrid->SelectedList().size(), 1u);
    DoubleClick(w.AuthorsGrid, 2, Qt::ControlModifier);
    ASSERT_EQ(count(static_cast<TAuthorManageForm*>(nullptr)), 1);
    EXPECT_EQ(w.findChild<TAuthorManageForm*>()->SelectedAuthor(), w.AuthorRows().Get(2)->Entity());
    w.MainPageControl->setCurrentWidget(w.SeriesTab);
    Flush();
    DoubleClick(w.SeriesGrid, 0, Qt::AltModifier);
    EXPECT_EQ(count(static_cast<TSeqListForm*>(nullptr)), 1);
    w.MainPageControl->setCurrentWidget(w.GenresTab);
    Flush();
    DoubleClick(w.GenresGrid, 0, Qt::ControlModifier);
    EXPECT_EQ(count(static_cast<TGenresForm*>(nullptr)), 1);

    // A right click picks the row under the pointer for its menu, unless it is already selected.
    w.MainPageControl->setCurrentWidget(w.AuthorsTab);
    Flush();
    const auto rightClick = [&w](int row) {
        const QRect cell = w.AuthorsGrid->visualRect(w.AuthorsGrid->model()->index(row, 0));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(cell.center()),
                          QPointF(w.AuthorsGrid->viewport()->mapToGlobal(cell.center())), Qt::RightButton,
                          Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(w.AuthorsGrid->viewport(), &press);
    };
    rightClick(3);
    ASSERT_EQ(w.AuthorsGrid->SelectedList().size(), 1u);
    EXPECT_EQ(w.AuthorsGrid->SelectedList().front()->Entity(), w.AuthorRows().Get(3)->Entity());
    w.AuthorRows().Get(4)->Selection = 1;  // two selected: a right click on one keeps both
    rightClick(4);
    EXPECT_EQ(w.AuthorsGrid->SelectedList().size(), 2u);

    int requested = -1;
    QObject::connect(&w.Selection(), &TBookSelection::PanelRequested, [&](int index) { requested = index; });
    ASSERT_TRUE(WaitFor([&] { return w.BookList() && w.BookList()->Rows().Count() > 0; }));
    DoubleClick(w.BookList()->BooksGrid, 0);
    EXPECT_EQ(requested, 1);
    for (QDialog* d : w.findChildren<QDialog*>())
        d->close();
    Flush();
}

// An author an import adds shows in the open author window and in the main window's list at
// once, without waiting for the import to end; the author the user was on stays current.
TEST_F(Windows, AnAddedAuthorAppearsInTheOpenWindows) {
    TSVWinForm& w = Window();
    w.MainPageControl->setCurrentWidget(w.AuthorsTab);
    auto* form = new TAuthorManageForm(&w, *session);
    form->OpenFor(Svd().Authors.Author(1));
    const int inForm = form->Rows().Count();
    Flush();
    const int inWindow = w.AuthorRows().Count();
    TAuthorName* added = Svd().Authors.FindOrAddName("", "", "", Utf8ToAnsi("Новоприбывший"));
    FirstBook()->EnsureTitleInfo().AddAuthor(added);
    EXPECT_TRUE(WaitFor([&] { return form->Rows().Count() == inForm + 1; }));
    EXPECT_TRUE(WaitFor([&] { return w.AuthorRows().Count() == inWindow + 1; }));
    EXPECT_EQ(form->SelectedAuthor(), Svd().Authors.Author(1));
    delete form;
}

}  // namespace
