#pragma once

#include <string>
#include <vector>

#include "common/Dates.h"

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
    std::vector<TAuthorName*> Authors;
    std::string ProgramUsed;
    TDateTime Date = 0;
    std::vector<std::string> SrcUrls;
    std::string SrcOcr;
    std::string Id;
    std::string DocVersion;
    std::string History;

    void AddAuthor(TAuthorName* spelling);
    bool HasData() const;
    void Assign(const TDocumentInfo& other);
    void Clear();

    void SaveToStream(TSVDStream& stream) const;
    void LoadFromStream(TSVDStream& stream, const TSVD& catalogue);
};
