#include "catalogue/SVD.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>

#include "catalogue/BookWriteJobs.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVDStream.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/ScopeExit.h"
#include "common/TextUtils.h"

namespace {

constexpr int kLegacyGenreSlots = 64;

}  // namespace

TSVD::TSVD() : Genres(this), Authors(this), Sequences(this) {}

TSVD::~TSVD() {
    Clear();
}

void TSVD::SetModified(bool modified) {
    modified_ = modified;
    if (!modified) Authors.Modified = false;
}

void TSVD::Clear() {
    TCatalogueGuard guard;
    clearing_ = true;
    ScopeExit done([this] { clearing_ = false; });
    retiredBooks_.clear();
    retiredFolders_.clear();
    while (!MountPoints.empty())
        MountPoints.pop_back();
    while (!LostBooks.empty())
        LostBooks.pop_back();
    Duplicates.clear();
    Genres.Clear();
    Authors.Clear();
    Sequences.Clear();
    genreByNumber_.clear();
    sequenceByNumber_.clear();
    if (Packer) Packer->Reset();
    textBlocks_.clear();  // no record is left to use them
    modified_ = true;
}

TText TSVD::ReadBookText(TSVDStream& stream) const {
    const std::shared_ptr<const char[]>& block = stream.TextBlock();
    if (textBlocks_.empty() || textBlocks_.back() != block) textBlocks_.push_back(block);
    return stream.ReadText();
}

TSVDCounts TSVD::Counts() const {
    TSVDCounts c;
    c.Genres = Genres.NodeCount() - 1;
    c.Authors = static_cast<int>(Authors.Count());
    c.Spellings = Authors.SpellingCount();
    c.Series = Sequences.NodeCount() - 1;
    c.MountPoints = static_cast<int>(MountPoints.size());
    for (const auto& mountPoint : MountPoints) {
        c.Folders += mountPoint->FolderCountDeep();
        c.Books += mountPoint->BookCountDeep();
    }
    c.LostBooks = static_cast<int>(LostBooks.size());
    c.Duplicates = static_cast<int>(Duplicates.size());
    return c;
}

namespace {

// A path without trailing slashes (the root stays "/").
std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(AnsiToPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// One path is the other or lies inside it, by whole path components.
bool PathsOverlap(const std::string& a, const std::string& b) {
    auto within = [](const std::string& inner, const std::string& outer) {
        if (inner.compare(0, outer.size(), outer) != 0) return false;
        return inner.size() == outer.size() || outer == "/" || inner[outer.size()] == '/';
    };
    return within(a, b) || within(b, a);
}

}  // namespace

TMountPoint* TSVD::AddMountPoint(const std::string& path) {
    const std::string wanted = WithoutTrailingSlash(TrimBlanks(path));
    if (wanted.empty()) return nullptr;
    for (const auto& mountPoint : MountPoints)
        if (PathsOverlap(wanted, WithoutTrailingSlash(TrimBlanks(mountPoint->FullPath())))) return nullptr;
    MountPoints.push_back(std::make_unique<TMountPoint>(this));
    MountPoints.back()->Name = path;
    modified_ = true;
    return MountPoints.back().get();
}

void TSVD::RepointMountPoint(TMountPoint* mountPoint, const std::string& path) {
    const std::string wanted = WithoutTrailingSlash(TrimBlanks(path));
    // A typo here would turn every book into a lost book at the next check.
    if (wanted.empty() || !IsDirectory(wanted)) RaiseError(rsErrNoSuchFolder, {path});
    for (const auto& other : MountPoints)
        if (other.get() != mountPoint && PathsOverlap(wanted, WithoutTrailingSlash(TrimBlanks(other->FullPath()))))
            RaiseError(rsErrInvalidMP);
    if (wanted == WithoutTrailingSlash(TrimBlanks(mountPoint->Name))) return;
    mountPoint->Name = wanted;
    mountPoint->Exists();
    modified_ = true;
    mountPoint->NotifyChanged();
}

std::unique_ptr<TMountPoint> TSVD::RemoveMountPoint(TMountPoint* mountPoint) {
    for (auto it = MountPoints.begin(); it != MountPoints.end(); ++it) {
        if (it->get() != mountPoint) continue;
        std::unique_ptr<TMountPoint> owned = std::move(*it);
        MountPoints.erase(it);
        modified_ = true;
        return owned;
    }
    return nullptr;
}

TLostBookInfo* TSVD::AddLostBook() {
    LostBooks.push_back(std::make_unique<TLostBookInfo>(this));
    return LostBooks.back().get();
}

std::unique_ptr<TLostBookInfo> TSVD::RemoveLostBook(TLostBookInfo* book) {
    for (size_t i = LostBooks.size(); i-- > 0;) {
        if (LostBooks[i].get() != book) continue;
        std::unique_ptr<TLostBookInfo> owned = std::move(LostBooks[i]);
        LostBooks.erase(LostBooks.begin() + static_cast<std::ptrdiff_t>(i));
        modified_ = true;
        return owned;
    }
    return nullptr;
}

void TSVD::BeginBackgroundWork(std::thread::id worker) {
    std::lock_guard lock(workerMutex_);
    worker_ = worker;
}

void TSVD::EndBackgroundWork() {
    std::lock_guard lock(workerMutex_);
    worker_ = {};
}

void TSVD::CheckNoBackgroundWork() const {
    std::lock_guard lock(workerMutex_);
    if (worker_ != std::thread::id() && worker_ != std::this_thread::get_id()) RaiseError(rsErrThreadWorking);
}

bool TSVD::RetiresHere() const {
    std::lock_guard lock(workerMutex_);
    return worker_ != std::thread::id() && worker_ == std::this_thread::get_id();
}

void TSVD::Retire(std::unique_ptr<TBookInfo> book) {
    if (!book || !RetiresHere()) return;  // freed at once
    TCatalogueGuard guard;
    ForgetBook(book.get());
    book->Clear();
    retiredBooks_.push_back(std::move(book));
}

void TSVD::Retire(std::unique_ptr<TBookFolder> folder) {
    if (!folder || !RetiresHere()) return;
    TCatalogueGuard guard;
    folder->Clear();
    retiredFolders_.push_back(std::move(folder));
}

void TSVD::FreeRetired() {
    {
        std::lock_guard lock(workerMutex_);
        if (worker_ != std::thread::id()) return;
    }
    TCatalogueGuard guard;
    retiredBooks_.clear();
    retiredFolders_.clear();
}

void TSVD::ClearDuplicates() {
    Duplicates.clear();
    modified_ = true;
}

void TSVD::ForgetBook(const TBookInfo* book) {
    if (clearing_ || Duplicates.empty()) return;
    std::erase_if(Duplicates, [book](const TDuplicatePair& p) { return p.Book1 == book || p.Book2 == book; });
}

TLostBookInfo* TSVD::FindLostBook(uint32_t crc, int64_t size) const {
    // A CRC of 0 is what a book has before its file was ever read: it names no file.
    if (crc == 0) return nullptr;
    for (size_t i = LostBooks.size(); i-- > 0;) {
        TLostBookInfo* lost = LostBooks[i].get();
        if (lost->Crc != crc) continue;
        if (size > 0 && lost->Size > 0 && lost->Size != size) continue;
        return lost;
    }
    return nullptr;
}

TBookFolder* TSVD::FindFolder(const std::string& path, bool caselessFallback) const {
    const std::string wanted = WithoutTrailingSlash(TrimBlanks(path));
    for (bool ignoreCase : {false, true}) {
        if (ignoreCase && !caselessFallback) break;
        const std::string key = ignoreCase ? AnsiLowerCase(wanted) : wanted;
        for (const auto& mountPoint : MountPoints)
            if (TBookFolder* found = mountPoint->FindFolderByPath(key, ignoreCase)) return found;
    }
    return nullptr;
}

TBookInfo* TSVD::FindBook(const std::string& path) const {
    const std::string wanted = TrimBlanks(path);
    for (bool ignoreCase : {false, true}) {
        const std::string key = ignoreCase ? AnsiLowerCase(wanted) : wanted;
        for (size_t i = MountPoints.size(); i-- > 0;)
            if (TBookInfo* found = MountPoints[i]->FindBookByPath(key, ignoreCase)) return found;
    }
    return nullptr;
}

std::string TSVD::BookLocation(const TBookInfo& book) {
    if (!book.Folder) return book.FullPath();
    return JoinPath(book.Folder->FullPath(), book.FileNameInFolder());
}

TBookSequence* TSVD::FindOrAddSequence(const std::string& name, bool quiet) {
    if (TBookSequence* found = Sequences.FindByName(name)) return found;
    modified_ = true;
    return Sequences.AddChild(name, quiet);
}

void TSVD::CollectBooksWithoutAuthor(TBookCollection& books) const {
    TBookCollection all;
    for (const auto& mountPoint : MountPoints)
        mountPoint->CollectBooks(all, true);
    for (TBookInfo* book : all.Books()) {
        const bool titleAuthors = book->TitleInfo && !book->TitleInfo->Authors.empty();
        const bool srcAuthors = book->SrcTitleInfo && !book->SrcTitleInfo->Authors.empty();
        if (!titleAuthors && !srcAuthors) books.Add(book);
    }
}

void TSVD::IndexTreesForReading() {
    // Book records name genres and series by number; a map keeps their reading linear. The
    // first node in each tree's search order wins, as a search would find it.
    genreByNumber_.clear();
    std::vector<TBookGenre*> genres;
    Genres.CollectNodes(genres);
    for (TBookGenre* genre : genres)
        genreByNumber_.emplace(genre->Index, genre);
    sequenceByNumber_.clear();
    std::vector<TBookSequence*> series;
    Sequences.CollectNodes(series);
    for (TBookSequence* node : series)
        sequenceByNumber_.emplace(node->Index, node);
    Authors.IndexForReading();
}

TBookGenre* TSVD::GenreByNumber(int32_t number) const {
    auto it = genreByNumber_.find(number);
    return it == genreByNumber_.end() ? nullptr : it->second;
}

TBookSequence* TSVD::SequenceByNumber(int32_t number) const {
    auto it = sequenceByNumber_.find(number);
    return it == sequenceByNumber_.end() ? nullptr : it->second;
}

void TSVD::Notify(TObjectType type, const void* object, int kind, bool modifies) {
    if (modifies) modified_ = true;
    TCatalogueLock::Instance().Defer([this, type, object, kind] {
        std::vector<ICatalogueObserver*> observers;
        {
            std::lock_guard lock(observersMutex_);
            observers = observers_;
        }
        for (ICatalogueObserver* observer : observers)
            observer->CatalogueChanged(type, kind, object);
    });
}

void TSVD::AddObserver(ICatalogueObserver* observer) {
    std::lock_guard lock(observersMutex_);
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) observers_.push_back(observer);
}

void TSVD::RemoveObserver(ICatalogueObserver* observer) {
    std::lock_guard lock(observersMutex_);
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void TSVD::NotifyLoaded() {
    TCatalogueLock::Instance().Defer([this] {
        std::vector<ICatalogueObserver*> observers;
        {
            std::lock_guard lock(observersMutex_);
            observers = observers_;
        }
        for (ICatalogueObserver* observer : observers)
            observer->LibraryLoaded();
    });
}

void TSVD::LoadFromFile(const std::string& fileName) {
    const std::string failed = MessageText(rsErrLoadingError) + " \"" + fileName + "\": ";
    try {
        // A file that cannot be read, or whose header is not known, changes nothing.
        TSVDStream stream(fileName, true);
        bool loaded = false;
        FileName = fileName;
        // After a failed load the partial catalogue must not be saved over the file it came from.
        ScopeExit untie([&] {
            if (!loaded) FileName.clear();
        });
        loaded = LoadFromStream(stream);
        if (!loaded) throw EShelvaraError(rsErrLoadingError, "a section of the file is damaged");
    } catch (const EShelvaraError& e) {
        throw EShelvaraError(e.MessageId() ? e.MessageId() : rsErrLoadingError, failed + e.what());
    }
}

namespace {

bool HasValidName(const TBookFolder& folder) {
    return folder.Parent ? IsValidEntryName(folder.Name) : IsValidEntryPath(folder.Name, true);
}

bool HasValidName(const TBookInfo& book) {
    return IsValidEntryName(book.FileName) && (!book.Packed || IsValidEntryPath(book.EntryName, false));
}

std::string PathOf(const TBookInfo& book) {
    return JoinPath(book.Folder ? book.Folder->FullPath() : std::string(), book.FileName) +
           (book.Packed ? "/" + book.EntryName.str() : "");
}

// The first folder or book name that could lead outside its folder, or empty.
std::string FirstBadName(const TBookFolder& folder) {
    if (!HasValidName(folder)) return JoinPath(folder.Parent ? folder.Parent->FullPath() : std::string(), folder.Name);
    for (size_t i = 0; i < folder.BookCount(); ++i)
        if (!HasValidName(*folder.Book(i))) return PathOf(*folder.Book(i));
    for (size_t i = 0; i < folder.FolderCount(); ++i)
        if (std::string bad = FirstBadName(*folder.Folder(i)); !bad.empty()) return bad;
    return {};
}

// Drops the books and subfolders of folder whose names could lead outside it.
void DropBadNames(TBookFolder& folder, std::vector<std::string>& warnings) {
    for (size_t i = folder.BookCount(); i-- > 0;) {
        TBookInfo* book = folder.Book(i);
        if (HasValidName(*book)) continue;
        warnings.push_back("a book name in the file is not a plain name; the book was left out: \"" + PathOf(*book) +
                           "\"");
        folder.DeleteBook(book);
    }
    for (size_t i = folder.FolderCount(); i-- > 0;) {
        TBookFolder* sub = folder.Folder(i);
        if (HasValidName(*sub)) {
            DropBadNames(*sub, warnings);
            continue;
        }
        warnings.push_back("a folder name in the file is not a plain name; the folder and its " +
                           std::to_string(sub->BookCountDeep()) + " book(s) were left out: \"" +
                           JoinPath(folder.FullPath(), sub->Name) + "\"");
        folder.DeleteSubfolder(sub);
    }
}

int DepthBelow(const TBookFolder& folder) {
    int deepest = 0;
    for (size_t i = 0; i < folder.FolderCount(); ++i)
        deepest = std::max(deepest, 1 + DepthBelow(*folder.Folder(i)));
    return deepest;
}

}  // namespace

bool TSVD::LoadFromStream(TSVDStream& stream) {
    CheckNoBackgroundWork();
    TCatalogueGuard guard;
    ScopeExit finish([this] {
        Authors.DropReadingIndex();
        NotifyLoaded();
        SetModified(false);
    });
    if (!stream.HeaderRead) return false;
    Clear();
    LoadWarnings.clear();
    LoadedOldFormat = stream.OldFormat;
    LoadedVersion = stream.Version;
    if (stream.OldFormat) {
        if (!ReadOldFormat(stream)) return false;
        CheckNames();
        return true;
    }

    if (!ReadGenreSection(stream) || !ReadAuthorSection(stream) || !ReadSeriesSection(stream)) return false;
    if (!ReadMountPointSection(stream) || !ReadLostBookSection(stream)) return false;
    // Files of version 256 end before the duplicate pairs.
    if (stream.Version > 0x0100 && !ReadDuplicateSection(stream)) return false;
    CheckNames();
    return true;
}

void TSVD::CheckNames() {
    // A crafted or damaged file could make commands that act on books (pack, delete) reach
    // outside the library's folders: names are held to what a scan could have made, and the
    // rest of the library still opens.
    for (size_t i = MountPoints.size(); i-- > 0;) {
        TMountPoint* mountPoint = MountPoints[i].get();
        if (HasValidName(*mountPoint)) {
            DropBadNames(*mountPoint, LoadWarnings);
            continue;
        }
        LoadWarnings.push_back("a folder name in the file is not a plain path; the folder and its " +
                               std::to_string(mountPoint->BookCountDeep()) + " book(s) were left out: \"" +
                               mountPoint->Name + "\"");
        RemoveMountPoint(mountPoint);
    }
}

bool TSVD::ReadOldFormat(TSVDStream& stream) {
    std::string legacyNames[kLegacyGenreSlots];
    for (std::string& name : legacyNames)
        name = stream.ReadStr().substr(0, 64);
    Genres.Clear();
    Genres.LoadBuiltIn();
    TBookGenre* legacyGroup = nullptr;
    for (int32_t slot = 0; slot < kLegacyGenreSlots; ++slot) {
        const std::string& name = legacyNames[slot];
        if (name.empty()) continue;
        if (TBookGenre* genre = Genres.FindByCode(name)) {
            genre->Index = slot;
            continue;
        }
        if (!legacyGroup) {
            static const std::string kFromSvd = "from SVD";
            legacyGroup = TBookGenre::AddGenre(&Genres, -1, kFromSvd, true, kFromSvd, kFromSvd);
            legacyGroup->Flags = 1;
        }
        TBookGenre::AddGenre(legacyGroup, slot, name, true, name, name);
    }
    Authors.LoadOldFromStream(stream);
    IndexTreesForReading();
    const int32_t count = stream.ReadOldCount(2);  // read-only byte and the folder's counts
    for (int32_t i = 0; i < count; ++i) {
        MountPoints.push_back(std::make_unique<TMountPoint>(this));
        if (!MountPoints.back()->LoadOldFromStream(stream)) {
            MountPoints.pop_back();
            return false;
        }
    }
    return true;
}

bool TSVD::ReadGenreSection(TSVDStream& stream) {
    return Genres.LoadFromStream(stream);
}

bool TSVD::ReadAuthorSection(TSVDStream& stream) {
    Authors.LoadFromStream(stream);
    return true;
}

bool TSVD::ReadSeriesSection(TSVDStream& stream) {
    if (!Sequences.LoadFromStream(stream)) return false;
    IndexTreesForReading();
    return true;
}

bool TSVD::ReadMountPointSection(TSVDStream& stream) {
    const int32_t count = stream.ReadCount(1);
    for (int32_t i = 0; i < count; ++i) {
        MountPoints.push_back(std::make_unique<TMountPoint>(this));
        if (!MountPoints.back()->LoadFromStream(stream)) {
            MountPoints.pop_back();
            return false;
        }
    }
    return true;
}

bool TSVD::ReadLostBookSection(TSVDStream& stream) {
    const int32_t count = stream.ReadCount(21);  // a book record and the lost date
    for (int32_t i = 0; i < count; ++i)
        AddLostBook()->LoadFromStream(stream);
    return true;
}

bool TSVD::ReadDuplicateSection(TSVDStream& stream) {
    const int32_t count = stream.ReadCount(9);  // two CRCs and the similarity
    for (int32_t i = 0; i < count; ++i) {
        const std::string path1 = stream.ReadStr();
        const std::string path2 = stream.ReadStr();
        stream.ReadDWord();
        stream.ReadDWord();
        const int32_t similarity = stream.ReadInt();
        if (path1.empty() || path2.empty()) continue;
        TBookInfo* book1 = FindBook(path1);
        TBookInfo* book2 = FindBook(path2);
        if (book1 && book2) Duplicates.push_back({book1, book2, similarity});
    }
    return true;
}

void TSVD::WriteDuplicate(TSVDStream& stream, const TDuplicatePair& pair) const {
    // A packed book is written as its archive's path and its entry, so that it is found again.
    stream.WriteStr(pair.Book1 ? BookLocation(*pair.Book1) : std::string());
    stream.WriteStr(pair.Book2 ? BookLocation(*pair.Book2) : std::string());
    stream.WriteDWord(pair.Book1 ? pair.Book1->Crc : 0);
    stream.WriteDWord(pair.Book2 ? pair.Book2->Crc : 0);
    stream.WriteInt(pair.Similarity);
}

bool TSVD::SaveToStream(TSVDStream& stream, bool withImages) {
    TCatalogueGuard guard;
    // Never write a file the loader would refuse.
    for (const auto& mountPoint : MountPoints)
        if (const std::string bad = FirstBadName(*mountPoint); !bad.empty())
            RaiseFixedError("a folder or book name is not a plain name: \"" + bad + "\"; the library was not saved");
    for (const auto& mountPoint : MountPoints)
        if (DepthBelow(*mountPoint) > kMaxFolderDepth)
            RaiseFixedError("The folders of \"" + mountPoint->FullPath() + "\" nest deeper than " +
                            std::to_string(kMaxFolderDepth) + " levels; the library was not saved");
    // Lost books stay: a disk unplugged at an autosave must not cost their comments and marks.
    if (SweepBeforeSave) Sweep(false, kSweepAll & ~kSweepLostBooks);
    stream.Version = TSVDStream::kCurrentVersion;
    stream.FileName = FileName;
    int32_t counter = 0;
    Genres.Number(counter);
    counter = 0;
    Authors.Number(counter);
    counter = 0;
    Sequences.Number(counter);

    Genres.SaveToStream(stream);
    Authors.SaveToStream(stream);
    Sequences.SaveToStream(stream);
    stream.WriteInt(static_cast<int32_t>(MountPoints.size()));
    TBookWriteJobs jobs(withImages, SaveThreads);
    for (const auto& mountPoint : MountPoints)
        mountPoint->SaveToStream(stream, withImages, &jobs);
    jobs.Run();
    stream.WriteInt(static_cast<int32_t>(LostBooks.size()));
    for (const auto& book : LostBooks)
        book->SaveToStream(stream, withImages);
    stream.WriteInt(static_cast<int32_t>(Duplicates.size()));
    for (const TDuplicatePair& pair : Duplicates)
        WriteDuplicate(stream, pair);
    return true;
}

std::string TSVD::BackupName(const std::string& fileName) {
    const size_t slash = fileName.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = fileName.find_last_of('.');
    const size_t cut = dot != std::string::npos && dot >= nameStart ? dot : fileName.size();
    return fileName.substr(0, cut) + "OLD";
}

namespace {

std::filesystem::path BackupPath(const std::filesystem::path& library) {
    return AnsiToPath(TSVD::BackupName(PathToAnsi(library)));
}

}  // namespace

bool TSVD::SaveToFile(const std::string& fileName) {
    TSVDStream stream({}, false);
    stream.Rewind();
    bool wasModified, authorsModified;
    {
        // The image is taken under the lock; the disk is written outside it, so a long write
        // never holds up a reader. A change made meanwhile marks the catalogue modified again.
        TCatalogueGuard guard;
        if (!SaveToStream(stream, true)) return false;
        wasModified = modified_;
        authorsModified = Authors.Modified;
        SetModified(false);
    }
    try {
        stream.WriteFile(AnsiToPath(fileName), BackupPath);
    } catch (...) {
        TCatalogueGuard guard;
        if (wasModified) modified_ = true;
        if (authorsModified) Authors.Modified = true;
        throw;
    }
    TCatalogueGuard guard;
    FileName = fileName;
    return true;
}

std::string TSVD::WithLibraryExtension(const std::string& fileName) {
    std::string name = TrimBlanks(fileName);
    const size_t slash = name.find_last_of('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.size() < 5 || AnsiLowerCase(base.substr(base.size() - 4)) != ".sv2") name += ".sv2";
    return name;
}
