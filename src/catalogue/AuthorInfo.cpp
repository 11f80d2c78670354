#include "catalogue/AuthorInfo.h"

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

// ---- TAuthorInfo

TAuthorInfo::~TAuthorInfo() {
    Clear();
}

int TAuthorInfo::IndexOf(const TAuthorName* spelling) const {
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i].get() == spelling) return static_cast<int>(i);
    return -1;
}

bool TAuthorInfo::ReorderNames(const std::vector<TAuthorName*>& order) {
    if (order.size() != names_.size()) return false;
    // Checked whole before anything moves: each of ours exactly once.
    std::vector<size_t> from;
    from.reserve(order.size());
    std::vector<bool> taken(names_.size(), false);
    for (const TAuthorName* spelling : order) {
        const int at = IndexOf(spelling);
        if (at < 0 || taken[static_cast<size_t>(at)]) return false;
        taken[static_cast<size_t>(at)] = true;
        from.push_back(static_cast<size_t>(at));
    }
    std::vector<std::unique_ptr<TAuthorName>> sorted;
    sorted.reserve(order.size());
    for (size_t at : from)
        sorted.push_back(std::move(names_[at]));
    names_ = std::move(sorted);
    return true;
}

void TAuthorInfo::SetSynonyms(TNamePart part, std::vector<std::string> synonyms) {
    synonyms_[part] = std::move(synonyms);
    if (AuthorList) AuthorList->InvalidateIndex();
}

void TAuthorInfo::AddSynonym(TNamePart part, const std::string& synonym) {
    synonyms_[part].push_back(synonym);
    if (AuthorList) AuthorList->IndexSynonym(this, part, synonym);
}

int TAuthorInfo::LinkCount() {
    int sum = 0;
    for (const auto& name : names_)
        sum += static_cast<int>(name->Links.Count());
    if (sum != LinkTotal) {
        LinkTotal = sum;
        RaiseFixedError("Error!!!");
    }
    return sum;
}

TDateTime TAuthorInfo::LatestModified() {
    for (const auto& name : names_)
        Modified = std::max(Modified, name->Modified);
    return Modified;
}

std::string TAuthorInfo::DisplayName() const {
    return names_.empty() ? std::string() : names_[0]->DisplayName();
}

TAuthorName* TAuthorInfo::FindNameByParts(const TNameKeys& q, bool exact) const {
    if (names_.empty()) return nullptr;
    for (const auto& name : names_)
        if (name->NameMatches(q, exact)) return name.get();
    if (exact || q.Last.empty()) return nullptr;

    // The author as a whole: every given part appears in some spelling, then also among the
    // synonyms of that part.
    auto partFound = [&](TNamePart part, bool withSynonyms) {
        const std::string& key = KeyOf(q, part);
        if (key.empty()) return true;
        for (const auto& name : names_)
            if (KeyOf(name->Keys(), part) == key) return true;
        if (withSynonyms)
            for (const std::string& synonym : synonyms_[part])
                if (SearchKeyTrimmed(synonym) == key) return true;
        return false;
    };
    for (bool withSynonyms : {false, true})
        if (partFound(kFirst, withSynonyms) && partFound(kMiddle, withSynonyms) && partFound(kLast, withSynonyms))
            return names_[0].get();
    return nullptr;
}

TAuthorName* TAuthorInfo::FindNameByNick(const std::string& nickKey, bool exact) const {
    for (const auto& name : names_)
        if (name->Keys().Nick == nickKey) return name.get();
    if (exact || names_.empty()) return nullptr;
    for (const std::string& synonym : synonyms_[kNick])
        if (SearchKeyTrimmed(synonym) == nickKey) return names_[0].get();
    return nullptr;
}

TAuthorName* TAuthorInfo::AppendName() {
    names_.push_back(std::make_unique<TAuthorName>(this));
    return names_.back().get();
}

TAuthorName* TAuthorInfo::AddName(const std::string& first, const std::string& middle, const std::string& nick,
                                  const std::string& last) {
    const TNameKeys q = TNameKeys::Of(first, middle, last, nick);
    TAuthorName* found = FindNameByParts(q, true);
    if (!found) {
        found = FindNameByParts(q, false);
        if (found && !found->MiddleName().empty() && !middle.empty() && found->MiddleName() != middle) found = nullptr;
    }
    if (!found) {
        TAuthorName* spelling = AppendName();
        spelling->SetParts(FixedPart(first), FixedPart(middle), FixedPart(last), FixedPart(nick), false);
        if (AuthorList) {
            spelling->Index = AuthorList->NextIndex();
            AuthorList->IndexName(this, spelling);
        }
        CleanSynonyms();
        return spelling;
    }
    if (found->MiddleName().empty() && !middle.empty()) found->SetMiddleName(middle);
    return found;
}

TAuthorName* TAuthorInfo::AddNick(const std::string& nick) {
    if (TAuthorName* found = FindNameByNick(SearchKeyTrimmed(nick), true)) return found;
    TAuthorName* spelling = AppendName();
    spelling->SetParts({}, {}, {}, FixedPart(nick), false);
    if (AuthorList) {
        spelling->Index = AuthorList->NextIndex();
        AuthorList->IndexName(this, spelling);
    }
    CleanSynonyms();
    return spelling;
}

std::unique_ptr<TAuthorName> TAuthorInfo::ExtractName(TAuthorName* spelling) {
    for (auto it = names_.begin(); it != names_.end(); ++it) {
        if (it->get() != spelling) continue;
        std::unique_ptr<TAuthorName> owned = std::move(*it);
        names_.erase(it);
        if (AuthorList) AuthorList->InvalidateIndex();
        return owned;
    }
    return nullptr;
}

void TAuthorInfo::DeleteName(TAuthorName* spelling) {
    if (IndexOf(spelling) < 0) return;
    if (!spelling->Links.Empty()) RaiseError(rsErrCannotDeleteName);
    if (AuthorList) AuthorList->PostNotification(spelling, kNameDeleted);
    ExtractName(spelling);
}

void TAuthorInfo::AddEmail(const std::string& email) {
    AddUniqueAddress(Emails, email);
}

void TAuthorInfo::AddHomePage(const std::string& page) {
    AddUniqueAddress(HomePages, page);
}

void TAuthorInfo::CleanSynonyms() {
    bool changed = false;
    for (TNamePart part : {kFirst, kMiddle, kLast, kNick}) {
        std::vector<std::string>& list = synonyms_[part];
        for (size_t i = list.size(); i-- > 0;) {
            const std::string key = SynonymKey(list[i]);
            bool drop = key.empty();
            for (size_t k = 0; k < i && !drop; ++k)
                drop = SynonymKey(list[k]) == key;
            for (size_t n = 0; n < names_.size() && !drop; ++n)
                drop = SynonymKey(PartOf(*names_[n], part)) == key;
            if (drop) list.erase(list.begin() + static_cast<std::ptrdiff_t>(i)), changed = true;
        }
    }
    if (changed && AuthorList) AuthorList->InvalidateIndex();
}

void TAuthorInfo::CollectBooks(TBookCollection& books) const {
    for (const auto& name : names_)
        for (const TBookLink& link : name->Links)
            books.Add(link.Book);
}

void TAuthorInfo::Clear() {
    while (!names_.empty())
        names_.pop_back();
    Emails.clear();
    HomePages.clear();
    Note.clear();
    for (auto& list : synonyms_)
        list.clear();
    ExtraNames.clear();
    Modified = 0;
    Index = -1;
    LinkTotal = 0;
}

void TAuthorInfo::SaveToStream(TSVDStream& stream) const {
    const std::string note = TrimBlanks(Note);
    uint16_t flags = 0;
    if (!Emails.empty()) flags |= kEmails;
    if (!HomePages.empty()) flags |= kHomePages;
    if (!note.empty()) flags |= kNote;
    if (Modified != 0) flags |= kModified;
    for (int part = 0; part < 4; ++part)
        if (!synonyms_[part].empty()) flags |= static_cast<uint16_t>(kFirstSynonyms << part);
    if (!ExtraNames.empty()) flags |= kExtraNames;
    stream.WriteWord(flags);
    stream.WriteInt(Index);
    if (flags & kEmails) WriteTexts(stream, Emails);
    if (flags & kHomePages) WriteTexts(stream, HomePages);
    if (flags & kNote) stream.WriteStr(note);
    for (int part = 0; part < 4; ++part)
        if (flags & (kFirstSynonyms << part)) WriteTexts(stream, synonyms_[part]);
    if (flags & kExtraNames) WriteTexts(stream, ExtraNames);
    stream.WriteInt(static_cast<int32_t>(names_.size()));
    for (const auto& name : names_)
        name->SaveToStream(stream);
    if (flags & kModified) stream.WriteDate(Modified);
}

void TAuthorInfo::LoadFromStream(TSVDStream& stream) {
    Clear();
    const uint16_t flags = stream.ReadWord();
    if (flags & kPictures) RaiseFixedError("Pics is not implemented yet!");
    if (flags & kDocuments) RaiseFixedError("Doc is not implemented yet!");
    Index = stream.ReadInt();
    if (flags & kEmails) Emails = ReadTexts(stream);
    if (flags & kHomePages) HomePages = ReadTexts(stream);
    if (flags & kNote) Note = stream.ReadStr();
    for (int part = 0; part < 4; ++part)
        if (flags & (kFirstSynonyms << part)) synonyms_[part] = ReadTexts(stream);
    if (flags & kExtraNames) ExtraNames = ReadTexts(stream);
    const int32_t count = stream.ReadCount(2);  // a spelling record takes at least two bytes
    for (int32_t i = 0; i < count; ++i)
        AppendName()->LoadFromStream(stream);
    if (flags & kModified) Modified = stream.ReadDate();
    CleanAddressList(Emails);
    CleanAddressList(HomePages);
}

void TAuthorInfo::LoadOldFromStream(TSVDStream& stream) {
    Clear();
    const TDateTime loaded = Now();
    Index = stream.ReadOldInt();
    if (AuthorList) AuthorList->NoteIndex(Index);
    const int32_t count = stream.ReadOldCount(1);
    for (int32_t i = 0; i < count; ++i) {
        TAuthorName* name = AppendName();
        name->Index = stream.ReadOldInt();
        if (AuthorList) AuthorList->NoteIndex(name->Index);
        std::string first = stream.ReadStr();
        std::string middle = stream.ReadStr();
        std::string last = stream.ReadStr();
        name->SetParts(first, middle, last, {});
        name->Modified = loaded;
    }
    int32_t counts[4];
    for (int32_t& n : counts)
        n = stream.ReadOldTextCount();
    for (int part = 0; part < 3; ++part)
        for (int32_t i = 0; i < counts[part]; ++i)
            synonyms_[part].push_back(stream.ReadStr());
    for (int32_t i = 0; i < counts[3]; ++i)
        for (int k = 0; k < 3; ++k)
            ExtraNames.push_back(stream.ReadStr());
    Modified = loaded;
}

// ---- TEmptyAuthorInfo

TEmptyAuthorInfo::TEmptyAuthorInfo(TAuthorList* list) : TAuthorInfo(list) {
    static const std::string kNoAuthor = Utf8ToAnsi("-- Нет автора --");
    names_.push_back(std::make_unique<TAuthorName>(this));
    names_.back()->SetParts(kNoAuthor, kNoAuthor, kNoAuthor, kNoAuthor);
}

int TEmptyAuthorInfo::LinkCount() {
    TBookCollection books;
    CollectBooks(books);
    return static_cast<int>(books.Count());
}

void TEmptyAuthorInfo::CollectBooks(TBookCollection& books) const {
    if (AuthorList && AuthorList->Catalogue()) AuthorList->Catalogue()->CollectBooksWithoutAuthor(books);
}
