#pragma once

#include <cstdint>
#include <string>

#include "catalogue/BookLinks.h"
#include "common/Dates.h"

class TAuthorInfo;
class TBookInfo;
class TSVDStream;

// The comparison keys of the four parts of a name (SearchKeyTrimmed of each part).
struct TNameKeys {
    std::string First, Middle, Last, Nick;

    static TNameKeys Of(const std::string& first, const std::string& middle, const std::string& last,
                        const std::string& nick);
    bool NoFullName() const { return First.empty() && Middle.empty() && Last.empty(); }
};

// One spelling of an author's name. Books link to the exact spelling their description used,
// with the role of the list it stands in (see TBookRole).
class TAuthorName final {
public:
    explicit TAuthorName(TAuthorInfo* author) : Author(author) {}
    ~TAuthorName();
    TAuthorName(const TAuthorName&) = delete;
    TAuthorName& operator=(const TAuthorName&) = delete;

    TAuthorInfo* Author;
    TDateTime Modified = 0;
    TBookLinks Links;
    int32_t Index = -1;

    const std::string& FirstName() const { return first_; }
    const std::string& MiddleName() const { return middle_; }
    const std::string& LastName() const { return last_; }
    const std::string& NickName() const { return nick_; }
    const TNameKeys& Keys() const { return keys_; }
    // Changes the name parts (as given). Unless the caller indexes the spelling itself, the
    // author list's name index is marked for rebuilding.
    void SetParts(const std::string& first, const std::string& middle, const std::string& last, const std::string& nick,
                  bool updateIndex = true);
    void SetMiddleName(const std::string& middle);

    // Appends without a duplicate check and raises the author's LinkTotal.
    void LinkBook(TBookInfo* book, uint8_t role);
    // Removes the last link of the book with exactly this role; false when there is none.
    bool UnlinkBook(TBookInfo* book, uint8_t role);
    int CountByRoles(unsigned roleSet) const { return Links.CountByRoles(roleSet); }

    // "First Middle Last (Nick)", or the nickname alone.
    std::string DisplayName() const;
    // "first middle last (nick)" of the trimmed parts that are not empty.
    static std::string DisplayForm(const std::string& first, const std::string& middle, const std::string& last,
                                   const std::string& nickName);
    // The core matching rule between this spelling and a query (keys).
    bool NameMatches(const TNameKeys& query, bool exact) const;

    // Moves the spelling, with its links, to another author.
    static void MoveToAuthor(TAuthorName* spelling, TAuthorInfo* author);
    // Moves every book of source over to target at the same place in the books' lists.
    static void MergeInto(TAuthorName* source, TAuthorName* target);

    void Clear();
    void SaveToStream(TSVDStream& stream) const;
    void LoadFromStream(TSVDStream& stream);

private:
    std::string first_, middle_, last_, nick_;
    TNameKeys keys_;
};
