#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "catalogue/LibraryLock.h"
#include "catalogue/ListObjects.h"
#include "catalogue/SVD.h"
#include "cli/BookExport.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/Progress.h"
#include "common/TextUtils.h"
#include "scan/FolderSync.h"
#include "scan/InpxImport.h"
#include "scan/Packing.h"
#include "scan/Resync.h"

namespace {

// Ambiguous author names: the first candidate, told on stderr.
class FirstCandidate final : public IAuthorChooser {
public:
    explicit FirstCandidate(std::ostream& err) : err_(err) {}
    TAuthorName* ChooseAuthor(TBookInfo& book, uint8_t, const std::vector<TAuthorName*>& candidates,
                              const std::string& nameRead) override {
        err_ << "shelvara-cli: " << Utf8(book.FullPath()) << ": several authors match, took "
             << Utf8(candidates[0]->DisplayName()) << " for " << Utf8(nameRead) << "\n";
        return candidates[0];
    }

private:
    std::ostream& err_;
};

// Files done on the terminal, and the stop request of Ctrl+C.
class TerminalProgress final : public IProgressSink {
public:
    TerminalProgress(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}
    void Progress(int64_t done, int64_t total, const std::string&) override {
        if (terminal_ && total > 0 && (done % 50 == 0 || done == total))
            err_ << "\r" << done << "/" << total << " files" << std::flush;
    }
    bool Cancelled() const override { return StopRequest().Cancelled(); }

private:
    std::ostream& err_;
    bool terminal_;
};

// Warnings, offline mount points and a stop, as the end of a run tells them.
void ReportRun(const char* command, const TSyncStats& stats, std::ostream& err) {
    for (const std::string& w : stats.Warnings)
        err << "shelvara-cli " << command << ": warning: " << w << "\n";
    for (const std::string& path : stats.Offline)
        err << "shelvara-cli " << command << ": offline, books kept: " << path << "\n";
    if (stats.Cancelled) err << "shelvara-cli " << command << ": stopped on request; what was done is saved\n";
}

// 1 when a mount point was offline or the run was stopped, so that scripts notice.
int RunStatus(const TSyncStats& stats) {
    return stats.Offline.empty() && !stats.Cancelled ? 0 : 1;
}

// A library that books are added to: the archive reader attached, ambiguous authors settled by
// the chooser. Only a missing file starts a new library; one that cannot be read stops the command.
void OpenForAdding(TSVD& svd, const std::string& lib, FirstCandidate& chooser, std::ostream& err) {
    AttachArchiveReader(svd);
    svd.AuthorChooser = &chooser;
    std::error_code exists;
    if (std::filesystem::exists(std::filesystem::symlink_status(AnsiToPath(lib), exists)))
        LoadLibrary(svd, lib, err);
    else
        svd.FileName = lib;  // so that a scan knows the library's own files, its lock already among them
}

int RunScan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {}, {});
    a.ExpectPositionals(2, SIZE_MAX);
    const auto start = std::chrono::steady_clock::now();
    const std::string lib = Utf8ToAnsi(a.Positionals()[0]);
    const auto lock = LockLibrary(lib, "scan");
    TSVD svd;
    FirstCandidate chooser(err);
    OpenForAdding(svd, lib, chooser, err);
    const bool terminal = ::isatty(2);
    TSyncStats stats;
    TerminalProgress progress(err, terminal);
    for (size_t i = 1; i < a.Positionals().size() && !stats.Cancelled; ++i) {
        const std::string path = TypedPath(a.Positionals()[i]);
        if (!std::filesystem::is_directory(AnsiToPath(path)))
            RaiseFixedError(Utf8ToAnsi("not a folder: " + a.Positionals()[i]));
        // A real folder was named: the catalogue folder of exactly that path, no other spelling.
        TBookFolder* folder = svd.FindFolder(path, false);
        if (!folder) folder = svd.AddMountPoint(path);
        if (!folder) RaiseError(rsErrInvalidMP);
        Resync(*folder, true, true, stats, &progress);
        if (terminal) err << "\n";
    }
    svd.SaveToFile(lib);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ReportRun("scan", stats, err);
    char summary[160];
    std::snprintf(summary, sizeof summary, "books added %d, refreshed %d, recovered %d, lost %d, errors %zu, %.1f s\n",
                  stats.Added, stats.Refreshed, stats.Recovered, stats.Lost, stats.Warnings.size(), seconds);
    out << summary;
    return RunStatus(stats);
}

int RunImportInpx(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {"--include-deleted"}, {"--root", "--lang"});
    a.ExpectPositionals(2, 2);
    const auto start = std::chrono::steady_clock::now();
    const std::string lib = Utf8ToAnsi(a.Positionals()[0]);
    TInpxOptions options;
    options.IncludeDeleted = a.Has("--include-deleted");
    if (a.Has("--root")) {
        options.Root = TypedPath(a.Value("--root"));
        if (!std::filesystem::is_directory(AnsiToPath(options.Root)))
            RaiseFixedError(Utf8ToAnsi("not a folder: " + a.Value("--root")));
    }
    for (const std::string& list : a.Values("--lang"))
        for (size_t from = 0; from <= list.size();) {
            size_t comma = list.find(',', from);
            if (comma == std::string::npos) comma = list.size();
            if (comma > from) options.Languages.push_back(Utf8ToAnsi(list.substr(from, comma - from)));
            from = comma + 1;
        }
    const std::string inpx = TypedPath(a.Positionals()[1]);
    const auto lock = LockLibrary(lib, "import-inpx");
    TSVD svd;
    FirstCandidate chooser(err);
    OpenForAdding(svd, lib, chooser, err);
    TerminalProgress progress(err, ::isatty(2));
    const TInpxStats stats = ImportInpx(svd, inpx, options, &progress);
    if (::isatty(2)) err << "\n";
    for (const std::string& w : stats.Warnings)
        err << "shelvara-cli import-inpx: warning: " << w << "\n";
    svd.SaveToFile(lib);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (stats.Cancelled) err << "shelvara-cli import-inpx: stopped on request; what was done is saved\n";
    char summary[320];
    std::snprintf(summary, sizeof summary,
                  "books added %lld, already there %lld, deleted skipped %lld, other languages %lld, marked deleted "
                  "%lld, no longer deleted %lld, descriptions updated %lld, lost %lld, %.1f s\n",
                  static_cast<long long>(stats.Added), static_cast<long long>(stats.Existing),
                  static_cast<long long>(stats.SkippedDeleted), static_cast<long long>(stats.SkippedLanguage),
                  static_cast<long long>(stats.MarkedDeleted), static_cast<long long>(stats.Undeleted),
                  static_cast<long long>(stats.Updated), static_cast<long long>(stats.Lost), seconds);
    out << stats.Collection << ": " << summary;
    if (stats.Refused > 0) err << "shelvara-cli import-inpx: " << stats.Refused << " line(s) refused, named above\n";
    return stats.Cancelled || stats.Refused > 0 ? 1 : 0;
}

template <typename Node, typename Row>
void AddTreeRows(const Node& node, TObjList& rows) {
    for (size_t i = 0; i < node.Count(); ++i) {
        rows.Add(std::make_unique<Row>(node.Child(i)));
        AddTreeRows<Node, Row>(*node.Child(i), rows);
    }
}

// The grid's filter: authors and books search all their columns; genres and series any column.
bool RowMatches(const TListObject& row, bool everyColumn, const std::string& text) {
    if (!everyColumn) return row.Matches(-1, 1, text);
    for (int c = 0; c < row.ColumnCount(); ++c)
        if (row.Matches(c, 1, text)) return true;
    return false;
}

int SortColumn(const TRowClass& rowClass, const std::string& name) {
    if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
        const int column = std::atoi(name.c_str());
        if (column < rowClass.ColumnCount()) return column;
    }
    // A caption typed in Cyrillic finds one stored with a Latin look-alike letter, and back.
    const std::string caption = FoldLookAlikes(Utf8ToAnsi(name));
    for (int c = 0; c < rowClass.ColumnCount(); ++c)
        if (AnsiSameText(FoldLookAlikes(TrimBlanks(rowClass.ColumnCaption(c))), caption)) return c;
    throw CliUsageError{"--sort takes a column number or caption"};
}

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {"--json", "--desc", "--deleted"}, {"--filter", "--sort"});
    a.ExpectPositionals(2, 2);
    const std::string what = a.Positionals()[1];
    TSVD svd;
    LoadLibrary(svd, Utf8ToAnsi(a.Positionals()[0]), err);
    TObjList rows;
    if (what == "books") {
        rows.RowClass = &TBookListObject::Class;
        TBookCollection books;
        for (const auto& mp : svd.MountPoints)
            mp->CollectBooks(books, true);
        for (TBookInfo* book : books.Books())
            if (a.Has("--deleted") || !IsInpxDeleted(*book)) rows.Add(std::make_unique<TBookListObject>(book));
    } else if (what == "lost") {
        rows.RowClass = &TBookListObject::Class;
        for (const auto& book : svd.LostBooks)
            rows.Add(std::make_unique<TBookListObject>(book.get()));
    } else if (what == "authors") {
        rows.RowClass = &TAuthorListObject::Class;
        for (size_t i = 0; i < svd.Authors.Count(); ++i)
            rows.Add(std::make_unique<TAuthorListObject>(svd.Authors.Author(i)));
    } else if (what == "series") {
        rows.RowClass = &TSequenceListObject::Class;
        AddTreeRows<TBookSequence, TSequenceListObject>(svd.Sequences, rows);
    } else if (what == "genres") {
        rows.RowClass = &TGenreListObject::Class;
        AddTreeRows<TBookGenre, TGenreListObject>(svd.Genres, rows);
    } else {
        throw CliUsageError{"list takes authors, series, genres, books or lost"};
    }
    const bool everyColumn = what == "series" || what == "genres";
    if (a.Has("--filter")) {
        const std::string text = Utf8ToAnsi(a.Value("--filter"));
        rows.RemoveIf([&](const TListObject* row) { return !RowMatches(*row, everyColumn, text); });
    }
    if (a.Has("--sort")) {
        TRowOrder order;
        order.SortColumn = SortColumn(*rows.RowClass, a.Value("--sort"));
        order.Descending = a.Has("--desc");
        for (int c = 0; c < rows.RowClass->ColumnCount(); ++c)
            order.Columns.push_back(c);
        rows.Sort([&](const TListObject* x, const TListObject* y) { return CompareRows(*x, *y, order); });
    }

    const bool bookRows = what == "books" || what == "lost";
    JsonWriter json;
    json.BeginArray();
    if (!a.Has("--json")) {
        for (int c = 0; c < rows.RowClass->ColumnCount(); ++c)
            out << (c ? "\t" : "") << Utf8(TrimBlanks(rows.RowClass->ColumnCaption(c)));
        out << "\n";
    }
    for (int i = 0; i < rows.Count(); ++i) {
        const TListObject& row = *rows.Get(i);
        if (a.Has("--json") && bookRows) {
            TBookExport::Of(*static_cast<const TBookListObject&>(row).Book).WriteJson(json);
        } else if (a.Has("--json")) {
            json.BeginObject();
            for (int c = 0; c < row.ColumnCount(); ++c) {
                const TCellValue v = row.GetValue(c);
                json.Key(Utf8(TrimBlanks(row.ColumnCaption(c))));
                if (v.Kind == kValueInteger)
                    json.Number(v.Number);
                else
                    json.String(Utf8(CellText(v)));
            }
            json.EndObject();
        } else {
            for (int c = 0; c < row.ColumnCount(); ++c)
                out << (c ? "\t" : "") << Utf8(CellText(row.GetValue(c)));
            out << "\n";
        }
    }
    json.EndArray();
    if (a.Has("--json")) out << json.Text() << "\n";
    return 0;
}

int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {"--csv", "--json"}, {"--filter"});
    a.ExpectPositionals(1, 1);
    if (a.Has("--csv") == a.Has("--json")) throw CliUsageError{"export takes one of --csv and --json"};
    TSVD svd;
    LoadLibrary(svd, Utf8ToAnsi(a.Positionals()[0]), err);
    TBookCollection books;
    for (const auto& mp : svd.MountPoints)
        mp->CollectBooks(books, true);
    const std::string filter = Utf8ToAnsi(a.Value("--filter"));
    JsonWriter json;
    json.BeginArray();
    if (a.Has("--csv")) TBookExport::WriteCsvHeader(out);
    for (TBookInfo* book : books.Books()) {
        if (!filter.empty() && !RowMatches(TBookListObject(book), false, filter)) continue;
        const TBookExport fields = TBookExport::Of(*book);
        if (a.Has("--csv"))
            fields.WriteCsv(out);
        else
            fields.WriteJson(json);
    }
    if (a.Has("--json")) out << json.EndArray().Text() << "\n";
    return 0;
}

int RunResync(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {}, {"--mode"});
    a.ExpectPositionals(1, 2);
    const std::string modeName = a.Value("--mode", "full");
    TResyncMode mode;
    if (modeName == "lost")
        mode = TResyncMode::RemoveLost;
    else if (modeName == "update")
        mode = TResyncMode::Update;
    else if (modeName == "full")
        mode = TResyncMode::Full;
    else
        throw CliUsageError{"--mode takes lost, update or full"};
    const std::string lib = Utf8ToAnsi(a.Positionals()[0]);
    const auto lock = LockLibrary(lib, "resync");
    TSVD svd;
    AttachArchiveReader(svd);
    FirstCandidate chooser(err);
    svd.AuthorChooser = &chooser;
    LoadLibrary(svd, lib, err);
    std::vector<TBookFolder*> folders;
    if (a.Positionals().size() > 1) {
        TBookFolder* folder = svd.FindFolder(TypedPath(a.Positionals()[1]));
        if (!folder) RaiseFixedError(Utf8ToAnsi("no such catalogue folder: " + a.Positionals()[1]));
        folders.push_back(folder);
    } else {
        for (const auto& mp : svd.MountPoints)
            folders.push_back(mp.get());
    }
    TSyncStats total;
    for (TBookFolder* folder : folders) {
        if (total.Cancelled) break;
        total.Merge(TResyncThread::ResyncFolder(*folder, mode, nullptr, &StopRequest()));
        if (!total.Fatal.empty()) RaiseFixedError(Utf8ToAnsi(total.Fatal));
    }
    svd.SaveToFile(lib);
    ReportRun("resync", total, err);
    out << "books added " << total.Added << ", refreshed " << total.Refreshed << ", recovered " << total.Recovered
        << ", lost " << total.Lost << ", errors " << total.Warnings.size() << "\n";
    return RunStatus(total);
}

int RunPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {}, {});
    a.ExpectPositionals(2, SIZE_MAX);
    const std::string lib = Utf8ToAnsi(a.Positionals()[0]);
    const auto lock = LockLibrary(lib, "pack");
    TSVD svd;
    AttachArchiveReader(svd);
    LoadLibrary(svd, lib, err);
    std::vector<TBookInfo*> books;
    for (size_t i = 1; i < a.Positionals().size(); ++i) {
        TBookInfo* book = svd.FindBook(TypedPath(a.Positionals()[i]));
        if (!book) RaiseFixedError(Utf8ToAnsi("no such book in the library: " + a.Positionals()[i]));
        books.push_back(book);
    }
    std::vector<std::string> warnings;
    const std::vector<TBookInfo*> packed = PackBooks(books, warnings, &StopRequest());
    svd.SaveToFile(lib);
    for (const std::string& w : warnings)
        err << "shelvara-cli pack: warning: " << w << "\n";
    for (const TBookInfo* book : packed)
        out << "packed " << Utf8(book->FullPath()) << "/" << Utf8(book->EntryName) << "\n";
    return warnings.empty() ? 0 : 1;
}

}  // namespace

std::vector<CliCommand> ScanCommands() {
    return {
        {"scan", "scan LIB DIR...",
         "Add each folder as a mount point (LIB is created when missing), read every book in it and in its ZIP "
         "archives, and save.",
         RunScan},
        {"import-inpx", "import-inpx LIB COLLECTION.inpx [--root FOLDER] [--include-deleted] [--lang CODE,...]",
         "Add the books an INPX index describes (LIB is created when missing): its archives, found in FOLDER (default: "
         "the INPX file's folder), become a mount point named after the collection. Books already there are kept; "
         "those the index deletes are marked. --lang keeps only books in these languages (repeatable). Saves the "
         "library.",
         RunImportInpx},
        {"resync", "resync LIB [--mode lost|update|full] [FOLDER]",
         "Bring the library (or one catalogue folder) in step with the disk: drop lost books only, also read new "
         "and changed files, or also rebuild every book's description (full, the default). Saves the library.",
         RunResync},
        {"list",
         "list LIB authors|series|genres|books|lost [--filter TEXT] [--sort COLUMN [--desc]] [--deleted] [--json]",
         "List the rows a catalogue grid shows: every column (a header line first), or with --json one array. "
         "--filter keeps the rows the grid's filter keeps; --sort orders by a column number or caption (--desc: "
         "descending). Books an imported collection's index deletes are left out unless --deleted. Books "
         "and lost books as JSON give the fields export writes.",
         RunList},
        {"export", "export LIB --csv|--json [--filter TEXT]",
         "Write every book of the library (those the filter keeps) with path, entry, title, authors, translators, "
         "series, genres, lang, publisher, isbn, year, annotation, keywords, added and read dates, size and crc: "
         "CSV with a header row, or one JSON array, in UTF-8 on standard output.",
         RunExport},
        {"pack", "pack LIB BOOKPATH...",
         "Pack each book into its own ZIP archive next to it; the file goes only once the archive is written.",
         RunPack},
    };
}
