#include "scan/Packer.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <zip.h>

#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"
#include "common/ScopeExit.h"
#include "common/TextUtils.h"
#include "fb2/Recoder.h"

namespace {

[[noreturn]] void RaiseZipError(const std::string& what, zip_t* archive) {
    RaiseFixedError(what + ": " + (archive ? zip_strerror(archive) : "damaged archive"));
}

// A member name as engine text. Names stored with the UTF-8 flag (or plain ASCII) read the
// same raw and strictly decoded; the others are, in the archives Russian users have, CP866.
std::string MemberName(zip_t* archive, zip_uint64_t index) {
    const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    const char* strict = zip_get_name(archive, index, ZIP_FL_ENC_STRICT);
    if (!raw) return {};
    if (strict && std::strcmp(raw, strict) == 0) return Utf8ToAnsi(raw);
    std::string name = raw;
    SingleByteToAnsiInPlace(name.data(), TSourceEncoding::Cp866);
    return name.c_str();
}

time_t LocalTimeOf(TDateTime date) {
    const TDateParts p = DecodeDateTime(date);
    tm t{};
    t.tm_year = p.Year - 1900;
    t.tm_mon = p.Month - 1;
    t.tm_mday = p.Day;
    t.tm_hour = p.Hour;
    t.tm_min = p.Minute;
    t.tm_sec = p.Second;
    t.tm_isdst = -1;
    return mktime(&t);
}

}  // namespace

void TPacker::SourceFree::operator()(zip_source* source) const {
    zip_source_free(source);
}

void TPacker::ArchiveDiscard::operator()(zip* archive) const {
    zip_discard(archive);
}

void TZipFileReader::ArchiveDiscard::operator()(zip* archive) const {
    zip_discard(archive);
}

TPacker::TPacker(TPacker* owner) : owner_(owner) {}

TPacker::~TPacker() {
    try {
        Close();
    } catch (const EShelvaraError&) {
        // A destructor cannot report; callers that care call Close first.
    }
}

int TPacker::ArchiveKind(const std::string& name) {
    std::string n = AnsiLowerCase(TrimBlanks(name));
    const size_t dot = n.find_last_of('.');
    const size_t slash = n.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return 0;
    // .fbz is a zipped FB2 under its own extension: the same archive.
    const std::string ext = n.substr(dot + 1);
    return ext == "zip" || ext == "fbz" ? 1 : 0;
}

int TPacker::Depth() const {
    int depth = 0;
    for (const TPacker* p = owner_; p; p = p->owner_)
        ++depth;
    return depth;
}

void TPacker::CheckOpen() const {
    if (!archive_) RaiseFixedError("Error!!!");
}

bool TPacker::Open(const std::string& fileName, bool allowCreate) {
    const std::string name = TrimBlanks(fileName);
    if (archive_ && name == name_) return false;
    Close();
    if (ArchiveKind(name) != 1) return false;
    std::vector<uint8_t> bytes;
    const std::filesystem::path path = AnsiToPath(name);
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        if (std::filesystem::file_size(path, ec) > static_cast<uintmax_t>(kMaxMemberSize)) return false;
        try {
            bytes = ReadWholeFile(path);
        } catch (const EShelvaraError&) {
            return false;
        }
    } else if (!allowCreate) {
        return false;
    }
    if (bytes.empty() && !allowCreate) return false;
    if (!OpenBytes(std::move(bytes), name)) return false;
    onDisk_ = true;
    return true;
}

namespace {

uint32_t U16(const std::vector<uint8_t>& data, size_t at) {
    return static_cast<uint32_t>(data[at] | data[at + 1] << 8);
}

uint32_t U32(const std::vector<uint8_t>& data, size_t at) {
    return U16(data, at) | U16(data, at + 2) << 16;
}

// Calls visit(index, position) for each record of the central directory, as far as the records
// are whole; false when there is no end record to start from.
template <typename Visit>
bool ForEachCentralRecord(const std::vector<uint8_t>& data, Visit visit) {
    if (data.size() < 22) return false;
    // The end record is in the last 64 KiB + 22 bytes (its comment is at most 64 KiB).
    size_t end = data.size() - 22;
    const size_t stop = end > 65535 ? end - 65535 : 0;
    while (U32(data, end) != 0x06054B50) {
        if (end == stop) return false;
        --end;
    }
    const uint32_t count = U16(data, end + 10);
    size_t at = U32(data, end + 16);
    for (uint32_t index = 0; index < count; ++index) {
        if (at + 46 > data.size() || U32(data, at) != 0x02014B50) break;
        const size_t next = at + 46 + U16(data, at + 28) + U16(data, at + 30) + U16(data, at + 32);
        if (next > data.size()) break;
        visit(index, at);
        at = next;
    }
    return true;
}

// Members whose stored data overlap: a few hundred bytes then unpack as many gigabytes.
bool HasOverlappingMembers(const std::vector<uint8_t>& data) {
    std::vector<std::pair<uint64_t, uint64_t>> spans;  // [begin, end) of each member's local record and data
    bool sizesKnown = true;
    ForEachCentralRecord(data, [&](uint32_t, size_t at) {
        const uint64_t local = U32(data, at + 42), packed = U32(data, at + 20);
        if (local == 0xFFFFFFFF || packed == 0xFFFFFFFF || local + 30 > data.size()) {
            sizesKnown = false;  // ZIP64: left to libzip
            return;
        }
        const uint64_t header = 30 + U16(data, local + 26) + U16(data, local + 28);
        spans.emplace_back(local, local + header + packed);
    });
    if (!sizesKnown) return false;
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].first < spans[i - 1].second) return true;
    return false;
}

}  // namespace

bool TPacker::OpenBytes(std::vector<uint8_t> bytes, const std::string& name) {
    Close();
    if (HasOverlappingMembers(bytes)) return false;
    data_ = std::move(bytes);
    for (bool repaired = false;;) {
        zip_error_t error;
        zip_error_init(&error);
        source_.reset(zip_source_buffer_create(data_.empty() ? nullptr : data_.data(), data_.size(), 0, &error));
        if (!source_) {
            zip_error_fini(&error);
            data_.clear();
            return false;
        }
        archive_.reset(zip_open_from_source(source_.get(), data_.empty() ? ZIP_TRUNCATE : 0, &error));
        const bool inconsistent = zip_error_code_zip(&error) == ZIP_ER_INCONS;
        zip_error_fini(&error);
        if (archive_) break;
        source_.reset();
        // One member name flagged as UTF-8 that is not makes libzip refuse the whole archive:
        // the others are still books. The flag is dropped and that member left out.
        if (inconsistent && !repaired && ClearFalseUtf8Flags(data_, skipped_)) {
            repaired = true;
            continue;
        }
        data_.clear();
        skipped_.clear();
        return false;
    }
    // The archive owns the source now; a reference of our own reads it back once written.
    zip_source_keep(source_.get());
    name_ = name;
    modified_ = false;
    namesRead_ = false;
    return true;
}

bool TPacker::ClearFalseUtf8Flags(std::vector<uint8_t>& data, std::unordered_set<uint64_t>& cleared) {
    constexpr uint16_t kUtf8Flag = 0x0800;
    ForEachCentralRecord(data, [&](uint32_t index, size_t at) {
        const std::string_view name(reinterpret_cast<const char*>(data.data() + at + 46), U16(data, at + 28));
        if (!(U16(data, at + 8) & kUtf8Flag) || IsValidUtf8(name)) return;
        data[at + 9] &= static_cast<uint8_t>(~(kUtf8Flag >> 8));
        const size_t local = U32(data, at + 42);
        if (local + 30 <= data.size() && U32(data, local) == 0x04034B50)
            data[local + 7] &= static_cast<uint8_t>(~(kUtf8Flag >> 8));
        cleared.insert(index);
    });
    return !cleared.empty();
}

std::vector<uint8_t> TPacker::ArchiveBytes() {
    if (zip_close(archive_.get()) != 0) {
        const std::string message = zip_strerror(archive_.get());
        archive_.reset();
        RaiseFixedError("Cannot write archive " + name_ + ": " + message);
    }
    archive_.release();  // zip_close freed it
    std::vector<uint8_t> bytes;
    zip_stat_t st;
    if (zip_source_open(source_.get()) != 0) RaiseFixedError("Cannot write archive " + name_);
    zip_stat_init(&st);
    if (zip_source_stat(source_.get(), &st) == 0 && (st.valid & ZIP_STAT_SIZE)) bytes.reserve(st.size);
    uint8_t chunk[65536];
    for (;;) {
        const zip_int64_t n = zip_source_read(source_.get(), chunk, sizeof chunk);
        if (n < 0) {
            zip_source_close(source_.get());
            RaiseFixedError("Cannot write archive " + name_);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    zip_source_close(source_.get());
    return bytes;
}

void TPacker::Forget() {
    archive_.reset();
    source_.reset();
    data_.clear();
    names_.clear();
    indexOf_.clear();
    added_.clear();
    namesRead_ = false;
    modified_ = false;
    name_.clear();
    onDisk_ = false;
    skipped_.clear();
    inflated_ = 0;
    counted_.clear();
}

std::vector<uint8_t> TPacker::CloseToBytes() {
    if (nested_) {
        std::unique_ptr<TPacker> nested = std::move(nested_);
        nested->Close();
    }
    CheckOpen();
    ScopeExit reset([this] { Forget(); });
    return modified_ ? ArchiveBytes() : data_;
}

void TPacker::Close() {
    // An inner archive goes into this one before this one is written.
    if (nested_) {
        std::unique_ptr<TPacker> nested = std::move(nested_);
        nested->Close();
    }
    if (!archive_) return;
    // Closed however the write ends: a failed write leaves no half-open archive behind.
    ScopeExit reset([this] { Forget(); });
    if (!modified_) return;
    const std::vector<uint8_t> bytes = ArchiveBytes();
    if (owner_)
        owner_->AddFromBytes(name_, bytes, Now(), 0x20, true);
    else if (onDisk_)
        ReplaceFile(AnsiToPath(name_), bytes.data(), bytes.size());
    else
        RaiseFixedError("Cannot write archive " + name_ + ": it was opened from memory and belongs to no file");
}

int64_t TPacker::IndexOf(const std::string& path) {
    CheckOpen();
    if (!namesRead_) {
        names_.clear();
        indexOf_.clear();
        const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            names_.push_back(MemberName(archive_.get(), static_cast<zip_uint64_t>(i)));
            if (!names_.back().empty()) indexOf_.emplace(names_.back(), i);
        }
        namesRead_ = true;
    }
    auto it = indexOf_.find(path);
    return it == indexOf_.end() ? -1 : it->second;
}

TPacker* TPacker::Resolve(const std::string& path, std::string& rest) {
    rest = path;
    if (IndexOf(path) >= 0) return this;
    // The longest leading part of the path that is a member.
    std::string best;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (IndexOf(prefix) >= 0) best = prefix;
    }
    if (best.empty() || ArchiveKind(best) != 1 || Depth() >= kMaxNesting) return this;
    if (nested_ && nested_->name_ != best) {
        std::unique_ptr<TPacker> previous = std::move(nested_);
        previous->Close();
    }
    if (!nested_) {
        auto inner = std::make_unique<TPacker>(this);
        std::vector<uint8_t> bytes;
        try {
            bytes = Extract(best);
        } catch (const EShelvaraError&) {
            return this;
        }
        if (!inner->OpenBytes(std::move(bytes), best)) return this;
        nested_ = std::move(inner);
    }
    return nested_->Resolve(path.substr(best.size() + 1), rest);
}

std::vector<TArcFileInfoRec> TPacker::List() {
    CheckOpen();
    IndexOf({});
    std::vector<TArcFileInfoRec> members;
    for (size_t i = 0; i < names_.size(); ++i) {
        if (skipped_.count(i)) continue;
        TArcFileInfoRec info = InfoAt(i);
        if (info.Found) members.push_back(std::move(info));
    }
    return members;
}

namespace {

// What the central directory says of one member.
TArcFileInfoRec InfoOf(zip_t* archive, zip_uint64_t i, const std::string& name) {
    TArcFileInfoRec info;
    zip_stat_t st;
    if (zip_stat_index(archive, i, 0, &st) != 0) return info;
    info.Path = name;
    info.Size = static_cast<int64_t>(st.size);
    info.CompressedSize = static_cast<int64_t>(st.comp_size);
    info.Crc = st.crc;
    info.Encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    info.Date = (st.valid & ZIP_STAT_MTIME) ? LocalDateTimeFromUnix(st.mtime) : 0;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, i, 0, &system, &attributes) == 0) {
        if (system == ZIP_OPSYS_UNIX)
            info.Attributes = S_ISDIR(attributes >> 16) ? 0x10 : 0x20;
        else
            info.Attributes = attributes & 0xFF;
    }
    info.Found = true;
    return info;
}

}  // namespace

TArcFileInfoRec TPacker::InfoAt(size_t i) {
    return InfoOf(archive_.get(), i, names_[i]);
}

bool TPacker::ListFile(const std::string& fileName, std::vector<TArcFileInfoRec>& members) {
    members.clear();
    return ArchiveKind(fileName) == 1 && TZipFileReader(fileName).List(members);
}

bool TPacker::FindEntry(const std::string& path, TArcFileInfoRec& info, bool deep) {
    CheckOpen();
    std::string rest = path;
    TPacker* packer = deep ? Resolve(path, rest) : this;
    const int64_t index = packer->IndexOf(rest);
    info = {};
    if (index < 0) return false;
    info = packer->InfoAt(static_cast<size_t>(index));
    return info.Found;
}

bool TPacker::EntryExists(const std::string& path, bool deep) {
    TArcFileInfoRec info;
    return FindEntry(path, info, deep);
}

std::vector<uint8_t> TPacker::Extract(const std::string& path) {
    return Extract(path, {});
}

namespace {

// Inflates member index of an open archive until enough(bytes so far) or its end, adding what
// it inflates to *inflated, which may not pass budget (owner names the archive in the error).
std::vector<uint8_t> ReadMemberData(zip_t* archive, zip_uint64_t index, const std::string& path, int64_t* inflated,
                                    int64_t budget, const std::string& owner,
                                    const std::function<bool(const std::vector<uint8_t>&)>& enough,
                                    bool* whole = nullptr) {
    if (whole) *whole = false;
    zip_stat_t st;
    if (zip_stat_index(archive, index, 0, &st) != 0) RaiseZipError("Damaged archive", archive);
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        RaiseFixedError("The member is encrypted: " + path);
    // Deflate cannot pack better than about 1:1032; a larger claimed ratio on a large member is a
    // bomb, and no book reaches 2 GiB.
    const auto size = static_cast<int64_t>(st.size), packed = static_cast<int64_t>(st.comp_size);
    if (size > TPacker::kMaxMemberSize || (size > (64 << 20) && size / std::max<int64_t>(packed, 1) > 1100))
        RaiseError(rsErrFileTooBig);
    zip_file_t* file = zip_fopen_index(archive, index, 0);
    if (!file) RaiseZipError("Cannot read member " + path, archive);
    const std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> closer(file, zip_fclose);
    // Grown as the data comes rather than by the size the header claims.
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(std::min<int64_t>(size, 16 << 20)));
    zip_int64_t done = 0;
    uint8_t chunk[65536];
    while (done < size) {
        const zip_int64_t n =
            zip_fread(file, chunk, static_cast<zip_uint64_t>(std::min<int64_t>(size - done, sizeof chunk)));
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
        done += n;
        if (inflated) {
            *inflated += n;
            if (*inflated > budget)
                RaiseFixedError(
                    "The archive unpacks to far more than it holds (a ZIP bomb?); it is not read further: " + owner);
        }
        if (enough && enough(bytes)) return bytes;
    }
    // One byte more must not come: the member is not larger than it says.
    uint8_t extra;
    const zip_int64_t more = done == size ? zip_fread(file, &extra, 1) : -1;
    if (done != size || more != 0) RaiseFixedError("Damaged archive member: " + path);
    if (whole) *whole = true;
    return bytes;
}

int64_t BudgetFor(int64_t archiveSize) {
    // Books pack 3 to 5 times; 32 times the archive (and 64 MiB for the smallest) is more than
    // any real archive of books unpacks to, and little for a bomb's 1000 times.
    return (int64_t{64} << 20) + 32 * archiveSize;
}

}  // namespace

int64_t TPacker::InflateBudget() const {
    return BudgetFor(static_cast<int64_t>(data_.size()));
}

std::vector<uint8_t> TPacker::Extract(const std::string& path,
                                      const std::function<bool(const std::vector<uint8_t>&)>& enough) {
    CheckOpen();
    std::string rest;
    TPacker* packer = Resolve(path, rest);
    const int64_t index = packer->IndexOf(rest);
    if (index < 0) RaiseFixedError("No such member: " + path);
    if (auto added = packer->added_.find(rest); added != packer->added_.end()) return added->second;
    // An archive and the archives inside it share one budget: a bomb nested level by level, each
    // level within its own, is still a bomb.
    TPacker* root = packer;
    while (root->owner_)
        root = root->owner_;
    // A member read whole once is not counted again: reading it twice makes nothing bigger.
    const bool counted = packer->counted_.count(index) > 0;
    bool whole = false;
    std::vector<uint8_t> bytes =
        ReadMemberData(packer->archive_.get(), static_cast<zip_uint64_t>(index), path,
                       counted ? nullptr : &root->inflated_, root->InflateBudget(), root->name_, enough, &whole);
    if (whole) packer->counted_.insert(index);
    return bytes;
}

TZipFileReader::TZipFileReader(const std::string& fileName) : name_(fileName) {
    int error = 0;
    // Only the central directory is read: no member is inflated, the file is not read whole.
    archive_.reset(zip_open(AnsiToPath(TrimBlanks(fileName)).c_str(), ZIP_RDONLY, &error));
}

TZipFileReader::~TZipFileReader() = default;

bool TZipFileReader::List(std::vector<TArcFileInfoRec>& members) const {
    members.clear();
    if (!archive_) return false;
    const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const std::string name = MemberName(archive_.get(), static_cast<zip_uint64_t>(i));
        if (name.empty()) return false;  // a name the full reading settles (or leaves out)
        TArcFileInfoRec info = InfoOf(archive_.get(), static_cast<zip_uint64_t>(i), name);
        if (!info.Found) return false;
        members.push_back(std::move(info));
    }
    return true;
}

int64_t TZipFileReader::IndexOf(const std::string& path) {
    if (!archive_) return -1;
    if (!indexed_) {
        // Made on the first look-up: a listing needs none.
        const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
        indexOf_.reserve(static_cast<size_t>(std::max<zip_int64_t>(count, 0)));
        for (zip_int64_t i = 0; i < count; ++i)
            if (std::string name = MemberName(archive_.get(), static_cast<zip_uint64_t>(i)); !name.empty())
                indexOf_.emplace(std::move(name), i);
        indexed_ = true;
    }
    const auto it = indexOf_.find(path);
    return it == indexOf_.end() ? -1 : it->second;
}

bool TZipFileReader::Find(const std::string& path, TArcFileInfoRec& info) {
    info = {};
    const int64_t index = IndexOf(path);
    if (index < 0) return false;
    info = InfoOf(archive_.get(), static_cast<zip_uint64_t>(index), path);
    return info.Found;
}

std::vector<uint8_t> TZipFileReader::Extract(const std::string& path,
                                             const std::function<bool(const std::vector<uint8_t>&)>& enough) {
    const int64_t index = IndexOf(path);
    if (index < 0) RaiseFixedError("No such member: " + path);
    if (budget_ == 0) {
        std::error_code ec;
        budget_ = BudgetFor(static_cast<int64_t>(std::filesystem::file_size(AnsiToPath(TrimBlanks(name_)), ec)));
    }
    return ReadMemberData(archive_.get(), static_cast<zip_uint64_t>(index), path, &inflated_, budget_, name_, enough);
}

bool TPacker::AddFromBytes(const std::string& path, const std::vector<uint8_t>& bytes, TDateTime date,
                           uint32_t attributes, bool overwrite) {
    CheckOpen();
    std::string rest;
    TPacker* packer = Resolve(path, rest);
    if (!overwrite && packer->IndexOf(rest) >= 0) return false;
    // An empty member has no buffer: libzip would not free one of length 0.
    void* copy = bytes.empty() ? nullptr : std::malloc(bytes.size());
    if (!bytes.empty() && !copy) RaiseFixedError("Out of memory");
    if (copy) std::memcpy(copy, bytes.data(), bytes.size());
    zip_source_t* source = zip_source_buffer(packer->archive_.get(), copy, bytes.size(), copy ? 1 : 0);
    if (!source) {
        std::free(copy);
        RaiseZipError("Cannot add " + path, packer->archive_.get());
    }
    const zip_int64_t index = zip_file_add(packer->archive_.get(), AnsiToUtf8(rest).c_str(), source,
                                           ZIP_FL_ENC_UTF_8 | (overwrite ? ZIP_FL_OVERWRITE : 0));
    if (index < 0) {
        zip_source_free(source);
        RaiseZipError("Cannot add " + path, packer->archive_.get());
    }
    const auto i = static_cast<zip_uint64_t>(index);
    zip_set_file_compression(packer->archive_.get(), i, ZIP_CM_DEFLATE, 9);
    zip_file_set_mtime(packer->archive_.get(), i, LocalTimeOf(date == 0 ? Now() : date), 0);
    zip_file_set_external_attributes(packer->archive_.get(), i, 0, ZIP_OPSYS_DOS, attributes);
    packer->modified_ = true;
    packer->namesRead_ = false;
    packer->added_[rest] = bytes;
    return true;
}

bool TPacker::AddFile(const std::string& path, const std::string& fileName, bool overwrite) {
    CheckOpen();
    const std::filesystem::path native = AnsiToPath(fileName);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_size > kMaxMemberSize) RaiseError(rsErrFileTooBig);
    const std::vector<uint8_t> bytes = ReadWholeFile(native);
    return AddFromBytes(path, bytes, LocalDateTimeFromUnix(st.st_mtim.tv_sec), 0x20, overwrite);
}

bool TPacker::Remove(const std::string& path) {
    CheckOpen();
    std::string rest;
    TPacker* packer = Resolve(path, rest);
    const int64_t index = packer->IndexOf(rest);
    if (index < 0) return false;
    if (zip_delete(packer->archive_.get(), static_cast<zip_uint64_t>(index)) != 0)
        RaiseZipError("Cannot remove " + path, packer->archive_.get());
    packer->added_.erase(rest);
    packer->modified_ = true;
    packer->namesRead_ = false;
    return true;
}
