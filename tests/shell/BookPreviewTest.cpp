#include <gtest/gtest.h>
#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ShellFixture.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "common/MessageIds.h"
#include "display/ui/FB2Viewer.h"
#include "display/ui/SVGrid.h"
#include "editor/ui/MyMemo.h"
#include "scan/Packer.h"
#include "scan/PackerArchiveAccess.h"
#include "scan/Resync.h"
#include "settings/ui/QtText.h"
#include "shell/BookListForm.h"
#include "shell/BookPreviewForm.h"
#include "shell/BookSelection.h"
#include "shell/BookViewerWindow.h"
#include "shell/PictureView.h"

namespace {

std::string Fb2Book(const std::string& title, const std::string& declaration = "encoding=\"utf-8\"") {
    return "<?xml version=\"1.0\" " + declaration +
           "?>\r\n<FictionBook><description><title-info><author><last-name>Previewer</last-name></author>"
           "<book-title>" +
           title + "</book-title></title-info></description>\r\n<body><p>Первая строка " + title +
           ".</p>\r\n</body></FictionBook>\r\n";
}

std::vector<uint8_t> Picture(const char* format) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return {bytes.begin(), bytes.end()};
}

// A one-pixel GIF (Qt reads GIF but does not write it).
const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00,"
    "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
    43);

// The catalogue's archive access as a resynchronisation holds it: every caller waits until it is
// released (by another thread, after at most a few seconds, so that a fault is a slow test
// rather than a hung one).
class TBusyArchive final : public IArchiveAccess {
public:
    std::atomic<int> Calls{0};
    void Release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        done_.notify_all();
    }
    bool Released() {
        std::lock_guard lock(mutex_);
        return released_;
    }
    bool Contains(const std::string& archive, const std::string& entry) override {
        Wait();
        return inner_.Contains(archive, entry);
    }
    bool MemberInfo(const std::string& archive, const std::string& entry, TMemberInfo& info) override {
        Wait();
        return inner_.MemberInfo(archive, entry, info);
    }
    std::vector<uint8_t> ReadMember(const std::string& archive, const std::string& entry) override {
        Wait();
        return inner_.ReadMember(archive, entry);
    }
    void RemoveMember(const std::string& archive, const std::string& entry) override {
        Wait();
        inner_.RemoveMember(archive, entry);
    }
    // As the catalogue's own: marks the archive to be reopened, never waits.
    void Reset() override { inner_.Reset(); }

private:
    void Wait() {
        ++Calls;
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return released_; });
    }
    std::mutex mutex_;
    std::condition_variable done_;
    bool released_ = false;
    TPackerArchiveAccess inner_;
};

struct Preview : Program {
    TSVWinForm* w = nullptr;
    TBookPreviewForm* preview = nullptr;
    std::filesystem::path disk;
    TMountPoint* mount = nullptr;

    void SetUp() override {
        Program::SetUp();
        w = &Window();
        ASSERT_TRUE(WaitFor([&] { return w->BookList() != nullptr; }));
        options->SetCanEdit(true);
        preview = static_cast<TBookPreviewForm*>(w->OpenPanel(3));
        ASSERT_TRUE(preview);
        preview->raise();
        disk = dir / "disk";
        std::filesystem::create_directories(disk);
    }

    // Files on disk read into the catalogue as a mount point.
    void Scan(const std::vector<std::pair<std::string, std::string>>& files) {
        for (const auto& [name, content] : files)
            WriteBytes(disk / name, Bytes(content));
        mount = Svd().AddMountPoint(disk.string());
        TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    }

    TBookInfo* BookNamed(const std::string& name) {
        TBookCollection books;
        mount->CollectBooks(books, true);
        for (TBookInfo* book : books.Books())
            if (book->FileName == name || book->EntryName == name) return book;
        ADD_FAILURE() << "no book " << name;
        return nullptr;
    }

    // The panel has shown what it was last asked for (a read may take long under a sanitizer on a
    // busy machine).
    void Settle() {
        Flush();
        EXPECT_TRUE(WaitFor([&] { return !preview->RefreshDue() && !preview->Loading(); }, 20000));
        Flush();
    }

    // Chooses a book as the book list does: through the window's selection.
    void Show(const std::string& name) {
        Settle();  // the list's own refreshes are over before the test chooses
        w->Selection().Publish({BookNamed(name)});
        Settle();
    }

    void Type(TMyMemo* memo, const QString& text, TTextPos at = {0, 0}) {
        memo->MoveCaret(at, true, false);
        for (const QChar c : text) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(memo, &key);
        }
    }

    std::string Disk(const std::string& name) {
        const std::vector<uint8_t> bytes = ReadBytes(disk / name);
        return {bytes.begin(), bytes.end()};
    }
};

// Each file type goes to its area; pictures by their content, not their name.
TEST_F(Preview, EachTypeShowsInItsArea) {
    const std::vector<uint8_t> png = Picture("PNG"), jpeg = Picture("JPEG");
    Scan({{"book.fb2", Fb2Book("Книга")},
          {"notes.txt", "plain text\n"},
          {"page.html", "<html><p>hi</p></html>"},
          {"picture.bmp", std::string(png.begin(), png.end())},
          {"x.gif", std::string(jpeg.begin(), jpeg.end())},
          {"moving.gif", kGif},
          {"letter.rtf", "{\\rtf1 hello}"},
          {"data.odt", "PK not really"}});
    struct Case {
        const char* name;
        QWidget* area;
        TMyMemo* editor;
    };
    for (const Case& c : std::vector<Case>{{"book.fb2", preview->FB2Panel, nullptr},
                                           {"notes.txt", preview->TxtPanel, preview->MyMemo1},
                                           {"page.html", preview->TxtPanel, nullptr},
                                           {"picture.bmp", preview->BMPPanel, nullptr},
                                           {"x.gif", preview->BMPPanel, nullptr},
                                           {"moving.gif", preview->GifPanel, nullptr},
                                           {"letter.rtf", preview->RTFPanel, nullptr},
                                           {"data.odt", preview->OLEPanel, nullptr}}) {
        Show(c.name);
        EXPECT_EQ(preview->ShownArea(), c.area) << c.name;
        EXPECT_EQ(preview->ActiveEditor(), c.editor) << c.name;
    }
    Show("picture.bmp");
    EXPECT_EQ(preview->Image1->Picture().size(), QSize(8, 6));
    Show("book.fb2");
    EXPECT_GT(preview->FB2Viewer1->DocumentHeight(), 15);
    Show("data.odt");
    EXPECT_EQ(preview->OleName->text(), "data.odt");
    EXPECT_FALSE(preview->OleType->text().isEmpty());
    EXPECT_EQ(Dialogs::Script().Shown.size(), 0u);
    // A missing file shows the message; removing the shown book empties the panel unwritten.
    std::filesystem::remove(disk / "notes.txt");
    Show("notes.txt");
    EXPECT_EQ(preview->ShownArea(), nullptr);
    EXPECT_EQ(preview->Panel6->text(), Msg(rsNoBook));
}

// An edit is written back, in the file's encoding and line ends, when another book is chosen;
// the book list shows the mark meanwhile; "Загрузить сохраненное" drops edits.
TEST_F(Preview, TextEditsAreSavedWhenAnotherBookIsChosen) {
    Scan({{"a.txt", "один\nдва\n"}, {"b.txt", "other\r\n"}});
    Show("a.txt");
    EXPECT_FALSE(preview->ReverttosavedItem->isEnabled());
    Type(preview->MyMemo1, "X");
    EXPECT_TRUE(preview->Modified());
    EXPECT_EQ(w->BookList()->StatusText(2), Msg(rsModified));
    EXPECT_TRUE(preview->ReverttosavedItem->isEnabled());
    preview->ReverttosavedItem->trigger();
    Settle();
    EXPECT_FALSE(preview->Modified());
    EXPECT_EQ(preview->MyMemo1->Text().Text(), Utf8ToAnsi("один\nдва\n"));
    EXPECT_EQ(w->BookList()->StatusText(2), "");
    Type(preview->MyMemo1, "X");
    Show("b.txt");
    EXPECT_EQ(Disk("a.txt"), "Xодин\nдва\n");
    EXPECT_FALSE(preview->Modified());
    EXPECT_EQ(BookNamed("a.txt")->Size, static_cast<int32_t>(Disk("a.txt").size()));
}

// Leaving the FB2 text page saves its edits and then shows the new page.
TEST_F(Preview, Fb2TextPageEditsAreSavedWhenThePageChanges) {
    Scan({{"book.fb2", Fb2Book("Книга")}});
    Show("book.fb2");
    preview->FBPageControl->setCurrentWidget(preview->FBtextViewTab);
    Settle();
    ASSERT_EQ(preview->ActiveEditor(), preview->FB2Memo);
    EXPECT_EQ(preview->SaveEncoding(), TTextEncoding::Utf8);
    Type(preview->FB2Memo, "<!-- x -->", {0, 1});
    preview->FBPageControl->setCurrentWidget(preview->FBViewTab);
    Settle();
    EXPECT_TRUE(Dialogs::Script().Shown.isEmpty()) << Dialogs::Script().Shown.join("|").toStdString();
    const std::string book = Fb2Book("Книга");
    const std::string edited = book.substr(0, book.find('\n') + 1) + "<!-- x -->" + book.substr(book.find('\n') + 1);
    EXPECT_EQ(Disk("book.fb2"), edited);
    EXPECT_FALSE(preview->Modified());
    EXPECT_GT(preview->FB2Viewer1->DocumentHeight(), 15);
    preview->FBPageControl->setCurrentWidget(preview->FBtextViewTab);
    Settle();
    EXPECT_EQ(AnsiToUtf8(preview->FB2Memo->Text().Text()), edited);
}

// A packed book's edits go into its archive member; the other members stay as they were.
TEST_F(Preview, PackedBookIsSavedIntoItsArchive) {
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open((disk / "books.zip").string(), true));
        packer.AddFromBytes("inside.fb2", Bytes(Fb2Book("Внутри")), 0, 0, true);
        packer.AddFromBytes("other.txt", Bytes("keep me"), 0, 0, true);
        packer.Close();
    }
    Scan({});
    Show("inside.fb2");
    preview->FBPageControl->setCurrentWidget(preview->FBtextViewTab);
    Settle();
    Type(preview->FB2Memo, "!");
    QString error;
    ASSERT_TRUE(preview->SaveEdits(error)) << error.toStdString();
    TPacker check;
    ASSERT_TRUE(check.Open((disk / "books.zip").string(), false));
    const std::vector<uint8_t> inside = check.Extract("inside.fb2");
    EXPECT_EQ(std::string(inside.begin(), inside.end()), "!" + Fb2Book("Внутри"));
    EXPECT_EQ(check.Extract("other.txt"), Bytes("keep me"));
}

// When the edits cannot be written they stay: the book stays shown and the window stays open.
TEST_F(Preview, EditsThatCannotBeWrittenAreKept) {
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open((disk / "books.zip").string(), true));
        packer.AddFromBytes("inside.txt", Bytes("text"), 0, 0, true);
        packer.Close();
    }
    Scan({{"b.txt", "b"}});
    Show("inside.txt");
    TBookInfo* packed = preview->Book();
    Type(preview->MyMemo1, "!");
    WriteBytes(disk / "books.zip", Bytes("no longer an archive"));
    Show("b.txt");
    EXPECT_EQ(preview->Book(), packed);
    EXPECT_TRUE(preview->Modified());
    EXPECT_EQ(Dialogs::Script().Shown.size(), 1u);
    w->close();
    Flush();
    EXPECT_FALSE(w->IsClosing());
    EXPECT_EQ(preview->MyMemo1->Text().Text(), "!text");
    EXPECT_EQ(Disk("books.zip"), "no longer an archive");
}

// An edit made while the book could be edited, which then cannot be (editing turned off, the
// book made read-only or found lost), is kept and the reason told, as a failed write.
TEST_F(Preview, EditsOfABookNoLongerEditableAreKeptAndTold) {
    struct Case {
        const char* what;
        int reason;
    };
    Scan({{"a.txt", "text"}, {"b.txt", "b"}});
    for (const Case& c :
         {Case{"editing off", rsEditingOff}, Case{"read-only", rsBookIsReadOnly}, Case{"lost", rsBookFileGone}}) {
        options->SetCanEdit(true);
        Show("a.txt");
        TBookInfo* a = preview->Book();
        Type(preview->MyMemo1, "!");
        ASSERT_TRUE(preview->Modified()) << c.what;
        if (c.reason == rsEditingOff) options->SetCanEdit(false);
        if (c.reason == rsBookIsReadOnly) a->Flags |= TBookInfo::kReadOnly;
        if (c.reason == rsBookFileGone) a->Flags |= TBookInfo::kLost;
        Dialogs::Script().Shown.clear();
        Show("b.txt");
        Flush();
        EXPECT_EQ(preview->Book(), a) << c.what;
        EXPECT_TRUE(preview->Modified()) << c.what;
        EXPECT_EQ(preview->MyMemo1->Text().Text(), "!text") << c.what;
        ASSERT_EQ(Dialogs::Script().Shown.size(), 1u) << c.what;
        EXPECT_TRUE(Dialogs::Script().Shown.front().contains(Msg(c.reason))) << c.what;
        EXPECT_EQ(Disk("a.txt"), "text") << c.what;
        // "Load the saved text" lets the edit go; then the next book shows.
        a->Flags &= static_cast<uint16_t>(~(TBookInfo::kReadOnly | TBookInfo::kLost));
        preview->RevertToSaved();
        Show("b.txt");
        EXPECT_NE(preview->Book(), a) << c.what;
    }
}

// Read-only books and editing switched off: nothing can be edited.
TEST_F(Preview, ReadOnlyBooksCannotBeEdited) {
    Scan({{"a.txt", "text"}});
    options->SetCanEdit(false);
    Show("a.txt");
    EXPECT_TRUE(preview->MyMemo1->ReadOnly());
    Type(preview->MyMemo1, "X");
    EXPECT_FALSE(preview->Modified());
    // The panel says where editing is turned on, and its button does it.
    EXPECT_FALSE(preview->EditingHint->isHidden());
    preview->EditingOnButton->click();
    Flush();
    EXPECT_TRUE(options->CanEdit());
    EXPECT_TRUE(preview->EditingHint->isHidden());
    EXPECT_FALSE(preview->MyMemo1->ReadOnly());
    BookNamed("a.txt")->Flags |= TBookInfo::kReadOnly;
    EXPECT_FALSE(preview->IsEditable());
    EXPECT_TRUE(preview->MyMemo1->ReadOnly());
    EXPECT_FALSE(preview->RTFToTextButton->isEnabled());
}

// RTF is shown and saved as its markup, byte for byte; turning it into text is not offered.
TEST_F(Preview, RtfMarkupIsSavedByteForByte) {
    const std::string rtf = "{\\rtf1\\ansi \xCF\xF0\xE8\r\nline\\par\n}";
    Scan({{"letter.rtf", rtf}, {"b.txt", "b"}});
    Show("letter.rtf");
    Type(preview->RichEdit, "%");
    Show("b.txt");
    EXPECT_EQ(Disk("letter.rtf"), "%" + rtf);
    Show("letter.rtf");
    EXPECT_TRUE(preview->RTFToTextButton->isHidden());
    EXPECT_TRUE(Dialogs::Script().Shown.isEmpty());
}

// "UTF8 -> Win-1251" on the declarations the program meets.
TEST_F(Preview, Utf8ConversionOfTheDeclaration) {
    struct Case {
        const char* name;
        std::string content;
        int error;  // 0: none
        const char* declarationAfter;
    };
    const std::vector<Case> cases{
        {"spaced.fb2", Fb2Book("A", "encoding = 'utf-8'"), 0, "encoding = 'windows-1251'"},
        {"already.fb2", Fb2Book("B", "encoding=\"windows-1251\""), 0, "encoding=\"windows-1251\""},
        {"bom.fb2", "\xEF\xBB\xBF" + Fb2Book("C"), rsErrNotAnXML, nullptr},
        {"none.fb2", "<?xml version=\"1.0\"?><FictionBook/>", rsErrXMLEncoding, nullptr},
    };
    std::vector<std::pair<std::string, std::string>> files;
    for (const Case& c : cases)
        files.emplace_back(c.name, c.content);
    Scan(files);
    for (const Case& c : cases) {
        Show(c.name);
        preview->FBPageControl->setCurrentWidget(preview->FBtextViewTab);
        Settle();
        EXPECT_EQ(ErrorOf([&] { preview->ConvertUtf8(); }), c.error) << c.name;
        if (c.declarationAfter) {
            EXPECT_NE(preview->FB2Memo->Text().Text().find(c.declarationAfter), std::string::npos) << c.name;
        }
        QString error;
        ASSERT_TRUE(preview->SaveEdits(error));
        preview->FBPageControl->setCurrentWidget(preview->FBViewTab);
    }
    // The converted book is written in Windows-1251 under its new declaration.
    EXPECT_NE(Disk("spaced.fb2").find(Utf8ToAnsi("Первая строка")), std::string::npos);
    EXPECT_NE(Disk("spaced.fb2").find("encoding = 'windows-1251'"), std::string::npos);
}

// The selection decides: one book is shown, two give the message.
TEST_F(Preview, TwoSelectedBooksGiveTheMessage) {
    Scan({{"one.fb2", Fb2Book("One")}, {"two.fb2", Fb2Book("Two")}});
    w->AuthorRows().Stale = true;
    w->BuildAuthors();
    for (int32_t i = 0; i < w->AuthorRows().Count(); ++i)
        if (CellText(w->AuthorRows().Get(i)->GetValue(2)) == "Previewer") {
            w->AuthorsGrid->SelectOnlyRow(i);
            w->AuthorsGrid->SetCurrentIndex(i);
            emit w->AuthorsGrid->SelectionChanged();
        }
    TBookListForm& list = *w->BookList();
    ASSERT_TRUE(WaitFor([&] { return list.Rows().Count() == 2; }));
    list.BooksGrid->SelectOnlyRow(0);
    emit list.BooksGrid->SelectionChanged();
    ASSERT_TRUE(WaitFor([&] { return preview->Book() != nullptr; }));
    Settle();
    EXPECT_EQ(preview->ShownArea(), preview->FB2Panel);
    for (int32_t i = 0; i < 2; ++i)
        list.Rows().Get(i)->Selection = 1;
    emit list.BooksGrid->SelectionChanged();
    ASSERT_TRUE(WaitFor([&] { return preview->Book() == nullptr; }));
    EXPECT_EQ(preview->Panel6->text(), Msg(rsSelectOneBook));
    // The selection is the panel's only source of books in a main window.
    preview->SetBook(BookNamed("one.fb2"));
    Settle();
    EXPECT_EQ(preview->Book(), nullptr);
}

// A book opened on its own: captioned with its title; a zipped one is read from its archive.
TEST_F(Preview, ABookOpensAloneInItsOwnWindow) {
    WriteBytes(disk / "alone.fb2", Bytes(Fb2Book("Одна книга")));
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open((disk / "alone.fb2.zip").string(), true));
        packer.AddFromBytes("alone.fb2", Bytes(Fb2Book("Из архива")), 0, 0, true);
        packer.Close();
    }
    std::filesystem::copy_file(disk / "alone.fb2.zip", disk / "book.zip");  // as most books are shared
    for (const auto& [file, title] :
         {std::pair{"alone.fb2", "Одна книга"}, {"alone.fb2.zip", "Из архива"}, {"book.zip", "Из архива"}}) {
        auto* viewer = new TBookViewerWindow(*session);
        ASSERT_TRUE(viewer->OpenBook(QString::fromStdString((disk / file).string())));
        ASSERT_TRUE(WaitFor([&] { return !viewer->Preview->Loading(); }));
        Flush();
        EXPECT_EQ(viewer->windowTitle(), QString::fromUtf8(title) + " - Shelvara");
        EXPECT_EQ(viewer->Preview->ShownArea(), viewer->Preview->FB2Panel);
        viewer->close();
        Flush();
    }
}

// A book that cannot be read says why on its page instead of showing white.
TEST_F(Preview, ABookThatCannotBeReadSaysWhy) {
    WriteBytes(disk / "broken.fb2",
               Bytes("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FictionBook><description><title-info><book-title>x"
                     "</book-title></title-info></description><body>\n<p><emphasis>a</sub></p></body></FictionBook>"));
    auto* viewer = new TBookViewerWindow(*session);
    ASSERT_TRUE(viewer->OpenBook(QString::fromStdString((disk / "broken.fb2").string())));
    ASSERT_TRUE(WaitFor([&] { return !viewer->Preview->Loading(); }));
    Flush();
    const QString failure = viewer->Preview->FB2Viewer1->Failure();
    EXPECT_TRUE(failure.startsWith(Msg(rsBookNotShown).section('%', 0, 0))) << failure.toStdString();
    EXPECT_TRUE(failure.contains("</sub>")) << failure.toStdString();
    // The next book that reads well shows no such text.
    WriteBytes(disk / "fine.fb2", Bytes(Fb2Book("Цела")));
    ASSERT_TRUE(viewer->OpenBook(QString::fromStdString((disk / "fine.fb2").string())));
    ASSERT_TRUE(WaitFor([&] { return !viewer->Preview->Loading(); }));
    Flush();
    EXPECT_TRUE(viewer->Preview->FB2Viewer1->Failure().isEmpty());
    viewer->close();
    Flush();
}

// What a file given to the program is follows from its content, not its name.
TEST_F(Preview, AFileIsABookOrALibraryByItsContent) {
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open((disk / "book.zip").string(), true));
        packer.AddFromBytes("inside.fb2", Bytes(Fb2Book("Книга")), 0, 0, true);
        packer.Close();
        ASSERT_TRUE(packer.Open((disk / "texts.zip").string(), true));
        packer.AddFromBytes("readme.txt", Bytes("no book here"), 0, 0, true);
        packer.Close();
    }
    WriteBytes(disk / "named.txt", Bytes(Fb2Book("Текст")));
    TSVD empty;
    ASSERT_TRUE(empty.SaveToFile((disk / "lib.sv2").string()));
    std::filesystem::copy_file(disk / "lib.sv2", disk / "lib.fb2");
    WriteBytes(disk / "odd.fb2", Bytes("not even XML"));
    const std::vector<std::pair<const char*, bool>> cases{{"book.zip", true}, {"texts.zip", false}, {"named.txt", true},
                                                          {"lib.sv2", false}, {"lib.fb2", false},   {"odd.fb2", true}};
    for (const auto& [file, book] : cases)
        EXPECT_EQ(TBookViewerWindow::IsBookFile(QString::fromStdString((disk / file).string())), book) << file;
}

// While another thread holds the catalogue's archive access, choosing a packed book in the list
// checks its presence and shows it in the preview without waiting: the window's thread never
// touches that access.
TEST_F(Preview, TheWindowNeverWaitsForTheCataloguesArchiveAccess) {
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open((disk / "books.zip").string(), true));
        packer.AddFromBytes("inside.txt", Bytes("packed text"), 0, 0, true);
        packer.Close();
    }
    Scan({{"plain.txt", "plain"}});
    TBookInfo* packed = BookNamed("inside.txt");
    w->Selection().SetSource([this](TBookCollection& books) { mount->CollectBooks(books, true); });
    w->Selection().SourceChanged();
    TBookListForm& list = *w->BookList();
    ASSERT_TRUE(WaitFor([&] { return list.Rows().Count() == 2; }));
    Settle();

    auto busy = std::make_unique<TBusyArchive>();
    TBusyArchive& access = *busy;
    std::unique_ptr<IArchiveAccess> own = std::move(Svd().Packer);
    Svd().Packer = std::move(busy);
    std::thread holder([&access] {
        std::this_thread::sleep_for(std::chrono::seconds(5));
        access.Release();
    });
    int row = -1;
    for (int32_t i = 0; i < list.Rows().Count(); ++i)
        if (static_cast<TBookListObject*>(list.Rows().Get(i))->Book == packed) row = i;
    ASSERT_GE(row, 0);
    list.BooksGrid->SelectOnlyRow(row);
    emit list.BooksGrid->SelectionChanged();
    const bool shown = WaitFor([&] {
        return preview->Book() == packed && !preview->Loading() && !preview->RefreshDue() && !list.CheckingPresence();
    });
    // An edit of the packed book is written into its archive and read back meanwhile too.
    Type(preview->MyMemo1, "!");
    QString error;
    const bool saved = preview->SaveEdits(error);
    const bool whileHeld = !access.Released();
    holder.join();
    Flush();
    std::unique_ptr<IArchiveAccess> held = std::move(Svd().Packer);
    Svd().Packer = std::move(own);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(saved) << error.toStdString();
    EXPECT_TRUE(whileHeld);
    EXPECT_EQ(access.Calls.load(), 0);
    EXPECT_EQ(preview->ShownArea(), preview->TxtPanel);
    EXPECT_EQ(preview->MyMemo1->Text().Text(), "!packed text");
    EXPECT_EQ(packed->Size, 12);
    TPacker check;
    ASSERT_TRUE(check.Open((disk / "books.zip").string(), false));
    EXPECT_EQ(check.Extract("inside.txt"), Bytes("!packed text"));
    EXPECT_FALSE(packed->IsLost());
    EXPECT_EQ(list.StatusText(1).toStdString(), AnsiToUtf8(packed->FullPath()));
}

}  // namespace
