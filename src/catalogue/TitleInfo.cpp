#include "catalogue/TitleInfo.h"

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

void TTitleInfo::AddTitle(const std::string& title) {
    if (title.empty()) return;
    for (const TText& t : Titles)
        if (AnsiSameText(t, title)) return;
    Titles.push_back(title);
    if (Titles.size() > 1) {
        const std::string provisional = Book->FileNameInFolder();
        auto it = std::find(Titles.begin(), Titles.end(), provisional);
        if (it != Titles.end()) Titles.erase(it);
    }
}

bool TTitleInfo::HasData() const {
    return std::any_of(Titles.begin(), Titles.end(), [](const TText& t) { return !Blank(t); }) || !Genres.empty() ||
           !Authors.empty() || !Translators.empty() || !Blank(Annotation) || !Blank(Keywords) || !Blank(DateText) ||
           BitmapArea(Cover) != 0 || !Blank(Lang) || !Blank(SrcLang) || !Sequences.empty();
}

void TTitleInfo::Assign(const TTitleInfo& other) {
    Clear();
    for (TBookGenre* genre : other.Genres)
        AddGenre(genre, false);
    for (TAuthorName* spelling : other.Authors)
        AddAuthor(spelling);
    for (TAuthorName* spelling : other.Translators)
        AddTranslator(spelling);
    for (const TSequenceEntry& entry : other.Sequences)
        AddSequence(entry.Sequence, entry.Number, false);
    Titles = other.Titles;
    Annotation = other.Annotation;
    Keywords = other.Keywords;
    DateText = other.DateText;
    Cover = other.Cover;
    Lang = other.Lang;
    SrcLang = other.SrcLang;
}

void TTitleInfo::SaveToStream(TSVDStream& stream, bool withImages) const {
    uint16_t flags = 0;
    if (!Genres.empty()) flags |= kTiGenres;
    if (!Authors.empty()) flags |= kTiAuthors;
    if (!Titles.empty()) flags |= kTiTitles;
    if (!Translators.empty()) flags |= kTiTranslators;
    if (!Sequences.empty()) flags |= kTiSeries;
    if (!Blank(Annotation)) flags |= kTiAnnotation;
    if (!Blank(Keywords)) flags |= kTiKeywords;
    if (!Blank(DateText)) flags |= kTiDate;
    if (withImages && BitmapArea(Cover) != 0) flags |= kTiCover;
    if (!Blank(Lang)) flags |= kTiLang;
    if (!Blank(SrcLang)) flags |= kTiSrcLang;
    stream.WriteWord(flags);
    if (flags & kTiGenres) {
        stream.WriteInt(static_cast<int32_t>(Genres.size()));
        for (const TBookGenre* genre : Genres)
            stream.WriteInt(genre->Index);
    }
    if (flags & kTiAuthors) WriteSpellings(stream, Authors);
    if (flags & kTiTitles) WriteTexts(stream, Titles, false);
    if (flags & kTiTranslators) WriteSpellings(stream, Translators);
    if (flags & kTiAnnotation) stream.WriteStr(Annotation);
    if (flags & kTiKeywords) stream.WriteStr(Keywords);
    if (flags & kTiDate) stream.WriteStr(DateText);
    if (flags & kTiCover) stream.Write(Cover.data(), Cover.size());
    if (flags & kTiLang) stream.WriteStr(Lang);
    if (flags & kTiSrcLang) stream.WriteStr(SrcLang);
    if (flags & kTiSeries) WriteSequences(stream, Sequences);
}

void TTitleInfo::LoadFromStream(TSVDStream& stream, const TSVD& catalogue) {
    Clear();
    const uint16_t flags = stream.ReadWord();
    if (flags & kTiGenres) {
        const int32_t count = stream.ReadCount();
        for (int32_t i = 0; i < count; ++i) {
            TBookGenre* genre = catalogue.GenreByNumber(stream.ReadInt());
            if (!genre) RaiseError(rsDebugError);
            AddGenre(genre, true);  // a repeated genre is listed once
        }
    }
    if (flags & kTiAuthors) ReadSpellings(stream, catalogue, [this](TAuthorName* s) { AddAuthor(s); });
    if (flags & kTiTitles) Titles = ReadTexts(stream, catalogue, Book);
    if (flags & kTiTranslators) ReadSpellings(stream, catalogue, [this](TAuthorName* s) { AddTranslator(s); });
    if (flags & kTiAnnotation) Annotation = ReadBookText(stream, catalogue, Book);
    if (flags & kTiKeywords) Keywords = ReadBookText(stream, catalogue, Book);
    if (flags & kTiDate) DateText = ReadBookText(stream, catalogue, Book);
    if (flags & kTiCover) Cover = ReadBitmap(stream);
    if (flags & kTiLang) Lang = ReadBookText(stream, catalogue, Book);
    if (flags & kTiSrcLang) SrcLang = ReadBookText(stream, catalogue, Book);
    if (flags & kTiSeries)
        ReadSequences(stream, catalogue, Sequences,
                      [this](TBookSequence* series, int32_t number) { AddSequence(series, number, true); });
}

void TTitleInfo::SetAuthors(const std::vector<TAuthorName*>& spellings) {
    UnlinkAuthors(Book, Authors, AuthorRole(), true);
    for (TAuthorName* spelling : spellings)
        if (spelling) AddAuthor(spelling);
}

void TTitleInfo::SetTitles(const std::vector<std::string>& titles) {
    Titles.clear();
    for (const std::string& title : titles)
        AddTitle(title);
}

void TTitleInfo::SetGenres(const std::vector<TBookGenre*>& genres) {
    for (TBookGenre* genre : Genres)
        genre->UnlinkBook(Book, GenreRole(), true);
    Genres.clear();
    for (TBookGenre* genre : genres)
        if (genre) AddGenre(genre, true);
}

void TTitleInfo::SetSequences(const TSequenceEntries& entries) {
    UnlinkSequences(Book, Sequences, SequenceRole(), true);
    for (const TSequenceEntry& entry : entries)
        if (entry.Sequence) AddSequence(entry.Sequence, entry.Number, true);
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
