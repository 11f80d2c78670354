#include <gtest/gtest.h>
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <random>
#include <set>

#include "InpxGenerator.h"
#include "ShellFixture.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/ListObjects.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "display/ui/SVGrid.h"
#include "dups/DupListObject.h"
#include "dups/DupSearch.h"
#include "scan/PackerArchiveAccess.h"
#include "scan/Resync.h"
#include "settings/ui/QtText.h"
#include "shell/DupSearchPage.h"
#include "shell/FolderDialogs.h"
#include "shell/FolderTree.h"

namespace {

std::string Fb2(const std::string& title, const std::string& author, const std::string& text) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><author>"
           "<first-name>Ivan</first-name><last-name>" +
           author + "</last-name></author><book-title>" + title + "</book-title></title-info></description><body><p>" +
           text + "</p></body></FictionBook>";
}

struct Structure : Program {
    std::filesystem::path disk;

    // A mount point over real folders: top/a/b, top/c, each with a book, read into the library.
    TMountPoint* Disk() {
        disk = dir / "disk";
        for (const char* sub : {"top/a/b", "top/c"})
            std::filesystem::create_directories(disk / sub);
        int n = 0;
        for (const char* sub : {"top", "top/a", "top/a/b", "top/c"}) {
            const std::string number = std::to_string(n++);
            WriteBytes(disk / sub / ("book" + number + ".fb2"), Bytes(Fb2("Book " + number, "Treeauthor", "text")));
        }
        TMountPoint* mount = Svd().AddMountPoint(disk.string());
        TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
        mount->NotifyAdded();
        return mount;
    }
    TFolderTreeView& Tree(size_t window = 0) { return *Window(window).MPTree; }
    TBookFolder* Sub(TBookFolder* folder, const std::string& name) {
        for (size_t i = 0; i < folder->FolderCount(); ++i)
            if (folder->Folder(i)->Name == name) return folder->Folder(i);
        return nullptr;
    }
    QModelIndex Expand(TFolderTreeView& tree, const TBookFolder* folder) {
        const QModelIndex index = tree.Model().IndexOf(folder);
        if (tree.Model().canFetchMore(index)) tree.Model().fetchMore(index);
        tree.expand(index);
        return index;
    }
};

TEST_F(Structure, FoldersLoadWhenExpandedAndAgainAfterACollapse) {
    TMountPoint* mount = Disk();
    TFolderTreeModel& model = Tree().Model();
    const QModelIndex root = model.IndexOf(mount);
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(model.rowCount(root), 0);  // nothing read before the node opens
    EXPECT_TRUE(model.hasChildren(root));
    Expand(Tree(), mount);
    ASSERT_EQ(model.rowCount(root), 1);
    TBookFolder* top = Sub(mount, "top");
    const QModelIndex topIndex = Expand(Tree(), top);
    ASSERT_EQ(model.rowCount(topIndex), 2);
    EXPECT_EQ(model.data(model.index(0, 0, topIndex), Qt::DisplayRole).toString(), "a");
    EXPECT_EQ(model.data(model.index(1, 0, topIndex), Qt::DisplayRole).toString(), "c");

    // A folder made meanwhile is inserted at its sorted place.
    ASSERT_TRUE(top->CreateSubfolder("b2"));
    ASSERT_EQ(model.rowCount(topIndex), 3);
    EXPECT_EQ(model.data(model.index(1, 0, topIndex), Qt::DisplayRole).toString(), "b2");
    // Collapsed, the children go; expanded again they are read anew.
    Tree().collapse(topIndex);
    Flush();
    EXPECT_EQ(model.rowCount(model.IndexOf(top)), 0);
    EXPECT_FALSE(model.IndexOf(Sub(top, "a")).isValid());
    Expand(Tree(), top);
    EXPECT_EQ(model.rowCount(model.IndexOf(top)), 3);

    // The selected folder is the window's selection, with its sub-folders when asked for.
    Window().MainPageControl->setCurrentWidget(Window().DirTreeTab);
    Tree().SelectFolder(top);
    TBookCollection books;
    Window().CollectBooks(books);
    EXPECT_EQ(books.Count(), 1u);
    Tree().CumulativeItem()->setChecked(true);
    TBookCollection all;
    Window().CollectBooks(all);
    EXPECT_EQ(all.Count(), 4u);
}

TEST_F(Structure, NewFoldersAreNumberedPastTheOnesThere) {
    const std::filesystem::path base = dir / "numbers";
    std::filesystem::create_directories(base);
    const std::string prefix = FromQ(Msg(rsNewFolder)) + " ";
    EXPECT_EQ(TFolderTreeView::NextFolderName(base.string()), prefix + "001");
    for (int i = 1; i <= 999; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%03d", i);
        std::filesystem::create_directory(base / AnsiToUtf8(prefix + number));
        if (i == 2) {
            EXPECT_EQ(TFolderTreeView::NextFolderName(base.string()), prefix + "003");
        }
    }
    EXPECT_EQ(TFolderTreeView::NextFolderName(base.string()), prefix + "1000");

    TMountPoint* mount = Disk();
    Expand(Tree(), mount);
    Tree().SelectFolder(Sub(mount, "top"));
    Tree().NewFolder();
    EXPECT_TRUE(std::filesystem::is_directory(disk / "top" / AnsiToUtf8(prefix + "001")));
    EXPECT_TRUE(Sub(Sub(mount, "top"), prefix + "001"));
}

// A command greyed out because editing is off names the option that turns it on.
TEST_F(Structure, CommandsOffWhileEditingIsOffSayWhy) {
    TMountPoint* mount = Disk();
    Expand(Tree(), mount);
    Tree().SelectFolder(mount);
    auto* menu = Tree().findChild<QMenu*>("TreeMenu");
    ASSERT_TRUE(menu);
    for (const bool canEdit : {false, true}) {
        options->SetCanEdit(canEdit);
        Tree().PrepareMenu();
        EXPECT_EQ(menu->toolTipsVisible(), !canEdit);
        int told = 0;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator() || action->text().isEmpty() || action->isEnabled()) continue;
            EXPECT_TRUE(action->toolTip().contains(Msg(rsCanEdit))) << action->text().toStdString();
            ++told;
        }
        EXPECT_EQ(told, canEdit ? 0 : 3);
    }
}

// Deleting a folder while another window shows it: every folder of the subtree is announced
// (children first) and both trees let go of their nodes; nothing is left pointing at them.
TEST_F(Structure, DeletingAFolderWithTwoWindowsOpen) {
    TMountPoint* mount = Disk();
    program->NewWindow()->show();
    for (size_t w : {0u, 1u}) {
        Expand(Tree(w), mount);
        Expand(Tree(w), Sub(mount, "top"));
        Expand(Tree(w), Sub(Sub(mount, "top"), "a"));
    }
    TBookFolder* a = Sub(Sub(mount, "top"), "a");
    TBookFolder* b = Sub(a, "b");
    ASSERT_TRUE(Tree(1).Model().IndexOf(b).isValid());
    Tree().SelectFolder(a);
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    Tree().DeleteSelected();
    EXPECT_FALSE(std::filesystem::exists(disk / "top" / "a"));
    for (size_t w : {0u, 1u}) {
        EXPECT_FALSE(Tree(w).Model().IndexOf(a).isValid());
        EXPECT_FALSE(Tree(w).Model().IndexOf(b).isValid());
        EXPECT_EQ(Tree(w).Model().rowCount(Tree(w).Model().IndexOf(Sub(mount, "top"))), 1);
    }
    TBookCollection left;
    mount->CollectBooks(left, true);
    EXPECT_EQ(left.Count(), 2u);

    // A read-only folder deep down stops the deletion before anything goes.
    TBookFolder* top = Sub(mount, "top");
    Sub(top, "c")->SetReadOnly(true);
    Tree().SelectFolder(top);
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    EXPECT_THROW(Tree().DeleteSelected(), EShelvaraError);
    EXPECT_TRUE(std::filesystem::exists(disk / "top" / "book0.fb2"));
    EXPECT_TRUE(Tree().Model().IndexOf(top).isValid());

    // A mount point leaves the catalogue only; its folder stays on disk.
    Sub(top, "c")->SetReadOnly(false);
    Tree().SelectFolder(mount);
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    const size_t mounts = Svd().MountPoints.size();
    Tree().DeleteSelected();
    EXPECT_EQ(Svd().MountPoints.size(), mounts - 1);
    EXPECT_TRUE(std::filesystem::exists(disk / "top"));
    EXPECT_FALSE(Tree(1).Model().IndexOf(mount).isValid());
}

TEST_F(Structure, FoldersAndBooksMoveByDrops) {
    TMountPoint* mount = Disk();
    TBookFolder* top = Sub(mount, "top");
    TBookFolder* a = Sub(top, "a");
    TBookFolder* b = Sub(a, "b");
    TBookFolder* c = Sub(top, "c");
    // Not onto itself or below itself; no mount point; nothing missing.
    EXPECT_FALSE(TFolderTreeView::FolderDropAllowed(a, a));
    EXPECT_FALSE(TFolderTreeView::FolderDropAllowed(a, b));
    EXPECT_FALSE(TFolderTreeView::FolderDropAllowed(mount, c));
    EXPECT_TRUE(TFolderTreeView::FolderDropAllowed(b, c));
    c->Flags |= TBookFolder::kMissing;
    EXPECT_FALSE(TFolderTreeView::FolderDropAllowed(b, c));
    c->Flags &= static_cast<uint8_t>(~TBookFolder::kMissing);

    Expand(Tree(), mount);
    Expand(Tree(), top);
    Expand(Tree(), a);
    Expand(Tree(), c);
    // A drop asks before it moves anything on the disk; No leaves all as it was.
    Dialogs::Script().Answers = {Dialogs::TAnswer::No};
    Tree().Drop(c, b, {});
    EXPECT_TRUE(std::filesystem::is_directory(disk / "top" / "a" / "b"));
    EXPECT_EQ(b->Parent, a);
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    Tree().Drop(c, b, {});
    EXPECT_TRUE(std::filesystem::is_directory(disk / "top" / "c" / "b"));
    EXPECT_EQ(b->Parent, c);
    EXPECT_FALSE(Tree().Model().IndexOf(b).isValid());  // c was never opened: it only has children now
    EXPECT_TRUE(Tree().Model().hasChildren(Tree().Model().IndexOf(c)));
    Expand(Tree(), c);
    ASSERT_TRUE(Tree().Model().IndexOf(b).isValid());
    EXPECT_EQ(Tree().Model().parent(Tree().Model().IndexOf(b)), Tree().Model().IndexOf(c));

    // "Do not ask again" is kept in the options: the next drop moves at once.
    TBookInfo* book = top->Book(0);
    Dialogs::Script().Answers = {Dialogs::TAnswer::Yes};
    Dialogs::Script().Remember = true;
    Tree().Drop(a, nullptr, {book});
    EXPECT_EQ(book->Folder, a);
    EXPECT_TRUE(std::filesystem::exists(disk / "top" / "a" / book->FileName.str()));
    EXPECT_FALSE(options->AskBeforeMoving());
    const qsizetype asked = Dialogs::Script().Shown.size();
    Tree().Drop(top, nullptr, {book});
    EXPECT_EQ(book->Folder, top);
    EXPECT_EQ(Dialogs::Script().Shown.size(), asked);
}

TEST_F(Structure, ANewMountPointIsReadInTheBackgroundAndItsAuthorsAppear) {
    const std::filesystem::path books = dir / "shelf";
    std::filesystem::create_directories(books);
    for (int i = 0; i < 20; ++i)
        WriteBytes(books / ("b" + std::to_string(i) + ".fb2"), Bytes(Fb2("T" + std::to_string(i), "Shelfwriter", "x")));
    const int before = Window().AuthorRows().Count();
    Dialogs::Script().FileNames = {QString::fromStdString(books.string())};
    Tree().NewMountPoint();
    ASSERT_TRUE(WaitFor([&] { return !session->ResyncRunning(); }, 20000));
    ASSERT_TRUE(WaitFor([&] { return Window().AuthorRows().Count() == before + 1; }));
    TMountPoint* mount = Svd().MountPoints.back().get();
    TBookCollection found;
    mount->CollectBooks(found, true);
    EXPECT_EQ(found.Count(), 20u);
    EXPECT_TRUE(Tree().Model().IndexOf(mount).isValid());

    // The same folder again, or one inside it, is refused.
    Dialogs::Script().FileNames = {QString::fromStdString(books.string())};
    EXPECT_EQ(ErrorOf([&] { Tree().NewMountPoint(); }), rsErrInvalidMP);
}

// Re-pointing a mount point checks the new directory: it must exist and overlap no other.
TEST_F(Structure, AMountPointIsRepointedOnlyToAFreeExistingFolder) {
    TMountPoint* mount = Disk();
    mount->SetReadOnly(true);
    TFolderPropertiesForm form(&Window(), *session, mount);
    form.ReadOnlyCheck->setChecked(false);
    form.PathEdit->setText(QString::fromStdString((dir / "typo").string()));
    EXPECT_THROW(form.Apply(), EShelvaraError);
    EXPECT_EQ(mount->Name, disk.string());
    EXPECT_TRUE(mount->IsReadOnly());  // a refused re-point changes nothing, read-only included
    mount->SetReadOnly(false);
    form.PathEdit->setText(QString::fromStdString((disk / "top").string()));  // inside itself is fine
    std::filesystem::create_directories(dir / "other");
    TMountPoint* other = Svd().AddMountPoint((dir / "other").string());
    ASSERT_TRUE(other);
    form.PathEdit->setText(QString::fromStdString((dir / "other").string()));
    EXPECT_EQ(ErrorOf([&] { form.Apply(); }), rsErrInvalidMP);
    std::filesystem::create_directories(dir / "moved");
    form.PathEdit->setText(QString::fromStdString((dir / "moved").string()));
    form.NameEdit->setText("Shelf");
    form.ReadOnlyCheck->setChecked(true);
    form.Apply();
    EXPECT_EQ(mount->Name, (dir / "moved").string());
    EXPECT_EQ(mount->DisplayName(), "Shelf");
    EXPECT_TRUE(mount->IsReadOnly());
}

// Books whose texts come in near copies, for the duplicate search.
std::filesystem::path DuplicateBooks(const std::filesystem::path& root, int originals, int copies) {
    std::mt19937 random(3);
    const char* words[] = {"alpha",  "bravo", "charlie", "delta",   "echo",     "foxtrot", "golf",   "hotel",  "india",
                           "juliet", "kilo",  "lima",    "mike",    "november", "oscar",   "papa",   "quebec", "romeo",
                           "sierra", "tango", "uniform", "victory", "whiskey",  "xray",    "yankee", "zulu"};
    std::filesystem::create_directories(root);
    for (int o = 0; o < originals; ++o) {
        std::vector<std::string> text;
        for (int w = 0; w < 1500; ++w)
            text.push_back(std::string(words[random() % std::size(words)]) + std::to_string(random() % 50));
        for (int c = 0; c < copies; ++c) {
            std::string body;
            for (size_t w = 0; w < text.size(); ++w)
                body += (w % 97 == static_cast<size_t>(c) ? std::string("changed") : text[w]) + " ";
            WriteBytes(root / ("o" + std::to_string(o) + "c" + std::to_string(c) + ".fb2"),
                       Bytes(Fb2("o" + std::to_string(o), "Dupauthor", body)));
        }
    }
    return root;
}

using TPairSet = std::set<std::tuple<const void*, const void*, int32_t>>;

TPairSet Pairs(const TObjList& rows) {
    TPairSet pairs;
    for (int32_t i = 0; i < rows.Count(); ++i) {
        const auto* row = static_cast<const TDupListObject*>(rows.Get(i));
        pairs.insert({row->Book1, row->Book2, row->Similarity});
    }
    return pairs;
}

TEST_F(Structure, TheDuplicateSearchFindsWhatTheEngineFindsInItsOwnWindowOnly) {
    const std::filesystem::path books = DuplicateBooks(dir / "dups", 12, 3);
    TMountPoint* mount = Svd().AddMountPoint(books.string());
    TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    program->NewWindow()->show();
    TDupSearchPage& page = *Window().DupPage;
    page.SetFolder(1, QString::fromStdString(books.string()));
    page.SetFolder(2, QString::fromStdString(books.string()));
    ASSERT_TRUE(page.StartDupButton->isEnabled());
    page.DupAutoCheck->setChecked(false);
    // A first search starts from the command line's defaults: 50 %, sizes considered.
    EXPECT_EQ(page.DupCompTrack->value(), 50);
    EXPECT_TRUE(page.DupSizeCheck->isChecked());
    page.StartCommand();
    ASSERT_TRUE(WaitFor([&] { return !page.Running(); }, 60000));
    Flush();
    const TPairSet gui = Pairs(Window().DuplicateRows());
    EXPECT_FALSE(gui.empty());
    EXPECT_EQ(Window(1).DuplicateRows().Count(), 0);  // the other window searched nothing

    // The engine with the same parameters, as the command line runs it.
    struct TCollect final : IDupObserver {
        TPairSet Found;
        void DupPairFound(const TDupBookRef& a, const TDupBookRef& b, int32_t similarity) override {
            Found.insert({a.Book, b.Book, similarity});
        }
    } collect;
    TPackerArchiveAccess packer;
    TDupSearcher searcher(&packer);
    searcher.Params.Threshold = 50000;
    searcher.Params.WordsPerBlock = page.DupWordTrack->value();
    searcher.Params.BlocksPerBook = page.DupBlockTrack->value();
    searcher.Params.MinWordLength = static_cast<int16_t>(page.WordLenTrack->value());
    searcher.Params.SearchMode = static_cast<uint8_t>(page.SearchModeTrack->value());
    searcher.Params.ConsiderSize = page.DupSizeCheck->isChecked();
    ASSERT_TRUE(searcher.Start(mount, mount, &collect));
    searcher.Wait();
    EXPECT_EQ(gui, collect.Found);

    // Pairs can be removed from the results.
    const int32_t found = Window().DuplicateRows().Count();
    page.DupsGrid->SelectOnlyRow(0);
    page.DeleteSelectedRows();
    EXPECT_EQ(Window().DuplicateRows().Count(), found - 1);

    // After a run the button starts afresh only after a reset that clears the rows.
    EXPECT_EQ(page.StartDupButton->text(), Msg(rsStartDup));
    page.StartCommand();
    EXPECT_EQ(Window().DuplicateRows().Count(), 0);

    // A window closed while its search runs: the search stops first.
    page.StartCommand();
    EXPECT_TRUE(page.Running() || Window().DuplicateRows().Count() > 0);
    delete &Window();
    Flush();
    EXPECT_EQ(program->Windows().size(), 1u);
}

TEST_F(Structure, AutomaticParametersFollowTheMode) {
    TDupSearchPage& page = *Window().DupPage;
    page.DupAutoCheck->setChecked(true);
    page.SearchModeTrack->setValue(2);
    EXPECT_EQ(page.DupWordTrack->value(), 8);
    EXPECT_EQ(page.DupBlockTrack->value(), 12);
    EXPECT_EQ(page.WordLenTrack->value(), 5);
    EXPECT_FALSE(page.DupWordTrack->isEnabled());
    page.DupAutoCheck->setChecked(false);
    EXPECT_EQ(page.DupWordTrack->value(), 8);
    EXPECT_TRUE(page.DupWordTrack->isEnabled());
    // Labels that name no folder of the library leave the start button disabled.
    page.SetFolder(1, QString::fromStdString((dir / "nowhere").string()));
    EXPECT_FALSE(page.StartDupButton->isEnabled());
}

}  // namespace

namespace {

// "Импорт INPX..." imports in the background; the collection appears as a mount point.
TEST_F(Structure, AnInpxIndexIsImportedInTheBackground) {
    const std::filesystem::path shelf = dir / "collection";
    std::filesystem::create_directories(shelf);
    const TInpxFiles files = GenerateInpx(300, 100, 7);
    WriteInpx(shelf / "lib.inpx", files);
    WriteInpxArchives(shelf, files);
    Dialogs::Script().FileNames = {QString::fromStdString((shelf / "lib.inpx").string())};
    Tree().ImportInpx();
    ASSERT_TRUE(WaitFor([&] { return !session->ResyncRunning(); }, 20000));
    ASSERT_TRUE(WaitFor([&] { return Window().ResyncPanel->isHidden(); }));
    TMountPoint* mount = Svd().MountPoints.back().get();
    EXPECT_EQ(mount->Caption, "Generated library");
    TBookCollection found;
    mount->CollectBooks(found, true);
    EXPECT_GT(found.Count(), 250u);
    EXPECT_LT(found.Count(), 300u);  // the deleted books stay out
    EXPECT_TRUE(WaitFor([&] { return Tree().Model().IndexOf(mount).isValid(); }));
}

}  // namespace
