// Times building, saving, loading and freeing synthetic catalogues; prints the figures.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "BenchUtils.h"
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
    // --load FILE BOOKS: loads a library file the way the program opens one, in a process of
    // its own so that its memory is only the library's; prints the load's figures.
    if (argc >= 4 && std::string(argv[1]) == "--load") {
        const int books = std::atoi(argv[3]);
        const double before = StatusMb("VmRSS:");
        auto svd = std::make_unique<TSVD>();
        const double load = Seconds([&] { svd->LoadFromFile(argv[2]); });
        const double perBook = (StatusMb("VmRSS:") - before) * 1024 * 1024 / books;
        // The save of what was loaded, as the program saves it again.
        const std::filesystem::path copy = std::string(argv[2]) + ".saved";
        double records = 0;
        const double save = Seconds([&] {
            TSVDStream stream({}, false);
            records = Seconds([&] { svd->SaveToStream(stream, true); });
            stream.WriteFile(copy);
        });
        const bool same = ReadWholeFile(copy) == ReadWholeFile(argv[2]);
        std::filesystem::remove(copy);
        const double release = Seconds([&] { svd.reset(); });
        std::printf("%10s saved again in %.2f s (%.2f s building the records), %s\n", "", save, records,
                    same ? "the same bytes" : "BYTES DIFFER");
        std::printf("%10s load %.2f s (%.0f books/s), %.0f bytes a book resident, freed in %.2f s\n", "", load,
                    books / load, perBook, release);
        return 0;
    }
    // B/book: the heap the generated library holds, before a save.
    std::printf("%10s %10s %10s %10s %10s %10s %12s\n", "books", "build s", "save s", "file MiB", "sweep s",
                "save book/s", "B/book");
    for (int i = 1; i < argc || i == 1; ++i) {
        const int books = argc > 1 ? std::atoi(argv[i]) : 100'000;
        auto svd = std::make_unique<TSVD>();
        const double before = HeapBytes();
        const double build = Seconds([&] { GenerateLibrary(*svd, books); });
        const double builtPerBook = (HeapBytes() - before) / books;
        // A save as the program makes it: records and pool written to a file, with its sync.
        const std::filesystem::path file = std::filesystem::temp_directory_path() / "shelvara-bench.sv2";
        double records = 0;
        const double save = Seconds([&] {
            TSVDStream stream({}, false);
            records = Seconds([&] { svd->SaveToStream(stream, true); });
            stream.WriteFile(file);
        });
        const double sweep = Seconds([&] { svd->Sweep(true, kSweepAll & ~kSweepLostBooks); });
        std::printf("%10d %10.2f %10.2f %10.1f %10.2f %10.0f %12.0f\n", books, build, save,
                    static_cast<double>(std::filesystem::file_size(file)) / (1 << 20), sweep, books / save,
                    builtPerBook);
        const TSVDCounts counts = svd->Counts();
        std::printf("%10s %d authors with %d spellings, %d series, %d folders\n", "", counts.Authors, counts.Spellings,
                    counts.Series, counts.Folders);
        std::printf("%10s of the save: %.2f s building the records, %.2f s writing and syncing the file\n", "", records,
                    save - records);
        svd.reset();
        malloc_trim(0);  // the load's process gets the memory this one freed
        std::fflush(stdout);
        const std::string command = std::string(argv[0]) + " --load " + file.string() + " " + std::to_string(books);
        if (std::system(command.c_str()) != 0) std::printf("%10s the load failed\n", "");
        std::filesystem::remove(file);
        if (argc <= 1) break;
    }
    return 0;
}
