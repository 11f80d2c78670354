#include "LibraryGenerator.h"

#include <random>
#include <string>
#include <vector>

#include "catalogue/SVD.h"
#include "common/Encoding.h"

namespace {

// Cyrillic syllables (Windows-1251) for names that look like real ones.
const std::vector<std::string>& Syllables() {
    static const std::vector<std::string> s = [] {
        std::vector<std::string> out;
        for (const char* utf8 : {"ка", "ли", "мо", "ра", "се", "то", "ва", "ни", "ко", "ла", "ре", "да", "ми", "со",
                                 "ту", "вы", "но", "ше"})
            out.push_back(Utf8ToAnsi(utf8));
        return out;
    }();
    return s;
}

std::string Word(uint32_t n, int syllables) {
    std::string word;
    for (int i = 0; i < syllables; ++i) {
        word += Syllables()[n % Syllables().size()];
        n /= static_cast<uint32_t>(Syllables().size());
    }
    word[0] = static_cast<char>(static_cast<unsigned char>(word[0]) - 32);  // capital letter
    return word;
}

}  // namespace

void GenerateLibrary(TSVD& svd, int books, uint32_t seed) {
    std::mt19937 random(seed);
    svd.Genres.LoadBuiltIn();
    std::vector<TBookGenre*> genres;
    for (size_t g = 0; g < svd.Genres.Count(); ++g)
        for (size_t i = 0; i < svd.Genres.Child(g)->Count(); ++i)
            genres.push_back(svd.Genres.Child(g)->Child(i));

    TMountPoint* mount = svd.AddMountPoint("/library");
    TBookFolder* folder = nullptr;
    const int authors = std::max(1, books / 5), series = std::max(1, books / 10);
    for (int i = 0; i < books; ++i) {
        if (i % 1000 == 0) folder = mount->AddFolder("folder" + std::to_string(i / 1000));
        TBookInfo* book = folder->AddBook();
        book->FileName = "book" + std::to_string(i) + ".fb2";
        book->Size = static_cast<int32_t>(random() % 2'000'000);
        book->Crc = static_cast<uint32_t>(random());
        book->FileDate = 38000 + random() % 6000;
        book->AddedDate = 38000 + random() % 6000;
        TTitleInfo& title = book->EnsureTitleInfo();
        title.Titles.push_back(Word(static_cast<uint32_t>(random()), 3) + " " + Word(static_cast<uint32_t>(i), 4));
        title.AddGenre(genres[random() % genres.size()], true);
        const auto a = static_cast<uint32_t>(random() % static_cast<uint32_t>(authors));
        // The same person written as full name, with initials or without the middle name.
        const std::string first = Word(a, 2), middle = Word(a * 7, 3), last = Word(a * 13, 4);
        switch (random() % 3) {
            case 0:
                title.AddAuthor(svd.Authors.FindOrAddName(first, middle, "", last));
                break;
            case 1:
                title.AddAuthor(svd.Authors.FindOrAddName(first.substr(0, 1) + ".", "", "", last));
                break;
            default:
                title.AddAuthor(svd.Authors.FindOrAddName(first, "", "", last));
                break;
        }
        if (random() % 2) {
            const auto s = static_cast<uint32_t>(random() % static_cast<uint32_t>(series));
            title.AddSequence(svd.FindOrAddSequence(Word(s, 3) + " " + Word(s * 3, 2), true),
                              static_cast<int32_t>(random() % 20), true);
        }
    }
}
