#pragma once

#include <QByteArray>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/TextFile.h"
#include "shell/BookPlace.h"
#include "shell/DockableForm.h"

class QBuffer;
class QCheckBox;
class QLabel;
class QPushButton;
class QMenu;
class QMovie;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class TBookInfo;
class TEditorCommands;
class TFB2Viewer;
class TFictionBook;
class TMyMemo;
class TPictureView;
enum class TBookChange;

// The selected book in the view that suits it: an FB2 book formatted with its pictures, or as
// its source text; plain text and HTML in the editor; RTF as its markup; pictures and
// animations; anything else as its name, type and icon. Edits are written back into the file
// or the archive member the book came from before another book is shown, and the panel keeps
// them when that fails. The file is looked for and read on another thread; the panel takes no
// input until the book it asked for is shown.
class TBookPreviewForm final : public TDockableForm {
    Q_OBJECT

public:
    // In a main window the panel shows the selection's one book; without one (mainWindow and
    // selection null) only the books it is given (SetBook).
    TBookPreviewForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection* selection);
    ~TBookPreviewForm() override;

    QStackedWidget* Areas;
    QWidget* EditingHint;  // shown while editing is off in the settings
    QLabel* EditingHintLabel;
    QPushButton* EditingOnButton;
    QLabel* Panel6;  // the message when no area shows
    QWidget* TxtPanel;
    QToolButton* MemoFormatButton;
    TMyMemo* MyMemo1;
    QWidget* RTFPanel;
    QToolButton* RTFToTextButton;
    TMyMemo* RichEdit;  // RTF as its markup: Qt reads no RTF
    QWidget* OLEPanel;
    QToolButton* OleToTextButton;
    QToolButton* OLEToRTFButton;
    QCheckBox* ShowOLEBox;
    QLabel* OleIcon;
    QLabel* OleName;
    QLabel* OleType;
    QWidget* FB2Panel;
    QTabWidget* FBPageControl;
    QWidget* FBViewTab;
    QWidget* XMLViewTab;
    QWidget* FBtextViewTab;
    TFB2Viewer* FB2Viewer1;
    QToolButton* UTF8ConvertButton;
    TMyMemo* FB2Memo;
    QWidget* BMPPanel;
    TPictureView* Image1;
    QWidget* GifPanel;
    TPictureView* GifView;
    QMenu* MemoMenu1;
    QAction* Format2Item;
    QAction* ApplylastformatruleItem;
    QAction* FindproblemtextItem;
    QAction* ReverttosavedItem;
    TEditorCommands* Commands;

    TBookInfo* Book() const { return book_; }
    // Shows a book in a panel of its own (none: nothing); in a main window the selection
    // alone chooses the book, and this does nothing.
    void SetBook(TBookInfo* book);
    // Loads the current book into the area that suits it (when the panel can be seen); the
    // file is read on another thread and shown when it arrives.
    void RefreshView();
    // A read of the book is on its way.
    bool Loading() const { return loadJob_ != loadedJob_; }
    // Writes pending edits back; false with the reason when they could not be written (the
    // edits are kept).
    bool SaveEdits(QString& error);
    bool SavePendingEdits(QString& error) override { return SaveEdits(error); }
    // Editing allowed: a book, the editing option on, the book neither read-only nor lost.
    // Applies the answer to the editors and buttons.
    bool IsEditable();
    void MarkModified(bool modified);
    bool Modified() const { return modified_; }
    // The editor find, replace and format work on, or none.
    TMyMemo* ActiveEditor() const;
    QWidget* ShownArea() const;
    // "UTF8 -> Win-1251": a UTF-8 FB2 text page turned into Windows-1251 (raises the reasons).
    void ConvertUtf8();
    void RevertToSaved();
    // The encoding the text being edited is written back in.
    TTextEncoding SaveEncoding() const { return encoding_; }

    void Recaption() override;
    void SettingsChanged() override;
    void DropBooks() override;

signals:
    // The book asked for (or none) is on screen.
    void BookShown();

protected:
    void Refresh() override;

private:
    struct TLoaded {
        bool Exists = false;
        std::vector<uint8_t> Bytes;
        std::shared_ptr<TFictionBook> Document;  // the formatted view's book, read there too
        bool Parsed = false;
        std::string Error;  // engine text
    };
    void ShowSelection();
    // The one way the book changes: the edits of the book shown before are saved first, and
    // when that fails the error is shown and that book stays.
    void ChangeBook(TBookInfo* book);
    void ShowMessage(int id);
    void ShowLoaded(const TBookPlace& place, TLoaded loaded);
    QWidget* LoadText(const std::vector<uint8_t>& bytes);
    QWidget* LoadFb2(TLoaded& loaded);
    QWidget* LoadRtf(const std::vector<uint8_t>& bytes);
    QWidget* LoadPicture(const std::vector<uint8_t>& bytes, uint8_t type);
    QWidget* LoadOle(const TBookPlace& place);
    void LoadEditor(TMyMemo* memo, const std::vector<uint8_t>& bytes);
    void Fb2PageChanged(int page);
    void StopAnimation();
    void EditorChanged(TMyMemo* memo);
    void BookChanged(TBookChange change, const TBookInfo* book);
    void SetModifiedMark(bool modified);

    TBookInfo* book_ = nullptr;
    bool modified_ = false;
    bool refreshing_ = false;
    bool viewPending_ = true;
    int messageId_ = 0;
    int fb2Page_ = 0;
    TMyMemo* pendingEditor_ = nullptr;  // the editor that holds the unsaved edits
    TTextEncoding encoding_ = TTextEncoding::Windows1251;
    bool bom_ = false;
    QByteArray animation_;
    QBuffer* animationBuffer_ = nullptr;
    QMovie* movie_ = nullptr;
    std::vector<uint8_t> content_;  // the bytes last read of the book shown
    uint64_t loadJob_ = 0, loadedJob_ = 0;
};
