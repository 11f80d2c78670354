// Times building, saving, loading and freeing synthetic catalogues; prints the figures.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "LibraryGenerator.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/FileUtils.h"

namespace {

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Resident memory now, from /proc.
long ResidentKiB() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

}  // namespace

int main(int argc, char** argv) {
    // --write FILE [BOOKS]: only writes a synthetic library file (seeds for the fuzzer).
    if (argc >= 3 && std::string(argv[1]) == "--write") {
        TSVD svd;
        GenerateLibrary(svd, argc > 3 ? std::atoi(argv[3]) : 30);
        svd.Authors.Author(0)->AddSynonym(TAuthorInfo::kFirst, "synonym");
        svd.AddLostBook()->Assign(*svd.MountPoints[0]->Folder(0)->Book(0));
        svd.Duplicates.push_back(
            {svd.MountPoints[0]->Folder(0)->Book(0), svd.MountPoints[0]->Folder(0)->Book(1), 60000});
        return svd.SaveToFile(argv[2]) ? 0 : 1;
    }
    std::printf("%10s %10s %10s %10s %10s %10s %10s %12s %12s %10s\n", "books", "build s", "save s", "file MiB",
                "load s", "free s", "sweep s", "save book/s", "load book/s", "B/book");
    for (int i = 1; i < argc || i == 1; ++i) {
        const int books = argc > 1 ? std::atoi(argv[i]) : 100'000;
        auto svd = std::make_unique<TSVD>();
        const long before = ResidentKiB();
        const double build = Seconds([&] { GenerateLibrary(*svd, books); });
        const double perBook = static_cast<double>(ResidentKiB() - before) * 1024.0 / books;
        // A save as the program makes it: records and pool written to a file, with its sync.
        const std::filesystem::path file = std::filesystem::temp_directory_path() / "shelvara-bench.sv2";
        double records = 0;
        const double save = Seconds([&] {
            TSVDStream stream({}, false);
            records = Seconds([&] { svd->SaveToStream(stream, true); });
            stream.WriteFile(file);
        });
        std::vector<uint8_t> image = ReadWholeFile(file);
        std::filesystem::remove(file);
        const double sweep = Seconds([&] { svd->Sweep(true, kSweepAll & ~kSweepLostBooks); });
        auto loaded = std::make_unique<TSVD>();
        const double load = Seconds([&] { loaded->LoadFromStream(*TSVDStream::FromBytes(image)); });
        const double release = Seconds([&] { loaded.reset(); });
        std::printf("%10d %10.2f %10.2f %10.1f %10.2f %10.2f %10.2f %12.0f %12.0f %10.0f\n", books, build, save,
                    static_cast<double>(image.size()) / (1 << 20), load, release, sweep, books / save, books / load,
                    perBook);
        std::printf("%10s of the save: %.2f s building the records, %.2f s writing and syncing the file\n", "", records,
                    save - records);
        if (argc <= 1) break;
    }
    return 0;
}
