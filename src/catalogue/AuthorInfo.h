#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/BookLinks.h"
#include "common/Dates.h"

class TAuthorInfo;
class TAuthorList;
class TSVD;
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

// One author: the spellings of the name (the first is the display spelling), contact data and
// the synonyms of name parts used when matching names.
class TAuthorInfo {
public:
    // Notification kinds (posted for authors and spellings).
    static constexpr int kDeleted = 1, kChanged = 2, kNameAdded = 3, kNameDeleted = 4, kNameChanged = 5, kNameMoved = 6;
    enum TNamePart { kFirst = 0, kMiddle = 1, kLast = 2, kNick = 3 };

    explicit TAuthorInfo(TAuthorList* list) : AuthorList(list) {}
    virtual ~TAuthorInfo();
    TAuthorInfo(const TAuthorInfo&) = delete;
    TAuthorInfo& operator=(const TAuthorInfo&) = delete;

    TAuthorList* AuthorList;
    std::vector<std::string> Emails;
    std::vector<std::string> HomePages;
    std::string Note;
    TDateTime Modified = 0;
    int32_t Index = -1;
    // Name triples (first, middle, last) from old library files, kept and saved unchanged.
    std::vector<std::string> ExtraNames;
    // Sum of the link counts of all spellings.
    int32_t LinkTotal = 0;

    size_t Count() const { return names_.size(); }
    TAuthorName* Name(size_t i) const { return names_[i].get(); }
    int IndexOf(const TAuthorName* spelling) const;

    const std::vector<std::string>& Synonyms(TNamePart part) const { return synonyms_[part]; }
    const std::vector<std::string>& FirstNameSynonyms() const { return synonyms_[kFirst]; }
    const std::vector<std::string>& MiddleNameSynonyms() const { return synonyms_[kMiddle]; }
    const std::vector<std::string>& LastNameSynonyms() const { return synonyms_[kLast]; }
    const std::vector<std::string>& NickNameSynonyms() const { return synonyms_[kNick]; }
    void SetSynonyms(TNamePart part, std::vector<std::string> synonyms);
    void AddSynonym(TNamePart part, const std::string& synonym);

    // Sum of the spellings' links; a mismatch with LinkTotal is corrected and raises "Error!!!".
    virtual int LinkCount();
    TDateTime LatestModified();
    std::string DisplayName() const;

    TAuthorName* FindNameByParts(const TNameKeys& query, bool exact) const;
    TAuthorName* FindNameByNick(const std::string& nickKey, bool exact) const;
    TAuthorName* AddName(const std::string& first, const std::string& middle, const std::string& nick,
                         const std::string& last);
    TAuthorName* AddNick(const std::string& nick);
    // Appends a spelling as given (reading, dialogs); no matching.
    TAuthorName* AppendName();
    // Refused with rsErrCannotDeleteName while the spelling has books.
    void DeleteName(TAuthorName* spelling);
    // Takes a spelling out of this author without freeing it.
    std::unique_ptr<TAuthorName> ExtractName(TAuthorName* spelling);

    void AddEmail(const std::string& email);
    void AddHomePage(const std::string& page);
    void CleanSynonyms();
    virtual void CollectBooks(TBookCollection& books) const;

    void Clear();
    void SaveToStream(TSVDStream& stream) const;
    void LoadFromStream(TSVDStream& stream);
    void LoadOldFromStream(TSVDStream& stream);

    // Position in the author list's order of creation; later authors have higher values.
    uint64_t Order = 0;

protected:
    friend class TAuthorName;  // moving a spelling between authors
    std::vector<std::unique_ptr<TAuthorName>> names_;
    std::vector<std::string> synonyms_[4];
};

// The placeholder author "-- Нет автора --" that collects the books without any author.
class TEmptyAuthorInfo final : public TAuthorInfo {
public:
    explicit TEmptyAuthorInfo(TAuthorList* list);
    // Books in all mount points whose title-info and src-title-info list no author.
    int LinkCount() override;
    void CollectBooks(TBookCollection& books) const override;
};

// All authors of the catalogue, in order, with the name index that keeps lookups fast.
class TAuthorList final {
public:
    explicit TAuthorList(TSVD* catalogue = nullptr);
    ~TAuthorList();
    TAuthorList(const TAuthorList&) = delete;
    TAuthorList& operator=(const TAuthorList&) = delete;

    bool Modified = false;
    int32_t LowestIndex = -1;
    int32_t HighestIndex = -1;

    size_t Count() const { return authors_.size(); }
    TAuthorInfo* Author(size_t i) const { return authors_[i].get(); }
    TSVD* Catalogue() const { return catalogue_; }

    TAuthorInfo* NewAuthor(bool numbered);
    int32_t NextIndex();
    // Notes an index read from an old library file.
    void NoteIndex(int32_t index);

    TAuthorName* FindName(const std::string& first, const std::string& middle, const std::string& nick,
                          const std::string& last);
    void FindCandidates(const std::string& first, const std::string& middle, const std::string& nick,
                        const std::string& last, std::vector<TAuthorName*>& result);
    TAuthorName* FindOrAddName(const std::string& first, const std::string& middle, const std::string& nick,
                               const std::string& last);
    // The spellings with this nickname, one per author, latest author first: those that are
    // only the nickname when there are any, else every spelling that carries it.
    void FindNickCandidates(const std::string& nick, std::vector<TAuthorName*>& result);
    TAuthorName* FindByNick(const std::string& nick);
    TAuthorName* FindOrAddByNick(const std::string& nick);
    TAuthorName* FindByIndex(int32_t index) const;
    // While a library file is read, book records name spellings by number: a table makes each
    // lookup constant. Built after the authors are read, dropped when the load ends.
    void IndexForReading();
    void DropReadingIndex();
    TEmptyAuthorInfo* Placeholder();

    // Refused with rsErrCannotDeleteAuthor while the author has books; all are checked first.
    void DeleteAuthors(const std::vector<TAuthorInfo*>& authors);
    // Frees an author without checks (after the deleted notification).
    void RemoveAuthor(TAuthorInfo* author);

    void Number(int32_t& counter);
    int SpellingCount() const;
    void Clear();

    void SaveToStream(TSVDStream& stream) const;
    void LoadFromStream(TSVDStream& stream);
    void LoadOldFromStream(TSVDStream& stream);

    // Posts an author notification: sets Modified and the object's Modified date.
    void PostNotification(TAuthorInfo* author, int kind);
    void PostNotification(TAuthorName* spelling, int kind);

    // The name index must be rebuilt after name parts, synonyms or membership changed.
    void InvalidateIndex() { indexValid_ = false; }
    void IndexName(TAuthorInfo* author, const TAuthorName* spelling);
    void IndexSynonym(TAuthorInfo* author, TAuthorInfo::TNamePart part, const std::string& synonym);

private:
    // Authors that may match the query, latest first.
    std::vector<TAuthorInfo*> Candidates(const TNameKeys& query);
    std::vector<TAuthorInfo*> NickCandidates(const std::string& nickKey);
    std::unordered_map<int32_t, TAuthorName*> readingIndex_;
    void BuildIndex();

    TSVD* catalogue_;
    std::vector<std::unique_ptr<TAuthorInfo>> authors_;
    std::unique_ptr<TEmptyAuthorInfo> placeholder_;
    uint64_t nextOrder_ = 0;
    bool indexValid_ = false;
    std::unordered_map<std::string, std::vector<TAuthorInfo*>> byLast_;
    std::unordered_map<std::string, std::vector<TAuthorInfo*>> byNick_;
};
