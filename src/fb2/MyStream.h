#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A growable byte stream over one buffer. The byte after the content is always 0, so parsers
// may scan the content as a zero-terminated text.
class TMyMemStream {
public:
    TMyMemStream() = default;
    virtual ~TMyMemStream();
    TMyMemStream(const TMyMemStream&) = delete;
    TMyMemStream& operator=(const TMyMemStream&) = delete;

    int32_t GrowQuantum = 32768;

    virtual uint8_t* Memory() { return data_; }
    int32_t Size() const { return size_; }
    int32_t Position() const { return position_; }
    int32_t Capacity() const { return capacity_; }
    bool HeapBacked() const { return heapBacked_; }

    int32_t Read(void* buffer, int32_t count);
    virtual int32_t Write(const void* buffer, int32_t count);
    // origin 0 from the start, 1 from the position, 2 from the end; not clamped.
    int32_t Seek(int32_t offset, int origin);
    virtual void SetSize(int32_t size);
    void SetCapacity(int32_t capacity);
    // Reads an attached buffer (not owned, not copied); Attach(nullptr, 0) detaches it. The
    // caller keeps a zero byte after it.
    void Attach(const uint8_t* buffer, int32_t size);

protected:
    uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t position_ = 0;
    int32_t capacity_ = 0;
    bool heapBacked_ = true;
};

// A file served from a memory-mapped view, read-only or copy-on-write; writing turns it into a
// private heap copy. Files of 2 GiB or more are refused.
class TMappedFileStream final : public TMyMemStream {
public:
    enum TOpenMode : unsigned { mfRead = 2, mfCopyOnWrite = 4, mfShareAll = 128 };

    // path is engine text. Raises "Cannot open file" and the other mapping errors.
    TMappedFileStream(const std::string& path, unsigned mode);
    ~TMappedFileStream() override;

    uint8_t* Memory() override { return data_; }
    int32_t Write(const void* buffer, int32_t count) override;
    void SetSize(int32_t size) override;
    // Turns the view into an owned heap copy grown (or shrunk) by delta bytes.
    void MakePrivateCopy(int32_t delta);
    int64_t FileSize64() const { return fileSize_; }
    // The file's last write time, UTC, as a date-time.
    double LastWriteTime() const { return lastWrite_; }

    // Opens a book file for parsing: the content is always followed by a zero byte.
    static std::unique_ptr<TMappedFileStream> OpenForParsing(const std::string& path);

private:
    void ReleaseView();

    void* view_ = nullptr;
    size_t viewLength_ = 0;
    int64_t fileSize_ = 0;
    double lastWrite_ = 0;
};
