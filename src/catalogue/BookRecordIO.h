#pragma once

// Pieces of the library records of a book and its description parts, shared by their readers
// and writers.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "catalogue/AuthorList.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"

// A catalogue that frees everything at once drops the links on the other side wholesale;
// books then need not unlink one by one (which would be quadratic in the links of a genre).
inline bool LinksGoAnyway(const TBookInfo* book) {
    const TSVD* catalogue = book->Container();
    return catalogue && catalogue->IsClearing();
}

inline bool RefersTo(const TSequenceEntries& entries, const TBookSequence* series) {
    return std::any_of(entries.begin(), entries.end(), [&](const TSequenceEntry& e) { return e.Sequence == series; });
}

inline void UnlinkSequences(TBookInfo* book, TSequenceEntries& entries, uint8_t role, bool unlink) {
    if (unlink)
        for (const TSequenceEntry& entry : entries)
            if (entry.Sequence) entry.Sequence->UnlinkBook(book, role, true);
    entries.clear();
}

inline void UnlinkAuthors(TBookInfo* book, TSpellingList& list, uint8_t role, bool unlink) {
    if (unlink)
        for (TAuthorName* spelling : list)
            spelling->UnlinkBook(book, role);
    list.clear();
}

// Title-info record flags.
inline constexpr uint16_t kTiGenres = 0x001, kTiAuthors = 0x002, kTiTitles = 0x004, kTiTranslators = 0x008,
                          kTiSeries = 0x010, kTiAnnotation = 0x020, kTiKeywords = 0x040, kTiDate = 0x080,
                          kTiCover = 0x100, kTiLang = 0x200, kTiSrcLang = 0x400;

inline bool Blank(std::string_view text) {
    return TrimmedView(text).empty();
}

inline void WriteTexts(TSVDStream& stream, const TTextList& texts, bool trimmed) {
    stream.WriteInt(static_cast<int32_t>(texts.size()));
    for (const TText& text : texts)
        stream.WriteStr(trimmed ? TrimmedView(text) : text.view());
}

// A text of a book's record: kept in the catalogue's copy of the file's texts when the book
// belongs to the catalogue being read, else a copy of its own.
inline TText ReadBookText(TSVDStream& stream, const TSVD& catalogue, const TBookInfo* book) {
    return book->Container() == &catalogue ? catalogue.ReadBookText(stream) : TText(stream.ReadStr());
}

inline TTextList ReadTexts(TSVDStream& stream, const TSVD& catalogue, const TBookInfo* book) {
    TTextList texts;
    const auto count = static_cast<size_t>(stream.ReadTextCount());
    texts.reserve(count);
    for (size_t i = 0; i < count; ++i)
        texts.push_back(ReadBookText(stream, catalogue, book));
    return texts;
}

inline void WriteSpellings(TSVDStream& stream, const TSpellingList& list) {
    stream.WriteInt(static_cast<int32_t>(list.size()));
    for (const TAuthorName* spelling : list)
        stream.WriteInt(spelling->Index);
}

// Reads spelling numbers; every spelling is added through add (which links it).
template <typename Add>
inline void ReadSpellings(TSVDStream& stream, const TSVD& catalogue, Add add) {
    const int32_t count = stream.ReadCount();
    for (int32_t i = 0; i < count; ++i) {
        TAuthorName* spelling = catalogue.Authors.FindByIndex(stream.ReadInt());
        if (!spelling) RaiseError(rsDebugError);
        add(spelling);
    }
}

inline void WriteSequences(TSVDStream& stream, const TSequenceEntries& entries) {
    stream.WriteInt(static_cast<int32_t>(entries.size()));
    for (const TSequenceEntry& entry : entries) {
        stream.WriteInt(entry.Sequence->Index);
        stream.WriteInt(entry.Number);
    }
}

// Reads series entries; unknown numbers and repeated series are dropped, the first entry of a
// series stays.
template <typename Add>
inline void ReadSequences(TSVDStream& stream, const TSVD& catalogue, const TSequenceEntries& existing, Add add) {
    const int32_t count = stream.ReadCount(2);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t index = stream.ReadInt();
        const int32_t number = stream.ReadInt();
        TBookSequence* series = catalogue.SequenceByNumber(index);
        if (series && !RefersTo(existing, series)) add(series, number);
    }
}

// Width and height of a Windows BMP file image; 0 when it is none.
inline int64_t BitmapArea(std::span<const uint8_t> bmp) {
    if (bmp.size() < 26 || bmp[0] != 'B' || bmp[1] != 'M') return 0;
    auto i32 = [&](size_t at) {
        return static_cast<int32_t>(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 |
                                    static_cast<uint32_t>(bmp[at + 3]) << 24);
    };
    const int32_t headerSize = i32(14);
    if (headerSize == 12) {  // BITMAPCOREHEADER: 16-bit sizes
        const auto w = static_cast<int16_t>(bmp[18] | bmp[19] << 8), h = static_cast<int16_t>(bmp[20] | bmp[21] << 8);
        return static_cast<int64_t>(w) * h;
    }
    return static_cast<int64_t>(i32(18)) * i32(22);
}

// A BMP file image in the record area: its file header gives its length.
inline std::vector<uint8_t> ReadBitmap(TSVDStream& stream) {
    std::vector<uint8_t> bmp(14);
    stream.Read(bmp.data(), 14);
    const uint32_t size = bmp[2] | bmp[3] << 8 | bmp[4] << 16 | static_cast<uint32_t>(bmp[5]) << 24;
    if (bmp[0] != 'B' || bmp[1] != 'M' || size < 14 || size - 14 > stream.RecordBytesLeft())
        RaiseError(rsErrUnknownFormat);
    bmp.resize(size);
    stream.Read(bmp.data() + 14, size - 14);
    return bmp;
}
