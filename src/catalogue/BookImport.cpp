#include "catalogue/BookImport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "catalogue/AuthorList.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/PendingChoices.h"
#include "catalogue/SVD.h"
#include "common/TextUtils.h"
#include "fb2/FBParser.h"
#include "fb2/Recoder.h"

namespace {

// FB2 node kinds the import reads.
enum : uint8_t {
    kGenre = 11,
    kAuthor = 12,
    kBookTitle = 13,
    kAnnotation = 14,
    kKeywords = 15,
    kDate = 16,
    kLang = 18,
    kSrcLang = 19,
    kTranslator = 20,
    kSequence = 21,
    kFirstName = 22,
    kMiddleName = 23,
    kLastName = 24,
    kNickName = 25,
    kHomePage = 26,
    kEmail = 27,
    kDocAuthor = 29,
    kProgramUsed = 30,
    kDocDate = 31,
    kSrcUrl = 32,
    kSrcOcr = 33,
    kId = 34,
    kVersion = 35,
    kHistory = 36,
    kBookName = 37,
    kPublisher = 38,
    kCity = 39,
    kYear = 40,
    kIsbn = 41,
    kPublishSequence = 42,
};

// The value of a simple element, the plain text of one with children: trimmed either way.
std::string ValueOf(const TSimpleType& node) {
    return TrimBlanks(GetText(node));
}

const TSimpleType* FirstChild(const TSimpleType& element, uint8_t kind) {
    for (const auto& child : element.Children)
        if (child->Kind == kind) return child.get();
    return nullptr;
}

std::string FirstValue(const TSimpleType& element, uint8_t kind) {
    const TSimpleType* child = FirstChild(element, kind);
    return child ? ValueOf(*child) : std::string();
}

std::string Attribute(const TSimpleType& node, const std::string& name) {
    return TrimBlanks(DecodeXmlEntities(node.GetAttribute(name)));
}

// Every sequence element, nested ones right after their parent, limited in depth.
void CollectSequences(const TSimpleType& element, uint8_t kind, std::vector<const TSimpleType*>& out, int depth = 0) {
    if (depth > 16) return;
    for (const auto& child : element.Children) {
        if (child->Kind != kind && !(depth > 0 && child->Kind == kSequence)) continue;
        out.push_back(child.get());
        CollectSequences(*child, kSequence, out, depth + 1);
    }
}

int32_t SequenceNumber(const std::string& text) {
    if (text.empty()) return 1;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (!end || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return 1;
    return static_cast<int32_t>(value);
}

// Series entries of a part from the sequence elements (role of the part).
template <typename AddSequence>
void ImportSequences(const TSimpleType& element, uint8_t kind, TSVD& catalogue, AddSequence add) {
    std::vector<const TSimpleType*> sequences;
    CollectSequences(element, kind, sequences);
    for (const TSimpleType* s : sequences) {
        const std::string name = Attribute(*s, "name");
        if (name.empty()) continue;
        TBookSequence* series = catalogue.Sequences.FindByName(name);
        if (!series) series = catalogue.Sequences.AddChild(name, true);
        add(series, SequenceNumber(Attribute(*s, "number")));
    }
}

// Keeps the first entry of each series; the links stay (one per series and role).
void DropRepeatedSeries(TSequenceEntries& entries) {
    TSequenceEntries kept;
    for (const TSequenceEntry& e : entries)
        if (std::none_of(kept.begin(), kept.end(), [&](const TSequenceEntry& k) { return k.Sequence == e.Sequence; }))
            kept.push_back(e);
    entries = std::move(kept);
}

void UnlinkSpellings(TSpellingList& list, TBookInfo* book, uint8_t role) {
    for (TAuthorName* spelling : list)
        spelling->UnlinkBook(book, role);
    list.clear();
}

void UnlinkSequences(TSequenceEntries& entries, TBookInfo* book, uint8_t role) {
    for (const TSequenceEntry& e : entries)
        e.Sequence->UnlinkBook(book, role, true);
    entries.clear();
}

// Puts the question of an ambiguous name to the chooser after the catalogue lock is released
// (at once when it is not held) and, when another spelling is chosen, lets it take the place of
// the first candidate in the book's list.
void AskLater(TSVD& catalogue, TBookInfo& book, uint8_t role, const std::vector<TAuthorName*>& candidates,
              const std::string& nameRead) {
    TSVD* svd = &catalogue;
    TBookInfo* target = &book;
    TCatalogueLock::Instance().Defer([svd, target, role, candidates, nameRead] {
        if (!svd->AuthorChooser) return;
        TAuthorName* chosen = svd->AuthorChooser->ChooseAuthor(*target, role, candidates, nameRead);
        if (!chosen || chosen == candidates[0]) return;
        TCatalogueGuard guard;
        ReplaceBookAuthor(*target, role, candidates[0], chosen);
    });
}

// The spelling still matches the name of an author element as a lookup would (initials
// agreeing with full names; a nickname in both must be the same), or for a nickname alone
// carries that nickname.
bool StillNamed(const TAuthorName& spelling, const TNameKeys& wanted) {
    const TNameKeys& own = spelling.Keys();
    if (wanted.NoFullName()) return !wanted.Nick.empty() && own.Nick == wanted.Nick;
    if (!wanted.Nick.empty() && !own.Nick.empty() && own.Nick != wanted.Nick) return false;
    return spelling.NameMatches(wanted, false);
}

}  // namespace

bool ImportAuthor(const TSimpleType& element, TSpellingList& list, bool replace, uint8_t role, TBookInfo& book,
                  const std::vector<TAuthorName*>* previous) {
    TSVD* catalogue = book.Container();
    if (!catalogue) return true;
    TAuthorList& authors = catalogue->Authors;
    const std::string first = FirstValue(element, kFirstName), middle = FirstValue(element, kMiddleName),
                      last = FirstValue(element, kLastName), nick = FirstValue(element, kNickName);
    TAuthorName* s = nullptr;
    std::vector<TAuthorName*> candidates;
    const TNameKeys wanted = TNameKeys::Of(first, middle, last, nick);
    if (previous)
        for (TAuthorName* spelling : *previous)
            if (StillNamed(*spelling, wanted)) {
                s = spelling;
                break;
            }
    if (!s && (!first.empty() || !middle.empty() || !last.empty())) {
        authors.FindCandidates(first, middle, nick, last, candidates);
        if (candidates.size() == 1) {
            s = candidates[0];
        } else if (candidates.size() > 1) {
            // The user is never asked while the catalogue lock is held: the first candidate
            // stands in, and the question comes once the lock is released.
            s = candidates[0];
        }
        if (!s) s = authors.FindOrAddName(first, middle, nick, last);
    } else if (!s && !nick.empty()) {
        // Several authors with this nickname are a question like several with one name.
        authors.FindNickCandidates(nick, candidates);
        s = candidates.empty() ? authors.FindOrAddByNick(nick) : candidates[0];
    }
    if (!s) return true;

    bool attached = std::find(list.begin(), list.end(), s) != list.end();
    if (!attached) {
        auto other =
            std::find_if(list.begin(), list.end(), [&](const TAuthorName* o) { return o->Author == s->Author; });
        if (other != list.end()) {
            if (replace && (*other)->UnlinkBook(&book, role)) {
                *other = s;
                s->LinkBook(&book, role);
                attached = true;
            }
        } else {
            list.push_back(s);
            s->LinkBook(&book, role);
            attached = true;
        }
    }
    if (attached && !nick.empty() && s->NickName().empty())
        s->SetParts(s->FirstName(), s->MiddleName(), s->LastName(), nick);
    if (attached && candidates.size() > 1 && catalogue->AuthorChooser && s == candidates[0])
        AskLater(*catalogue, book, role, candidates, TAuthorName::DisplayForm(first, middle, last, nick));
    for (const auto& child : element.Children) {
        const std::string value = child->Kind == kHomePage || child->Kind == kEmail ? ValueOf(*child) : std::string();
        if (value.empty()) continue;
        if (child->Kind == kHomePage) s->Author->AddHomePage(value);
        if (child->Kind == kEmail) s->Author->AddEmail(value);
    }
    return true;
}

bool ImportTitleInfo(TTitleInfo& part, const TSimpleType& element, bool replace) {
    TBookInfo& book = *part.Book;
    TSVD* catalogue = book.Container();
    if (!catalogue) return true;
    if (replace) {
        for (TBookGenre* genre : part.Genres)
            genre->UnlinkBook(&book, part.GenreRole(), true);
        part.Genres.clear();
    }
    size_t taken = 0;
    for (const auto& child : element.Children) {
        if (child->Kind != kGenre) continue;
        const std::string code = ValueOf(*child);
        if (code.empty()) continue;  // an empty genre element names no genre (and not the root)
        // A hostile file may list thousands of made-up codes: no real book needs more.
        if (++taken > kMaxGenresPerBook) break;
        TBookGenre* genre = catalogue->Genres.ForCode(code, false);
        part.AddGenre(genre, true);
    }
    std::vector<TAuthorName*> previous;
    if (replace) {
        previous = part.Authors;
        UnlinkSpellings(part.Authors, &book, part.AuthorRole());
    }
    for (const auto& child : element.Children)
        if (child->Kind == kAuthor) ImportAuthor(*child, part.Authors, replace, part.AuthorRole(), book, &previous);
    if (replace) part.Titles = {TText(book.FileNameInFolder())};
    part.AddTitle(FirstValue(element, kBookTitle));
    auto takeText = [&](TText& field, uint8_t kind) {
        if (!(TrimBlanks(field).empty() || replace)) return;
        const std::string value = FirstValue(element, kind);
        if (!value.empty()) field = value;
    };
    takeText(part.Annotation, kAnnotation);
    takeText(part.Keywords, kKeywords);
    takeText(part.DateText, kDate);
    takeText(part.Lang, kLang);
    takeText(part.SrcLang, kSrcLang);
    previous.clear();
    if (replace) {
        previous = part.Translators;
        UnlinkSpellings(part.Translators, &book, part.TranslatorRole());
    }
    for (const auto& child : element.Children)
        if (child->Kind == kTranslator)
            ImportAuthor(*child, part.Translators, replace, part.TranslatorRole(), book, &previous);
    // With replace the file's series take the place of the record's, so a corrected number arrives.
    if (replace) UnlinkSequences(part.Sequences, &book, part.SequenceRole());
    ImportSequences(element, kSequence, *catalogue,
                    [&](TBookSequence* series, int32_t number) { part.AddSequence(series, number, true); });
    DropRepeatedSeries(part.Sequences);
    return true;
}

bool ImportDocumentInfo(TDocumentInfo& part, const TSimpleType& element, bool replace) {
    TBookInfo& book = *part.Book;
    for (const auto& child : element.Children) {
        switch (child->Kind) {
            case kDocAuthor:
                ImportAuthor(*child, part.Authors, replace, kRoleDocumentAuthor, book);
                break;
            case kProgramUsed:
                part.ProgramUsed = ValueOf(*child);
                break;
            case kSrcOcr:
                part.SrcOcr = ValueOf(*child);
                break;
            case kId:
                part.Id = ValueOf(*child);
                break;
            case kVersion:
                part.DocVersion = ValueOf(*child);
                break;
            case kDocDate: {
                // The value attribute holds the date in a fixed form; the text is for people.
                const TDateTime fromValue = ParseDate(Attribute(*child, "value"), 0);
                part.Date = fromValue != 0 ? fromValue : ParseDate(ValueOf(*child), part.Date);
                break;
            }
            case kSrcUrl: {
                const std::string url = ValueOf(*child);
                if (!url.empty() && std::none_of(part.SrcUrls.begin(), part.SrcUrls.end(),
                                                 [&](const std::string& u) { return AnsiSameText(u, url); }))
                    part.SrcUrls.push_back(url);
                break;
            }
            case kHistory:
                part.History = ValueOf(*child);
                break;
            default:
                break;
        }
    }
    return true;
}

bool ImportPublishInfo(TPublishInfo& part, const TSimpleType& element, bool replace) {
    TSVD* catalogue = part.Book->Container();
    for (const auto& child : element.Children) {
        switch (child->Kind) {
            case kBookName:
                part.BookName = ValueOf(*child);
                break;
            case kPublisher:
                part.Publisher = ValueOf(*child);
                break;
            case kCity:
                part.City = ValueOf(*child);
                break;
            case kYear:
                part.Year = ValueOf(*child);
                break;
            case kIsbn:
                part.Isbn = ValueOf(*child);
                break;
            default:
                break;
        }
    }
    if (!catalogue) return true;
    if (replace) UnlinkSequences(part.Sequences, part.Book, 3);
    ImportSequences(element, kPublishSequence, *catalogue,
                    [&](TBookSequence* series, int32_t number) { part.AddSequence(series, number, true); });
    DropRepeatedSeries(part.Sequences);
    return true;
}

bool ImportDescription(TBookInfo& book, TFictionBook& document, bool replace) {
    TSimpleType* description = document.Description();
    if (!description) return false;
    bool imported = false;
    if (const TSimpleType* e = FirstChild(*description, 5))
        imported |= ImportTitleInfo(book.EnsureTitleInfo(), *e, replace);
    if (const TSimpleType* e = FirstChild(*description, 6))
        imported |= ImportTitleInfo(book.EnsureSrcTitleInfo(), *e, replace);
    if (const TSimpleType* e = FirstChild(*description, 7))
        imported |= ImportDocumentInfo(book.EnsureDocumentInfo(), *e, replace);
    if (const TSimpleType* e = FirstChild(*description, 8))
        imported |= ImportPublishInfo(book.EnsurePublishInfo(), *e, replace);
    for (const auto& child : description->Children) {
        if (child->Kind != 9) continue;
        const std::string text = ValueOf(*child);
        if (text.empty()) continue;
        TTextList& custom = book.EnsurePublishInfo().CustomInfo;
        if (std::any_of(custom.begin(), custom.end(), [&](const TText& c) { return AnsiSameText(c, text); })) continue;
        custom.push_back(text);
        imported = true;
    }
    return imported;
}

// ---- ParseDate

namespace {

bool IsSeparator(char c) {
    return c == '\t' || c == ' ' || c == '-' || c == '.' || c == '/' || c == ':';
}

struct DateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool ReadNumber(const char*& s, int lo, int hi, int& out) {
    const char* start = s;
    long value = 0;
    while (std::isdigit(static_cast<unsigned char>(*s))) {
        value = value * 10 + (*s - '0');
        if (value > 100000) return false;  // too long to convert
        ++s;
    }
    if (s == start || value < lo || value > hi) return false;
    out = static_cast<int>(value);
    while (IsSeparator(*s))
        ++s;
    return true;
}

bool TryPattern(const char* pattern, const char* text, DateFields& f) {
    static const char* const kMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                                          "july",    "august",   "september", "october", "november", "december"};
    const char* s = text;
    for (const char* p = pattern; *p; ++p) {
        while (*s == '\t' || *s == ' ')
            ++s;
        while (IsSeparator(*s))
            ++s;
        switch (*p) {
            case 'y': {
                int y;
                if (!ReadNumber(s, 0, 2100, y)) return false;
                if (y < 100)
                    y += y > 49 ? 1900 : 2000;
                else if (y < 1800)
                    return false;
                f.year = y;
                break;
            }
            case 'm':
                if (!ReadNumber(s, 1, 12, f.month)) return false;
                break;
            case 'd':
                if (!ReadNumber(s, 1, 31, f.day)) return false;
                break;
            case 'h':
                if (!ReadNumber(s, 0, 24, f.hour)) return false;
                if (f.hour == 24) f.hour = 0;
                break;
            case 'n':
                if (!ReadNumber(s, 0, 59, f.minute)) return false;
                break;
            case 's':
                if (!ReadNumber(s, 0, 59, f.second)) return false;
                break;
            case 'M': {
                std::string word;
                while (std::isalpha(static_cast<unsigned char>(*s)))
                    word += static_cast<char>(std::tolower(*s++));
                int month = 0;
                for (int i = 0; i < 12 && !month; ++i)
                    if (word == kMonths[i] || word == std::string(kMonths[i], 3)) month = i + 1;
                if (!month) return false;
                f.month = month;
                break;
            }
            case 'p': {
                while (*s == '\t' || *s == ' ')
                    ++s;
                const bool pm = (s[0] == 'p' || s[0] == 'P') && (s[1] == 'm' || s[1] == 'M');
                const bool am = (s[0] == 'a' || s[0] == 'A') && (s[1] == 'm' || s[1] == 'M');
                if (!pm && !am) return false;
                if (pm && f.hour < 12) f.hour += 12;
                s += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

TDateTime ParseDate(const std::string& text, TDateTime fallback) {
    for (const char* pattern : {"ymd", "dmy", "mdy", "Mdy", "mdyhnp", "Mdhn"}) {
        DateFields f;
        if (!TryPattern(pattern, text.c_str(), f)) continue;
        if (!IsValidDate(f.year, f.month, f.day) || !IsValidTime(f.hour, f.minute, f.second, 0)) continue;
        return EncodeDateTime({f.year, f.month, f.day, f.hour, f.minute, f.second, 0});
    }
    return fallback;
}
