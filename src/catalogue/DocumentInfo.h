#pragma once

#include <string>
#include <vector>

#include "catalogue/TitleInfo.h"
#include "common/Dates.h"
#include "common/Text.h"

class TAuthorName;
class TBookInfo;
class TSVD;
class TSVDStream;

// The FB2 document-info of a book; its authors are linked with role 5.
class TDocumentInfo final {
public:
    explicit TDocumentInfo(TBookInfo* book) : Book(book) {}
    ~TDocumentInfo() { Clear(); }
    TDocumentInfo(const TDocumentInfo&) = delete;
    TDocumentInfo& operator=(const TDocumentInfo&) = delete;

    TBookInfo* const Book;
    TSpellingList Authors;
    TText ProgramUsed;
    TDateTime Date = 0;
    TTextList SrcUrls;
    TText SrcOcr;
    TText Id;
    TText DocVersion;
    TText History;

    void AddAuthor(TAuthorName* spelling);
    bool HasData() const;
    void Assign(const TDocumentInfo& other);
    void Clear();

    void SaveToStream(TSVDStream& stream) const;
    void LoadFromStream(TSVDStream& stream, const TSVD& catalogue);
};
