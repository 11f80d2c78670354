// shelvara-thumbnailer as a file manager runs it: one process a book, started, reading the book,
// writing a PNG and ending. Time a run on corpus books with covers (plain and zipped), beside
// the floor of starting and ending a process that does nothing.
//   bench_thumbnailer [RUNS]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "scan/Packer.h"

namespace {

// Milliseconds a run of the program takes, averaged.
double MsPerRun(const std::vector<std::string>& argv, int runs) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::printf("%s failed (status %d)\n", argv[0].c_str(), status);
            return -1;
        }
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / runs;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench_thumbnailer_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path corpus = std::filesystem::path(SHELVARA_CORPUS) / "fb2/fbreaderj";
    {
        TPacker zip;
        zip.Open(PathToAnsi(dir / "image.fb2.zip"), true);
        zip.AddFile("image.fb2", PathToAnsi(corpus / "image.fb2"), true);
        zip.Close();
    }
    const std::string truePath = "/bin/true";
    const double floor = MsPerRun({truePath}, runs);
    std::printf("floor: a process that does nothing: %.2f ms a run\n", floor);
    for (const std::filesystem::path& book : {corpus / "image.fb2", dir / "image.fb2.zip"}) {
        const double ms = MsPerRun({SHELVARA_THUMBNAILER, "-s", "256", book.string(), (dir / "t.png").string()}, runs);
        std::printf("%-16s %6.2f ms a run (target 50), floor %.2f ms, ratio %.1f\n", book.filename().c_str(), ms, floor,
                    ms / floor);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
