#include "catalogue/BookInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

#include "catalogue/ArchiveAccess.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookImport.h"
#include "catalogue/BookRecordIO.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Clock.h"
#include "common/Crc32.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"
#include "fb2/FBParser.h"
#include "fb2/MyStream.h"
#include "fb2/XMLPars.h"

namespace {
std::string LowerExtension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return AnsiLowerCase(name.substr(dot + 1));
}

}  // namespace

uint8_t FileTypeOfName(const std::string& name) {
    static const std::pair<const char*, uint8_t> kTypes[] = {
        {"txt", 1},  {"pas", 1},   {"bas", 1},  {"c", 1},    {"cpp", 1},  {"h", 1},   {"hpp", 1},
        {"hh", 1},   {"idl", 1},   {"diz", 1},  {"me", 1},   {"reg", 1},  {"htm", 2}, {"sht", 2},
        {"shtm", 2}, {"shtml", 2}, {"html", 2}, {"mth", 2},  {"fb2", 3},  {"fb", 3},  {"rtf", 4},
        {"bmp", 5},  {"png", 6},   {"jpg", 7},  {"jpeg", 7}, {"gif", 8},  {"xml", 9}, {"pdb", 10},
        {"prc", 10}, {"zip", 11},  {"fbz", 11}, {"arj", 12}, {"rar", 13},
    };
    const std::string ext = LowerExtension(name);
    for (const auto& [e, type] : kTypes)
        if (ext == e) return type;
    return kFileOther;
}

TBookInfo::TBookInfo(TSVD* catalogue) : catalogue_(catalogue) {}

TBookInfo::~TBookInfo() {
    if (catalogue_) catalogue_->ForgetBook(this);
    TBookInfo::Clear();
}

TSequenceEntries* TBookInfo::SequenceEntries(uint8_t role) {
    switch (role) {
        case 1:
            return TitleInfo ? &TitleInfo->Sequences : nullptr;
        case 2:
            return SrcTitleInfo ? &SrcTitleInfo->Sequences : nullptr;
        case 3:
            return PublishInfo ? &PublishInfo->Sequences : nullptr;
        default:
            return nullptr;
    }
}

TSpellingList* TBookInfo::AuthorList(uint8_t role) {
    switch (role) {
        case kRoleTitle:
            return TitleInfo ? &TitleInfo->Authors : nullptr;
        case kRoleTitleTranslator:
            return TitleInfo ? &TitleInfo->Translators : nullptr;
        case kRoleSrcAuthor:
            return SrcTitleInfo ? &SrcTitleInfo->Authors : nullptr;
        case kRoleSrcTranslator:
            return SrcTitleInfo ? &SrcTitleInfo->Translators : nullptr;
        case kRoleDocumentAuthor:
            return DocumentInfo ? &DocumentInfo->Authors : nullptr;
        default:
            return nullptr;
    }
}

TTitleInfo& TBookInfo::EnsureTitleInfo() {
    if (!TitleInfo) TitleInfo = std::make_unique<TTitleInfo>(this, false);
    return *TitleInfo;
}

TTitleInfo& TBookInfo::EnsureSrcTitleInfo() {
    if (!SrcTitleInfo) SrcTitleInfo = std::make_unique<TTitleInfo>(this, true);
    return *SrcTitleInfo;
}

TDocumentInfo& TBookInfo::EnsureDocumentInfo() {
    if (!DocumentInfo) DocumentInfo = std::make_unique<TDocumentInfo>(this);
    return *DocumentInfo;
}

TPublishInfo& TBookInfo::EnsurePublishInfo() {
    if (!PublishInfo) PublishInfo = std::make_unique<TPublishInfo>(this);
    return *PublishInfo;
}

void TBookInfo::Notify(int kind) {
    if (TSVD* catalogue = Container()) catalogue->Notify(TObjectType::Book, this, kind);
}

void TBookInfo::NotifyChanged() {
    Notify(kChanged);
}
void TBookInfo::NotifyRemoved() {
    Notify(kRemoved);
}
void TBookInfo::NotifyAdded() {
    Notify(kAdded);
}
void TBookInfo::NotifyMoved() {
    Notify(kMoved);
}

void TBookInfo::Clear() {
    TitleInfo.reset();
    SrcTitleInfo.reset();
    DocumentInfo.reset();
    PublishInfo.reset();
    Flags = 0;
    FileType = 0;
    Packed = false;
    Votes.Reset();
    FileDate = AddedDate = ReadDate = 0;
    FileName.clear();
    EntryName.clear();
    Size = 0;
    Crc = 0;
    Comment.clear();
    Version = 0;
    ByteCounts.Reset();
    Color = 0;
}

std::string TBookInfo::FileNameInFolder() const {
    return Packed ? FileName + "/" + EntryName : FileName.str();
}

std::string TBookInfo::FullPath() const {
    return Folder ? JoinPath(Folder->FullPath(), FileName) : FileName.str();
}

uint8_t TBookInfo::GetFileType() const {
    if (FileType != 0) return FileType;
    return FileTypeOfName(Packed ? EntryName : FileName);
}

void TBookInfo::SetLost(bool lost) {
    if (lost == IsLost()) return;
    Flags = static_cast<uint16_t>(lost ? Flags | kLost : Flags & ~kLost);
    NotifyChanged();
}

void TBookInfo::ShowPresence(bool exists) {
    if (exists != IsLost()) return;
    Flags = static_cast<uint16_t>(exists ? Flags & ~kLost : Flags | kLost);
    if (TSVD* catalogue = Container()) catalogue->Notify(TObjectType::Book, this, kChanged, false);
}

bool TBookInfo::IsReadOnly() const {
    return (Flags & kReadOnly) || (Folder && Folder->IsReadOnly());
}

void TBookInfo::CheckWritable() const {
    if (IsReadOnly()) RaiseFixedError("Document is read only!");
}

namespace {

IArchiveAccess* PackerOf(const TBookInfo& book) {
    const TSVD* catalogue = book.Container();
    return catalogue ? catalogue->Packer.get() : nullptr;
}

}  // namespace

bool BookFileExists(IArchiveAccess* packer, const std::string& fullPath, bool packed, const std::string& entryName) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(AnsiToPath(fullPath), ec)) return false;
    return !packed || (packer && packer->Contains(fullPath, entryName));
}

bool TBookInfo::ExistsOnDisk(IArchiveAccess* packer) const {
    return BookFileExists(packer ? packer : PackerOf(*this), FullPath(), Packed, EntryName);
}

bool TBookInfo::CheckExists() {
    // The disk is asked without the catalogue lock; only the mark is set under it.
    const bool exists = ExistsOnDisk();
    TCatalogueGuard guard;
    SetLost(!exists);
    return exists;
}

void TBookInfo::ComputeByteCounts(const uint8_t* data, size_t size) {
    // Four tables, so that runs of one byte value do not wait on one counter.
    std::array<std::array<uint32_t, 256>, 4> partial{};
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++partial[0][data[i]];
        ++partial[1][data[i + 1]];
        ++partial[2][data[i + 2]];
        ++partial[3][data[i + 3]];
    }
    for (; i < size; ++i)
        ++partial[0][data[i]];
    TByteCounts::TTable counts{};
    for (size_t b = 0; b < 256; ++b)
        counts[b] = static_cast<int32_t>(partial[0][b] + partial[1][b] + partial[2][b] + partial[3][b]);
    ByteCounts = counts;
    Flags |= kHasByteCounts;
}

namespace {

struct stat StatBookFile(const std::string& fullPath) {
    struct stat st {};
    if (::stat(AnsiToPath(fullPath).c_str(), &st) != 0) RaiseOsError("Cannot open file", fullPath, errno);
    // A pipe or device put in a book's place is no book, whatever its name.
    if (!S_ISREG(st.st_mode)) RaiseError(rsErrNotRegularFile, {fullPath});
    if (st.st_size >= (int64_t{1} << 31)) RaiseError(rsErrFileTooBig);
    return st;
}

}  // namespace

std::vector<uint8_t> ReadBookBytes(IArchiveAccess* packer, const std::string& fullPath, bool packed,
                                   const std::string& entryName) {
    if (packed) {
        if (!packer) RaiseError(rsErrNoPacked);
        return packer->ReadMember(fullPath, entryName);
    }
    StatBookFile(fullPath);
    // Read, not mapped: a file cut short by another program meanwhile must not bring the
    // process down.
    return ReadWholeFile(AnsiToPath(fullPath));
}

// When a head read so far is enough: the checksum's kCrcLimit bytes, and the end of the
// description where the description-only parse stops (a UTF-16 text is parsed whole).
std::function<bool(const std::vector<uint8_t>&)> HeadNeeded(bool crc, bool description) {
    return [crc, description, from = size_t{0}](const std::vector<uint8_t>& bytes) mutable {
        return (!crc || static_cast<int64_t>(bytes.size()) >= TBookInfo::kCrcLimit) &&
               (!description ||
                (!IsUtf16Xml(bytes.data(), bytes.size()) && DescriptionEnd(bytes.data(), bytes.size(), from) != 0));
    };
}

TPreparedContent PrepareBookContent(IArchiveAccess* packer, const std::string& fullPath, bool packed,
                                    const std::string& entryName, unsigned what) {
    TPreparedContent content;
    const bool parse = (what & 4) && FileTypeOfName(packed ? entryName : fullPath) == kFileFb2;
    const bool wantBytes = (what & 3) || parse;
    std::vector<uint8_t> bytes;
    // Byte counts need every byte; the checksum only the first kCrcLimit; the description only
    // what comes before its end. Nothing more is read (or, in an archive, inflated).
    const bool whole = (what & 2) != 0;
    if (packed) {
        // The member's own size, date and content: all members of one archive share the
        // archive's, which would make every one of them look like the others.
        if (!packer) RaiseError(rsErrNoPacked);
        IArchiveAccess::TMemberInfo info;
        if (!packer->MemberInfo(fullPath, entryName, info)) RaiseError(rsErrNoPacked);
        content.Size = info.Size;
        content.Date = info.Date;
        // Ours follows from the archive's checksum of the member, without a pass over the data.
        if ((what & 1) && info.Size <= TBookInfo::kCrcLimit) {
            content.HasCrc = true;
            content.Crc = Crc32FromStandard(info.Crc, static_cast<uint64_t>(info.Size));
        }
        const bool crcBytes = (what & 1) && !content.HasCrc;
        if (whole)
            bytes = packer->ReadMember(fullPath, entryName);
        else if (crcBytes || parse)
            bytes = packer->ReadMemberHead(fullPath, entryName, HeadNeeded(crcBytes, parse));
    } else {
        const struct stat st = StatBookFile(fullPath);
        content.Size = st.st_size;
        content.Date = LocalDateTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        // Read, not mapped: a file cut short by another program meanwhile must not bring the
        // process down.
        if (whole)
            bytes = ReadWholeFile(AnsiToPath(fullPath));
        else if (wantBytes)
            bytes = ReadFileHead(AnsiToPath(fullPath), HeadNeeded((what & 1) != 0, parse));
    }
    if ((what & 1) && !content.HasCrc) {
        content.HasCrc = true;
        content.Crc = Crc32Update(
            0, bytes.data(),
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(bytes.size()), TBookInfo::kCrcLimit)));
    }
    if (what & 2) {
        content.HasCounts = true;
        TBookInfo counter(nullptr);
        counter.ComputeByteCounts(bytes.data(), bytes.size());
        content.Counts = counter.ByteCounts;
    }
    if (parse) {
        auto document = std::make_shared<TFictionBook>();
        try {
            if (document->LoadFromBytes(bytes.data(), bytes.size(), kKeepDescription))
                content.Document = document;
            else
                content.ParseError = document->FailureText();
        } catch (const EShelvaraError&) {
            // a file that is no FB2 imports nothing
        }
    }
    return content;
}

namespace {

// Dates are stored with two-second resolution: an unchanged file is not a changed one.
bool SameFileTime(TDateTime a, TDateTime b) {
    return std::floor(a * 43200.0 + 1e-6) == std::floor(b * 43200.0 + 1e-6);
}

// Takes size, date and, as prepared, the CRC-32 and the byte counts.
bool ApplyContent(TBookInfo& book, const TPreparedContent& content) {
    bool changed = false;
    const auto size32 = static_cast<int32_t>(std::min<int64_t>(content.Size, INT32_MAX));
    if (size32 != book.Size) book.Size = size32, changed = true;
    if (!SameFileTime(content.Date, book.FileDate)) book.FileDate = content.Date, changed = true;
    if (content.HasCrc && content.Crc != book.Crc) book.Crc = content.Crc, changed = true;
    if (content.HasCounts) {
        book.ByteCounts = content.Counts;
        book.Flags |= TBookInfo::kHasByteCounts;
    }
    if (book.AddedDate == 0) book.AddedDate = Now();
    return changed;
}

}  // namespace

bool TBookInfo::UpdateFileInfo(unsigned what) {
    if (IsReadOnly()) return false;
    return ApplyContent(*this, PrepareBookContent(PackerOf(*this), FullPath(), Packed, EntryName, what & 3));
}

bool TBookInfo::UpdateFromDisk(unsigned what, bool replace, const TPreparedContent* prepared, IArchiveAccess* packer) {
    if (IsReadOnly()) return false;
    bool changed = false;
    // The disk is read without the catalogue lock, so that readers (the window painting) never
    // wait on it; the outcome is applied under the lock. The content is read once for the
    // checksum, the byte counts and the description.
    if (!packer) packer = PackerOf(*this);
    const bool exists = ExistsOnDisk(packer);
    TPreparedContent local;
    if (exists && !prepared) local = PrepareBookContent(packer, FullPath(), Packed, EntryName, what);
    {
        TCatalogueGuard guard;
        const bool wasLost = IsLost();
        SetLost(!exists);
        changed = wasLost != IsLost();
        if (!IsLost()) {
            const TPreparedContent& content = prepared ? *prepared : local;
            changed |= ApplyContent(*this, content);
            if ((what & 4) && GetFileType() == kFileFb2 && content.Document)
                changed |= ImportDescription(*this, *content.Document, replace);
        }
    }
    if (changed) NotifyChanged();
    return changed;
}

int32_t TBookInfo::Rating() const {
    int64_t votes = 0, sum = 0;
    for (int mark = 0; mark <= 10; ++mark) {
        votes += Votes[static_cast<size_t>(mark)];
        sum += static_cast<int64_t>(mark) * Votes[static_cast<size_t>(mark)];
    }
    if (votes == 0 || sum == 0) return 0;
    return static_cast<int32_t>(sum * 1000 / votes);
}

std::string TBookInfo::TitleText() const {
    if (!TitleInfo || TitleInfo->Titles.empty()) return {};
    std::string text = TrimBlanks(TitleInfo->Titles[0]);
    if (TitleInfo->Titles.size() > 1) {
        text += " (";
        for (size_t i = 1; i < TitleInfo->Titles.size(); ++i) {
            if (i > 1) text += ", ";
            text += "=" + TrimBlanks(TitleInfo->Titles[i]);
        }
        text += ")";
    }
    return text;
}

std::string TBookInfo::AuthorsText() const {
    std::string text;
    if (!TitleInfo) return text;
    for (const TAuthorName* spelling : TitleInfo->Authors) {
        const std::string name = spelling->DisplayName();
        if (name.empty()) continue;
        if (!text.empty()) text += ", ";
        text += name;
    }
    return text;
}

std::string TBookInfo::SeriesText() const {
    std::string text;
    if (!TitleInfo) return text;
    for (const TSequenceEntry& entry : TitleInfo->Sequences) {
        const std::string name = entry.Sequence->DisplayName();
        if (name.empty()) continue;
        if (!text.empty()) text += ", ";
        text += name;
    }
    return text;
}

int32_t TBookInfo::SeriesNumber() const {
    if (!TitleInfo) return -1;
    for (const TSequenceEntry& entry : TitleInfo->Sequences)
        if (!entry.Sequence->DisplayName().empty()) return entry.Number;
    return -1;
}

namespace {

// The title-info genres with a code, each as shown, joined by ", ".
template <typename Shown>
std::string JoinGenres(const TTitleInfo* part, Shown shown) {
    std::string text;
    if (!part) return text;
    for (const TBookGenre* genre : part->Genres) {
        if (genre->Code.empty()) continue;
        if (!text.empty()) text += ", ";
        text += shown(*genre);
    }
    return text;
}

}  // namespace

std::string TBookInfo::GenresText() const {
    return JoinGenres(TitleInfo.get(), [](const TBookGenre& g) -> const std::string& { return g.Code; });
}

std::string TBookInfo::GenreNamesText() const {
    return JoinGenres(TitleInfo.get(), [](const TBookGenre& g) {
        const std::string name = TrimBlanks(g.RusName);
        return name.empty() ? g.Code : name;
    });
}

void TBookInfo::SetNames(const std::string& fileName, const std::string& entryName) {
    if (fileName == FileName && entryName == EntryName) return;
    FileName = fileName;
    EntryName = entryName;
    NotifyChanged();
}

void TBookInfo::Rename(const std::string& newName) {
    if (Packed) RaiseFixedError("Not implemented yet... Sorry.");
    const std::string name = TrimBlanks(newName);
    // Names differing only in letter case are two names here: such a rename is a real one.
    if (name == TrimBlanks(FileName)) return;
    if (!IsValidEntryName(name)) RaiseFixedError("Invalid file name!");
    if (Folder) {
        CheckWritable();
        MoveEntry(AnsiToPath(FullPath()), AnsiToPath(JoinPath(Folder->FullPath(), name)));
    }
    FileName = name;
    NotifyChanged();
}

bool TBookInfo::DeleteFile() {
    CheckWritable();
    if (Packed) {
        // Only the book's own entry goes; the archive may hold other books.
        IArchiveAccess* packer = PackerOf(*this);
        if (!packer) RaiseFixedError("Not implemented yet... Sorry.");
        if (packer->Contains(FullPath(), EntryName)) packer->RemoveMember(FullPath(), EntryName);
        NotifyRemoved();
        return true;
    }
    if (!RemoveFile(AnsiToPath(FullPath()))) return false;
    NotifyRemoved();
    return true;
}

bool TBookInfo::MoveToFolder(TBookFolder* folder) {
    if (Packed) RaiseFixedError("Not implemented yet... Sorry.");
    CheckWritable();
    std::error_code ec;
    if (!folder || !Folder || folder == Folder || !std::filesystem::is_regular_file(AnsiToPath(FullPath()), ec) ||
        !folder->Exists())
        return false;
    folder->CheckWritable();
    MoveEntry(AnsiToPath(FullPath()), AnsiToPath(JoinPath(folder->FullPath(), FileName)));
    folder->AdoptBook(Folder->ExtractBook(this));
    NotifyMoved();
    return true;
}

void TBookInfo::Assign(const TBookInfo& other) {
    Clear();
    Flags = other.Flags;
    FileType = other.FileType;
    Packed = other.Packed;
    if (other.TitleInfo) EnsureTitleInfo().Assign(*other.TitleInfo);
    if (other.SrcTitleInfo) EnsureSrcTitleInfo().Assign(*other.SrcTitleInfo);
    if (other.DocumentInfo) EnsureDocumentInfo().Assign(*other.DocumentInfo);
    if (other.PublishInfo) EnsurePublishInfo().Assign(*other.PublishInfo);
    Votes = other.Votes;
    FileDate = other.FileDate;
    AddedDate = other.AddedDate;
    ReadDate = other.ReadDate;  // a book found again keeps its read mark
    FileName = other.FileName;
    EntryName = other.EntryName;
    Size = other.Size;
    Crc = other.Crc;
    Comment = other.Comment;
    Version = other.Version;
    ByteCounts = other.ByteCounts;
    Color = other.Color;
}

void TBookInfo::UpdateFlags() {
    const TSVD* catalogue = Container();
    const bool huffman = catalogue && catalogue->SaveHuffman && ByteCounts.Any();
    auto set = [this](uint16_t bit, bool on) { Flags = static_cast<uint16_t>(on ? Flags | bit : Flags & ~bit); };
    set(kHasByteCounts, huffman);
    set(kHasVotes, std::any_of(Votes.begin(), Votes.end(), [](int32_t v) { return v != 0; }));
    set(kHasReadDate, ReadDate != 0);
    set(kHasTitleInfo, TitleInfo && TitleInfo->HasData());
    set(kHasSrcTitleInfo, SrcTitleInfo && SrcTitleInfo->HasData());
    set(kHasDocumentInfo, DocumentInfo && DocumentInfo->HasData());
    set(kHasPublishInfo, PublishInfo && PublishInfo->HasData());
    set(kHasComment, !Blank(Comment));
    set(kHasVersion, Version != 0);
    set(kHasColor, Color != 0);
}

void TBookInfo::SaveToStream(TSVDStream& stream, bool withImages) {
    UpdateFlags();
    stream.WriteWord(Flags);
    stream.WriteByte(FileType);
    stream.WriteByte(Packed ? 1 : 0);
    if (Flags & kHasTitleInfo) TitleInfo->SaveToStream(stream, withImages);
    if (Flags & kHasSrcTitleInfo) SrcTitleInfo->SaveToStream(stream, withImages);
    if (Flags & kHasDocumentInfo) DocumentInfo->SaveToStream(stream);
    if (Flags & kHasPublishInfo) PublishInfo->SaveToStream(stream);
    if (Flags & kHasVotes)
        for (int32_t v : Votes)
            stream.WriteInt(v);
    if (Flags & kHasReadDate) stream.WriteDate(ReadDate);
    if (Flags & kHasComment) stream.WriteStr(Comment);
    if (Flags & kHasVersion) stream.WriteByte(Version);
    if (Flags & kHasColor) stream.WriteByte(Color);
    if (Flags & kHasByteCounts)
        for (int32_t n : ByteCounts)
            stream.WriteInt(n);
    stream.WriteDate(FileDate);
    stream.WriteDate(AddedDate);
    stream.WriteStr(FileName);
    if (Packed) stream.WriteStr(EntryName);
    stream.WriteInt(Size);
    stream.WriteDWord(Crc);
}

void TBookInfo::LoadFromStream(TSVDStream& stream) {
    Clear();
    const TSVD* catalogue = Container();
    if (!catalogue) RaiseError(rsErrImproperCall);
    Flags = stream.ReadWord();
    FileType = stream.ReadByte();
    Packed = stream.ReadByte() != 0;
    if (Flags & kHasTitleInfo) EnsureTitleInfo().LoadFromStream(stream, *catalogue);
    if (Flags & kHasSrcTitleInfo) EnsureSrcTitleInfo().LoadFromStream(stream, *catalogue);
    if (Flags & kHasDocumentInfo) EnsureDocumentInfo().LoadFromStream(stream, *catalogue);
    if (Flags & kHasPublishInfo) EnsurePublishInfo().LoadFromStream(stream, *catalogue);
    if (Flags & kHasVotes)
        for (size_t i = 0; i < Votes.size(); ++i)
            Votes[i] = stream.ReadInt();
    if (Flags & kHasReadDate) ReadDate = stream.ReadDate();
    if (Flags & kHasComment) Comment = catalogue->ReadBookText(stream);
    if (Flags & kHasVersion) Version = stream.ReadByte();
    if (Flags & kHasColor) Color = stream.ReadByte();
    if (Flags & kHasByteCounts)
        for (size_t i = 0; i < 256; ++i)
            ByteCounts[i] = stream.ReadInt();
    FileDate = stream.ReadDate();
    AddedDate = stream.ReadDate();
    FileName = catalogue->ReadBookText(stream);
    if (Packed) EntryName = catalogue->ReadBookText(stream);
    Size = stream.ReadInt();
    Crc = stream.ReadDWord();
}

void TBookInfo::LoadOldFromStream(TSVDStream& stream) {
    Clear();
    TSVD* catalogue = Container();
    if (!catalogue) RaiseError(rsErrImproperCall);
    // Old day numbers count from 2003-01-01.
    const TDateTime dayZero = EncodeDate(2003, 1, 1);
    FileName = stream.ReadStr();
    const int authorCount = stream.ReadByte();
    const int titleCount = stream.ReadByte();
    TTitleInfo& title = EnsureTitleInfo();
    for (int i = 0; i < authorCount; ++i)
        if (TAuthorName* spelling = catalogue->Authors.FindByIndex(stream.ReadOldInt())) title.AddAuthor(spelling);
    for (int i = 0; i < titleCount; ++i)
        title.Titles.push_back(stream.ReadStr());
    const std::string series = stream.ReadStr();
    if (!series.empty()) title.AddSequence(catalogue->FindOrAddSequence(series, true), 1, true);
    Comment = stream.ReadStr();
    Size = static_cast<int32_t>(stream.ReadDWord());
    FileDate = dayZero + static_cast<int16_t>(stream.ReadWord());
    const int rating = std::min<int>(static_cast<int16_t>(stream.ReadWord()), 1000);
    if (rating > 0) Votes[static_cast<size_t>(rating / 100)] = 1;
    const auto slot = static_cast<int8_t>(stream.ReadByte());
    if (slot >= 0)
        if (TBookGenre* genre = catalogue->GenreByNumber(slot)) title.AddGenre(genre, true);
    Crc = stream.ReadDWord();
    const uint8_t oldFlags = stream.ReadByte();
    if (oldFlags & 0x01) Flags |= kShown;
    if (oldFlags & 0x10) Flags |= kHasByteCounts;
    if (oldFlags & 0x02) ReadDate = FileDate;
    Version = stream.ReadByte();
    if (oldFlags & 0x10)
        for (size_t i = 0; i < 256; ++i)
            ByteCounts[i] = stream.ReadOldInt();
    AddedDate = dayZero + static_cast<int16_t>(stream.ReadWord());
    Color = stream.ReadByte();
    const bool huffman = catalogue->SaveHuffman && ByteCounts.Any();
    Flags = static_cast<uint16_t>(huffman ? Flags | kHasByteCounts : Flags & ~kHasByteCounts);
}
