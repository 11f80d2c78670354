#include "catalogue/AuthorName.h"

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
    return DisplayForm(first_, middle_, last_, nick_);
}

std::string TAuthorName::DisplayForm(const std::string& first, const std::string& middle, const std::string& last,
                                     const std::string& nickName) {
    std::string name;
    for (const std::string* part : {&first, &middle, &last}) {
        const std::string trimmed = TrimBlanks(*part);
        if (trimmed.empty()) continue;
        if (!name.empty()) name += ' ';
        name += trimmed;
    }
    const std::string nick = TrimBlanks(nickName);
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
        TSpellingList* list = link.Book ? link.Book->AuthorList(link.Role) : nullptr;
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
