#include "catalogue/PublishInfo.h"

#include <algorithm>

#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookRecordIO.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"

void TPublishInfo::AddSequence(TBookSequence* series, int32_t number, bool quiet) {
    if (!series) return;
    const TSequenceEntry entry{series, number};
    if (std::find(Sequences.begin(), Sequences.end(), entry) != Sequences.end()) return;
    if (!RefersTo(Sequences, series)) series->AddLink(Book, kRoleSrcAuthor, quiet);
    Sequences.push_back(entry);
    if (!quiet) Book->NotifyChanged();
}

bool TPublishInfo::HasData() const {
    return !Blank(BookName) || !Blank(Publisher) || !Blank(City) || !Blank(Year) || !Blank(Isbn) ||
           !Sequences.empty() || !CustomInfo.empty();
}

void TPublishInfo::Assign(const TPublishInfo& other) {
    Clear();
    BookName = other.BookName;
    Publisher = other.Publisher;
    City = other.City;
    Year = other.Year;
    Isbn = other.Isbn;
    for (const TSequenceEntry& entry : other.Sequences)
        AddSequence(entry.Sequence, entry.Number, false);
    CustomInfo = other.CustomInfo;
}

void TPublishInfo::SaveToStream(TSVDStream& stream) const {
    const std::string_view texts[] = {TrimmedView(BookName), TrimmedView(Publisher), TrimmedView(City),
                                      TrimmedView(Year), TrimmedView(Isbn)};
    uint8_t flags = 0;
    for (int i = 0; i < 5; ++i)
        if (!texts[i].empty()) flags |= static_cast<uint8_t>(1 << i);
    if (!Sequences.empty()) flags |= 0x20;
    if (!CustomInfo.empty()) flags |= 0x40;
    stream.WriteByte(flags);
    for (int i = 0; i < 5; ++i)
        if (flags & (1 << i)) stream.WriteStr(texts[i]);
    if (flags & 0x20) WriteSequences(stream, Sequences);
    if (flags & 0x40) WriteTexts(stream, CustomInfo, true);
}

void TPublishInfo::LoadFromStream(TSVDStream& stream, const TSVD& catalogue) {
    Clear();
    const uint8_t flags = stream.ReadByte();
    TText* texts[] = {&BookName, &Publisher, &City, &Year, &Isbn};
    for (int i = 0; i < 5; ++i)
        if (flags & (1 << i)) *texts[i] = ReadBookText(stream, catalogue, Book);
    if (flags & 0x20)
        ReadSequences(stream, catalogue, Sequences,
                      [this](TBookSequence* series, int32_t number) { AddSequence(series, number, true); });
    if (flags & 0x40) CustomInfo = ReadTexts(stream, catalogue, Book);
}

void TPublishInfo::Clear() {
    UnlinkSequences(Book, Sequences, 3, !LinksGoAnyway(Book));
    BookName.clear();
    Publisher.clear();
    City.clear();
    Year.clear();
    Isbn.clear();
    CustomInfo.clear();
}
