#pragma once

#include <QObject>
#include <functional>
#include <unordered_set>
#include <vector>

class QTimer;
class TBookCollection;
class TBookInfo;
class TLibrarySession;
enum class TBookChange;

// The books a main window is about, in two steps: the source (what its tabs have selected,
// collected on demand) and the books the book list has selected, published by identity. Panels
// subscribe instead of asking the list; a burst of changes or removals reaches them as one
// signal. A removed book leaves the selection before anyone can read it. GUI thread only.
class TBookSelection final : public QObject {
    Q_OBJECT

public:
    explicit TBookSelection(TLibrarySession& session, QObject* parent = nullptr);

    // Who collects the source books (the main window's tabs); unset collects nothing.
    void SetSource(std::function<void(TBookCollection&)> collect);
    void CollectSource(TBookCollection& books) const;
    // The tabs' selection changed: the book list follows (coalesced).
    void SourceChanged();

    // The book list's selection, in its order; replaces the previous one.
    void Publish(std::vector<TBookInfo*> books);
    // The published books still in the catalogue.
    const std::vector<TBookInfo*>& Books() const;
    // The one selected book, or none when there are none or several.
    TBookInfo* Single() const;
    bool Contains(const TBookInfo* book) const { return live_.count(book) != 0; }

    // The preview holds unsaved edits of the selected book (the list shows the mark).
    void SetModifiedMark(bool modified);
    bool ModifiedMark() const { return modified_; }
    // Asks the main window to bring a panel to the front (0 book list ... 3 preview).
    void RequestPanel(int index) { emit PanelRequested(index); }

signals:
    void SourceUpdated();
    // The published books changed, or some of them went (one signal for a burst).
    void BooksChanged();
    void ModifiedMarkChanged(bool modified);
    void PanelRequested(int index);

private:
    void BookChanged(TBookChange change, const TBookInfo* book);

    std::function<void(TBookCollection&)> collect_;
    mutable std::vector<TBookInfo*> books_;
    std::unordered_set<const TBookInfo*> live_;
    mutable bool stale_ = false;  // books_ still holds removed books: compacted when read
    bool modified_ = false;
    QTimer* sourceTimer_;
    QTimer* booksTimer_;
};
