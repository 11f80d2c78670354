#pragma once

#include <string>

#include "catalogue/BookInfo.h"

// A book whose file was not found any more; kept by the catalogue with its old path.
class TLostBookInfo final : public TBookInfo {
public:
    explicit TLostBookInfo(TSVD* catalogue) : TBookInfo(catalogue) {}

    std::string OldPath;
    TDateTime LostDate = 0;

    std::string FullPath() const override { return OldPath; }
    // Nothing to delete: only the removal is announced.
    bool DeleteFile() override;
    // Takes over a book: its old path and the time it was lost (now), or those of a lost book.
    void Assign(const TBookInfo& other) override;
    void Clear() override;
    void SaveToStream(TSVDStream& stream, bool withImages) override;
    void LoadFromStream(TSVDStream& stream) override;
};
