#pragma once

// Record flags and name helpers shared by the spellings, the authors and the author list.

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/AuthorList.h"
#include "catalogue/SVDStream.h"
#include "common/TextUtils.h"

// Spelling record flags.
// Bits 0 to 3 mark the name parts present (first, middle, last, nickname).
inline constexpr uint8_t kNameModified = 0x10;
// Author record flags.
inline constexpr uint16_t kEmails = 0x001, kHomePages = 0x002, kNote = 0x004, kPictures = 0x008, kDocuments = 0x010,
                          kModified = 0x020, kFirstSynonyms = 0x040, kExtraNames = 0x400;

// "Иван" and "И." agree as initials: both keys non-empty, one of them a single character,
// and the same first character.
inline bool InitialAgrees(const std::string& a, const std::string& b) {
    return !a.empty() && !b.empty() && (a.size() == 1 || b.size() == 1) && a[0] == b[0];
}

// Key used when cleaning synonyms: punctuation trimmed and lower case, no alphabet fix.
inline std::string SynonymKey(const std::string& text) {
    return AnsiLowerCase(TrimPunctuation(text));
}

inline const std::string& PartOf(const TAuthorName& s, TAuthorInfo::TNamePart part) {
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

inline const std::string& KeyOf(const TNameKeys& k, TAuthorInfo::TNamePart part) {
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

inline std::string FixedPart(const std::string& text) {
    return RepairMixedScript(TrimBlanks(text));
}

inline void WriteTexts(TSVDStream& stream, const std::vector<std::string>& texts) {
    stream.WriteInt(static_cast<int32_t>(texts.size()));
    for (const std::string& text : texts)
        stream.WriteStr(text);
}

inline std::vector<std::string> ReadTexts(TSVDStream& stream) {
    std::vector<std::string> texts(static_cast<size_t>(stream.ReadTextCount()));
    for (std::string& text : texts)
        text = stream.ReadStr();
    return texts;
}

// Drops blank entries and, for each entry, every earlier one equal to it (trimmed, any case).
inline void CleanAddressList(std::vector<std::string>& list) {
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

inline void AddUniqueAddress(std::vector<std::string>& list, const std::string& text) {
    if (TrimBlanks(text).empty()) return;
    for (const std::string& entry : list)
        if (AnsiSameText(entry, text)) return;
    list.push_back(text);
}

inline void AddToBucket(std::vector<TAuthorInfo*>& bucket, TAuthorInfo* author) {
    if (bucket.empty() || bucket.back() != author) bucket.push_back(author);
}
