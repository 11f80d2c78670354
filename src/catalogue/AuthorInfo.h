#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/AuthorName.h"
#include "common/Dates.h"

class TAuthorInfo;
class TAuthorList;
class TSVD;
class TSVDStream;

// One author: the spellings of the name (the first is the display spelling), contact data and
// the synonyms of name parts used when matching names.
class TAuthorInfo {
public:
    // Notification kinds (posted for authors and spellings).
    static constexpr int kDeleted = 1, kChanged = 2, kNameAdded = 3, kNameDeleted = 4, kNameChanged = 5, kNameMoved = 6,
                         kAdded = 7;
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
    // Puts the spellings in the given order; false (nothing changed) unless order holds
    // exactly this author's spellings.
    bool ReorderNames(const std::vector<TAuthorName*>& order);

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
