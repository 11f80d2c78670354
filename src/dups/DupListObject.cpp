#include "dups/DupListObject.h"

#include <algorithm>
#include <map>

#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/SVD.h"
#include "common/TextUtils.h"

const TRowClass TDupListObject::Class{{1072, 1073, 1074}};

TCellValue TDupListObject::GetValue(int column) const {
    switch (column) {
        case 0:
        case 1: {
            const TBookInfo* book = column == 0 ? Book1 : Book2;
            try {
                return TCellValue::OfText(book ? book->FullPath() : "ERROR!");
            } catch (const std::exception&) {
                return TCellValue::OfText("ERROR!");
            }
        }
        case 2:
            return TCellValue::OfNumber(Similarity, kValueThousandths);
        default:
            return {};
    }
}

void TDupListObject::CollectBooks(TBookCollection& books) const {
    if (Book1) books.Add(Book1);
    if (Book2) books.Add(Book2);
}

bool TDupListObject::Matches(int column, int, const std::string& text) const {
    const std::string key = SearchKey(text);
    const auto pathMatches = [&](int c) { return SearchKey(GetValue(c).Text).find(key) != std::string::npos; };
    switch (column) {
        case 0:
        case 1:
            return pathMatches(column);
        case 2:
            return CellText(GetValue(2)) == text;
        default:
            return column < 0 && (pathMatches(0) || pathMatches(1) || CellText(GetValue(2)) == text);
    }
}

void MergeDuplicateRows(const TObjList& rows, std::vector<TDuplicatePair>& pairs) {
    auto key = [](const TBookInfo* a, const TBookInfo* b) { return a < b ? std::pair(a, b) : std::pair(b, a); };
    std::map<std::pair<const TBookInfo*, const TBookInfo*>, size_t> known;
    for (size_t i = 0; i < pairs.size(); ++i)
        known.emplace(key(pairs[i].Book1, pairs[i].Book2), i);
    for (int32_t i = 0; i < rows.Count(); ++i) {
        const auto* row = dynamic_cast<const TDupListObject*>(rows.Get(i));
        if (!row) continue;
        const auto [at, added] = known.emplace(key(row->Book1, row->Book2), pairs.size());
        if (added)
            pairs.push_back({row->Book1, row->Book2, row->Similarity});
        else
            pairs[at->second].Similarity = std::min(pairs[at->second].Similarity, row->Similarity);
    }
}
