#pragma once

#include <QImage>
#include <vector>

#include "shell/DockableForm.h"

class QLabel;
class QScrollArea;
class QSplitter;
class TBookInfo;
class TIniPlacement;
enum class TBookChange;

// The one selected book at a glance: its cover (or the picture itself), title, authors (each
// opening the author's information), series, genre and annotation.
class TFastBookInfoForm final : public TDockableForm {
    Q_OBJECT

public:
    TFastBookInfoForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection& selection);
    ~TFastBookInfoForm() override;

    const TBookInfo* Book() const { return book_; }
    // Draws the current book now (the paint timer's work).
    void Repaint();
    const QImage& Picture() const { return picture_; }
    int VisibleAuthorLabels() const;
    // The information of the author of the index-th label.
    void ShowAuthor(size_t index);

    void Recaption() override;
    void DropBooks() override;

    QWidget* PicturePanel;
    QLabel* MyImage1;
    QSplitter* Splitter1;
    QWidget* AuthorsPanel;
    QScrollArea* BNPanel;
    QLabel* BookNameLabel;
    QLabel* SLabel1;
    QLabel* SerieLabel;
    QLabel* SLabel2;
    QLabel* SerieNumLabel;
    QLabel* SLabel3;
    QLabel* GenreLabel;
    QLabel* ALabel1;
    QLabel* AnnoLabel;
    QLabel* NoInfoLabel;
    QTimer* PaintTimer;

protected:
    void Refresh() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SchedulePaint();
    void PlaceAuthors();
    void BookChanged(TBookChange change, const TBookInfo* book);

    TBookInfo* book_ = nullptr;  // compared by identity; cleared on its removal notice
    std::vector<QLabel*> authorLabels_;
    std::vector<const void*> authorSpellings_;
    QImage picture_;
    int noInfoText_ = 0;  // the message shown without a description, for a language change
    bool painting_ = false;
};
