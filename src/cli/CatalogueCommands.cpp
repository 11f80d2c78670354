#include <filesystem>
#include <ostream>
#include <stdexcept>

#include "catalogue/LibraryLock.h"
#include "catalogue/SVD.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "common/Encoding.h"
#include "common/Error.h"

namespace {

int RunNew(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    CliArgs a(args, {"--force"}, {});
    a.ExpectPositionals(1, 1);
    const std::string lib = Utf8ToAnsi(a.Positionals()[0]);
    const auto lock = LockLibrary(lib, "new");
    std::error_code ec;
    if (!a.Has("--force") && std::filesystem::exists(std::filesystem::symlink_status(a.Positionals()[0], ec)))
        RaiseFixedError(Utf8ToAnsi(a.Positionals()[0] + " exists; new --force replaces it by an empty library"));
    TSVD svd;
    svd.SaveToFile(lib);
    out << "created " << a.Positionals()[0] << "\n";
    return 0;
}

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {"--json"}, {});
    a.ExpectPositionals(1, 1);
    TSVD svd;
    LoadLibrary(svd, Utf8ToAnsi(a.Positionals()[0]), err);
    const TSVDCounts c = svd.Counts();
    const std::pair<const char*, int> counts[] = {
        {"genres", c.Genres}, {"authors", c.Authors},         {"spellings", c.Spellings},
        {"series", c.Series}, {"mountPoints", c.MountPoints}, {"folders", c.Folders},
        {"books", c.Books},   {"lostBooks", c.LostBooks},     {"duplicates", c.Duplicates},
    };
    const char* format = svd.LoadedOldFormat ? "old" : "current";
    if (a.Has("--json")) {
        JsonWriter json;
        json.BeginObject().Key("format").String(format).Key("version").Number(svd.LoadedVersion);
        for (const auto& [key, value] : counts)
            json.Key(key).Number(value);
        out << json.EndObject().Text() << "\n";
    } else {
        const char* labels[] = {"genres",  "authors", "name spellings", "series",         "mount points",
                                "folders", "books",   "lost books",     "duplicate pairs"};
        out << "format: " << format << "\nversion: " << svd.LoadedVersion << "\n";
        for (size_t i = 0; i < std::size(counts); ++i)
            out << labels[i] << ": " << counts[i].second << "\n";
    }
    return 0;
}

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {}, {});
    a.ExpectPositionals(2, 2);
    const auto lock = LockLibrary(Utf8ToAnsi(a.Positionals()[1]), "convert");
    TSVD svd;
    LoadLibrary(svd, Utf8ToAnsi(a.Positionals()[0]), err);
    svd.SaveToFile(Utf8ToAnsi(a.Positionals()[1]));
    out << "converted " << a.Positionals()[0] << " to " << a.Positionals()[1] << "\n";
    return 0;
}

int RunSweep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {}, {"--flags"});
    a.ExpectPositionals(1, 1);
    unsigned flags = kSweepAll;
    if (a.Has("--flags")) {
        const std::string text = a.Value("--flags");
        size_t used = 0;
        int value = -1;
        try {
            value = std::stoi(text, &used);
        } catch (const std::exception&) {
        }
        if (used != text.size() || value < 0 || value > static_cast<int>(kSweepAll))
            throw CliUsageError{"--flags takes 0 to 127"};
        flags = static_cast<unsigned>(value);
    }
    TSVD svd;
    const std::string lib = Utf8ToAnsi(a.Positionals()[0]);
    const auto lock = LockLibrary(lib, "sweep");
    LoadLibrary(svd, lib, err);
    const TSVDCounts before = svd.Counts();
    svd.Sweep(false, flags);
    svd.SaveToFile(lib);
    const TSVDCounts after = svd.Counts();
    out << "authors: " << before.Authors << " -> " << after.Authors << "\n"
        << "name spellings: " << before.Spellings << " -> " << after.Spellings << "\n"
        << "genres: " << before.Genres << " -> " << after.Genres << "\n"
        << "series: " << before.Series << " -> " << after.Series << "\n"
        << "lost books: " << before.LostBooks << " -> " << after.LostBooks << "\n";
    return 0;
}

int RunGenreNames(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {}, {});
    a.ExpectPositionals(1, 1);
    TSVD svd;
    const std::string lib = Utf8ToAnsi(a.Positionals()[0]);
    const auto lock = LockLibrary(lib, "genre-names");
    LoadLibrary(svd, lib, err);
    const int before = svd.Counts().Genres;
    const int added = svd.Genres.MergeBuiltIn(true);
    svd.SaveToFile(lib);
    out << "genres: " << before << " -> " << svd.Counts().Genres << " (" << added << " added or named)\n";
    return 0;
}

}  // namespace

std::vector<CliCommand> CatalogueCommands() {
    return {
        {"new", "new LIB [--force]", "Write an empty library file; an existing file is replaced only with --force.",
         RunNew},
        {"info", "info LIB [--json]", "Show the format, version and counts of a library file.", RunInfo},
        {"convert", "convert IN OUT", "Load a library file of either format and save it in the current format.",
         RunConvert},
        {"sweep", "sweep LIB [--flags N]",
         "Remove unused authors (1), genres (2), series (4), lost books (8), join same-named series (64); "
         "N is their sum, 127 by default. Saves the library.",
         RunSweep},
        {"genre-names", "genre-names LIB",
         "Put the built-in genre tree (groups, Russian and English names) into the library; books of a bare "
         "known code move to the named genre. Saves the library.",
         RunGenreNames},
    };
}
