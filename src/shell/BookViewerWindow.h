#pragma once

#include <QMainWindow>
#include <memory>

class TBookInfo;
class TBookPreviewForm;
class TLibrarySession;

// One book file opened on its own (from a file manager): the preview panel in a window of its
// own, captioned with the book's title. The book belongs to no library; its edits are written
// back into its file (or its archive) as in a library.
class TBookViewerWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit TBookViewerWindow(TLibrarySession& session, QWidget* parent = nullptr);
    ~TBookViewerWindow() override;

    TBookPreviewForm* Preview;

    // Opens a book: an FB2 file, or a ZIP (.zip, .fbz) whose first FB2 member is the book.
    // False, with the reason shown, when it cannot be opened.
    bool OpenBook(const QString& path);
    TBookInfo* Book() const { return book_.get(); }
    // Whether a file given to the program is a book to read on its own rather than a library,
    // by its content: a library starts with its signature; an FB2 text, or a ZIP archive holding
    // an FB2 member, is a book whatever its name. A file neither tells goes by its extension.
    static bool IsBookFile(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TLibrarySession& session_;
    QString fileName_;
    std::unique_ptr<TBookInfo> book_;
};
