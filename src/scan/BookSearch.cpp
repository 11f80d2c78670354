#include "scan/BookSearch.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/TextUtils.h"

namespace {

// A member whose name could lead outside its archive ("../a.fb2", "/a.fb2", "./a.fb2", "a//b")
// cannot be kept in a library, nor found again by name: it is left out, with a warning.
bool PlainMemberName(const TArcFileInfoRec& member, const std::string& where, std::vector<std::string>* warnings) {
    if (IsValidEntryPath(member.Path, false)) return true;
    if (warnings)
        warnings->push_back(AnsiToUtf8(where) + ": member skipped, its name is not a plain path: \"" +
                            AnsiToUtf8(member.Path) + "\"");
    return false;
}

// Adds the file members of an open archive, entering inner archives. where: the archive file's
// path (engine text), for warnings.
void ListArchive(TPacker& packer, const std::string& prefix, const TFRec& file, std::vector<TFRec>& out,
                 std::vector<std::string>* warnings, const std::string& where, int depth = 0) {
    const std::vector<TArcFileInfoRec> members = packer.List();
    if (packer.SkippedCount() > 0 && warnings)
        warnings->push_back(AnsiToUtf8(where + (prefix.empty() ? "" : "/" + prefix)) + ": " +
                            std::to_string(packer.SkippedCount()) +
                            " member(s) skipped: the name is flagged as UTF-8 but is not");
    for (const TArcFileInfoRec& member : members) {
        if (member.IsFolder()) continue;
        if (!PlainMemberName(member, where + (prefix.empty() ? "" : "/" + prefix), warnings)) continue;
        // Inner archives are entered only so deep: an archive may even hold itself.
        if (TPacker::ArchiveKind(member.Path) == 1 && !member.Encrypted && depth < TPacker::kMaxNesting) {
            TPacker inner(&packer);
            std::vector<uint8_t> bytes;
            bool opened = false;
            try {
                bytes = packer.Extract(member.Path);
                opened = inner.OpenBytes(std::move(bytes), member.Path);
            } catch (const EShelvaraError&) {
                opened = false;
            }
            if (opened) {
                const size_t before = out.size();
                try {
                    ListArchive(inner, prefix + member.Path + "/", file, out, warnings, where, depth + 1);
                } catch (const EShelvaraError& e) {
                    if (warnings) warnings->push_back(AnsiToUtf8(e.what()));
                }
                // An inner archive that holds files stands for them; an empty one for nothing.
                if (out.size() > before || inner.List().empty()) continue;
            }
        }
        TFRec rec = file;
        rec.InArchive = true;
        rec.Member = member;
        rec.Member.Path = prefix + member.Path;
        out.push_back(std::move(rec));
    }
}

}  // namespace

std::vector<TFRec> ListFolder(const std::string& folderPath, std::vector<std::string>* warnings, bool* readable) {
    std::vector<TFRec> out;
    const std::filesystem::path folder = AnsiToPath(folderPath);
    DIR* dir = ::opendir(folder.c_str());
    if (readable) *readable = dir != nullptr;
    if (!dir) return out;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& native : names) {
        const std::filesystem::path path = folder / native;
        // A file being written into place is no book yet; one whose writer died never will be.
        // Only an archive's, of our own making, is removed: a name alone is little proof.
        if (bool stale = false; IsReplaceTemporary(native, &stale)) {
            struct stat own {};
            const std::string target = native.substr(0, native.rfind(".tmp"));
            if (stale && TPacker::ArchiveKind(Utf8ToAnsi(target)) == 1 && ::lstat(path.c_str(), &own) == 0 &&
                S_ISREG(own.st_mode) && own.st_uid == ::geteuid())
                ::unlink(path.c_str());
            continue;
        }
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) continue;  // a dangling link, or gone meanwhile
        TFRec rec;
        rec.Name = Utf8ToAnsi(native);
        rec.Time = LocalDateTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        rec.Size = st.st_size;
        rec.Device = st.st_dev;
        rec.Inode = st.st_ino;
        if (S_ISDIR(st.st_mode)) {
            rec.IsDirectory = true;
            out.push_back(std::move(rec));
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;  // a pipe, socket or device is no book
        if (TPacker::ArchiveKind(rec.Name) == 1) {
            // Most archives are listed from their directory; those holding inner archives are
            // opened, so that the inner ones can be entered.
            std::vector<TArcFileInfoRec> members;
            // One too big to hold in memory lists its own members only.
            if (TPacker::ListFile(PathToAnsi(path), members) &&
                (st.st_size > TPacker::kMaxMemberSize ||
                 std::none_of(members.begin(), members.end(),
                              [](const TArcFileInfoRec& m) { return TPacker::ArchiveKind(m.Path) == 1; }))) {
                for (const TArcFileInfoRec& member : members) {
                    if (member.IsFolder() || !PlainMemberName(member, PathToAnsi(path), warnings)) continue;
                    TFRec inArchive = rec;
                    inArchive.InArchive = true;
                    inArchive.Member = member;
                    out.push_back(std::move(inArchive));
                }
                continue;
            }
            TPacker packer;
            bool opened = false;
            try {
                opened = packer.Open(PathToAnsi(path), false);
                if (opened) {
                    const size_t before = out.size();
                    ListArchive(packer, {}, rec, out, warnings, PathToAnsi(path));
                    if (out.size() > before) continue;
                    continue;  // an archive without file members yields nothing
                }
            } catch (const EShelvaraError& e) {
                if (warnings) warnings->push_back(AnsiToUtf8(e.what()));
            }
            rec.Unreadable = true;
            if (warnings) warnings->push_back("unreadable archive: " + path.string());
        }
        out.push_back(std::move(rec));
    }
    return out;
}

TFileSearchClass::TFileSearchClass(const std::string& pattern) {
    std::error_code ec;
    if (std::filesystem::is_directory(AnsiToPath(pattern), ec)) {
        folder_ = pattern;
        mask_ = "*";
        return;
    }
    const size_t slash = pattern.find_last_of('/');
    folder_ = slash == std::string::npos ? "." : pattern.substr(0, slash == 0 ? 1 : slash);
    mask_ = TrimBlanks(slash == std::string::npos ? pattern : pattern.substr(slash + 1));
    if (mask_.empty() || mask_ == "*.*") mask_ = "*";
}

bool TFileSearchClass::FindFirst(TFRec& record) {
    FindClose();
    std::error_code ec;
    if (!std::filesystem::is_directory(AnsiToPath(folder_), ec)) return false;
    for (const char* dot : {".", ".."}) {
        TFRec rec;
        rec.Name = dot;
        rec.IsDirectory = true;
        if (::fnmatch(mask_.c_str(), dot, 0) == 0) items_.push_back(rec);
    }
    for (TFRec& rec : ListFolder(folder_, &warnings_))
        if (::fnmatch(mask_.c_str(), rec.Name.c_str(), 0) == 0) items_.push_back(std::move(rec));
    return FindNext(record);
}

bool TFileSearchClass::FindNext(TFRec& record) {
    if (next_ >= items_.size()) return false;
    record = items_[next_++];
    return true;
}

bool TArcSearchClass::Open(std::vector<uint8_t> archive) {
    FindClose();
    TPacker packer;
    if (!packer.OpenBytes(std::move(archive), name_)) return false;
    std::vector<TFRec> found;
    try {
        ListArchive(packer, {}, TFRec{}, found, nullptr, name_);
    } catch (const EShelvaraError&) {
        // a listing that fails ends quietly with what it had
    }
    for (TFRec& rec : found)
        members_.push_back(std::move(rec.Member));
    return true;
}

bool TArcSearchClass::FindFirst(TArcFileInfoRec& member) {
    next_ = 0;
    return FindNext(member);
}

bool TArcSearchClass::FindNext(TArcFileInfoRec& member) {
    if (next_ >= members_.size()) return false;
    member = members_[next_++];
    return true;
}
