#include "catalogue/BookInfo.h"

#include <algorithm>

#include "catalogue/AuthorInfo.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookSequence.h"
#include "catalogue/SVD.h"

namespace {

// A catalogue that frees everything at once drops the links on the other side wholesale;
// books then need not unlink one by one (which would be quadratic in the links of a genre).
bool LinksGoAnyway(const TBookInfo* book) {
    const TSVD* catalogue = book->Container();
    return catalogue && catalogue->IsClearing();
}

bool RefersTo(const TSequenceEntries& entries, const TBookSequence* series) {
    return std::any_of(entries.begin(), entries.end(), [&](const TSequenceEntry& e) { return e.Sequence == series; });
}

void UnlinkSequences(TBookInfo* book, TSequenceEntries& entries, uint8_t role, bool unlink) {
    if (unlink)
        for (const TSequenceEntry& entry : entries)
            if (entry.Sequence) entry.Sequence->UnlinkBook(book, role, true);
    entries.clear();
}

void UnlinkAuthors(TBookInfo* book, std::vector<TAuthorName*>& list, uint8_t role, bool unlink) {
    if (unlink)
        for (TAuthorName* spelling : list)
            spelling->UnlinkBook(book, role);
    list.clear();
}

}  // namespace

// ---- TTitleInfo

void TTitleInfo::AddGenre(TBookGenre* genre, bool quiet) {
    if (!genre || std::find(Genres.begin(), Genres.end(), genre) != Genres.end()) return;
    Genres.push_back(genre);
    genre->AddLink(Book, GenreRole(), quiet);
    if (!quiet) Book->NotifyChanged();
}

void TTitleInfo::AddAuthor(TAuthorName* spelling) {
    if (!spelling || std::find(Authors.begin(), Authors.end(), spelling) != Authors.end()) return;
    Authors.push_back(spelling);
    spelling->LinkBook(Book, AuthorRole());
}

void TTitleInfo::AddTranslator(TAuthorName* spelling) {
    if (!spelling || std::find(Translators.begin(), Translators.end(), spelling) != Translators.end()) return;
    Translators.push_back(spelling);
    spelling->LinkBook(Book, TranslatorRole());
}

void TTitleInfo::LinkSequence(TBookSequence* series, bool quiet) {
    // One link per series and role, whatever the number of entries that point to it.
    if (!RefersTo(Sequences, series)) series->AddLink(Book, SequenceRole(), quiet);
}

void TTitleInfo::AddSequence(TBookSequence* series, int32_t number, bool quiet) {
    if (!series) return;
    const TSequenceEntry entry{series, number};
    if (std::find(Sequences.begin(), Sequences.end(), entry) != Sequences.end()) return;
    LinkSequence(series, quiet);
    Sequences.push_back(entry);
    if (!quiet) Book->NotifyChanged();
}

bool TTitleInfo::ReplaceGenre(TBookGenre* source, TBookGenre* target) {
    auto it = std::find(Genres.begin(), Genres.end(), source);
    if (it == Genres.end()) return false;
    Genres.erase(it);
    Genres.push_back(target);
    return true;
}

void TTitleInfo::Clear() {
    const bool unlink = !LinksGoAnyway(Book);
    if (unlink)
        for (TBookGenre* genre : Genres)
            genre->UnlinkBook(Book, GenreRole(), true);
    Genres.clear();
    UnlinkAuthors(Book, Authors, AuthorRole(), unlink);
    UnlinkAuthors(Book, Translators, TranslatorRole(), unlink);
    UnlinkSequences(Book, Sequences, SequenceRole(), unlink);
    Titles.clear();
    Annotation.clear();
    Keywords.clear();
    DateText.clear();
    Cover.clear();
    Lang.clear();
    SrcLang.clear();
}

// ---- TDocumentInfo

void TDocumentInfo::AddAuthor(TAuthorName* spelling) {
    if (!spelling || std::find(Authors.begin(), Authors.end(), spelling) != Authors.end()) return;
    Authors.push_back(spelling);
    spelling->LinkBook(Book, kRoleDocumentAuthor);
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

// ---- TPublishInfo

void TPublishInfo::AddSequence(TBookSequence* series, int32_t number, bool quiet) {
    if (!series) return;
    const TSequenceEntry entry{series, number};
    if (std::find(Sequences.begin(), Sequences.end(), entry) != Sequences.end()) return;
    if (!RefersTo(Sequences, series)) series->AddLink(Book, kRoleSrcAuthor, quiet);
    Sequences.push_back(entry);
    if (!quiet) Book->NotifyChanged();
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

// ---- TBookInfo

TBookInfo::TBookInfo(TSVD* catalogue) : catalogue_(catalogue) {}

TBookInfo::~TBookInfo() {
    TBookInfo::Clear();
}

TSequenceEntries* TBookInfo::SequenceEntries(uint8_t role) {
    switch (role) {
        case 1:
            return TitleInfo ? &TitleInfo->Sequences : nullptr;
        case 2:
            return SrcTitleInfo ? &SrcTitleInfo->Sequences : nullptr;
        case 3:
            return PublishInfo ? &PublishInfo->Sequences : nullptr;
        default:
            return nullptr;
    }
}

std::vector<TAuthorName*>* TBookInfo::AuthorList(uint8_t role) {
    switch (role) {
        case kRoleTitle:
            return TitleInfo ? &TitleInfo->Authors : nullptr;
        case kRoleTitleTranslator:
            return TitleInfo ? &TitleInfo->Translators : nullptr;
        case kRoleSrcAuthor:
            return SrcTitleInfo ? &SrcTitleInfo->Authors : nullptr;
        case kRoleSrcTranslator:
            return SrcTitleInfo ? &SrcTitleInfo->Translators : nullptr;
        case kRoleDocumentAuthor:
            return DocumentInfo ? &DocumentInfo->Authors : nullptr;
        default:
            return nullptr;
    }
}

TTitleInfo& TBookInfo::EnsureTitleInfo() {
    if (!TitleInfo) TitleInfo = std::make_unique<TTitleInfo>(this, false);
    return *TitleInfo;
}

TTitleInfo& TBookInfo::EnsureSrcTitleInfo() {
    if (!SrcTitleInfo) SrcTitleInfo = std::make_unique<TTitleInfo>(this, true);
    return *SrcTitleInfo;
}

TDocumentInfo& TBookInfo::EnsureDocumentInfo() {
    if (!DocumentInfo) DocumentInfo = std::make_unique<TDocumentInfo>(this);
    return *DocumentInfo;
}

TPublishInfo& TBookInfo::EnsurePublishInfo() {
    if (!PublishInfo) PublishInfo = std::make_unique<TPublishInfo>(this);
    return *PublishInfo;
}

void TBookInfo::Notify(int kind) {
    if (TSVD* catalogue = Container()) catalogue->Notify(TObjectType::Book, this, kind);
}

void TBookInfo::NotifyChanged() {
    Notify(kChanged);
}
void TBookInfo::NotifyRemoved() {
    Notify(kRemoved);
}
void TBookInfo::NotifyAdded() {
    Notify(kAdded);
}
void TBookInfo::NotifyMoved() {
    Notify(kMoved);
}

void TBookInfo::Clear() {
    TitleInfo.reset();
    SrcTitleInfo.reset();
    DocumentInfo.reset();
    PublishInfo.reset();
    Flags = 0;
    FileType = 0;
    Packed = false;
    Votes.fill(0);
    FileDate = AddedDate = ReadDate = 0;
    FileName.clear();
    EntryName.clear();
    Size = 0;
    Crc = 0;
    Comment.clear();
    Version = 0;
    ByteCounts.fill(0);
    Color = 0;
}
