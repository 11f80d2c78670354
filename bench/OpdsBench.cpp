// The OPDS server on a generated 100,000-book library (and one real book to download): requests
// a second for the root feed, an author's page, a search and a download, with 1 and 8
// concurrent clients on loopback, each run bounded in time.
//   bench_opds [BOOKS] [SECONDS_PER_RUN]
#include <httplib.h>
#include <unistd.h>

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
#include "opds/OpdsCatalogue.h"
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
    int32_t real = -1;
    for (size_t i = 0; i < server.Catalogue()->Books().size(); ++i)
        if (server.Catalogue()->Books()[i]->FileName == "whiteguard.fb2") real = static_cast<int32_t>(i);
    const std::vector<std::pair<const char*, std::string>> requests{
        {"root feed", "/opds"},
        {"an author's page", "/opds/author/" + std::to_string(server.Catalogue()->Authors().size() / 2)},
        {"a search", "/opds/search?q=%D0%BB%D0%B5%D1%81"},
        {"a book download", "/download/" + std::to_string(real)},
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
