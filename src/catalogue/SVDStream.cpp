#include "catalogue/SVDStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <sys/stat.h>

#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"

namespace {

// Current integer coding into out; returns the number of bytes (1 to 5).
size_t EncodeInt(int32_t value, uint8_t out[5]) {
    if (value >= 0 && value <= 127) {
        out[0] = static_cast<uint8_t>(value);
        return 1;
    }
    if (value >= 128 && value <= 16'511) {
        const uint32_t v = static_cast<uint32_t>(value - 128);
        out[0] = static_cast<uint8_t>(0x80 | (v >> 8));
        out[1] = static_cast<uint8_t>(v & 0xFF);
        return 2;
    }
    // The three- and four-byte forms keep their low 16 bits little-endian.
    if (value >= 16'512 && value <= 2'113'663) {
        const uint32_t v = static_cast<uint32_t>(value - 16'512);
        out[0] = static_cast<uint8_t>(0xC0 | (v >> 16));
        out[1] = static_cast<uint8_t>(v & 0xFF);
        out[2] = static_cast<uint8_t>((v >> 8) & 0xFF);
        return 3;
    }
    if (value >= 2'113'664 && value <= 270'549'119) {
        const uint32_t v = static_cast<uint32_t>(value - 2'113'664);
        out[0] = static_cast<uint8_t>(0xE0 | (v >> 24));
        out[1] = static_cast<uint8_t>((v >> 16) & 0xFF);
        out[2] = static_cast<uint8_t>(v & 0xFF);
        out[3] = static_cast<uint8_t>((v >> 8) & 0xFF);
        return 4;
    }
    const uint32_t v = static_cast<uint32_t>(value);
    out[0] = 0xF0;
    for (int i = 0; i < 4; ++i)
        out[1 + i] = static_cast<uint8_t>(v >> (8 * i));
    return 5;
}

// The file is ours (its signature said so) but its data is cut short or inconsistent.
[[noreturn]] void RaiseDamaged() {
    RaiseError(rsErrFileDamaged);
}

}  // namespace

TSVDStream::TSVDStream(const std::string& fileName, bool forReading) : ForReading(forReading) {
    if (!forReading) return;
    LoadFile(AnsiToPath(fileName));
    FileName = fileName;
    ReadHeader();
}

void TSVDStream::LoadFile(const std::filesystem::path& path) {
    struct stat st {};
    FileDescriptor fd = OpenRegularFile(path, &st);
    const auto size = static_cast<size_t>(std::max<off_t>(st.st_size, 0));
    constexpr size_t kHead = kSignatureSize + 3 + 5;  // signature, version, compression, length
    buffer_.resize(std::min(size, kHead));
    buffer_.resize(ReadAt(fd.get(), buffer_.data(), buffer_.size(), 0, path));
    size_t records = 0;
    if (buffer_.size() == kHead && std::memcmp(buffer_.data(), kSignature, kSignatureSize) == 0) {
        position_ = kSignatureSize + 3;
        recordEnd_ = buffer_.size();
        const int32_t length = ReadInt();
        if (length >= 0 && position_ + static_cast<size_t>(length) <= size) records = position_ + length;
        position_ = 0;
    }
    if (records == 0) {  // an old or damaged file: ReadHeader sorts it out
        buffer_ = ReadWholeFile(path);
        return;
    }
    const size_t head = buffer_.size();
    buffer_.resize(records);
    if (records > head && ReadAt(fd.get(), buffer_.data() + head, records - head, head, path) != records - head)
        RaiseDamaged();  // it shrank meanwhile
    poolInBlock_ = true;
    splitPoolSize_ = size - records;
    std::shared_ptr<char[]> block(new char[splitPoolSize_ + 1]);
    if (ReadAt(fd.get(), block.get(), splitPoolSize_, records, path) != splitPoolSize_) RaiseDamaged();
    block[splitPoolSize_] = '\0';
    textBlock_ = std::move(block);
}

const char* TSVDStream::PoolAt(size_t offset) const {
    return textBlock_ ? textBlock_.get() + (offset - poolStart_)
                      : reinterpret_cast<const char*>(buffer_.data()) + offset;
}

TSVDStream::TSVDStream(std::vector<uint8_t> bytes, const std::string& fileName)
    : FileName(fileName), ForReading(true), buffer_(std::move(bytes)) {}

std::unique_ptr<TSVDStream> TSVDStream::FromBytes(std::vector<uint8_t> bytes, const std::string& fileName) {
    std::unique_ptr<TSVDStream> stream(new TSVDStream(std::move(bytes), fileName));
    stream->ReadHeader();
    return stream;
}

void TSVDStream::RequireReading() const {
    if (!ForReading) RaiseError(rsErrOpenWriteOnly);
}

void TSVDStream::RequireWriting() const {
    if (ForReading) RaiseError(rsErrOpenReadOnly);
}

void TSVDStream::Need(size_t size) const {
    if (size > recordEnd_ - position_) RaiseDamaged();
}

void TSVDStream::ReadHeader() {
    RequireReading();
    HeaderRead = false;
    position_ = 0;
    recordEnd_ = buffer_.size();
    if (buffer_.size() < kSignatureSize) RaiseError(rsErrUnknownFormat);

    const auto* signature = reinterpret_cast<const char*>(buffer_.data());
    if (std::memcmp(signature, kOldSignature, kSignatureSize) == 0) {
        position_ = kSignatureSize;
        OldFormat = true;
        HeaderRead = true;
        Version = ReadWord();
        if (Version != kOldVersion) RaiseError(rsErrUnknownVersion);
        Compression = ReadByte();
        const int32_t poolLength = ReadOldInt();
        if (Compression != 0) RaiseError(rsErrUnknownCompression);
        if (poolLength < 0 || static_cast<size_t>(poolLength) > RecordBytesLeft()) RaiseDamaged();
        // The pool comes first; the records fill the rest of the file.
        poolStart_ = poolCursor_ = position_;
        poolEnd_ = position_ + static_cast<size_t>(poolLength);
        position_ = poolEnd_;
    } else if (std::memcmp(signature, kSignature, kSignatureSize) == 0) {
        position_ = kSignatureSize;
        OldFormat = false;
        HeaderRead = true;
        Version = ReadWord();
        if (Version < 0x0100 || Version > kCurrentVersion) RaiseError(rsErrUnknownVersion);
        Compression = ReadByte();
        const int32_t recordLength = ReadInt();
        if (Compression != 0) RaiseError(rsErrUnknownCompression);
        if (recordLength < 0 || static_cast<size_t>(recordLength) > RecordBytesLeft()) RaiseDamaged();
        // The records come first; the pool fills the rest of the file.
        recordEnd_ = position_ + static_cast<size_t>(recordLength);
        poolStart_ = poolCursor_ = recordEnd_;
        poolEnd_ = poolInBlock_ ? recordEnd_ + splitPoolSize_ : buffer_.size();
    } else {
        RaiseError(rsErrUnknownFormat);
    }
    poolCapacity_ = 0;
}

void TSVDStream::Rewind() {
    RequireWriting();
    position_ = 0;
    buffer_.clear();
    poolChunks_.clear();
    parts_.clear();
    poolCapacity_ = 0;
    poolCursor_ = 0;
}

TSVDStream& TSVDStream::AddPart() {
    RequireWriting();
    if (position_ > 0 || poolCursor_ > 0) {
        auto sealed = std::make_unique<TSVDStream>(std::string(), false);
        sealed->buffer_ = std::exchange(buffer_, {});
        sealed->position_ = std::exchange(position_, 0);
        sealed->poolChunks_ = std::exchange(poolChunks_, {});
        sealed->poolCursor_ = std::exchange(poolCursor_, 0);
        sealed->poolCapacity_ = std::exchange(poolCapacity_, 0);
        parts_.push_back(std::move(sealed));
    }
    parts_.push_back(std::make_unique<TSVDStream>(std::string(), false));
    return *parts_.back();
}

size_t TSVDStream::RecordsSize() const {
    size_t size = position_;
    for (const auto& part : parts_)
        size += part->RecordsSize();
    return size;
}

void TSVDStream::CollectSpans(std::vector<std::span<const uint8_t>>& records,
                              std::vector<std::span<const uint8_t>>& pool) const {
    for (const auto& part : parts_)
        part->CollectSpans(records, pool);
    if (position_) records.emplace_back(buffer_.data(), position_);
    for (const TPoolChunk& chunk : poolChunks_)
        if (chunk.Size) pool.emplace_back(reinterpret_cast<const uint8_t*>(chunk.Bytes.get()), chunk.Size);
}

namespace {

// Capacities grow in whole steps, and by at least half each time: growing by a fixed step
// alone would copy the buffer once per step, quadratic in the size of a large catalogue.
size_t GrownCapacity(size_t current, size_t needed, size_t step) {
    const size_t wanted = std::max(needed, current + current / 2);
    return (wanted + step - 1) / step * step;
}

}  // namespace

void TSVDStream::Reserve(size_t size) {
    if (size <= buffer_.capacity()) return;
    buffer_.reserve(GrownCapacity(buffer_.capacity(), size, kRecordGrowth));
}

void TSVDStream::Write(const void* data, size_t size) {
    RequireWriting();
    if (size == 0) return;
    Reserve(position_ + size);
    if (buffer_.size() < position_ + size) buffer_.resize(position_ + size);
    std::memcpy(buffer_.data() + position_, data, size);
    position_ += size;
}

void TSVDStream::Read(void* data, size_t size) {
    RequireReading();
    Need(size);
    if (size) std::memcpy(data, buffer_.data() + position_, size);
    position_ += size;
}

uint8_t TSVDStream::ReadByte() {
    uint8_t value;
    Read(&value, 1);
    return value;
}

void TSVDStream::WriteWord(uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    Write(bytes, 2);
}

uint16_t TSVDStream::ReadWord() {
    uint8_t b[2];
    Read(b, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

void TSVDStream::WriteDWord(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    Write(bytes, 4);
}

uint32_t TSVDStream::ReadDWord() {
    uint8_t b[4];
    Read(b, 4);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

void TSVDStream::WriteInt(int32_t value) {
    RequireWriting();
    uint8_t bytes[5];
    Write(bytes, EncodeInt(value, bytes));
}

int32_t TSVDStream::ReadInt() {
    RequireReading();
    const uint8_t b = ReadByte();
    if (b < 0x80) return b;
    if (b < 0xC0) return static_cast<int32_t>(((b & 0x3Fu) << 8 | ReadByte()) + 128);
    if (b < 0xE0) return static_cast<int32_t>(((b & 0x1Fu) << 16 | ReadWord()) + 16'512);
    if (b < 0xF0) {
        const uint32_t high = (b & 0x0Fu) << 24 | static_cast<uint32_t>(ReadByte()) << 16;
        return static_cast<int32_t>((high | ReadWord()) + 2'113'664);
    }
    if (b == 0xF0) return static_cast<int32_t>(ReadDWord());
    RaiseError(rsErrInvalidStreamFormat);
}

int32_t TSVDStream::ReadOldInt() {
    RequireReading();
    if (!OldFormat) RaiseFixedError("New format!");
    const uint32_t b = ReadByte();
    if (!(b & 0x80)) {
        if (!(b & 0x40)) return static_cast<int32_t>(b);
        return static_cast<int32_t>((b << 8 | ReadByte()) & 0x3FFF);
    }
    uint8_t rest[3];
    Read(rest, 3);
    const uint32_t v = b << 24 | static_cast<uint32_t>(rest[0]) << 16 | static_cast<uint32_t>(rest[1]) << 8 | rest[2];
    return static_cast<int32_t>(v & 0x7FFFFFFF);
}

int32_t TSVDStream::ReadCount(size_t minItemBytes) {
    const int32_t count = ReadInt();
    if (count < 0 || static_cast<size_t>(count) * minItemBytes > RecordBytesLeft()) RaiseDamaged();
    return count;
}

int32_t TSVDStream::ReadOldCount(size_t minItemBytes) {
    const int32_t count = ReadOldInt();
    if (count < 0 || static_cast<size_t>(count) * minItemBytes > RecordBytesLeft()) RaiseDamaged();
    return count;
}

int32_t TSVDStream::ReadTextCount() {
    const int32_t count = ReadInt();
    if (count < 0 || static_cast<size_t>(count) > poolEnd_ - poolCursor_) RaiseDamaged();
    return count;
}

int32_t TSVDStream::ReadOldTextCount() {
    const int32_t count = ReadOldInt();
    if (count < 0 || static_cast<size_t>(count) > poolEnd_ - poolCursor_) RaiseDamaged();
    return count;
}

size_t TSVDStream::WriteStr(std::string_view text) {
    RequireWriting();
    // A NUL inside a text would split it into two pool entries and shift every later text.
    text = text.substr(0, text.find('\0'));
    const size_t n = text.size() + 1;
    if (poolChunks_.empty() || poolChunks_.back().Capacity - poolChunks_.back().Size < n) {
        // A new chunk rather than a bigger copy; the tail of the last one stays unused.
        const size_t capacity = GrownCapacity(poolCapacity_, poolCapacity_ + n, kPoolGrowth) - poolCapacity_;
        // Not zeroed: every byte up to a chunk's size is written before it is read.
        poolChunks_.push_back({std::unique_ptr<char[]>(new char[capacity]), 0, capacity});
        poolCapacity_ += capacity;
    }
    TPoolChunk& chunk = poolChunks_.back();
    if (!text.empty()) std::memcpy(chunk.Bytes.get() + chunk.Size, text.data(), text.size());
    chunk.Bytes[chunk.Size + text.size()] = '\0';
    chunk.Size += n;
    poolCursor_ += n;
    return n;
}

std::string_view TSVDStream::NextText() {
    RequireReading();
    if (poolCursor_ >= poolEnd_) RaiseDamaged();
    const char* start = PoolAt(poolCursor_);
    const void* nul = std::memchr(start, '\0', poolEnd_ - poolCursor_);
    if (!nul) RaiseDamaged();
    const size_t length = static_cast<size_t>(static_cast<const char*>(nul) - start);
    poolCursor_ += length + 1;
    return {start, length};
}

std::string TSVDStream::ReadStr() {
    return std::string(NextText());
}

TText TSVDStream::ReadText() {
    TextBlock();
    return TText::Pooled(NextText().data());
}

const std::shared_ptr<const char[]>& TSVDStream::TextBlock() {
    RequireReading();
    if (!textBlock_) {
        std::shared_ptr<char[]> block(new char[poolEnd_ - poolStart_ + 1]);
        std::memcpy(block.get(), buffer_.data() + poolStart_, poolEnd_ - poolStart_);
        block[poolEnd_ - poolStart_] = '\0';
        textBlock_ = std::move(block);
    }
    return textBlock_;
}

void TSVDStream::WriteDate(TDateTime value) {
    RequireWriting();
    WriteDWord(DateTimeToDos(value));
}

TDateTime TSVDStream::ReadDate() {
    RequireReading();
    return DosToDateTime(ReadDWord());
}

std::string TSVDStream::Pool() const {
    RequireWriting();
    if (Compression != 0) RaiseFixedError("Unknown compression format!");
    std::vector<std::span<const uint8_t>> records, pool;
    CollectSpans(records, pool);
    std::string joined;
    for (const std::span<const uint8_t> chunk : pool)
        joined.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    return joined;
}

std::vector<uint8_t> TSVDStream::Header() const {
    std::vector<uint8_t> header(kSignature, kSignature + kSignatureSize);
    header.push_back(static_cast<uint8_t>(kCurrentVersion & 0xFF));
    header.push_back(static_cast<uint8_t>(kCurrentVersion >> 8));
    header.push_back(Compression);
    uint8_t length[5];
    header.insert(header.end(), length, length + EncodeInt(static_cast<int32_t>(RecordsSize()), length));
    return header;
}

std::vector<uint8_t> TSVDStream::FileImage() const {
    RequireWriting();
    if (Compression != 0) RaiseFixedError("Unknown compression format!");
    std::vector<std::span<const uint8_t>> records, pool;
    CollectSpans(records, pool);
    std::vector<uint8_t> image = Header();
    for (const auto* spans : {&records, &pool})
        for (const std::span<const uint8_t> span : *spans)
            image.insert(image.end(), span.begin(), span.end());
    return image;
}

std::filesystem::path TSVDStream::WriteFile(const std::filesystem::path& path,
                                            std::filesystem::path (*backup)(const std::filesystem::path&)) const {
    // Written from the stream's own buffers: a library of hundreds of megabytes is not copied
    // into one image first.
    RequireWriting();
    if (Compression != 0) RaiseFixedError("Unknown compression format!");
    const std::vector<uint8_t> header = Header();
    std::vector<std::span<const uint8_t>> parts{{header.data(), header.size()}}, pool;
    CollectSpans(parts, pool);
    parts.insert(parts.end(), pool.begin(), pool.end());
    return ReplaceFile(path, parts, backup);
}

void TSVDStream::SaveToFile() const {
    WriteFile(AnsiToPath(FileName));
}
