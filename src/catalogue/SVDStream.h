#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Dates.h"
#include "common/Text.h"

// The codec of the library file. It holds the whole file in memory and splits it into two
// channels: a record area of binary fields and variable-length integers, and a string pool
// that carries every text, each followed by a NUL, in the order written.
//
// A reading stream never reads outside the loaded bytes: a length, count or text that runs
// past its area raises rsErrUnknownFormat. Not thread-safe; one stream per load or save.
class TSVDStream final {
public:
    static constexpr uint16_t kCurrentVersion = 0x0101;
    static constexpr uint16_t kOldVersion = 0x0060;
    static constexpr char kSignature[] = "Shelvaracatalog2";
    static constexpr char kOldSignature[] = "Shelvaracatalog.";
    static constexpr size_t kSignatureSize = 16;
    static constexpr size_t kRecordGrowth = 1 << 20;
    static constexpr size_t kPoolGrowth = 8192;

    // Reading mode: loads the whole file named fileName (engine text) and reads the header.
    // Writing mode: an empty stream; FileName stays empty until the caller sets it.
    TSVDStream(const std::string& fileName, bool forReading);
    // Reading mode over bytes already in memory.
    static std::unique_ptr<TSVDStream> FromBytes(std::vector<uint8_t> bytes, const std::string& fileName = {});

    std::string FileName;
    const bool ForReading;
    bool HeaderRead = false;
    bool OldFormat = false;
    uint16_t Version = 0;
    uint8_t Compression = 0;

    void ReadHeader();
    void Rewind();

    // Integers of the current coding: 1 to 5 bytes.
    void WriteInt(int32_t value);
    int32_t ReadInt();
    // Integers of the old coding: 1, 2 or 4 bytes.
    int32_t ReadOldInt();
    // A count of items that each take at least minItemBytes of the record area; a negative
    // count or one the remaining bytes cannot hold raises rsErrUnknownFormat.
    int32_t ReadCount(size_t minItemBytes = 1);
    int32_t ReadOldCount(size_t minItemBytes = 1);
    // A count of texts that follow in the pool; checked against the pool bytes left.
    int32_t ReadTextCount();
    int32_t ReadOldTextCount();

    // Texts through the pool; a text is cut at its first NUL. WriteStr returns the pool
    // bytes used (length + 1).
    size_t WriteStr(std::string_view text);
    std::string ReadStr();
    // The same without a copy: the text stays in TextBlock(), which its reader must keep.
    TText ReadText();
    // A copy of the pool of a reading stream, made on first use; texts read by ReadText point
    // into it.
    const std::shared_ptr<const char[]>& TextBlock();

    void WriteDate(TDateTime value);
    TDateTime ReadDate();

    // Raw little-endian fixed fields of the record area.
    void Write(const void* data, size_t size);
    void Read(void* data, size_t size);
    void WriteByte(uint8_t value) { Write(&value, 1); }
    uint8_t ReadByte();
    void WriteWord(uint16_t value);
    uint16_t ReadWord();
    void WriteDWord(uint32_t value);
    uint32_t ReadDWord();

    // Bytes of the record area not read yet (reading mode).
    size_t RecordBytesLeft() const { return recordEnd_ - position_; }
    size_t Position() const { return position_; }
    size_t RecordCapacity() const { return buffer_.capacity(); }

    // The pool of a writing stream: its bytes (joined) and allocated capacity. The pool grows
    // in chunks, so that a pool of hundreds of megabytes is never copied to grow.
    std::string Pool() const;
    size_t PoolCapacity() const { return poolCapacity_; }

    // A writing stream whose records and texts go after everything written here so far and
    // before anything written here later. Parts can be filled independently (the books of a
    // large library on every core); the file joins them in order without copying them.
    TSVDStream& AddPart();

    // The complete file image: header, record-area length, records, pool.
    std::vector<uint8_t> FileImage() const;
    // The header with the record-area length.
    std::vector<uint8_t> Header() const;
    // Writes the file image to path through ReplaceFile (backup as there), without building it.
    std::filesystem::path WriteFile(const std::filesystem::path& path,
                                    std::filesystem::path (*backup)(const std::filesystem::path&) = nullptr) const;
    // Writes FileImage() to FileName, replacing any file there.
    void SaveToFile() const;

private:
    TSVDStream(std::vector<uint8_t> bytes, const std::string& fileName);

    void RequireReading() const;
    void RequireWriting() const;
    void Need(size_t size) const;
    // Reads a library file: a current one with its records in buffer_ and its pool straight
    // into the text block, any other whole into buffer_.
    void LoadFile(const std::filesystem::path& path);
    // Where the pool text at offset (from the file's start) is.
    const char* PoolAt(size_t offset) const;
    void Reserve(size_t size);
    // The next text of the pool, checked to end inside it.
    std::string_view NextText();

    std::vector<uint8_t> buffer_;
    size_t position_ = 0;
    size_t recordEnd_ = 0;  // reading: end of the record area

    // Writing mode: the pool in chunks, and the parts that come before this stream's own
    // records and texts (runs written here before a part was added, and the parts).
    struct TPoolChunk {
        std::unique_ptr<char[]> Bytes;
        size_t Size = 0;
        size_t Capacity = 0;
    };
    std::vector<TPoolChunk> poolChunks_;
    std::vector<std::unique_ptr<TSVDStream>> parts_;
    size_t poolCapacity_ = 0;
    size_t RecordsSize() const;
    void CollectSpans(std::vector<std::span<const uint8_t>>& records,
                      std::vector<std::span<const uint8_t>>& pool) const;
    size_t poolStart_ = 0;  // reading mode: offset of the pool in buffer_
    size_t poolEnd_ = 0;
    size_t poolCursor_ = 0;
    std::shared_ptr<const char[]> textBlock_;
    bool poolInBlock_ = false;  // LoadFile put the pool in textBlock_, not in buffer_
    size_t splitPoolSize_ = 0;
};
