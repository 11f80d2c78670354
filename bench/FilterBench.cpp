// Filtering catalogue rows as a user types: the author rows of a generated catalogue (the
// smart filter over every column) and its book rows, one keystroke-sized change at a time.
//
// Usage: bench_filter [BOOKS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "LibraryGenerator.h"
#include "catalogue/BookLinks.h"
#include "catalogue/ListObjects.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"

namespace {

double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

void Type(const char* what, const std::vector<std::unique_ptr<TListObject>>& rows, const std::string& word) {
    std::printf("%s (%zu rows):\n", what, rows.size());
    for (size_t typed = 1; typed <= word.size(); ++typed) {
        const std::string text = word.substr(0, typed);
        const auto start = std::chrono::steady_clock::now();
        size_t kept = 0;
        for (const auto& row : rows)
            kept += row->Matches(-1, 1, text);
        std::printf("  \"%s\": %7.1f ms, %zu rows kept\n", AnsiToUtf8(text).c_str(), Milliseconds(start), kept);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int books = argc > 1 ? std::atoi(argv[1]) : 100000;
    TSVD svd;
    GenerateLibrary(svd, books);
    std::vector<std::unique_ptr<TListObject>> authors, bookRows;
    for (size_t i = 0; i < svd.Authors.Count(); ++i)
        authors.push_back(std::make_unique<TAuthorListObject>(svd.Authors.Author(i)));
    TBookCollection all;
    for (const auto& mp : svd.MountPoints)
        mp->CollectBooks(all, true);
    for (TBookInfo* book : all.Books())
        bookRows.push_back(std::make_unique<TBookListObject>(book));
    std::printf("%d books\n", books);
    // A prefix of one of them narrows the rows step by step.
    const std::string word = svd.Authors.Author(svd.Authors.Count() / 2)->Name(0)->LastName().substr(0, 6);
    Type("authors", authors, word);
    Type("books", bookRows, word);
    return 0;
}
