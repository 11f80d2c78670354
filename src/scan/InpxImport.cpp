#include "scan/InpxImport.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/AuthorName.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookImport.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/PublishInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/TitleInfo.h"
#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "fb2/FBParser.h"
#include "fb2/Recoder.h"
#include "scan/Packer.h"

namespace {

// The fields of an INPX line that the import uses, as structure.info names them (engine text).
struct TInpxRecord {
    std::string Authors;  // "Last,First,Middle:" repeated
    std::string Genres;   // "code:" repeated
    std::string Title, Series, SerNo, File, Size, LibId, Del, Ext, Date, Lang, Keywords, Folder;
};

constexpr size_t kMaxField = 64 * 1024;
constexpr size_t kBatch = 2000;  // books added under one hold of the catalogue lock

enum TField {
    fAuthor,
    fGenre,
    fTitle,
    fSeries,
    fSerNo,
    fFile,
    fSize,
    fLibId,
    fDel,
    fExt,
    fDate,
    fLang,
    fKeywords,
    fFolder
};
constexpr int kFieldCount = fFolder + 1;
using TFields = std::array<std::string_view, kFieldCount>;

const char* const kDefaultStructure = "AUTHOR;GENRE;TITLE;SERIES;SERNO;FILE;SIZE;LIBID;DEL;EXT;DATE;";

int FieldOf(std::string_view name) {
    static const std::pair<const char*, int> names[] = {
        {"AUTHOR", fAuthor}, {"GENRE", fGenre}, {"TITLE", fTitle},       {"SERIES", fSeries}, {"SERNO", fSerNo},
        {"FILE", fFile},     {"SIZE", fSize},   {"LIBID", fLibId},       {"DEL", fDel},       {"EXT", fExt},
        {"DATE", fDate},     {"LANG", fLang},   {"KEYWORDS", fKeywords}, {"FOLDER", fFolder}};
    for (const auto& [n, f] : names)
        if (AnsiSameText(std::string(name), n)) return f;
    return -1;  // a field the import does not use (LIBRATE, INSNO...)
}

std::string* Slot(TInpxRecord& r, int field) {
    switch (field) {
        case fAuthor:
            return &r.Authors;
        case fGenre:
            return &r.Genres;
        case fTitle:
            return &r.Title;
        case fSeries:
            return &r.Series;
        case fSerNo:
            return &r.SerNo;
        case fFile:
            return &r.File;
        case fSize:
            return &r.Size;
        case fLibId:
            return &r.LibId;
        case fDel:
            return &r.Del;
        case fExt:
            return &r.Ext;
        case fDate:
            return &r.Date;
        case fLang:
            return &r.Lang;
        case fKeywords:
            return &r.Keywords;
        case fFolder:
            return &r.Folder;
        default:
            return nullptr;
    }
}

std::string FirstLine(const std::vector<uint8_t>& bytes, size_t index) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    for (size_t i = 0; i < index && !text.empty(); ++i) {
        const size_t end = text.find('\n');
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    const size_t end = text.find_first_of("\r\n");
    const std::string line(text.substr(0, end));
    return IsValidUtf8(line) ? Utf8ToAnsi(line) : line;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The INPX archive with its .inp members and the field order.
class TInpxFile final {
public:
    explicit TInpxFile(const std::string& file) : file_(file) {
        // An INPX is a ZIP under another extension: opened from its bytes.
        std::vector<uint8_t> bytes;
        try {
            bytes = ReadWholeFile(AnsiToPath(file));
        } catch (const EShelvaraError& e) {
            RaiseFixedError(file + ": " + e.what());
        }
        if (!packer_.OpenBytes(std::move(bytes), file)) RaiseFixedError(file + ": not a readable INPX (ZIP) file");
        std::vector<TArcFileInfoRec> members;
        try {
            members = packer_.List();
        } catch (const EShelvaraError& e) {
            RaiseFixedError(file + ": the INPX archive is damaged: " + e.what());
        }
        std::string structure = kDefaultStructure;
        for (const TArcFileInfoRec& m : members) {
            const std::string name = BaseName(m.Path);
            if (AnsiSameText(name, "collection.info")) {
                Collection = FirstLine(packer_.Extract(m.Path), 0);
            } else if (AnsiSameText(name, "version.info")) {
                Version = FirstLine(packer_.Extract(m.Path), 0);
            } else if (AnsiSameText(name, "structure.info")) {
                structure = FirstLine(packer_.Extract(m.Path), 0);
            } else if (name.size() > 4 && AnsiSameText(name.substr(name.size() - 4), ".inp")) {
                Inps.push_back(m.Path);
            }
        }
        if (Inps.empty()) RaiseFixedError(file + ": the INPX file holds no .inp files");
        for (size_t start = 0; start < structure.size();) {
            size_t end = structure.find(';', start);
            if (end == std::string::npos) end = structure.size();
            const std::string name = TrimBlanks(structure.substr(start, end - start));
            if (!name.empty()) fields_.push_back(FieldOf(name));
            start = end + 1;
        }
        if (Collection.empty()) Collection = BaseName(file);
    }

    std::string Collection, Version;
    std::vector<std::string> Inps;

    // The text of one .inp as UTF-8: without a byte order mark, and converted when the file is
    // not UTF-8 (some collections write Windows-1251).
    std::vector<uint8_t> Bytes(size_t inp) {
        std::vector<uint8_t> bytes;
        try {
            bytes = packer_.Extract(Inps[inp]);
        } catch (const EShelvaraError& e) {
            RaiseFixedError(file_ + ": " + Inps[inp] + ": " + e.what());
        }
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const bool bom = text.substr(0, 3) == "\xEF\xBB\xBF";
        if (bom) text.remove_prefix(3);
        if (IsValidUtf8(text)) {
            if (bom) bytes.erase(bytes.begin(), bytes.begin() + 3);
            return bytes;
        }
        std::string utf8;
        utf8.reserve(text.size() * 2);
        for (const char c : text)
            if (const char32_t cp = AnsiCharToUnicode(static_cast<uint8_t>(c)); cp != 0)
                AppendUtf8(utf8, cp);
            else
                utf8 += '?';  // the one byte Windows-1251 leaves unassigned
        return std::vector<uint8_t>(utf8.begin(), utf8.end());
    }

    // Calls visit(fields, line number) for each book line of an .inp, the fields as UTF-8 views
    // in TField order (absent ones empty); raises naming the .inp and the line for what no index may hold.
    // validate false skips the checks of lines read (and checked) before.
    template <typename Visit>
    void Lines(size_t inp, const std::vector<uint8_t>& bytes, Visit&& visit, bool validate = true) const {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        size_t line = 0;
        std::array<std::string_view, kFieldCount> fields;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view row = text.substr(start, end - start);
            start = end + 1;
            ++line;
            if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
            if (row.empty()) continue;
            auto fail = [&](const std::string& why) {
                RaiseFixedError(Inps[inp] + ", line " + std::to_string(line) + ": " + why);
            };
            if (validate && row.find('\x04') == std::string_view::npos)
                fail("no field separators (byte 0x04); not an INPX line");
            if (validate && !IsValidUtf8(row)) fail("the text is not UTF-8");
            fields.fill({});
            size_t field = 0;
            for (size_t at = 0; at <= row.size() && field < fields_.size(); ++field) {
                size_t stop = row.find('\x04', at);
                if (stop == std::string_view::npos) stop = row.size();
                if (validate && stop - at > kMaxField) fail("a field is longer than 64 KiB");
                if (fields_[field] >= 0) fields[static_cast<size_t>(fields_[field])] = row.substr(at, stop - at);
                at = stop + 1;
            }
            visit(fields, line);
        }
    }

private:
    std::string file_;
    TPacker packer_;
    std::vector<int> fields_;
};

// The members of an archive with their sizes: path -> size. The directory alone is read when
// that is enough; false when the archive is missing or unreadable.
bool ArchiveDirectory(const std::string& path, std::unordered_map<std::string, int64_t>& members) {
    members.clear();
    std::vector<TArcFileInfoRec> listed;
    if (!TPacker::ListFile(path, listed)) {
        TPacker packer;
        try {
            if (!packer.Open(path, false)) return false;
            listed = packer.List();
        } catch (const EShelvaraError&) {
            return false;
        }
    }
    members.reserve(listed.size());
    for (const TArcFileInfoRec& member : listed)
        members.emplace(member.Path, member.Size);
    return true;
}

// Builds a title-info element for the import, so that an index line goes through the same
// matching of authors, series and genres as a book's own description.
class TTitleBuilder final {
public:
    TTitleBuilder() {
        description_ = doc_.CreateChild("description");
        if (!description_) RaiseFixedError("FB parsing Error!");
        description_->Children.push_back(description_->CreateChild("title-info"));
        title_ = description_->Children.back().get();
        if (!title_) RaiseFixedError("FB parsing Error!");
    }

    const TSimpleType& Build(const TInpxRecord& r) {
        title_->Children.clear();
        for (size_t start = 0; start < r.Genres.size();) {
            size_t end = r.Genres.find(':', start);
            if (end == std::string::npos) end = r.Genres.size();
            const std::string code = TrimBlanks(r.Genres.substr(start, end - start));
            if (!code.empty()) Add(*title_, "genre", code);
            start = end + 1;
        }
        for (size_t start = 0; start < r.Authors.size();) {
            size_t end = r.Authors.find(':', start);
            if (end == std::string::npos) end = r.Authors.size();
            AddAuthor(r.Authors.substr(start, end - start));
            start = end + 1;
        }
        Add(*title_, "book-title", r.Title);
        if (!r.Keywords.empty()) Add(*title_, "keywords", r.Keywords);
        if (!r.Lang.empty()) Add(*title_, "lang", r.Lang);
        if (!TrimBlanks(r.Series).empty())
            if (TSimpleType* s = Add(*title_, "sequence", {})) {
                s->Attributes.emplace_back("name", r.Series);
                if (!TrimBlanks(r.SerNo).empty()) s->Attributes.emplace_back("number", TrimBlanks(r.SerNo));
            }
        return *title_;
    }

private:
    TSimpleType* Add(TSimpleType& parent, const char* tag, const std::string& text) {
        std::unique_ptr<TSimpleType> node = parent.CreateChild(tag);
        if (!node) return nullptr;
        if (!text.empty()) node->SetText(text);
        parent.Children.push_back(std::move(node));
        return parent.Children.back().get();
    }

    void AddAuthor(const std::string& entry) {
        std::string parts[3];
        size_t part = 0;
        for (char c : entry) {
            if (c == ',' && part < 2)
                ++part;
            else
                parts[part] += c;
        }
        for (std::string& p : parts)
            p = TrimBlanks(p);
        if (parts[0].empty() && parts[1].empty() && parts[2].empty()) return;
        TSimpleType* author = Add(*title_, "author", {});
        if (!author) return;
        if (!parts[1].empty()) Add(*author, "first-name", parts[1]);
        if (!parts[2].empty()) Add(*author, "middle-name", parts[2]);
        if (!parts[0].empty()) Add(*author, "last-name", parts[0]);
    }

    TFictionBook doc_;
    std::unique_ptr<TSimpleType> description_;
    TSimpleType* title_ = nullptr;
};

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<uint8_t>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<uint8_t>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

// Appends UTF-8 text as engine text; plain ASCII (file names of collections) as it is.
void AppendAnsi(std::string& out, std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; }))
        out.append(utf8);
    else
        out += Utf8ToAnsi(utf8);
}

// A book whose language the index does not give is not filtered out.
bool Wanted(const std::vector<std::string>& languages, const std::string& lang) {
    if (languages.empty() || lang.empty()) return true;
    return std::any_of(languages.begin(), languages.end(), [&](const std::string& l) { return AnsiSameText(l, lang); });
}

// Sets or clears the deleted mark; true when it changed.
bool MarkDeleted(TBookInfo& book, bool deleted) {
    if (!deleted && !book.PublishInfo) return false;
    TTextList& custom = book.EnsurePublishInfo().CustomInfo;
    const auto it = std::find(custom.begin(), custom.end(), kInpxDeletedMark);
    if ((it != custom.end()) == deleted) return false;
    if (deleted)
        custom.push_back(kInpxDeletedMark);
    else
        custom.erase(it);
    book.NotifyChanged();
    return true;
}

// A description's text as a scan reads it from a book: characters Windows-1251 lacks folded
// (ë as e), so that a book imported and the same book scanned agree. File names are not
// folded: they must name their files.
std::string FoldedAnsi(std::string_view utf8) {
    std::string text(utf8);
    text.push_back('\0');
    Utf8ToAnsiInPlace(text.data());
    text.resize(std::strlen(text.c_str()));
    return text;
}

// Whether an index line describes a book otherwise than the library does: its title, its
// series and number, or its authors' last names.
bool DescribedOtherwise(const TBookInfo& book, const TInpxRecord& r) {
    const TTitleInfo* info = book.TitleInfo.get();
    if (!info) return true;
    if (TrimBlanks(info->Titles.empty() ? std::string() : std::string(info->Titles[0])) != TrimBlanks(r.Title))
        return true;
    const std::string series = TrimBlanks(r.Series);
    const bool hasSeries = !info->Sequences.empty() && info->Sequences.front().Sequence;
    if (hasSeries != !series.empty()) return true;
    if (hasSeries) {
        int32_t number = 0;
        TextToInt(TrimBlanks(r.SerNo), number);
        const std::vector<std::string>& names = info->Sequences.front().Sequence->Names();
        if (std::find(names.begin(), names.end(), series) == names.end() || info->Sequences.front().Number != number)
            return true;
    }
    std::vector<std::string> lastNames;
    for (size_t start = 0; start < r.Authors.size();) {
        size_t end = r.Authors.find(':', start);
        if (end == std::string::npos) end = r.Authors.size();
        const std::string entry = r.Authors.substr(start, end - start);
        const std::string last = TrimBlanks(entry.substr(0, entry.find(',')));
        if (!last.empty()) lastNames.push_back(last);
        start = end + 1;
    }
    std::vector<std::string> have;
    for (const TAuthorName* a : info->Authors)
        if (!TrimBlanks(a->LastName()).empty()) have.push_back(TrimBlanks(a->LastName()));
    return have != lastNames;
}

}  // namespace

bool IsInpxCollection(const TBookFolder& mountPoint) {
    return mountPoint.Description.rfind(kInpxDescriptionPrefix, 0) == 0;
}

bool IsInpxDeleted(const TBookInfo& book) {
    if (!book.PublishInfo) return false;
    const TTextList& custom = book.PublishInfo->CustomInfo;
    return std::find(custom.begin(), custom.end(), kInpxDeletedMark) != custom.end();
}

std::string InpxDescription(const std::string& collection, const std::string& version) {
    std::string text = kInpxDescriptionPrefix + collection;
    if (!version.empty()) text += std::string("\n") + kInpxVersionPrefix + version;
    return text;
}

std::string InpxVersion(const TBookFolder& mountPoint) {
    const std::string& text = mountPoint.Description;
    const std::string prefix = std::string("\n") + kInpxVersionPrefix;
    const size_t at = text.find(prefix);
    if (at == std::string::npos) return {};
    const size_t start = at + prefix.size();
    return text.substr(start, text.find('\n', start) - start);
}

TInpxStats ImportInpx(TSVD& library, const std::string& inpxFile, const TInpxOptions& options, IProgressSink* sink) {
    TInpxFile file(inpxFile);
    TInpxStats stats;
    stats.Collection = PrintableText(AnsiToUtf8(file.Collection));
    // Every line is checked before anything changes: a bad index leaves the library alone.
    size_t total = 0;
    for (size_t i = 0; i < file.Inps.size(); ++i)
        file.Lines(i, file.Bytes(i), [&](const TFields&, size_t) { ++total; });

    std::string root = options.Root;
    if (root.empty()) root = PathToAnsi(AnsiToPath(inpxFile).parent_path());
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    TBookFolder* folder = library.FindFolder(root, false);
    if (!folder) {
        TCatalogueGuard guard;
        TMountPoint* mount = library.AddMountPoint(root);
        if (!mount) RaiseError(rsErrInvalidMP);
        mount->Caption = file.Collection;
        mount->Description = InpxDescription(file.Collection, file.Version);
        folder = mount;
        mount->Exists();
        mount->NotifyAdded();  // every window's tree shows it
    }
    // The collection's name and version are kept for display and for the next update.
    bool versionChanged = false;
    if (IsInpxCollection(*folder) && !file.Version.empty() && InpxVersion(*folder) != file.Version) {
        TCatalogueGuard guard;
        folder->Description = InpxDescription(file.Collection, file.Version);
        versionChanged = true;
    }
    // What the folder holds already, found in constant time.
    std::unordered_map<std::string, TBookInfo*> present;
    {
        TCatalogueGuard guard;
        present.reserve(folder->BookCount() + total);
        for (size_t i = 0; i < folder->BookCount(); ++i) {
            TBookInfo* book = folder->Book(i);
            if (book->Packed) present.emplace(book->FileName + "\x01" + book->EntryName, book);
        }
    }

    TTitleBuilder builder;
    const TDateTime now = Now();
    std::string member, key;
    std::unordered_map<std::string, int64_t> members;
    std::unordered_set<std::string> warnedArchives;
    int64_t done = 0;
    // The directory of the archive the last new book was in: lines mostly go archive by archive.
    std::string listedArchive;
    int archiveState = -1;  // -1 not read yet, 0 missing, 1 there
    std::string archive;
    for (size_t i = 0; i < file.Inps.size() && !stats.Cancelled; ++i) {
        const std::string base = BaseName(file.Inps[i]);
        const std::string inpArchive = base.substr(0, base.size() - 4) + ".zip";
        const std::vector<uint8_t> bytes = file.Bytes(i);
        std::optional<TCatalogueGuard> guard;
        size_t inBatch = 0;
        file.Lines(
            i, bytes,
            [&](const TFields& f, size_t line) {
                if (stats.Cancelled) return;
                if (inBatch == 0) {
                    guard.reset();
                    if (sink) {
                        sink->Progress(done, static_cast<int64_t>(total), inpArchive);
                        if (sink->Cancelled()) {
                            stats.Cancelled = true;
                            return;
                        }
                    }
                    guard.emplace();
                }
                inBatch = (inBatch + 1) % kBatch;
                ++done;
                const bool deleted = Trimmed(f[fDel]) == "1";
                // Collections of FB2 books leave EXT out of short lines.
                std::string_view ext = Trimmed(f[fExt]);
                if (ext.empty()) ext = "fb2";
                // The key is built in one reused buffer: a second import of a big index mostly
                // only looks books up.
                member.clear();
                AppendAnsi(member, f[fFile]);
                member += '.';
                AppendAnsi(member, ext);
                // The extended structure names the archive a book is in; else it is the .inp's.
                archive.clear();
                AppendAnsi(archive, Trimmed(f[fFolder]));
                if (archive.empty())
                    archive = inpArchive;
                else if (TPacker::ArchiveKind(archive) != 1)
                    archive += ".zip";
                // Nothing outside the collection's folder is read, and the library keeps only
                // names it can load again.
                const bool plainMember = IsValidEntryPath(member, false);
                if (!plainMember || !IsValidEntryName(archive)) {
                    stats.Warnings.push_back(AnsiToUtf8(file.Inps[i]) + ", line " + std::to_string(line) +
                                             ": the book's file name is not a plain name; line skipped: \"" +
                                             PrintableText(AnsiToUtf8(plainMember ? archive : member)) + "\"");
                    ++stats.Refused;
                    return;
                }
                key.assign(archive);
                key += '\x01';
                key += member;
                const auto record = [&] {
                    TInpxRecord r;
                    for (int k = 0; k < kFieldCount; ++k)
                        *Slot(r, k) = k == fFile || k == fExt || k == fFolder ? Utf8ToAnsi(f[static_cast<size_t>(k)])
                                                                              : FoldedAnsi(f[static_cast<size_t>(k)]);
                    return r;
                };
                const auto found = present.find(key);
                if (found != present.end()) {
                    ++stats.Existing;
                    TBookInfo& book = *found->second;
                    if (MarkDeleted(book, deleted)) ++(deleted ? stats.MarkedDeleted : stats.Undeleted);
                    // A newer index may have corrected the description of an unchanged file.
                    if (const TInpxRecord r = record(); DescribedOtherwise(book, r)) {
                        book.TitleInfo->Clear();
                        ImportTitleInfo(book.EnsureTitleInfo(), builder.Build(r), false);
                        book.NotifyChanged();
                        ++stats.Updated;
                    }
                    return;
                }
                if (deleted && !options.IncludeDeleted) {
                    ++stats.SkippedDeleted;
                    return;
                }
                if (!Wanted(options.Languages, Utf8ToAnsi(TrimBlanks(f[fLang])))) {
                    ++stats.SkippedLanguage;
                    return;
                }
                if (archiveState < 0 || archive != listedArchive) {
                    listedArchive = archive;
                    archiveState = ArchiveDirectory(JoinPath(folder->FullPath(), archive), members) ? 1 : 0;
                    if (archiveState == 0 && warnedArchives.insert(archive).second)
                        stats.Warnings.push_back(AnsiToUtf8(JoinPath(folder->FullPath(), archive)) +
                                                 ": the archive is missing or unreadable; its books are lost");
                }
                const TInpxRecord r = record();
                TBookInfo* book = folder->AddBook();
                book->FileName = archive;
                book->EntryName = member;
                book->Packed = true;
                int32_t size = 0;
                TextToInt(TrimBlanks(r.Size), size);
                book->Size = size;
                book->AddedDate = ParseDate(TrimBlanks(r.Date), now);
                book->FileDate = book->AddedDate;
                ImportTitleInfo(book->EnsureTitleInfo(), builder.Build(r), false);
                if (!TrimBlanks(r.LibId).empty())
                    book->EnsurePublishInfo().CustomInfo.push_back(kInpxLibIdPrefix + TrimBlanks(r.LibId));
                if (deleted) book->EnsurePublishInfo().CustomInfo.push_back(kInpxDeletedMark);
                const auto there = members.find(member);
                if (archiveState == 0 || there == members.end()) {
                    book->SetLost(true);
                    ++stats.Lost;
                } else if (there->second >= 0) {
                    book->Size = static_cast<int32_t>(std::min<int64_t>(there->second, INT32_MAX));
                }
                present.emplace(key, book);
                book->NotifyAdded();
                ++stats.Added;
            },
            /*validate=*/false);
    }
    if (sink) sink->Progress(done, static_cast<int64_t>(total), {});
    if (stats.Added > 0 || stats.MarkedDeleted > 0 || stats.Undeleted > 0 || stats.Updated > 0 || versionChanged)
        library.SetModified(true);
    return stats;
}
