#include "catalogue/SVDStream.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "common/Error.h"
#include "common/MessageIds.h"

namespace {

std::unique_ptr<TSVDStream> Reader(const TSVDStream& writer) {
    return TSVDStream::FromBytes(writer.FileImage());
}

// A current-format file: header with the given version and compression, then records and pool.
std::vector<uint8_t> CurrentFile(const std::vector<uint8_t>& records, const std::vector<uint8_t>& pool,
                                 uint16_t version = 0x0101, uint8_t compression = 0) {
    std::vector<uint8_t> bytes = Bytes("Shelvaracatalog2");
    bytes.push_back(static_cast<uint8_t>(version));
    bytes.push_back(static_cast<uint8_t>(version >> 8));
    bytes.push_back(compression);
    bytes.push_back(static_cast<uint8_t>(records.size()));  // below 128: one byte
    bytes.insert(bytes.end(), records.begin(), records.end());
    bytes.insert(bytes.end(), pool.begin(), pool.end());
    return bytes;
}

// An old-format file with a pool of fewer than 64 bytes.
std::vector<uint8_t> OldFile(const std::vector<uint8_t>& pool, const std::vector<uint8_t>& records,
                             uint16_t version = 96) {
    std::vector<uint8_t> bytes = Bytes("Shelvaracatalog.");
    bytes.push_back(static_cast<uint8_t>(version));
    bytes.push_back(static_cast<uint8_t>(version >> 8));
    bytes.push_back(0);
    bytes.push_back(static_cast<uint8_t>(pool.size()));
    bytes.insert(bytes.end(), pool.begin(), pool.end());
    bytes.insert(bytes.end(), records.begin(), records.end());
    return bytes;
}

struct IntCase {
    int32_t value;
    std::vector<uint8_t> bytes;
};

TEST(SVDStreamTest, IntegerCodingBoundariesAndExamples) {
    const IntCase cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x80, 0x00}},
        {300, {0x80, 0xAC}},
        {16'511, {0xBF, 0xFF}},
        {16'512, {0xC0, 0x00, 0x00}},
        {20'000, {0xC0, 0xA0, 0x0D}},
        {2'113'663, {0xDF, 0xFF, 0xFF}},
        {2'113'664, {0xE0, 0x00, 0x00, 0x00}},
        {3'000'000, {0xE0, 0x0D, 0x40, 0x86}},
        {270'549'119, {0xEF, 0xFF, 0xFF, 0xFF}},
        {270'549'120, {0xF0, 0x80, 0x40, 0x20, 0x10}},
        {-1, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {INT32_MIN, {0xF0, 0x00, 0x00, 0x00, 0x80}},
        {INT32_MAX, {0xF0, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        TSVDStream w({}, false);
        w.WriteInt(c.value);
        const std::vector<uint8_t> image = w.FileImage();
        // Header (19 bytes) and the record-area length (one byte) precede the record.
        const std::vector<uint8_t> record(image.begin() + 20, image.end());
        EXPECT_EQ(record, c.bytes) << c.value;
        EXPECT_EQ(Reader(w)->ReadInt(), c.value);
    }
}

TEST(SVDStreamTest, InvalidIntegerPrefixRaises) {
    for (uint8_t prefix : {0xF1, 0xF8, 0xFF}) {
        auto r = TSVDStream::FromBytes(CurrentFile({prefix, 0, 0, 0, 0}, {}));
        EXPECT_EQ(ErrorOf([&] { r->ReadInt(); }), rsErrInvalidStreamFormat);
    }
}

TEST(SVDStreamTest, OldIntegerCoding) {
    // 1 byte: 0..63; 2 bytes: bit 6 set, big-endian, 14 bits; 4 bytes: bit 7 set, 31 bits.
    auto r = TSVDStream::FromBytes(
        OldFile({}, {0x3F, 0x40, 0x40, 0x7F, 0xFF, 0x80, 0x01, 0x02, 0x03, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(r->ReadOldInt(), 63);
    EXPECT_EQ(r->ReadOldInt(), 64);
    EXPECT_EQ(r->ReadOldInt(), 0x3FFF);
    EXPECT_EQ(r->ReadOldInt(), 0x00010203);
    EXPECT_EQ(r->ReadOldInt(), 0x7FFFFFFF);
    auto current = TSVDStream::FromBytes(CurrentFile({0}, {}));
    EXPECT_EQ(ErrorOf([&] { current->ReadOldInt(); }), -1);  // "New format!"
}

TEST(SVDStreamTest, TextsKeepTheirOrderThroughThePool) {
    TSVDStream w({}, false);
    EXPECT_EQ(w.WriteStr("first"), 6u);
    EXPECT_EQ(w.WriteStr(""), 1u);
    EXPECT_EQ(w.WriteStr("\xCF\xF3\xF8\xEA\xE8\xED"), 7u);
    EXPECT_EQ(w.WriteStr(std::string("cut\0here", 8)), 4u);  // a NUL would shift every later text
    EXPECT_EQ(w.WriteStr("last"), 5u);
    EXPECT_EQ(w.Pool(), std::string_view("first\0\0\xCF\xF3\xF8\xEA\xE8\xED\0cut\0last\0", 23));
    auto r = Reader(w);
    for (const char* expected : {"first", "", "\xCF\xF3\xF8\xEA\xE8\xED", "cut", "last"})
        EXPECT_EQ(r->ReadStr(), expected);
    EXPECT_EQ(ErrorOf([&] { r->ReadStr(); }), rsErrFileDamaged);  // past the pool
}

TEST(SVDStreamTest, PoolGrowsInEightKibSteps) {
    TSVDStream w({}, false);
    EXPECT_EQ(w.PoolCapacity(), 0u);
    w.WriteStr("a");
    EXPECT_EQ(w.PoolCapacity(), 8192u);
    for (int i = 1; i < 10'000; ++i)
        w.WriteStr("a");
    EXPECT_EQ(w.Pool().size(), 20'000u);
    EXPECT_EQ(w.PoolCapacity(), 24'576u);
}

// Parts are filled in any order (by other threads) and join where they were added.
TEST(SVDStreamTest, PartsJoinWhereTheyWereAdded) {
    TSVDStream sequential({}, false), joined({}, false);
    for (int i = 1; i <= 4; ++i) {
        sequential.WriteInt(i * 100);
        sequential.WriteStr("text " + std::to_string(i));
    }
    joined.WriteInt(100);
    joined.WriteStr("text 1");
    TSVDStream& second = joined.AddPart();
    TSVDStream& third = joined.AddPart();
    joined.WriteInt(400);
    joined.WriteStr("text 4");
    third.WriteInt(300);
    third.WriteStr("text 3");
    second.WriteInt(200);
    second.WriteStr("text 2");
    EXPECT_EQ(joined.FileImage(), sequential.FileImage());
    EXPECT_EQ(joined.Pool(), sequential.Pool());
    TempDir dir;
    joined.WriteFile(dir / "parts.sv2");
    EXPECT_EQ(ReadBytes(dir / "parts.sv2"), sequential.FileImage());
}

TEST(SVDStreamTest, RecordBufferGrowsInMebibytes) {
    TSVDStream w({}, false);
    w.WriteInt(1);
    EXPECT_EQ(w.RecordCapacity(), 1u << 20);
    std::vector<uint8_t> block((1u << 20) + 5);
    w.Write(block.data(), block.size());
    EXPECT_EQ(w.RecordCapacity(), 2u << 20);
}

TEST(SVDStreamTest, DatesUseTheDosForm) {
    TSVDStream w({}, false);
    w.WriteDate(EncodeDateTime({2004, 5, 6, 13, 45, 31, 0}));
    w.WriteDate(EncodeDate(1975, 1, 1));
    w.WriteDate(EncodeDate(2100, 1, 1));
    w.WriteDate(0);
    auto r = Reader(w);
    EXPECT_EQ(r->ReadDate(), EncodeDateTime({2004, 5, 6, 13, 45, 30, 0}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(r->ReadDate(), EncodeDate(1979, 12, 31));
}

TEST(SVDStreamTest, InvalidStoredDateRaises) {
    auto r = TSVDStream::FromBytes(CurrentFile({0x00, 0x00, 0x01, 0x30}, {}));  // day 1, month 0, 2004
    EXPECT_THROW(r->ReadDate(), EConvertError);
}

struct HeaderCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int error;
};

TEST(SVDStreamTest, HeaderErrors) {
    std::vector<uint8_t> otherSignature = CurrentFile({0}, {});
    otherSignature[15] = '3';
    std::vector<uint8_t> longRecordArea = CurrentFile({0, 0}, {});
    longRecordArea[19] = 5;
    std::vector<uint8_t> truncatedLength = Bytes("Shelvaracatalog2");
    truncatedLength.insert(truncatedLength.end(), {0x01, 0x01, 0x00, 0xC0});
    std::vector<uint8_t> longPool = OldFile({0, 0}, {0});
    longPool[19] = 9;
    const HeaderCase cases[] = {
        {"ten bytes", Bytes("Shelvaraca"), rsErrUnknownFormat},
        {"empty file", {}, rsErrUnknownFormat},
        {"other signature", otherSignature, rsErrUnknownFormat},
        {"signature only", Bytes("Shelvaracatalog2"), rsErrFileDamaged},
        {"old version 95", OldFile({}, {0, 0}, 95), rsErrUnknownVersion},
        {"current version 0x0102", CurrentFile({0}, {}, 0x0102), rsErrUnknownVersion},
        {"current version 0x00FF", CurrentFile({0}, {}, 0x00FF), rsErrUnknownVersion},
        {"compression 1", CurrentFile({0}, {}, 0x0101, 1), rsErrUnknownCompression},
        {"record area past the end", longRecordArea, rsErrFileDamaged},
        {"record-area length cut off", truncatedLength, rsErrFileDamaged},
        {"old pool past the end", longPool, rsErrFileDamaged},
        {"version 0x0100", CurrentFile({0}, {}, 0x0100), 0},
        {"old version 96", OldFile({}, {0, 0}), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf([&] { TSVDStream::FromBytes(c.bytes); }), c.error) << c.name;
}

TEST(SVDStreamTest, ReadingStopsAtTheEndOfTheRecordArea) {
    // The pool right behind the records must not be read as records.
    auto r = TSVDStream::FromBytes(CurrentFile({0x05}, Bytes(std::string("abc\0", 4))));
    EXPECT_EQ(r->RecordBytesLeft(), 1u);
    EXPECT_EQ(r->ReadInt(), 5);
    EXPECT_EQ(ErrorOf([&] { r->ReadByte(); }), rsErrFileDamaged);
    EXPECT_EQ(ErrorOf([&] { r->ReadDWord(); }), rsErrFileDamaged);
    EXPECT_EQ(r->ReadStr(), "abc");

    auto text = TSVDStream::FromBytes(CurrentFile({0}, Bytes("no terminator")));
    EXPECT_EQ(ErrorOf([&] { text->ReadStr(); }), rsErrFileDamaged);

    auto split = TSVDStream::FromBytes(CurrentFile({0xC0, 0x01}, {}));
    EXPECT_EQ(ErrorOf([&] { split->ReadInt(); }), rsErrFileDamaged);
}

TEST(SVDStreamTest, CountsAreCheckedAgainstTheBytesLeft) {
    auto r = TSVDStream::FromBytes(CurrentFile({0x03, 0, 0, 0}, {}));
    EXPECT_EQ(r->ReadCount(), 3);
    auto tooMany = TSVDStream::FromBytes(CurrentFile({0x04, 0, 0, 0}, {}));
    EXPECT_EQ(ErrorOf([&] { tooMany->ReadCount(); }), rsErrFileDamaged);
    auto negative = TSVDStream::FromBytes(CurrentFile({0xF0, 0xFF, 0xFF, 0xFF, 0xFF}, {}));
    EXPECT_EQ(ErrorOf([&] { negative->ReadCount(); }), rsErrFileDamaged);
    auto wide = TSVDStream::FromBytes(CurrentFile({0x02, 0, 0, 0}, {}));
    EXPECT_EQ(ErrorOf([&] { wide->ReadCount(2); }), rsErrFileDamaged);
}

TEST(SVDStreamTest, ModeIsCheckedFirst) {
    TSVDStream w({}, false);
    auto r = TSVDStream::FromBytes(CurrentFile({0}, {}));
    for (const auto& read :
         std::vector<std::function<void()>>{[&] { w.ReadHeader(); }, [&] { w.ReadInt(); }, [&] { w.ReadOldInt(); },
                                            [&] { w.ReadStr(); }, [&] { w.ReadDate(); }})
        EXPECT_EQ(ErrorOf(read), rsErrOpenWriteOnly);
    for (const auto& write : std::vector<std::function<void()>>{[&] { r->WriteInt(1); }, [&] { r->WriteStr("x"); },
                                                                [&] { r->WriteDate(0); }, [&] { r->Rewind(); },
                                                                [&] { r->SaveToFile(); }, [&] { r->Pool(); }})
        EXPECT_EQ(ErrorOf(write), rsErrOpenReadOnly);
}

TEST(SVDStreamTest, PoolOfCompressedStreamIsRefused) {
    TSVDStream w({}, false);
    w.Compression = 1;
    EXPECT_EQ(ErrorOf([&] { w.Pool(); }), -1);
}

TEST(SVDStreamTest, RewindStartsOver) {
    TSVDStream w({}, false);
    w.WriteInt(300);
    w.WriteStr("gone");
    w.Rewind();
    w.WriteInt(1);
    w.WriteStr("kept");
    auto r = Reader(w);
    EXPECT_EQ(r->RecordBytesLeft(), 1u);
    EXPECT_EQ(r->ReadInt(), 1);
    EXPECT_EQ(r->ReadStr(), "kept");
}

TEST(SVDStreamTest, SaveToFileWritesTheImage) {
    TempDir dir;
    TSVDStream w({}, false);
    w.FileName = (dir / "x.sv2").string();
    w.WriteInt(3'000'000);
    w.WriteStr("text");
    w.SaveToFile();
    const std::vector<uint8_t> expected = CurrentFile({0xE0, 0x0D, 0x40, 0x86}, Bytes(std::string("text\0", 5)));
    EXPECT_EQ(ReadBytes(dir / "x.sv2"), expected);
    TSVDStream r(w.FileName, true);
    EXPECT_TRUE(r.HeaderRead);
    EXPECT_FALSE(r.OldFormat);
    EXPECT_EQ(r.ReadInt(), 3'000'000);
    EXPECT_EQ(r.ReadStr(), "text");
}

TEST(SVDStreamTest, MissingFileRaisesOsError) {
    TempDir dir;
    try {
        TSVDStream r((dir / "missing.sv2").string(), true);
        FAIL();
    } catch (const EShelvaraError& e) {
        EXPECT_EQ(e.MessageId(), 0);
        EXPECT_NE(std::string(e.what()).find("missing.sv2"), std::string::npos);
    }
}

}  // namespace
