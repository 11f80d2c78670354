#pragma once

#include <string>
#include <vector>

#include "catalogue/TitleInfo.h"

class TBookInfo;
class TBookSequence;
class TSVD;
class TSVDStream;

// The FB2 publish-info of a book with the texts of its custom-info elements; its series
// entries are linked with role 3.
class TPublishInfo final {
public:
    explicit TPublishInfo(TBookInfo* book) : Book(book) {}
    ~TPublishInfo() { Clear(); }
    TPublishInfo(const TPublishInfo&) = delete;
    TPublishInfo& operator=(const TPublishInfo&) = delete;

    TBookInfo* const Book;
    TText BookName;
    TText Publisher;
    TText City;
    TText Year;
    TText Isbn;
    TSequenceEntries Sequences;
    TTextList CustomInfo;

    void AddSequence(TBookSequence* series, int32_t number, bool quiet);
    bool HasData() const;
    void Assign(const TPublishInfo& other);
    void Clear();

    void SaveToStream(TSVDStream& stream) const;
    void LoadFromStream(TSVDStream& stream, const TSVD& catalogue);
};
