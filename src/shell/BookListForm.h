#pragma once

#include <QColor>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalogue/ObjList.h"
#include "shell/DockableForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QStatusBar;
class TBookInfo;
struct TBookPlace;
class TCommandTable;
class TIniPlacement;
class TSVGrid;
enum class TBookChange;

// A colour given with blue in the high byte and red in the low one (0xBBGGRR).
QColor BgrColor(uint32_t bgr);

// The books of the main window's selection: a grid with a filter (by column, everywhere, or
// over the books' full text in a worker), a summary, colour marks, and the commands that
// resynchronise, pack and delete the selected books.
class TBookListForm final : public TDockableForm {
    Q_OBJECT

public:
    TBookListForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection& selection);
    ~TBookListForm() override;

    // "N книг, S байт|кб|Мб" for a row count and a total size in bytes.
    static QString Summary(int count, int64_t bytes);
    // The 16 colour marks as RGB.
    static uint32_t MarkColor(uint8_t mark);

    TObjList& Rows() { return rows_; }
    std::vector<TBookInfo*> SelectedBooks() const;
    // Status field 0 summary, 1 path of the one selected book, 2 transient note.
    QString StatusText(int field) const;
    // The presence check of the one selected book is running (on another thread).
    bool CheckingPresence() const { return presenceJob_ != presenceShown_; }
    // A full-text filter is reading books.
    bool TextFilterRunning() const { return textJob_ != nullptr; }
    // The texts for the next keystrokes of the filter are still being made, between keystrokes.
    bool MakingSearchTexts() const { return !textsToMake_.empty(); }

    // The commands of the menu, on the selected books.
    void ResyncSelected(bool full);
    void PackSelected();
    void DeleteSelected();
    // Fills the menu's items for the current state (enabled or not, the columns).
    void PrepareMenu();

    void Recaption() override;
    void SettingsChanged() override;
    void DropBooks() override;

    TSVGrid* BooksGrid;
    QLineEdit* FilterEdit;
    QComboBox* FilterCombo;
    QCheckBox* ExtFilterCheck;
    QLabel* FilterLabel;
    QStatusBar* StatusBar;
    QTimer* FilterTimer;
    QMenu* BookGridMenu;

protected:
    void Refresh() override;

private:
    // The texts of the search of all columns: forgotten, and made a slice at a time.
    void ForgetSearchTexts();
    void MakeSearchTexts();
    struct TTextJob;

    void FillFilterCombo();
    void SelectionChanged();
    void UpdateSummary();
    void SetNote(const QString& text);
    void ShowRows(const std::vector<TBookInfo*>& books);
    void StartTextFilter(const std::vector<TBookInfo*>& books, const std::string& text, bool extended);
    void CancelTextFilter();
    void TextFilterProgress(uint64_t job, int percent);
    void TextFilterDone(uint64_t job);
    void BookChanged(TBookChange change, const TBookInfo* book);
    void RepaintLater();
    void CheckPresence(TBookInfo* book, const TBookPlace& place);

    TObjList rows_;
    std::unordered_set<const TBookInfo*> shown_;  // the books of the rows, for the notifications
    // Each book's texts for the filter of all columns, made by the first keystroke and kept
    // while that filter is in use; a book's entry goes with any change of the book.
    std::unordered_map<const TBookInfo*, std::string> searchTexts_;
    std::vector<TBookInfo*> textsToMake_;                  // the source's books still without texts
    std::unordered_set<const TBookInfo*> goneBeforeMade_;  // changed or removed meanwhile
    QTimer* makeTexts_;
    bool busy_ = false;
    bool summaryPending_ = false;
    QLabel* fields_[3];
    TCommandTable* commands_;
    QMenu* resyncMenu_;
    QMenu* columnsMenu_;
    QTimer* repaintLater_;
    std::unique_ptr<TTextJob> textJob_;
    std::vector<std::unique_ptr<TTextJob>> retired_;  // cancelled, their readers finishing
    uint64_t jobNumber_ = 0;
    uint64_t presenceJob_ = 0, presenceShown_ = 0;
};
