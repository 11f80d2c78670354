#pragma once

#include <QByteArray>
#include <QPointer>

#include "catalogue/CatalogueObserver.h"
#include "editor/TextFile.h"
#include "shell/DockableForm.h"

class QBuffer;
class QCheckBox;
class QLabel;
class QMenu;
class QMovie;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class TBookInfo;
class TEditorCommands;
class TFB2Viewer;
class TMyMemo;
class TPictureView;

// The selected book in the view that suits it: an FB2 book formatted with its pictures, or as
// its source text; plain text and HTML in the editor; RTF as its markup; pictures and
// animations; anything else as its name, type and icon. Edits are written back into the file
// or the archive member the book came from before another book is shown, and the panel keeps
// them when that fails.
class TBookPreviewForm final : public TDockableForm {
    Q_OBJECT

public:
    // mainWindow may be null: the panel then shows only the books it is given (SetBook).
    TBookPreviewForm(TSVWinForm* mainWindow, TSVMainForm& hub);
    ~TBookPreviewForm() override;

    QStackedWidget* Areas;
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
    // Shows a book (none: nothing); the edits of the book shown before are saved first, and
    // when that fails the error is shown and that book stays.
    void SetBook(TBookInfo* book);
    // Loads the current book into the area that suits it (when the panel can be seen).
    void RefreshView();
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

protected:
    void Refresh() override;

private:
    void ShowSelection();
    void ShowMessage(int id);
    QWidget* LoadText(const std::vector<uint8_t>& bytes);
    QWidget* LoadFb2();
    QWidget* LoadRtf(const std::vector<uint8_t>& bytes);
    QWidget* LoadPicture(const std::vector<uint8_t>& bytes, uint8_t type);
    QWidget* LoadOle();
    void LoadEditor(TMyMemo* memo, const std::vector<uint8_t>& bytes);
    // Where the current book's file is, read under the catalogue lock.
    struct TFilePlace {
        std::string Path, Entry;
        bool Packed;
    };
    TFilePlace FilePlace() const;
    std::vector<uint8_t> ReadContent() const;
    void Fb2PageChanged(int page);
    void StopAnimation();
    void EditorChanged(TMyMemo* memo);
    void OnNotified(TObjectType type, int kind, const void* object);
    void Guarded(const std::function<void()>& work);

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
};
