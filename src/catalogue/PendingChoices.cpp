#include "catalogue/PendingChoices.h"

#include <algorithm>

#include "catalogue/AuthorName.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"

bool ReplaceBookAuthor(TBookInfo& book, uint8_t role, TAuthorName* current, TAuthorName* chosen) {
    if (!chosen || chosen == current) return false;
    TSpellingList* list = book.AuthorList(role);
    if (!list) return false;
    auto it = std::find(list->begin(), list->end(), current);
    if (it == list->end() || std::find(list->begin(), list->end(), chosen) != list->end()) return false;
    if (!current->UnlinkBook(&book, role)) return false;
    *it = chosen;
    chosen->LinkBook(&book, role);
    book.NotifyChanged();
    return true;
}

TAuthorName* TPendingChoices::ChooseAuthor(TBookInfo& book, uint8_t role, const std::vector<TAuthorName*>& candidates,
                                           const std::string& nameRead) {
    if (candidates.empty()) return nullptr;
    TPendingChoice choice{&book, role, nameRead, candidates, {}};
    for (const TAuthorName* c : candidates)
        choice.Authors.push_back(c->Author);
    {
        std::lock_guard lock(mutex_);
        // A book read again asks again: the newer question replaces the older one.
        const auto same = std::find_if(items_.begin(), items_.end(), [&](const TPendingChoice& p) {
            return p.Book == &book && p.Role == role && p.Candidates.front() == candidates.front();
        });
        if (same != items_.end())
            *same = std::move(choice);
        else
            items_.push_back(std::move(choice));
    }
    Changed();
    return candidates.front();
}

std::vector<TPendingChoice> TPendingChoices::Snapshot() const {
    std::lock_guard lock(mutex_);
    return items_;
}

size_t TPendingChoices::Count() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

void TPendingChoices::Changed() {
    if (OnChange) OnChange();
}

void TPendingChoices::Clear() {
    {
        std::lock_guard lock(mutex_);
        if (items_.empty()) return;
        items_.clear();
    }
    Changed();
}

void TPendingChoices::ForgetBook(const void* book) {
    {
        std::lock_guard lock(mutex_);
        if (!std::erase_if(items_, [book](const TPendingChoice& p) { return p.Book == book; })) return;
    }
    Changed();
}

template <typename Drop>
void TPendingChoices::DropCandidates(Drop drop) {
    std::unique_lock lock(mutex_);
    const size_t before = items_.size();
    std::erase_if(items_, [&](TPendingChoice& p) {
        bool firstGone = false;
        for (size_t i = p.Candidates.size(); i-- > 0;) {
            if (!drop(p.Candidates[i], p.Authors[i])) continue;
            firstGone |= i == 0;
            p.Candidates.erase(p.Candidates.begin() + static_cast<std::ptrdiff_t>(i));
            p.Authors.erase(p.Authors.begin() + static_cast<std::ptrdiff_t>(i));
        }
        return firstGone || p.Candidates.size() < 2;
    });
    const bool dropped = items_.size() != before;
    lock.unlock();
    if (dropped) Changed();
}

void TPendingChoices::ForgetSpelling(const void* spelling) {
    DropCandidates([spelling](const TAuthorName* c, const TAuthorInfo*) { return c == spelling; });
}

void TPendingChoices::ForgetAuthor(const void* author) {
    DropCandidates([author](const TAuthorName*, const TAuthorInfo* a) { return a == author; });
}

int TPendingChoices::Decide(const std::vector<TAuthorDecision>& decisions) {
    std::vector<TAuthorDecision> valid;
    {
        std::lock_guard lock(mutex_);
        for (const TAuthorDecision& d : decisions) {
            const auto it = std::find_if(items_.begin(), items_.end(), [&](const TPendingChoice& p) {
                return p.Book == d.Book && p.Role == d.Role && p.Candidates.front() == d.Current;
            });
            if (it == items_.end()) continue;  // gone since it was shown
            // Only a spelling the entry still lists: the others may have been freed.
            if (std::find(it->Candidates.begin(), it->Candidates.end(), d.Chosen) != it->Candidates.end())
                valid.push_back(d);
            items_.erase(it);
        }
    }
    int changed = 0;
    {
        TCatalogueGuard guard;
        for (const TAuthorDecision& d : valid)
            changed += ReplaceBookAuthor(*d.Book, d.Role, d.Current, d.Chosen);
    }
    Changed();
    return changed;
}
