#include "catalogue/AuthorList.h"

#include <algorithm>

#include "catalogue/AuthorHelpers.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"

// ---- TAuthorList

TAuthorList::TAuthorList(TSVD* catalogue) : catalogue_(catalogue) {}

TAuthorList::~TAuthorList() {
    Clear();
}

TAuthorInfo* TAuthorList::NewAuthor(bool numbered) {
    authors_.push_back(std::make_unique<TAuthorInfo>(this));
    TAuthorInfo* author = authors_.back().get();
    author->Order = nextOrder_++;
    if (numbered) author->Index = NextIndex();
    Modified = true;
    // An author made while a library is read is not news; one made later (an import) is.
    if (numbered && catalogue_) catalogue_->Notify(TObjectType::Author, author, TAuthorInfo::kAdded);
    return author;
}

int32_t TAuthorList::NextIndex() {
    if (LowestIndex == -1) LowestIndex = 1;
    if (HighestIndex == -1) {
        HighestIndex = 1;
        return 1;
    }
    if (LowestIndex >= 2) return --LowestIndex;
    return ++HighestIndex;
}

void TAuthorList::NoteIndex(int32_t index) {
    if (LowestIndex == -1 || index < LowestIndex) LowestIndex = index;
    if (HighestIndex == -1 || index > HighestIndex) HighestIndex = index;
}

// Buckets may hold an author more than once (one entry per spelling at most); lookups drop
// the repeats. Checking on insertion would be linear in the bucket, and the bucket of the
// empty nickname holds nearly every author.
void TAuthorList::IndexName(TAuthorInfo* author, const TAuthorName* spelling) {
    if (!indexValid_) return;
    AddToBucket(byLast_[spelling->Keys().Last], author);
    AddToBucket(byNick_[spelling->Keys().Nick], author);
}

void TAuthorList::IndexSynonym(TAuthorInfo* author, TAuthorInfo::TNamePart part, const std::string& synonym) {
    if (!indexValid_) return;
    if (part == TAuthorInfo::kLast) AddToBucket(byLast_[SearchKeyTrimmed(synonym)], author);
    if (part == TAuthorInfo::kNick) AddToBucket(byNick_[SearchKeyTrimmed(synonym)], author);
}

void TAuthorList::BuildIndex() {
    byLast_.clear();
    byNick_.clear();
    indexValid_ = true;
    for (const auto& author : authors_) {
        for (size_t i = 0; i < author->Count(); ++i)
            IndexName(author.get(), author->Name(i));
        for (const std::string& s : author->LastNameSynonyms())
            IndexSynonym(author.get(), TAuthorInfo::kLast, s);
        for (const std::string& s : author->NickNameSynonyms())
            IndexSynonym(author.get(), TAuthorInfo::kNick, s);
    }
}

namespace {

std::vector<TAuthorInfo*> LatestFirst(const std::unordered_map<std::string, std::vector<TAuthorInfo*>>& index,
                                      const std::string& key) {
    auto it = index.find(key);
    if (it == index.end()) return {};
    std::vector<TAuthorInfo*> authors = it->second;
    std::sort(authors.begin(), authors.end(),
              [](const TAuthorInfo* a, const TAuthorInfo* b) { return a->Order > b->Order; });
    authors.erase(std::unique(authors.begin(), authors.end()), authors.end());
    return authors;
}

}  // namespace

// Every rule that can match needs the same last-name key (of a spelling or a last-name
// synonym), or for a nickname-only query the same nickname key, so only those authors are
// tried, in the list's order from the last to the first.
std::vector<TAuthorInfo*> TAuthorList::Candidates(const TNameKeys& q) {
    if (!indexValid_) BuildIndex();
    if (q.NoFullName()) return q.Nick.empty() ? std::vector<TAuthorInfo*>{} : LatestFirst(byNick_, q.Nick);
    return LatestFirst(byLast_, q.Last);
}

std::vector<TAuthorInfo*> TAuthorList::NickCandidates(const std::string& nickKey) {
    if (!indexValid_) BuildIndex();
    return LatestFirst(byNick_, nickKey);
}

TAuthorName* TAuthorList::FindName(const std::string& first, const std::string& middle, const std::string& nick,
                                   const std::string& last) {
    const TNameKeys q = TNameKeys::Of(first, middle, last, nick);
    const std::vector<TAuthorInfo*> candidates = Candidates(q);
    for (bool exact : {true, false})
        for (TAuthorInfo* author : candidates)
            if (TAuthorName* found = author->FindNameByParts(q, exact)) return found;
    return nullptr;
}

void TAuthorList::FindCandidates(const std::string& first, const std::string& middle, const std::string& nick,
                                 const std::string& last, std::vector<TAuthorName*>& result) {
    const TNameKeys q = TNameKeys::Of(first, middle, last, nick);
    const std::vector<TAuthorInfo*> candidates = Candidates(q);
    for (bool exact : {true, false}) {
        for (TAuthorInfo* author : candidates)
            if (TAuthorName* found = author->FindNameByParts(q, exact)) result.push_back(found);
        if (!result.empty()) return;
    }
}

TAuthorName* TAuthorList::FindOrAddName(const std::string& first, const std::string& middle, const std::string& nick,
                                        const std::string& last) {
    if (TAuthorName* found = FindName(first, middle, nick, last)) return found;
    return NewAuthor(true)->AddName(first, middle, nick, last);
}

TAuthorName* TAuthorList::FindByNick(const std::string& nick) {
    const std::string key = SearchKeyTrimmed(nick);
    const std::vector<TAuthorInfo*> candidates = NickCandidates(key);
    for (bool exact : {true, false})
        for (TAuthorInfo* author : candidates)
            if (TAuthorName* found = author->FindNameByNick(key, exact)) return found;
    return nullptr;
}

void TAuthorList::FindNickCandidates(const std::string& nick, std::vector<TAuthorName*>& result) {
    const std::string key = SearchKeyTrimmed(nick);
    if (key.empty()) return;
    std::vector<TAuthorName*> onlyNick, carrying;
    const std::vector<TAuthorInfo*> candidates = NickCandidates(key);
    for (TAuthorInfo* author : candidates) {
        TAuthorName* bare = nullptr;
        TAuthorName* any = nullptr;
        for (size_t i = 0; i < author->Count(); ++i) {
            TAuthorName* spelling = author->Name(i);
            if (spelling->Keys().Nick != key) continue;
            if (!any) any = spelling;
            if (!bare && spelling->Keys().NoFullName()) bare = spelling;
        }
        if (bare) onlyNick.push_back(bare);
        if (any) carrying.push_back(any);
    }
    result = !onlyNick.empty() ? onlyNick : carrying;
    if (!result.empty()) return;
    // No spelling carries it: the first author with it among the nickname synonyms.
    for (TAuthorInfo* author : candidates)
        if (TAuthorName* found = author->FindNameByNick(key, false)) {
            result.push_back(found);
            return;
        }
}

TAuthorName* TAuthorList::FindOrAddByNick(const std::string& nick) {
    if (TAuthorName* found = FindByNick(nick)) return found;
    return NewAuthor(true)->AddNick(nick);
}

void TAuthorList::IndexForReading() {
    DropReadingIndex();
    const auto count = static_cast<size_t>(SpellingCount());
    int64_t highest = -1;
    bool dense = true;
    for (const auto& author : authors_)
        for (size_t i = 0; i < author->Count(); ++i) {
            dense = dense && author->Name(i)->Index >= 0;
            highest = std::max<int64_t>(highest, author->Name(i)->Index);
        }
    dense = dense && highest < static_cast<int64_t>(2 * count + 1024);
    if (dense)
        readingTable_.assign(static_cast<size_t>(highest + 1), nullptr);
    else
        readingIndex_.reserve(count);
    for (const auto& author : authors_)
        for (size_t i = 0; i < author->Count(); ++i) {
            TAuthorName* spelling = author->Name(i);
            // The first of a number stays.
            if (!dense)
                readingIndex_.emplace(spelling->Index, spelling);
            else if (!readingTable_[static_cast<size_t>(spelling->Index)])
                readingTable_[static_cast<size_t>(spelling->Index)] = spelling;
        }
}

void TAuthorList::DropReadingIndex() {
    readingTable_ = {};
    readingIndex_ = {};
}

TAuthorName* TAuthorList::FindByIndex(int32_t index) const {
    if (!readingTable_.empty())
        return index >= 0 && static_cast<size_t>(index) < readingTable_.size()
                   ? readingTable_[static_cast<size_t>(index)]
                   : nullptr;
    if (!readingIndex_.empty()) {
        const auto it = readingIndex_.find(index);
        return it == readingIndex_.end() ? nullptr : it->second;
    }
    auto searchAuthor = [index](const TAuthorInfo* author) -> TAuthorName* {
        for (size_t i = 0; i < author->Count(); ++i)
            if (author->Name(i)->Index == index) return author->Name(i);
        return nullptr;
    };
    if (authors_.empty()) return nullptr;
    // The numbering pass leaves the authors in ascending order of their numbers.
    if (authors_.size() > 1) {
        size_t lo = 0, hi = authors_.size() - 1;
        while (lo + 1 < hi) {
            const size_t mid = (lo + hi) / 2;
            (index >= authors_[mid]->Index ? lo : hi) = mid;
        }
        const TAuthorInfo* author = index >= authors_[hi]->Index ? authors_[hi].get() : authors_[lo].get();
        if (TAuthorName* found = searchAuthor(author)) return found;
    }
    for (const auto& author : authors_)
        if (TAuthorName* found = searchAuthor(author.get())) return found;
    return nullptr;
}

TEmptyAuthorInfo* TAuthorList::Placeholder() {
    // Never saved, so making it is no change of the library (a "save?" on closing would be).
    if (!placeholder_) placeholder_ = std::make_unique<TEmptyAuthorInfo>(this);
    return placeholder_.get();
}

void TAuthorList::RemoveAuthor(TAuthorInfo* author) {
    for (auto it = authors_.begin(); it != authors_.end(); ++it) {
        if (it->get() != author) continue;
        std::unique_ptr<TAuthorInfo> owned = std::move(*it);
        authors_.erase(it);
        indexValid_ = false;
        Modified = true;
        return;
    }
}

void TAuthorList::DeleteAuthors(const std::vector<TAuthorInfo*>& authors) {
    for (TAuthorInfo* author : authors)
        if (author->LinkCount() > 0) RaiseError(rsErrCannotDeleteAuthor);
    for (TAuthorInfo* author : authors) {
        PostNotification(author, TAuthorInfo::kDeleted);
        RemoveAuthor(author);
    }
}

void TAuthorList::Number(int32_t& counter) {
    for (const auto& author : authors_) {
        author->Index = counter++;
        for (size_t i = 0; i < author->Count(); ++i)
            author->Name(i)->Index = counter++;
    }
}

int TAuthorList::SpellingCount() const {
    int n = 0;
    for (const auto& author : authors_)
        n += static_cast<int>(author->Count());
    return n;
}

void TAuthorList::Clear() {
    DropReadingIndex();
    while (!authors_.empty())
        authors_.pop_back();
    placeholder_.reset();
    byLast_.clear();
    byNick_.clear();
    indexValid_ = false;
    LowestIndex = HighestIndex = -1;
    Modified = true;
}

void TAuthorList::SaveToStream(TSVDStream& stream) const {
    stream.WriteInt(static_cast<int32_t>(authors_.size()));
    for (const auto& author : authors_)
        author->SaveToStream(stream);
}

void TAuthorList::LoadFromStream(TSVDStream& stream) {
    const int32_t count = stream.ReadCount(4);  // flags (2), index and spelling count (1 each)
    for (int32_t i = 0; i < count; ++i)
        NewAuthor(false)->LoadFromStream(stream);
    indexValid_ = false;
}

void TAuthorList::LoadOldFromStream(TSVDStream& stream) {
    const int32_t count = stream.ReadOldCount(6);  // index, spelling count and four counts
    for (int32_t i = 0; i < count; ++i)
        NewAuthor(false)->LoadOldFromStream(stream);
    indexValid_ = false;
}

void TAuthorList::PostNotification(TAuthorInfo* author, int kind) {
    Modified = true;
    author->Modified = Now();
    if (catalogue_) catalogue_->Notify(TObjectType::Author, author, kind);
}

void TAuthorList::PostNotification(TAuthorName* spelling, int kind) {
    Modified = true;
    spelling->Modified = Now();
    if (catalogue_) catalogue_->Notify(TObjectType::Author, spelling, kind);
}
