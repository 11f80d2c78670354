#include "shell/BookSelection.h"

#include <QTimer>
#include <algorithm>

#include "catalogue/BookFolder.h"
#include "shell/LibrarySession.h"

TBookSelection::TBookSelection(TLibrarySession& session, QObject* parent) : QObject(parent) {
    sourceTimer_ = new QTimer(this);
    sourceTimer_->setSingleShot(true);
    sourceTimer_->setInterval(0);
    connect(sourceTimer_, &QTimer::timeout, this, &TBookSelection::SourceUpdated);
    booksTimer_ = new QTimer(this);
    booksTimer_->setSingleShot(true);
    booksTimer_->setInterval(0);
    connect(booksTimer_, &QTimer::timeout, this, &TBookSelection::BooksChanged);
    connect(&session, &TLibrarySession::BookChanged, this, &TBookSelection::BookChanged);
}

void TBookSelection::SetSource(std::function<void(TBookCollection&)> collect) {
    collect_ = std::move(collect);
}

void TBookSelection::CollectSource(TBookCollection& books) const {
    if (collect_) collect_(books);
}

void TBookSelection::SourceChanged() {
    sourceTimer_->start();
}

void TBookSelection::Publish(std::vector<TBookInfo*> books) {
    books_ = std::move(books);
    live_ = std::unordered_set<const TBookInfo*>(books_.begin(), books_.end());
    stale_ = false;
    booksTimer_->start();
}

const std::vector<TBookInfo*>& TBookSelection::Books() const {
    if (stale_) {
        // One pass for however many books went since the last read.
        std::erase_if(books_, [this](const TBookInfo* book) { return !live_.count(book); });
        stale_ = false;
    }
    return books_;
}

TBookInfo* TBookSelection::Single() const {
    const std::vector<TBookInfo*>& books = Books();
    return books.size() == 1 ? books.front() : nullptr;
}

void TBookSelection::SetModifiedMark(bool modified) {
    if (modified == modified_) return;
    modified_ = modified;
    emit ModifiedMarkChanged(modified);
}

void TBookSelection::BookChanged(TBookChange change, const TBookInfo* book) {
    if (change != TBookChange::Removed || !live_.erase(book)) return;
    stale_ = true;
    booksTimer_->start();
}
