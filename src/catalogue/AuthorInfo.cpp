#include "catalogue/AuthorInfo.h"

#include <algorithm>

#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"

namespace {

// Spelling record flags.
// Bits 0 to 3 mark the name parts present (first, middle, last, nickname).
constexpr uint8_t kNameModified = 0x10;
// Author record flags.
constexpr uint16_t kEmails = 0x001, kHomePages = 0x002, kNote = 0x004, kPictures = 0x008, kDocuments = 0x010,
                   kModified = 0x020, kFirstSynonyms = 0x040, kExtraNames = 0x400;

// "Иван" and "И." agree as initials: both keys non-empty, one of them a single character,
// and the same first character.
bool InitialAgrees(const std::string& a, const std::string& b) {
    return !a.empty() && !b.empty() && (a.size() == 1 || b.size() == 1) && a[0] == b[0];
}

// Key used when cleaning synonyms: punctuation trimmed and lower case, no alphabet fix.
std::string SynonymKey(const std::string& text) {
    return AnsiLowerCase(TrimPunctuation(text));
}

const std::string& PartOf(const TAuthorName& s, TAuthorInfo::TNamePart part) {
    switch (part) {
        case TAuthorInfo::kFirst:
            return s.FirstName();
        case TAuthorInfo::kMiddle:
            return s.MiddleName();
        case TAuthorInfo::kLast:
            return s.LastName();
        default:
            return s.NickName();
    }
}

const std::string& KeyOf(const TNameKeys& k, TAuthorInfo::TNamePart part) {
    switch (part) {
        case TAuthorInfo::kFirst:
            return k.First;
        case TAuthorInfo::kMiddle:
            return k.Middle;
        case TAuthorInfo::kLast:
            return k.Last;
        default:
            return k.Nick;
    }
}

std::string FixedPart(const std::string& text) {
    return RepairMixedScript(TrimBlanks(text));
}

void WriteTexts(TSVDStream& stream, const std::vector<std::string>& texts) {
    stream.WriteInt(static_cast<int32_t>(texts.size()));
    for (const std::string& text : texts)
        stream.WriteStr(text);
}

std::vector<std::string> ReadTexts(TSVDStream& stream) {
    std::vector<std::string> texts(static_cast<size_t>(stream.ReadTextCount()));
    for (std::string& text : texts)
        text = stream.ReadStr();
    return texts;
}

// Drops blank entries and, for each entry, every earlier one equal to it (trimmed, any case).
void CleanAddressList(std::vector<std::string>& list) {
    for (size_t i = list.size(); i-- > 0;) {
        const std::string key = AnsiLowerCase(TrimBlanks(list[i]));
        if (key.empty()) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        for (size_t j = i; j-- > 0;) {
            if (AnsiLowerCase(TrimBlanks(list[j])) != key) continue;
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
            --i;  // the entry itself moved down one place
        }
    }
}

void AddUniqueAddress(std::vector<std::string>& list, const std::string& text) {
    if (TrimBlanks(text).empty()) return;
    for (const std::string& entry : list)
        if (AnsiSameText(entry, text)) return;
    list.push_back(text);
}

void AddToBucket(std::vector<TAuthorInfo*>& bucket, TAuthorInfo* author) {
    if (bucket.empty() || bucket.back() != author) bucket.push_back(author);
}

}  // namespace

// ---- TNameKeys

TNameKeys TNameKeys::Of(const std::string& first, const std::string& middle, const std::string& last,
                        const std::string& nick) {
    return {SearchKeyTrimmed(first), SearchKeyTrimmed(middle), SearchKeyTrimmed(last), SearchKeyTrimmed(nick)};
}

// ---- TAuthorName

TAuthorName::~TAuthorName() {
    Clear();
}

void TAuthorName::SetParts(const std::string& first, const std::string& middle, const std::string& last,
                           const std::string& nick, bool updateIndex) {
    first_ = first;
    middle_ = middle;
    last_ = last;
    nick_ = nick;
    keys_ = TNameKeys::Of(first, middle, last, nick);
    if (updateIndex && Author && Author->AuthorList) Author->AuthorList->InvalidateIndex();
}

void TAuthorName::SetMiddleName(const std::string& middle) {
    middle_ = middle;
    keys_.Middle = SearchKeyTrimmed(middle);
}

void TAuthorName::LinkBook(TBookInfo* book, uint8_t role) {
    if (!book) return;
    Links.Append(book, role);
    if (Author) ++Author->LinkTotal;
}

bool TAuthorName::UnlinkBook(TBookInfo* book, uint8_t role) {
    if (!Links.RemoveLast(book, role)) return false;
    if (Author) --Author->LinkTotal;
    return true;
}

std::string TAuthorName::DisplayName() const {
    std::string name;
    for (const std::string* part : {&first_, &middle_, &last_}) {
        const std::string trimmed = TrimBlanks(*part);
        if (trimmed.empty()) continue;
        if (!name.empty()) name += ' ';
        name += trimmed;
    }
    const std::string nick = TrimBlanks(nick_);
    if (nick.empty()) return name;
    return name.empty() ? nick : name + " (" + nick + ")";
}

bool TAuthorName::NameMatches(const TNameKeys& q, bool exact) const {
    const TNameKeys& s = keys_;
    if (q.NoFullName()) return !q.Nick.empty() && q.Nick == s.Nick;
    if (q.First == s.First && q.Middle == s.Middle && q.Last == s.Last && q.Nick == s.Nick) return true;
    if (exact || q.Last != s.Last) return false;
    bool firstAgrees = q.First.empty() || q.First == s.First;
    bool middleAgrees = q.Middle.empty() || s.Middle.empty() || q.Middle == s.Middle;
    if (firstAgrees && middleAgrees) return true;
    firstAgrees = firstAgrees || InitialAgrees(q.First, s.First);
    middleAgrees = middleAgrees || InitialAgrees(q.Middle, s.Middle);
    return firstAgrees && middleAgrees;
}

void TAuthorName::MoveToAuthor(TAuthorName* spelling, TAuthorInfo* author) {
    if (!spelling || !author || spelling->Author == author) return;
    TAuthorInfo* previous = spelling->Author;
    const auto links = static_cast<int32_t>(spelling->Links.Count());
    std::unique_ptr<TAuthorName> owned = previous->ExtractName(spelling);
    previous->LinkTotal -= links;
    author->LinkTotal += links;
    spelling->Author = author;
    author->names_.push_back(std::move(owned));
    if (TAuthorList* list = author->AuthorList) {
        list->InvalidateIndex();
        list->PostNotification(spelling, TAuthorInfo::kNameMoved);
    }
}

void TAuthorName::MergeInto(TAuthorName* source, TAuthorName* target) {
    if (!target || target == source) return;
    int moved = 0;
    for (const TBookLink& link : source->Links) {
        std::vector<TAuthorName*>* list = link.Book ? link.Book->AuthorList(link.Role) : nullptr;
        if (!list) RaiseFixedError("Error!!!");
        auto it = std::find(list->begin(), list->end(), source);
        if (it == list->end()) RaiseFixedError("Error!!!");
        *it = target;
        target->Links.Append(link.Book, link.Role);
        ++moved;
    }
    if (source->Author != target->Author) {
        source->Author->LinkTotal -= moved;
        target->Author->LinkTotal += moved;
    }
    source->Links.Clear();
    if (moved > 0) {
        if (TAuthorList* list = source->Author->AuthorList) {
            list->PostNotification(source, TAuthorInfo::kNameChanged);
            list->PostNotification(target, TAuthorInfo::kNameChanged);
        }
    }
}

void TAuthorName::Clear() {
    first_.clear();
    middle_.clear();
    last_.clear();
    nick_.clear();
    keys_ = {};
    Modified = 0;
    if (Author) Author->LinkTotal -= static_cast<int32_t>(Links.Count());
    Index = -1;
    Links.Clear();
}

void TAuthorName::SaveToStream(TSVDStream& stream) const {
    const std::string parts[] = {TrimBlanks(first_), TrimBlanks(middle_), TrimBlanks(last_), TrimBlanks(nick_)};
    uint8_t flags = 0;
    for (int i = 0; i < 4; ++i)
        if (!parts[i].empty()) flags |= static_cast<uint8_t>(1 << i);
    if (Modified != 0) flags |= kNameModified;
    stream.WriteByte(flags);
    stream.WriteInt(Index);
    for (int i = 0; i < 4; ++i)
        if (flags & (1 << i)) stream.WriteStr(parts[i]);
    if (flags & kNameModified) stream.WriteDate(Modified);
}

void TAuthorName::LoadFromStream(TSVDStream& stream) {
    const uint8_t flags = stream.ReadByte();
    Index = stream.ReadInt();
    std::string parts[4];
    for (int i = 0; i < 4; ++i)
        if (flags & (1 << i)) parts[i] = stream.ReadStr();
    first_ = parts[0], middle_ = parts[1], last_ = parts[2], nick_ = parts[3];
    keys_ = TNameKeys::Of(first_, middle_, last_, nick_);
    Modified = flags & kNameModified ? stream.ReadDate() : 0;
}

// ---- TAuthorInfo

TAuthorInfo::~TAuthorInfo() {
    Clear();
}

int TAuthorInfo::IndexOf(const TAuthorName* spelling) const {
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i].get() == spelling) return static_cast<int>(i);
    return -1;
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
    for (TAuthorInfo* author : NickCandidates(key)) {
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
    if (result.empty())
        if (TAuthorName* found = FindByNick(nick)) result.push_back(found);  // through a synonym
}

TAuthorName* TAuthorList::FindOrAddByNick(const std::string& nick) {
    if (TAuthorName* found = FindByNick(nick)) return found;
    return NewAuthor(true)->AddNick(nick);
}

void TAuthorList::IndexForReading() {
    readingIndex_.clear();
    readingIndex_.reserve(static_cast<size_t>(SpellingCount()));
    for (const auto& author : authors_)
        for (size_t i = 0; i < author->Count(); ++i)
            readingIndex_.emplace(author->Name(i)->Index, author->Name(i));  // the first of a number stays
}

void TAuthorList::DropReadingIndex() {
    readingIndex_ = {};
}

TAuthorName* TAuthorList::FindByIndex(int32_t index) const {
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
    if (!placeholder_) {
        placeholder_ = std::make_unique<TEmptyAuthorInfo>(this);
        Modified = true;
    }
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
    readingIndex_ = {};
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
