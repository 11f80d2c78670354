#include "fb2/MyStream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/Dates.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"

TMyMemStream::~TMyMemStream() {
    if (heapBacked_ && capacity_ > 0) std::free(data_);
}

int32_t TMyMemStream::Read(void* buffer, int32_t count) {
    if (position_ < 0 || count < 0 || position_ >= size_) return 0;
    const int32_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int32_t TMyMemStream::Write(const void* buffer, int32_t count) {
    if (position_ < 0 || count < 0) return 0;
    const int64_t end = static_cast<int64_t>(position_) + count;
    if (end <= 0) return 0;
    if (end > INT32_MAX) RaiseFixedError("Out of memory while expanding memory stream");
    if (end > size_) {
        if (end > capacity_) SetCapacity(static_cast<int32_t>(end));
        size_ = static_cast<int32_t>(end);
        data_[size_] = 0;
    }
    std::memcpy(data_ + position_, buffer, static_cast<size_t>(count));
    position_ = static_cast<int32_t>(end);
    return count;
}

int32_t TMyMemStream::Seek(int32_t offset, int origin) {
    const int64_t base = origin == 0 ? 0 : origin == 1 ? position_ : size_;
    const int64_t target = base + offset;
    position_ = static_cast<int32_t>(std::clamp<int64_t>(target, INT32_MIN, INT32_MAX));
    return position_;
}

void TMyMemStream::SetSize(int32_t size) {
    if (size < 0) size = 0;
    SetCapacity(size);
    if (size > size_ && data_) std::memset(data_ + size_, 0, static_cast<size_t>(size - size_));
    size_ = size;
    if (data_) data_[size_] = 0;
    if (position_ > size) position_ = size;
}

void TMyMemStream::SetCapacity(int32_t capacity) {
    if (capacity > 0) {
        const int64_t quantum = (std::max<int64_t>(GrowQuantum, 32768) + 32767) / 32768 * 32768;
        const int64_t rounded = (static_cast<int64_t>(capacity) + quantum - 1) & ~int64_t{32767};
        if (rounded > INT32_MAX - 1) RaiseFixedError("Out of memory while expanding memory stream");
        capacity = static_cast<int32_t>(rounded);
    }
    if (capacity == capacity_ && (capacity == 0 || heapBacked_)) return;
    if (capacity <= 0) {
        if (heapBacked_ && capacity_ > 0) std::free(data_);
        data_ = nullptr;
        capacity_ = 0;
        return;
    }
    // One byte more than the capacity keeps room for the terminating zero.
    uint8_t* block;
    if (heapBacked_ && capacity_ > 0) {
        block = static_cast<uint8_t*>(std::realloc(data_, static_cast<size_t>(capacity) + 1));
    } else {
        block = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(capacity) + 1, 1));
        if (block && data_ && size_ > 0) std::memcpy(block, data_, static_cast<size_t>(std::min(size_, capacity)));
    }
    if (!block) RaiseFixedError("Out of memory while expanding memory stream");
    data_ = block;
    capacity_ = capacity;
    heapBacked_ = true;
}

void TMyMemStream::Attach(const uint8_t* buffer, int32_t size) {
    if (heapBacked_ && capacity_ > 0) std::free(data_);
    data_ = const_cast<uint8_t*>(buffer);
    size_ = buffer ? size : 0;
    capacity_ = 0;
    position_ = 0;
}

// ---- TMappedFileStream

TMappedFileStream::TMappedFileStream(const std::string& path, unsigned mode) {
    heapBacked_ = false;
    // Opened without blocking and refused unless a regular file: a FIFO in a book's place
    // must not hold the reader for ever.
    struct stat st {};
    const FileDescriptor fd = OpenRegularFile(AnsiToPath(path), &st);
    if (st.st_size >= (int64_t{1} << 31)) RaiseFixedError("Cannot open. File is too big");
    fileSize_ = st.st_size;
    lastWrite_ = static_cast<double>(st.st_mtim.tv_sec) / 86400.0 + 25569.0;
    if (st.st_size > 0) {
        const int prot = (mode & mfCopyOnWrite) ? PROT_READ | PROT_WRITE : PROT_READ;
        view_ = ::mmap(nullptr, static_cast<size_t>(st.st_size), prot, MAP_PRIVATE, fd.get(), 0);
        if (view_ == MAP_FAILED) {
            view_ = nullptr;
            RaiseFixedError("Cannot map file to memory");
        }
        viewLength_ = static_cast<size_t>(st.st_size);
        data_ = static_cast<uint8_t*>(view_);
        size_ = static_cast<int32_t>(st.st_size);
    }
    // The mapping stays valid without the descriptor.
}

TMappedFileStream::~TMappedFileStream() {
    ReleaseView();
}

void TMappedFileStream::ReleaseView() {
    if (view_) ::munmap(view_, viewLength_);
    if (view_ && data_ == view_) data_ = nullptr;
    view_ = nullptr;
    viewLength_ = 0;
}

void TMappedFileStream::MakePrivateCopy(int32_t delta) {
    if (heapBacked_) {
        if (delta != 0) TMyMemStream::SetSize(std::max(0, size_ + delta));
        return;
    }
    const int32_t length = delta < 0 && -delta >= size_ ? 0 : size_ + delta;
    auto* block = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(length) + 1, 1));
    if (!block) RaiseFixedError("Out of memory while expanding memory stream");
    if (data_) std::memcpy(block, data_, static_cast<size_t>(std::min(size_, length)));
    ReleaseView();
    data_ = block;
    size_ = length;
    capacity_ = length;
    heapBacked_ = true;
    if (capacity_ == 0) {
        // An empty copy still owns its one zero byte.
        capacity_ = 1;
    }
}

int32_t TMappedFileStream::Write(const void* buffer, int32_t count) {
    if (!heapBacked_) MakePrivateCopy(std::max(0, position_ + count - size_));
    return TMyMemStream::Write(buffer, count);
}

void TMappedFileStream::SetSize(int32_t size) {
    if (!heapBacked_) {
        if (size == size_) return;
        MakePrivateCopy(size - size_);
    }
    TMyMemStream::SetSize(size);
}

std::unique_ptr<TMappedFileStream> TMappedFileStream::OpenForParsing(const std::string& path) {
    auto stream = std::make_unique<TMappedFileStream>(path, mfCopyOnWrite | mfShareAll);
    // A view is followed by zeros only up to the end of its last page: a file that fills its
    // last page exactly (or an empty file) is read from a terminated copy instead.
    const auto page = static_cast<int64_t>(::sysconf(_SC_PAGESIZE));
    if (stream->Size() == 0 || stream->Size() % page == 0) stream->MakePrivateCopy(0);
    return stream;
}
