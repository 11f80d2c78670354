#include "dups/DupListObject.h"

#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
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
