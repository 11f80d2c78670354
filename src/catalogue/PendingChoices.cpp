#include "catalogue/PendingChoices.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <tuple>
#include <unordered_map>

#include "catalogue/AuthorList.h"
#include "catalogue/AuthorName.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"

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
        const auto same =
            !refs_.contains(&book)
                ? items_.end()
                : std::find_if(items_.begin(), items_.end(), [&](const TPendingChoice& p) {
                      return p.Book == &book && p.Role == role && p.Candidates.front() == candidates.front();
                  });
        if (same != items_.end()) {
            RemoveRefs(*same);
            AddRefs(choice);
            *same = std::move(choice);
        } else {
            AddRefs(choice);
            items_.push_back(std::move(choice));
        }
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

void TPendingChoices::AddRefs(const TPendingChoice& choice) {
    refs_.insert(choice.Book);
    refs_.insert(choice.Candidates.begin(), choice.Candidates.end());
    refs_.insert(choice.Authors.begin(), choice.Authors.end());
}

void TPendingChoices::RemoveRefs(const TPendingChoice& choice) {
    const auto drop = [this](const void* p) {
        if (const auto it = refs_.find(p); it != refs_.end()) refs_.erase(it);
    };
    drop(choice.Book);
    for (const void* p : choice.Candidates)
        drop(p);
    for (const void* p : choice.Authors)
        drop(p);
}

void TPendingChoices::Reindex() {
    refs_.clear();
    for (const TPendingChoice& choice : items_)
        AddRefs(choice);
}

void TPendingChoices::Clear() {
    {
        std::lock_guard lock(mutex_);
        if (items_.empty()) return;
        items_.clear();
        refs_.clear();
    }
    Changed();
}

void TPendingChoices::ForgetBook(const void* book) {
    {
        std::lock_guard lock(mutex_);
        if (!refs_.contains(book)) return;
        std::erase_if(items_, [this, book](const TPendingChoice& p) {
            if (p.Book != book) return false;
            RemoveRefs(p);
            return true;
        });
    }
    Changed();
}

template <typename Drop>
void TPendingChoices::DropCandidates(const void* gone, Drop drop) {
    std::unique_lock lock(mutex_);
    if (!refs_.contains(gone)) return;
    const size_t before = items_.size();
    std::erase_if(items_, [&](TPendingChoice& p) {
        bool touched = false, firstGone = false;
        for (size_t i = p.Candidates.size(); i-- > 0;) {
            if (!drop(p.Candidates[i], p.Authors[i])) continue;
            if (!touched) RemoveRefs(p);
            touched = true;
            firstGone |= i == 0;
            p.Candidates.erase(p.Candidates.begin() + static_cast<std::ptrdiff_t>(i));
            p.Authors.erase(p.Authors.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (!touched) return false;
        const bool goes = firstGone || p.Candidates.size() < 2;
        if (!goes) AddRefs(p);
        return goes;
    });
    const bool dropped = items_.size() != before;
    lock.unlock();
    if (dropped) Changed();
}

void TPendingChoices::ForgetSpelling(const void* spelling) {
    DropCandidates(spelling, [spelling](const TAuthorName* c, const TAuthorInfo*) { return c == spelling; });
}

void TPendingChoices::ForgetAuthor(const void* author) {
    DropCandidates(author, [author](const TAuthorName*, const TAuthorInfo* a) { return a == author; });
}

int TPendingChoices::Decide(const std::vector<TAuthorDecision>& decisions) {
    // One pass over the queue for all the decisions; one gone since it was shown finds nothing.
    using TKey = std::tuple<const TBookInfo*, uint8_t, const TAuthorName*>;
    std::map<TKey, const TAuthorDecision*> byKey;
    for (const TAuthorDecision& d : decisions)
        byKey.emplace(TKey{d.Book, d.Role, d.Current}, &d);
    std::vector<TAuthorDecision> valid;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(items_, [&](const TPendingChoice& p) {
            const auto it = byKey.find(TKey{p.Book, p.Role, p.Candidates.front()});
            if (it == byKey.end()) return false;
            // Only a spelling the entry still lists: the others may have been freed.
            const TAuthorDecision& d = *it->second;
            if (std::find(p.Candidates.begin(), p.Candidates.end(), d.Chosen) != p.Candidates.end()) valid.push_back(d);
            byKey.erase(it);  // a question is decided once
            RemoveRefs(p);
            return true;
        });
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

namespace {

constexpr std::string_view kPendingHeader = "shelvara pending author choices 1";

std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    }
    return out;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string_view::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

}  // namespace

std::string TPendingChoices::SaveText() const {
    std::lock_guard lock(mutex_);
    if (items_.empty()) return {};
    std::string text(kPendingHeader);
    text += '\n';
    for (const TPendingChoice& p : items_) {
        text += Escaped(p.Book->FullPath()) + '\t' + Escaped(p.Book->Packed ? p.Book->EntryName.str() : std::string()) +
                '\t' + std::to_string(p.Role) + '\t' + Escaped(p.NameRead);
        for (const TAuthorName* c : p.Candidates)
            text += '\t' + std::to_string(c->Index);
        text += '\n';
    }
    return text;
}

void TPendingChoices::LoadText(std::string_view text, TSVD& catalogue) {
    if (text.substr(0, kPendingHeader.size()) != kPendingHeader) text = {};  // not ours: nothing
    std::unordered_map<std::string, TBookInfo*> books;
    for (const auto& mount : catalogue.MountPoints) {
        TBookCollection all;
        mount->CollectBooks(all, true);
        for (TBookInfo* b : all.Books())
            books.emplace(b->FullPath() + '\0' + (b->Packed ? b->EntryName.str() : std::string()), b);
    }
    std::vector<TPendingChoice> loaded;
    size_t start = text.find('\n');
    while (start != std::string_view::npos && start + 1 < text.size()) {
        const size_t end = text.find('\n', start + 1);
        const std::string_view line = text.substr(start + 1, end == std::string_view::npos ? end : end - start - 1);
        start = end;
        const std::vector<std::string_view> f = Fields(line);
        if (f.size() < 6) continue;
        const auto book = books.find(Unescaped(f[0]) + '\0' + Unescaped(f[1]));
        int role = 0;
        std::from_chars(f[2].data(), f[2].data() + f[2].size(), role);
        if (book == books.end() || role <= 0 || role > 255) continue;
        TPendingChoice choice{book->second, static_cast<uint8_t>(role), Unescaped(f[3]), {}, {}};
        for (size_t i = 4; i < f.size(); ++i) {
            int32_t index = -1;
            std::from_chars(f[i].data(), f[i].data() + f[i].size(), index);
            TAuthorName* spelling = catalogue.Authors.FindByIndex(index);
            if (!spelling) continue;
            choice.Candidates.push_back(spelling);
            choice.Authors.push_back(spelling->Author);
        }
        const TSpellingList* list = choice.Book->AuthorList(choice.Role);
        if (choice.Candidates.size() < 2 || !list ||
            std::find(list->begin(), list->end(), choice.Candidates.front()) == list->end())
            continue;
        loaded.push_back(std::move(choice));
    }
    {
        std::lock_guard lock(mutex_);
        items_ = std::move(loaded);
        Reindex();
    }
    Changed();
}
