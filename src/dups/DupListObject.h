#pragma once

#include <cstdint>

#include "catalogue/ObjList.h"

class TBookInfo;

// A row of the duplicate search's results: two books and how alike their texts are.
class TDupListObject final : public TListObject {
public:
    TDupListObject(TBookInfo* book1, int32_t similarity, TBookInfo* book2)
        : Book1(book1), Book2(book2), Similarity(similarity) {}
    TBookInfo* Book1;
    TBookInfo* Book2;
    int32_t Similarity;  // 0..100000

    static const TRowClass Class;
    const TRowClass& RowClass() const override { return Class; }
    // The two books' paths ("ERROR!" for a book that is gone) and the similarity.
    TCellValue GetValue(int column) const override;
    void CollectBooks(TBookCollection& books) const override;
    // The text's filter key in either path (column 0, 1 or any), or the similarity as shown.
    bool Matches(int column, int option, const std::string& text) const override;
};

struct TDuplicatePair;

// Adds the pairs of duplicate rows to a stored list: a pair of the same two books (in either
// order) is kept once, with the smaller similarity.
void MergeDuplicateRows(const TObjList& rows, std::vector<TDuplicatePair>& pairs);
