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

namespace {

// A sentence of n generated words.
std::string Sentence(std::mt19937& random, int words) {
    std::string text;
    for (int w = 0; w < words; ++w) {
        std::string word = Word(static_cast<uint32_t>(random()), 1 + static_cast<int>(random() % 3));
        if (w > 0) word[0] = static_cast<char>(static_cast<unsigned char>(word[0]) + 32);  // lower case
        text += (w ? " " : "") + word;
    }
    return text + ".";
}

// What a scanned real book brings besides its title, one author and a series: an annotation,
// keywords, languages, sometimes a co-author and a translator, the publisher's data and the
// document's history, as the description of a typical FB2 book holds them.
void AddRichDescription(TSVD& svd, TBookInfo& book, std::mt19937& random, int authors) {
    TTitleInfo& title = *book.TitleInfo;
    std::string annotation;
    for (int s = 0, n = 4 + static_cast<int>(random() % 4); s < n; ++s)
        annotation += (s ? " " : "") + Sentence(random, 8 + static_cast<int>(random() % 8));
    title.Annotation = annotation;
    title.Keywords = Sentence(random, 3);
    title.Lang = "ru";
    title.DateText = std::to_string(1950 + random() % 70);
    if (random() % 4 == 0) {
        const auto a = static_cast<uint32_t>(random() % static_cast<uint32_t>(authors));
        title.AddAuthor(svd.Authors.FindOrAddName(Word(a, 2), "", "", Word(a * 13, 4)));
    }
    if (random() % 3 == 0) {
        const auto t = static_cast<uint32_t>(random() % static_cast<uint32_t>(authors));
        title.AddTranslator(svd.Authors.FindOrAddName(Word(t * 5, 2), "", "", Word(t * 11, 3)));
        title.SrcLang = "en";
    }
    TPublishInfo& publish = book.EnsurePublishInfo();
    publish.BookName = title.Titles.front();
    publish.Publisher = Word(static_cast<uint32_t>(random() % 300), 3);
    publish.City = Word(static_cast<uint32_t>(random() % 40), 3);
    publish.Year = std::to_string(1990 + random() % 35);
    publish.Isbn = "978-5-" + std::to_string(1000 + random() % 9000) + "-" + std::to_string(1000 + random() % 9000) +
                   "-" + std::to_string(random() % 10);
    TDocumentInfo& document = book.EnsureDocumentInfo();
    document.ProgramUsed = "FictionBook Editor Release 2.6";
    document.Date = 38000 + random() % 6000;
    document.Id = std::to_string(random()) + "-" + std::to_string(random());
    document.DocVersion = "1." + std::to_string(random() % 5);
    if (random() % 2) document.SrcUrls.push_back("http://lib.example/b/" + std::to_string(random() % 900000));
    if (random() % 3 == 0) document.History = Sentence(random, 6);
}

}  // namespace

void GenerateLibrary(TSVD& svd, int books, uint32_t seed, bool rich) {
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
        if (rich) AddRichDescription(svd, *book, random, authors);
    }
}
