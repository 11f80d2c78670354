// Times FB2 parsing: the description only (what an import reads) and the whole document,
// over the corpus files and over large generated books. Prints MB/s and files/s.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/FileUtils.h"
#include "fb2/FBParser.h"
#include "fb2/XMLPars.h"

namespace {

namespace fs = std::filesystem;

using Files = std::vector<std::vector<uint8_t>>;

// A book of about the given size: a description, paragraphs of Russian-looking text in UTF-8
// and a binary of Base64 noise at the end.
std::vector<uint8_t> GeneratedBook(size_t bytes) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
        "xmlns:l=\"http://www.w3.org/1999/xlink\"><description><title-info><genre>sf</genre><author><first-name>"
        "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD</first-name><last-name>\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2"
        "</last-name></author><book-title>Generated</book-title><lang>ru</lang><sequence name=\"S\" number=\"1\"/>"
        "</title-info></description><body><section>";
    const std::string paragraph =
        "<p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, <emphasis>\xD0\xBC\xD0\xB8\xD1\x80</emphasis> "
        "lorem ipsum dolor sit amet, consectetur adipiscing elit &amp; more text here.</p>\n";
    while (text.size() < bytes * 9 / 10)
        text += paragraph;
    text += "</section></body><binary id=\"b\" content-type=\"application/octet-stream\">";
    while (text.size() < bytes)
        text += "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo0MTIz\n";
    text += "</binary></FictionBook>\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

void Measure(const char* label, const Files& files, int keep, int rounds) {
    size_t bytes = 0;
    for (const auto& f : files)
        bytes += f.size();
    int ok = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) {
        for (const auto& f : files) {
            TFictionBook book;
            try {
                ok += book.LoadFromBytes(f.data(), f.size(), keep);
            } catch (const EShelvaraError&) {
            }
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double n = static_cast<double>(files.size()) * rounds;
    std::printf("%-34s %6zu files %9.1f MB %9.1f MB/s %10.0f files/s  (%d loaded)\n", label, files.size(),
                static_cast<double>(bytes) / 1e6, static_cast<double>(bytes) * rounds / 1e6 / seconds, n / seconds,
                ok / rounds);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path corpus = argc > 1 ? fs::path(argv[1]) : fs::path("../shared/corpus/fb2");
    Files files;
    if (fs::is_directory(corpus))
        for (const auto& entry : fs::recursive_directory_iterator(corpus))
            if (entry.path().extension() == ".fb2") files.push_back(ReadWholeFile(entry.path()));
    if (!files.empty()) {
        Measure("corpus, description only", files, kKeepDescription, 20);
        Measure("corpus, whole documents", files, kKeepAll, 5);
    } else {
        std::printf("no corpus at %s\n", corpus.c_str());
    }
    const Files large = {GeneratedBook(20'000'000)};
    Measure("generated 20 MB, description only", large, kKeepDescription, 50);
    Measure("generated 20 MB, body without binary", large, kKeepDescription | kKeepBody, 2);
    Measure("generated 20 MB, whole document", large, kKeepAll, 2);
    return 0;
}
