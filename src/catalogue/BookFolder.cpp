#include "catalogue/BookFolder.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "catalogue/BookInfo.h"
#include "catalogue/BookLinks.h"
#include "catalogue/BookWriteJobs.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/TextUtils.h"

namespace {

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(AnsiToPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Compared(const std::string& text, bool ignoreCase) {
    return ignoreCase ? AnsiLowerCase(text) : text;
}

// path lies in folder (equal, or below it by whole path components).
bool IsWithin(const std::string& path, const std::string& folder) {
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || (!folder.empty() && folder.back() == '/') || path[folder.size()] == '/';
}

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    return directory.back() == '/' ? directory + name : directory + "/" + name;
}

TBookFolder::TBookFolder(TBookFolder* parent) : Parent(parent) {}

TBookFolder::~TBookFolder() {
    Clear();
}

TSVD* TBookFolder::Container() const {
    return Parent ? Parent->Container() : nullptr;
}

std::string TBookFolder::FullPath() const {
    return Parent ? JoinPath(Parent->FullPath(), Name) : Name;
}

bool TBookFolder::Exists() {
    const bool exists = DirectoryExists(FullPath());
    Flags = static_cast<uint8_t>(exists ? Flags & ~kMissing : Flags | kMissing);
    return exists;
}

bool TBookFolder::IsReadOnly() const {
    return (Flags & kReadOnly) || (Parent && Parent->IsReadOnly());
}

void TBookFolder::CheckWritable() const {
    if (IsReadOnly()) RaiseFixedError("Folder is read only!");
}

void TBookFolder::SetReadOnly(bool readOnly) {
    Flags = static_cast<uint8_t>(readOnly ? Flags | kReadOnly : Flags & ~kReadOnly);
}

TBookFolder* TBookFolder::FindFolderByPath(const std::string& path, bool ignoreCase) {
    const std::string own = Compared(TrimBlanks(FullPath()), ignoreCase);
    if (own.empty() || !IsWithin(path, own)) return nullptr;
    if (path.size() == own.size()) return this;
    for (size_t i = folders_.size(); i-- > 0;)
        if (TBookFolder* found = folders_[i]->FindFolderByPath(path, ignoreCase)) return found;
    return nullptr;
}

TBookInfo* TBookFolder::FindBookByPath(const std::string& path, bool ignoreCase) {
    const std::string own = Compared(FullPath(), ignoreCase);
    if (own.empty() || !IsWithin(path, own) || path.size() == own.size()) return nullptr;
    // The rest may be a file name, or an archive name and its entry path.
    const std::string rest = path.substr(own.size() + (own.back() == '/' ? 0 : 1));
    for (const auto& book : books_)
        if (Compared(book->FileNameInFolder(), ignoreCase) == rest) return book.get();
    for (size_t i = folders_.size(); i-- > 0;)
        if (TBookInfo* found = folders_[i]->FindBookByPath(path, ignoreCase)) return found;
    return nullptr;
}

void TBookFolder::CollectBooks(TBookCollection& books, bool recursive) const {
    for (const auto& book : books_)
        books.Add(book.get());
    if (recursive)
        for (const auto& folder : folders_)
            folder->CollectBooks(books, true);
}

TBookInfo* TBookFolder::AddBook() {
    auto book = std::make_unique<TBookInfo>(Container());
    book->Folder = this;
    books_.push_back(std::move(book));
    return books_.back().get();
}

TBookFolder* TBookFolder::AddFolder(const std::string& name) {
    folders_.push_back(std::make_unique<TBookFolder>(this));
    folders_.back()->Name = name;
    return folders_.back().get();
}

void TBookFolder::AdoptBook(std::unique_ptr<TBookInfo> book) {
    book->Folder = this;
    books_.push_back(std::move(book));
}

std::unique_ptr<TBookInfo> TBookFolder::ExtractBook(TBookInfo* book) {
    for (size_t i = books_.size(); i-- > 0;) {
        if (books_[i].get() != book) continue;
        std::unique_ptr<TBookInfo> owned = std::move(books_[i]);
        books_.erase(books_.begin() + static_cast<std::ptrdiff_t>(i));
        owned->Folder = nullptr;
        return owned;
    }
    return nullptr;
}

void TBookFolder::DeleteSubfolder(TBookFolder* folder) {
    for (auto it = folders_.begin(); it != folders_.end(); ++it) {
        if (it->get() != folder) continue;
        folder->NotifyDeleted();
        std::unique_ptr<TBookFolder> owned = std::move(*it);
        folders_.erase(it);
        if (TSVD* catalogue = Container()) catalogue->Retire(std::move(owned));
        return;
    }
}

void TBookFolder::DeleteBook(TBookInfo* book) {
    book->NotifyRemoved();
    std::unique_ptr<TBookInfo> owned = ExtractBook(book);
    if (TSVD* catalogue = Container()) catalogue->Retire(std::move(owned));
}

bool TBookFolder::CreateSubfolder(const std::string& name) {
    CheckWritable();
    const std::string trimmed = TrimBlanks(name);
    if (FullPath().empty() || !IsValidEntryName(trimmed)) return false;
    if (::mkdir(AnsiToPath(JoinPath(FullPath(), trimmed)).c_str(), 0777) != 0) return false;
    AddFolder(trimmed)->NotifyAdded();
    return true;
}

bool TBookFolder::RenameFolder(const std::string& newName) {
    CheckWritable();
    const std::string trimmed = TrimBlanks(newName);
    // Folder names differ by letter case on this file system: only the same name is no rename.
    if (trimmed == TrimBlanks(Name)) return true;
    if (!IsValidEntryName(trimmed) || !Parent) return false;
    MoveEntry(AnsiToPath(FullPath()), AnsiToPath(JoinPath(Parent->FullPath(), trimmed)));
    Name = trimmed;
    NotifyChanged();
    return true;
}

bool TBookFolder::MoveFolder(TBookFolder* newParent) {
    CheckWritable();
    if (!Parent || !newParent || newParent == this || newParent == Parent || !Exists()) return false;
    for (const TBookFolder* p = newParent; p; p = p->Parent)
        if (p == this) return false;
    if (newParent->FullPath().empty()) return false;
    newParent->CheckWritable();
    MoveEntry(AnsiToPath(FullPath()), AnsiToPath(JoinPath(newParent->FullPath(), Name)));
    TBookFolder* oldParent = Parent;
    for (auto it = oldParent->folders_.begin(); it != oldParent->folders_.end(); ++it) {
        if (it->get() != this) continue;
        std::unique_ptr<TBookFolder> owned = std::move(*it);
        oldParent->folders_.erase(it);
        Parent = newParent;
        newParent->folders_.push_back(std::move(owned));
        break;
    }
    NotifyMoved();
    return true;
}

bool TBookFolder::DeleteFolder(bool withContents) {
    CheckWritable();
    if (const TSVD* catalogue = Container()) catalogue->CheckNoBackgroundWork();
    if (!withContents && (!folders_.empty() || !books_.empty()))
        RaiseFixedError(Utf8ToAnsi("Папка не пуста. Удалять нельзя."));
    // The whole subtree is checked before anything goes, so a read-only folder deep down does
    // not stop the deletion half-way.
    std::vector<const TBookFolder*> pending(1, this);
    while (!pending.empty()) {
        const TBookFolder* folder = pending.back();
        pending.pop_back();
        folder->CheckWritable();
        for (const auto& book : folder->books_)
            book->CheckWritable();
        for (const auto& sub : folder->folders_)
            pending.push_back(sub.get());
    }
    while (!folders_.empty()) {
        TBookFolder* folder = folders_.back().get();
        if (!folder->DeleteFolder(true)) return false;
        DeleteSubfolder(folder);
    }
    while (!books_.empty()) {
        TBookInfo* book = books_.back().get();
        // Stop at the first file that stays: its record and those before it are kept.
        if (!book->DeleteFile()) {
            const int error = errno;
            RaiseOsError("Cannot delete file", book->FullPath(), error);
        }
        ExtractBook(book);
    }
    const std::string path = FullPath();
    if (DirectoryExists(path) && ::rmdir(AnsiToPath(path).c_str()) != 0)
        RaiseOsError("Cannot delete folder", path, errno);
    return true;
}

void TBookFolder::SetName(const std::string& name) {
    if (TrimBlanks(name) == TrimBlanks(Name)) return;  // letter case makes another name
    Name = name;
    Exists();
    NotifyChanged();
}

void TBookFolder::DeleteFromCatalogue() {
    CheckWritable();
    if (const TSVD* catalogue = Container()) catalogue->CheckNoBackgroundWork();
    while (!folders_.empty()) {
        TBookFolder* folder = folders_.back().get();
        folder->DeleteFromCatalogue();
        DeleteSubfolder(folder);
    }
    while (!books_.empty())
        DeleteBook(books_.back().get());
}

void TBookFolder::SaveToStream(TSVDStream& stream, bool withImages, TBookWriteJobs* jobs) {
    uint8_t flags = Flags & static_cast<uint8_t>(~(kHasDescription | kHasFolders | kHasBooks));
    if (!TrimBlanks(Description).empty()) flags |= kHasDescription;
    if (!folders_.empty()) flags |= kHasFolders;
    if (!books_.empty()) flags |= kHasBooks;
    Flags = flags;
    stream.WriteByte(flags);
    stream.WriteStr(Name);
    if (flags & kHasDescription) stream.WriteStr(Description);
    if (flags & kHasBooks) {
        stream.WriteInt(static_cast<int32_t>(books_.size()));
        if (jobs) {
            jobs->WriteBooks(stream, books_);
        } else {
            for (const auto& book : books_)
                book->SaveToStream(stream, withImages);
        }
    }
    if (flags & kHasFolders) {
        stream.WriteInt(static_cast<int32_t>(folders_.size()));
        if (jobs) {
            jobs->WriteFolders(stream, folders_);
        } else {
            for (const auto& folder : folders_)
                folder->SaveToStream(stream, withImages);
        }
    }
}

bool TBookFolder::LoadFromStream(TSVDStream& stream, int depth) {
    return ReadFolderBody(stream, depth);
}

bool TBookFolder::ReadFolderBody(TSVDStream& stream, int depth) {
    Clear();
    if (depth > kMaxFolderDepth) return false;
    Flags = stream.ReadByte();
    Name = stream.ReadStr();
    if (Flags & kHasDescription) Description = stream.ReadStr();
    if (Flags & kHasBooks) {
        const int32_t count = stream.ReadCount(17);  // the fixed fields of a book record
        for (int32_t i = 0; i < count; ++i)
            AddBook()->LoadFromStream(stream);
    }
    if (Flags & kHasFolders) {
        const int32_t count = stream.ReadCount(1);
        for (int32_t i = 0; i < count; ++i)
            if (!AddFolder({})->LoadFromStream(stream, depth + 1)) return false;
    }
    return true;
}

bool TBookFolder::LoadOldFromStream(TSVDStream& stream, int depth) {
    Clear();
    if (depth > kMaxFolderDepth) return false;
    Name = stream.ReadStr();
    Description = stream.ReadStr();
    const int32_t books = stream.ReadOldCount(20);  // the fixed fields of an old book record
    for (int32_t i = 0; i < books; ++i)
        AddBook()->LoadOldFromStream(stream);
    const int32_t folders = stream.ReadOldCount(3);
    for (int32_t i = 0; i < folders; ++i)
        if (!AddFolder({})->LoadOldFromStream(stream, depth + 1)) return false;
    if (stream.ReadByte() != 0) Flags |= kMissing;
    return true;
}

void TBookFolder::NotifyDeleted() {
    if (TSVD* catalogue = Container()) catalogue->Notify(TObjectType::Folder, this, kDeleted);
}

void TBookFolder::NotifyChanged() {
    if (TSVD* catalogue = Container()) catalogue->Notify(TObjectType::Folder, this, kChanged);
}

void TBookFolder::NotifyMoved() {
    if (TSVD* catalogue = Container()) catalogue->Notify(TObjectType::Folder, this, kMoved);
}

void TBookFolder::NotifyAdded() {
    if (TSVD* catalogue = Container()) catalogue->Notify(TObjectType::Folder, this, kAdded);
}

void TBookFolder::Clear() {
    Name.clear();
    Description.clear();
    while (!books_.empty())
        books_.pop_back();
    while (!folders_.empty())
        folders_.pop_back();
}

int TBookFolder::FolderCountDeep() const {
    int n = static_cast<int>(folders_.size());
    for (const auto& folder : folders_)
        n += folder->FolderCountDeep();
    return n;
}

int TBookFolder::BookCountDeep() const {
    int n = static_cast<int>(books_.size());
    for (const auto& folder : folders_)
        n += folder->BookCountDeep();
    return n;
}

// ---- TMountPoint

TMountPoint::TMountPoint(TSVD* catalogue) : TBookFolder(nullptr), Catalogue(catalogue) {}

std::string TMountPoint::DisplayName() const {
    return TrimBlanks(Caption).empty() ? Name : Caption;
}

bool TMountPoint::Rename(const std::string& newName) {
    Caption = newName;
    NotifyChanged();
    return true;
}

void TMountPoint::SaveToStream(TSVDStream& stream, bool withImages, TBookWriteJobs* jobs) {
    stream.WriteStr(Caption);
    TBookFolder::SaveToStream(stream, withImages, jobs);
}

bool TMountPoint::LoadFromStream(TSVDStream& stream, int depth) {
    Caption = stream.ReadStr();
    return ReadFolderBody(stream, depth);
}

bool TMountPoint::LoadOldFromStream(TSVDStream& stream, int depth) {
    Caption = stream.ReadStr();
    const bool readOnly = stream.ReadByte() != 0;
    const bool result = TBookFolder::LoadOldFromStream(stream, depth);
    if (readOnly) Flags |= kReadOnly;
    return result;
}
