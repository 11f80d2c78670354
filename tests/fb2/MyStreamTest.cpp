#include "fb2/MyStream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "common/Error.h"

namespace {

TEST(MyStreamTest, ContentIsAlwaysFollowedByAZeroByte) {
    TempDir dir;
    const int64_t page = ::sysconf(_SC_PAGESIZE);
    for (int64_t size : std::vector<int64_t>{0, 1, page - 1, page, 2 * page, 8192, 12288, 3 * page + 7}) {
        const auto path = dir / ("f" + std::to_string(size));
        WriteBytes(path, std::vector<uint8_t>(static_cast<size_t>(size), 'x'));
        auto stream = TMappedFileStream::OpenForParsing(path.string());
        ASSERT_EQ(stream->Size(), size);
        ASSERT_NE(stream->Memory(), nullptr) << size;
        EXPECT_EQ(stream->Memory()[size], 0) << size;
    }
}

TEST(MyStreamTest, MemoryStreamReadWriteSeek) {
    TMyMemStream s;
    EXPECT_EQ(s.Write("hello", 5), 5);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Memory()[5], 0);
    s.Seek(-5, 0);
    EXPECT_EQ(s.Position(), -5);
    char buffer[8];
    EXPECT_EQ(s.Read(buffer, 5), 0);
    EXPECT_EQ(s.Write("x", 1), 0);
    s.Seek(1, 0);
    EXPECT_EQ(s.Read(buffer, 10), 4);
    EXPECT_EQ(std::string(buffer, 4), "ello");
    s.SetSize(2);
    EXPECT_EQ(s.Position(), 2);
    EXPECT_EQ(s.Memory()[2], 0);
    EXPECT_EQ(s.Capacity() % 32768, 0);
}

TEST(MyStreamTest, WritingToAMappedFileMakesAPrivateCopy) {
    TempDir dir;
    WriteBytes(dir / "f", Bytes("content"));
    TMappedFileStream stream((dir / "f").string(), TMappedFileStream::mfCopyOnWrite);
    EXPECT_FALSE(stream.HeapBacked());
    stream.Seek(0, 2);
    stream.Write("!", 1);
    EXPECT_TRUE(stream.HeapBacked());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(stream.Memory())), "content!");
    EXPECT_EQ(ReadBytes(dir / "f"), Bytes("content"));
    EXPECT_THROW(TMappedFileStream((dir / "missing").string(), 2), EShelvaraError);
}

}  // namespace

namespace {

TEST(MyStreamTest, MappingRefusesAFifoWithoutWaitingForAWriter) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "book.fb2").c_str(), 0600), 0);
    EXPECT_THROW(TMappedFileStream((dir / "book.fb2").string(), TMappedFileStream::mfCopyOnWrite), EShelvaraError);
}

}  // namespace
