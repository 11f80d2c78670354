#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/AuthorInfo.h"

class TSVD;
class TSVDStream;

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
    // Spellings by number while a library is read: a table when the numbers are dense, as
    // saving makes them, else a map (a damaged file may hold any numbers).
    std::vector<TAuthorName*> readingTable_;
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
