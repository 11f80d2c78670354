#include "catalogue/DocumentInfo.h"

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

void TDocumentInfo::AddAuthor(TAuthorName* spelling) {
    if (!spelling || std::find(Authors.begin(), Authors.end(), spelling) != Authors.end()) return;
    Authors.push_back(spelling);
    spelling->LinkBook(Book, kRoleDocumentAuthor);
}

bool TDocumentInfo::HasData() const {
    return !Authors.empty() || !Blank(ProgramUsed) || Date != 0 || !SrcUrls.empty() || !Blank(SrcOcr) || !Blank(Id) ||
           !Blank(DocVersion) || !Blank(History);
}

void TDocumentInfo::Assign(const TDocumentInfo& other) {
    Clear();
    for (TAuthorName* spelling : other.Authors)
        AddAuthor(spelling);
    ProgramUsed = other.ProgramUsed;
    Date = other.Date;
    SrcUrls = other.SrcUrls;
    SrcOcr = other.SrcOcr;
    Id = other.Id;
    DocVersion = other.DocVersion;
    History = other.History;
}

void TDocumentInfo::SaveToStream(TSVDStream& stream) const {
    const std::string_view texts[] = {TrimmedView(SrcOcr), TrimmedView(Id), TrimmedView(DocVersion),
                                      TrimmedView(History)};
    const std::string_view program = TrimmedView(ProgramUsed);
    uint8_t flags = 0;
    if (!Authors.empty()) flags |= 0x01;
    if (!program.empty()) flags |= 0x02;
    if (Date != 0) flags |= 0x04;
    if (!SrcUrls.empty()) flags |= 0x08;
    for (int i = 0; i < 4; ++i)
        if (!texts[i].empty()) flags |= static_cast<uint8_t>(0x10 << i);
    stream.WriteByte(flags);
    if (flags & 0x01) WriteSpellings(stream, Authors);
    if (flags & 0x02) stream.WriteStr(program);
    if (flags & 0x04) stream.WriteDate(Date);
    if (flags & 0x08) WriteTexts(stream, SrcUrls, false);
    for (int i = 0; i < 4; ++i)
        if (flags & (0x10 << i)) stream.WriteStr(texts[i]);
}

void TDocumentInfo::LoadFromStream(TSVDStream& stream, const TSVD& catalogue) {
    Clear();
    const uint8_t flags = stream.ReadByte();
    if (flags & 0x01) ReadSpellings(stream, catalogue, [this](TAuthorName* s) { AddAuthor(s); });
    if (flags & 0x02) ProgramUsed = ReadBookText(stream, catalogue, Book);
    if (flags & 0x04) Date = stream.ReadDate();
    if (flags & 0x08) SrcUrls = ReadTexts(stream, catalogue, Book);
    TText* texts[] = {&SrcOcr, &Id, &DocVersion, &History};
    for (int i = 0; i < 4; ++i)
        if (flags & (0x10 << i)) *texts[i] = ReadBookText(stream, catalogue, Book);
}

void TDocumentInfo::Clear() {
    UnlinkAuthors(Book, Authors, kRoleDocumentAuthor, !LinksGoAnyway(Book));
    ProgramUsed.clear();
    Date = 0;
    SrcUrls.clear();
    SrcOcr.clear();
    Id.clear();
    DocVersion.clear();
    History.clear();
}
