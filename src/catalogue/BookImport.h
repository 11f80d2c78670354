#pragma once

#include <string>
#include <vector>

#include "catalogue/TitleInfo.h"
#include "common/Dates.h"

// Genre elements taken from one title-info; the rest are ignored.
inline constexpr size_t kMaxGenresPerBook = 64;

class TAuthorName;
class TBookInfo;
class TDocumentInfo;
class TFictionBook;
class TPublishInfo;
class TSimpleType;
class TTitleInfo;

// Settles an author name that matches several spellings (nameRead: the name as the book
// spells it). The GUI queues the question for later, the command line takes the first. May
// return none.
class IAuthorChooser {
public:
    virtual ~IAuthorChooser() = default;
    virtual TAuthorName* ChooseAuthor(TBookInfo& book, uint8_t role, const std::vector<TAuthorName*>& candidates,
                                      const std::string& nameRead) = 0;
};

// Copies an FB2 description into a book record: genres, series and authors are found or
// created in the book's catalogue. With replace the file's data takes the place of the record's.
bool ImportTitleInfo(TTitleInfo& part, const TSimpleType& element, bool replace);
bool ImportDocumentInfo(TDocumentInfo& part, const TSimpleType& element, bool replace);
bool ImportPublishInfo(TPublishInfo& part, const TSimpleType& element, bool replace);
// One author or translator element into one of the book's spelling lists. A spelling of
// previous (the list before a refresh) that still carries the element's name is kept, so an
// unchanged file never moves its book to another author.
bool ImportAuthor(const TSimpleType& element, TSpellingList& list, bool replace, uint8_t role, TBookInfo& book,
                  const std::vector<TAuthorName*>* previous = nullptr);
// The four parts and the custom-info texts of a loaded document; true when anything was imported.
bool ImportDescription(TBookInfo& book, TFictionBook& document, bool replace);

// A date in one of the patterns ymd, dmy, mdy, Mdy, mdyhnp, Mdhn; fallback when none fits.
TDateTime ParseDate(const std::string& text, TDateTime fallback);
