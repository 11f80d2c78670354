// The INPX import on a generated collection: the time and memory of an import into an empty
// library, and of a second import of the same index (which must add nothing).
//   bench_inpx [BOOKS] [BOOKS_PER_ARCHIVE]   (default 500000 in archives of 1000)
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchUtils.h"
#include "InpxGenerator.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "scan/FolderSync.h"
#include "scan/InpxImport.h"
#include "scan/PackerArchiveAccess.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int books = argc > 1 ? std::atoi(argv[1]) : 500000;
    const int perArchive = argc > 2 ? std::atoi(argv[2]) : 1000;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench_inpx_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto start = std::chrono::steady_clock::now();
    const TInpxFiles files = GenerateInpx(books, perArchive, 42);
    WriteInpx(dir / "collection.inpx", files);
    WriteInpxArchives(dir, files);
    std::printf("generated %d books in %zu archives: %.1f s\n", books, files.Inps.size(), Seconds(start));
    {
        TSVD library;
        library.Packer = std::make_unique<TPackerArchiveAccess>();
        const double before = StatusMb("VmRSS:");
        start = std::chrono::steady_clock::now();
        const TInpxStats first = ImportInpx(library, PathToAnsi(dir / "collection.inpx"), {});
        const double firstSeconds = Seconds(start);
        const double after = StatusMb("VmRSS:");
        std::printf(
            "first import: %.2f s, added %lld, deleted skipped %lld, lost %lld, %.0f bytes a book (RSS %.0f MB "
            "-> %.0f MB), authors %zu\n",
            firstSeconds, static_cast<long long>(first.Added), static_cast<long long>(first.SkippedDeleted),
            static_cast<long long>(first.Lost), (after - before) * 1024 * 1024 / std::max<int64_t>(first.Added, 1),
            before, after, library.Authors.Count());
        start = std::chrono::steady_clock::now();
        const TInpxStats second = ImportInpx(library, PathToAnsi(dir / "collection.inpx"), {});
        std::printf("second import: %.2f s, added %lld, already there %lld\n", Seconds(start),
                    static_cast<long long>(second.Added), static_cast<long long>(second.Existing));
        start = std::chrono::steady_clock::now();
        TSyncStats update;
        Resync(*library.MountPoints[0], true, false, update);
        std::printf(
            "update resynchronisation: %.2f s, refreshed %d, added %d (the members of deleted books), %zu warnings\n",
            Seconds(start), update.Refreshed, update.Added, update.Warnings.size());
        start = std::chrono::steady_clock::now();
        library.SaveToFile(PathToAnsi(dir / "imported.sv2"));
        std::printf("save: %.2f s, %.1f MB\n", Seconds(start),
                    static_cast<double>(std::filesystem::file_size(dir / "imported.sv2")) / (1 << 20));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
