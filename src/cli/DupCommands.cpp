#include <chrono>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <thread>

#include "catalogue/BookInfo.h"
#include "catalogue/LibraryLock.h"
#include "catalogue/SVD.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/Progress.h"
#include "dups/DupSearch.h"

namespace {

std::string Shown(const TDupBookRef& book) {
    return Utf8(book.Packed ? book.FullPath + "/" + book.EntryName : book.FullPath);
}

struct Pairs final : IDupObserver {
    std::mutex mutex;
    std::vector<std::pair<TDupBookRef, TDupBookRef>> found;
    std::vector<int32_t> similarity;
    void DupPairFound(const TDupBookRef& a, const TDupBookRef& b, int32_t s) override {
        std::lock_guard lock(mutex);
        found.emplace_back(a, b);
        similarity.push_back(s);
    }
};

int RunDups(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {"--no-size", "--save", "--json"}, {"--mode", "--similarity", "--words", "--blocks", "--min-word"});
    a.ExpectPositionals(2, 3);
    const std::string lib = Utf8ToAnsi(a.Positionals()[0]);
    std::unique_ptr<TLibraryLock> lock;
    if (a.Has("--save")) lock = LockLibrary(lib, "dups");
    TSVD svd;
    AttachArchiveReader(svd);
    LoadLibrary(svd, lib, err);
    const auto folderNamed = [&](const std::string& name) {
        TBookFolder* folder = svd.FindFolder(TypedPath(name));
        if (!folder) RaiseFixedError(Utf8ToAnsi("no such catalogue folder: " + name));
        return folder;
    };
    TBookFolder* folder1 = folderNamed(a.Positionals()[1]);
    TBookFolder* folder2 = a.Positionals().size() > 2 ? folderNamed(a.Positionals()[2]) : folder1;

    TDupSearcher searcher(svd.Packer.get());
    TDupParams& p = searcher.Params;
    p.SearchMode = static_cast<uint8_t>(a.Number("--mode", p.SearchMode, 0, 3));
    p.Threshold = a.Number("--similarity", p.Threshold / 1000, 0, 100) * 1000;
    p.WordsPerBlock = a.Number("--words", p.WordsPerBlock, 1, 1000);
    p.BlocksPerBook = a.Number("--blocks", p.BlocksPerBook, 1, 1000);
    p.MinWordLength = static_cast<int16_t>(a.Number("--min-word", p.MinWordLength, 1, 100));
    p.ConsiderSize = !a.Has("--no-size");
    Pairs pairs;
    searcher.Start(folder1, folder2, &pairs);
    while (searcher.IsRunning()) {
        if (StopRequest().Cancelled()) {
            searcher.Stop();
            err << "shelvara-cli dups: stopped; the pairs found so far follow\n";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    searcher.Wait();

    JsonWriter json;
    json.BeginArray();
    for (size_t i = 0; i < pairs.found.size(); ++i) {
        const auto& [book1, book2] = pairs.found[i];
        char percent[16];
        std::snprintf(percent, sizeof percent, "%.1f", pairs.similarity[i] / 1000.0);
        if (a.Has("--json")) {
            json.BeginObject().Key("book1").String(Shown(book1)).Key("book2").String(Shown(book2));
            json.Key("similarity").Number(pairs.similarity[i]).EndObject();
        } else {
            out << percent << "\t" << Shown(book1) << "\t" << Shown(book2) << "\n";
        }
        if (a.Has("--save")) svd.Duplicates.push_back({book1.Book, book2.Book, pairs.similarity[i]});
    }
    json.EndArray();
    if (a.Has("--json")) out << json.Text() << "\n";
    if (a.Has("--save")) {
        svd.SetModified(true);
        svd.SaveToFile(lib);
        err << "shelvara-cli dups: " << pairs.found.size() << " pairs saved\n";
    }
    return 0;
}

}  // namespace

std::vector<CliCommand> DupCommands() {
    return {
        {"dups",
         "dups LIB FOLDER1 [FOLDER2] [--mode 0-3] [--similarity PERCENT] [--words N] [--blocks N] [--min-word N] "
         "[--no-size] [--save] [--json]",
         "Find books below FOLDER2 (FOLDER1 when not given) whose texts match those below FOLDER1; print each pair "
         "with its similarity, and with --save store the pairs in the library.",
         RunDups},
    };
}
