// Writes a generated library file: make_library OUT.sv2 BOOKS [SEED]. For screenshots, manual
// tries of the desktop program and its measured tests.

#include <cstdio>
#include <cstdlib>

#include "LibraryGenerator.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_library OUT.sv2 BOOKS [SEED]\n");
        return 2;
    }
    TSVD svd;
    GenerateLibrary(svd, std::atoi(argv[2]), argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 1);
    svd.SaveToFile(Utf8ToAnsi(argv[1]));
    std::printf("%s: %d books\n", argv[1], svd.Counts().Books);
    return 0;
}
