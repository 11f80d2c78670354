// The OPDS server on a generated 100,000-book library (and two real books to download, one with
// a cover): requests a second for the root feed, an author's page, a two-word search, a cover
// and a download, with 1 and 8 concurrent clients on loopback, each run bounded in time. The
// search is timed apart too, beside its floor: every book's text scanned for the words.
//   bench_opds [BOOKS] [SECONDS_PER_RUN]
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "LibraryGenerator.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/TextUtils.h"
#include "opds/OpdsCatalogue.h"
#include "opds/OpdsFeeds.h"
#include "opds/OpdsServer.h"
#include "scan/FolderSync.h"

int main(int argc, char** argv) {
    const int books = argc > 1 ? std::atoi(argv[1]) : 100000;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench_opds_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "real");
    std::filesystem::copy_file(std::filesystem::path(SHELVARA_CORPUS) / "fb2/fbreaderj/whiteguard.fb2",
                               dir / "real" / "whiteguard.fb2");
    std::filesystem::copy_file(std::filesystem::path(SHELVARA_CORPUS) / "fb2/fbreaderj/image.fb2",
                               dir / "real" / "image.fb2");
    {
        TSVD svd;
        GenerateLibrary(svd, books);
        TSyncStats stats;
        Resync(*svd.AddMountPoint(PathToAnsi(dir / "real")), true, true, stats);
        svd.SaveToFile(PathToAnsi(dir / "lib.sv2"));
    }
    TOpdsOptions options;
    options.Library = PathToAnsi(dir / "lib.sv2");
    options.Port = 0;
    const auto loadStart = std::chrono::steady_clock::now();
    TOpdsServer server(options);
    std::printf("library of %zu books loaded and indexed in %.2f s\n", server.Catalogue()->Books().size(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - loadStart).count());
    server.Bind();
    std::thread serving([&] { server.Serve(); });
    const auto catalogue = server.Catalogue();
    int32_t real = -1, covered = -1;
    for (size_t i = 0; i < catalogue->Books().size(); ++i) {
        if (catalogue->Books()[i]->FileName == "whiteguard.fb2") real = static_cast<int32_t>(i);
        if (catalogue->Books()[i]->FileName == "image.fb2") covered = static_cast<int32_t>(i);
    }
    // Two words that exist: the first of a title and the last of its author's name.
    const TBookInfo& sample = *catalogue->Books()[catalogue->Books().size() / 3];
    const std::vector<std::string> titleWords = TWordIndex::Words(sample.TitleText());
    const std::vector<std::string> authorWords = TWordIndex::Words(sample.AuthorsText());
    const std::string query = (titleWords.empty() ? std::string() : titleWords.front()) + " " +
                              (authorWords.empty() ? std::string() : authorWords.back());
    // And one common word: the first of the author's name, found in many books.
    const std::string common = authorWords.empty() ? std::string("а") : authorWords.front();
    std::vector<std::string> keys;  // the floor's: every book's text folded once
    for (const TBookInfo* b : catalogue->Books())
        keys.push_back(FilterKey(b->TitleText() + "\n" + b->AuthorsText() + "\n" + b->SeriesText()));
    for (const std::string& q : {query, common}) {
        const size_t found = catalogue->Search(q).size();
        const std::vector<std::string> words = TWordIndex::Words(q);
        const int rounds = 20;
        auto start = std::chrono::steady_clock::now();
        size_t floorFound = 0;
        for (int r = 0; r < rounds; ++r) {
            floorFound = 0;
            for (const std::string& key : keys)
                floorFound += std::all_of(words.begin(), words.end(),
                                          [&](const std::string& w) { return key.find(w) != std::string::npos; });
        }
        const double scan = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / rounds;
        start = std::chrono::steady_clock::now();
        const int queries = 2000;
        size_t sink = 0;
        for (int r = 0; r < queries; ++r)
            sink += catalogue->Search(q).size();
        const double indexed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / queries;
        std::printf(
            "search \"%s\": %zu books (a scan finds %zu, within words too), %.1f us a query; floor (a scan "
            "of every book's folded text) %.1f us; ratio %.4f%s\n",
            AnsiToUtf8(q).c_str(), found, floorFound, indexed * 1e6, scan * 1e6, indexed / scan,
            sink == found * queries ? "" : " (unstable!)");
    }
    const std::vector<std::pair<const char*, std::string>> requests{
        {"root feed", "/opds"},
        {"an author's page", "/opds/author/" + std::to_string(catalogue->Authors().size() / 2)},
        {"a search", "/opds/search?q=" + UrlEncode(AnsiToUtf8(query))},
        {"a common word", "/opds/search?q=" + UrlEncode(AnsiToUtf8(common))},
        {"a cover", "/cover/" + catalogue->BookId(covered)},
        {"a book download", "/download/" + catalogue->BookId(real)},
    };
    for (const auto& [name, path] : requests) {
        for (const int clients : {1, 8}) {
            std::atomic<int64_t> done = 0, failed = 0;
            std::atomic<bool> stop = false;
            std::vector<std::thread> threads;
            const auto start = std::chrono::steady_clock::now();
            for (int c = 0; c < clients; ++c)
                threads.emplace_back([&] {
                    httplib::Client client("127.0.0.1", server.Port());
                    client.set_keep_alive(true);
                    client.set_tcp_nodelay(true);
                    while (!stop) {
                        auto result = client.Get(path);
                        if (result && result->status == 200)
                            ++done;
                        else
                            ++failed;
                    }
                });
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
            stop = true;
            for (std::thread& t : threads)
                t.join();
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%-18s %d client%s: %8.0f requests/s (%lld failed)\n", name, clients, clients > 1 ? "s" : " ",
                        static_cast<double>(done) / elapsed, static_cast<long long>(failed));
        }
    }
    server.Stop();
    serving.join();
    std::filesystem::remove_all(dir);
    return 0;
}
