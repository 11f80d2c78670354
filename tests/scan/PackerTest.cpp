#include "scan/Packer.h"

#include <sys/stat.h>
#include <fstream>

#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include "TestUtils.h"
#include "catalogue/SVD.h"
#include "common/Crc32.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "scan/PackerArchiveAccess.h"

namespace {

std::vector<uint8_t> V(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Writes a ZIP file with raw libzip: names as given (flags decide their encoding).
void WriteZip(const std::filesystem::path& path,
              const std::vector<std::tuple<std::string, std::string, zip_flags_t>>& members) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, content, flags] : members) {
        zip_source_t* s = zip_source_buffer(z, content.data(), content.size(), 0);
        ASSERT_GE(zip_file_add(z, name.c_str(), s, flags), 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

TEST(PackerTest, ListsAndExtractsMembers) {
    TempDir dir;
    WriteZip(dir / "a.zip",
             {{"book.fb2", "<FictionBook/>", ZIP_FL_ENC_UTF_8}, {"sub/other.fb2", "x", ZIP_FL_ENC_UTF_8}});
    TPacker packer;
    ASSERT_TRUE(packer.Open((dir / "a.zip").string(), false));
    EXPECT_FALSE(packer.Open((dir / "a.zip").string(), false));  // already open: nothing happens
    EXPECT_TRUE(packer.IsOpen());
    const std::vector<TArcFileInfoRec> members = packer.List();
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[1].Path, "sub/other.fb2");
    EXPECT_EQ(members[0].Size, 14);
    EXPECT_EQ(packer.Extract("book.fb2"), V("<FictionBook/>"));
    EXPECT_THROW(packer.Extract("missing.fb2"), EShelvaraError);
    EXPECT_FALSE(packer.Open((dir / "x.rar").string(), true));
    EXPECT_FALSE(packer.IsOpen());  // a failed open closes the previous archive
}

TEST(PackerTest, MemberNamesInUtf8AndCp866) {
    TempDir dir;
    // "Книга" in UTF-8 with the flag, and in CP866 without it.
    WriteZip(dir / "names.zip", {{"\xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0.fb2", "1", ZIP_FL_ENC_UTF_8},
                                 {"\x8A\xAD\xA8\xA3\xA0 2.fb2", "2", ZIP_FL_ENC_RAW}});
    TPacker packer;
    ASSERT_TRUE(packer.Open((dir / "names.zip").string(), false));
    const std::vector<TArcFileInfoRec> members = packer.List();
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(AnsiToUtf8(members[0].Path), "Книга.fb2");
    EXPECT_EQ(AnsiToUtf8(members[1].Path), "Книга 2.fb2");
    EXPECT_EQ(packer.Extract(members[1].Path), V("2"));  // found again by the listed name
}

TEST(PackerTest, AMemberFalselyFlaggedAsUtf8IsSkippedAndTheOthersStay) {
    TempDir dir;
    WriteZip(dir / "a.zip", {{"good.fb2", "good", ZIP_FL_ENC_UTF_8},
                             {"a\xC3\xA9"
                              "b.fb2",
                              "bad", ZIP_FL_ENC_UTF_8}});
    std::vector<uint8_t> bytes = ReadBytes(dir / "a.zip");
    // Both copies of the name (local header, central directory) become bytes of no UTF-8.
    int patched = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xC3 && bytes[i + 1] == 0xA9) bytes[i] = 0xFF, bytes[i + 1] = 0xFE, ++patched;
    ASSERT_EQ(patched, 2);
    WriteBytes(dir / "a.zip", bytes);
    TPacker packer;
    ASSERT_TRUE(packer.Open((dir / "a.zip").string(), false));
    const std::vector<TArcFileInfoRec> members = packer.List();
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].Path, "good.fb2");
    EXPECT_EQ(packer.SkippedCount(), 1u);
    EXPECT_EQ(packer.Extract("good.fb2"), V("good"));
    // The directory alone is refused; a folder listing opens such an archive instead.
    std::vector<TArcFileInfoRec> listed;
    EXPECT_FALSE(TPacker::ListFile((dir / "a.zip").string(), listed));
}

// The directory alone gives what opening the archive lists, names in either encoding; an archive
// whose directory libzip refuses is left to the full opening, which repairs what it can.
TEST(PackerTest, TheDirectoryAloneListsTheSameMembers) {
    TempDir dir;
    WriteZip(dir / "names.zip", {{"\xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0.fb2", "1", ZIP_FL_ENC_UTF_8},
                                 {"\x8A\xAD\xA8\xA3\xA0 2.fb2", "22", ZIP_FL_ENC_RAW},
                                 {"sub/", "", ZIP_FL_ENC_UTF_8}});
    TPacker packer;
    ASSERT_TRUE(packer.Open((dir / "names.zip").string(), false));
    const std::vector<TArcFileInfoRec> opened = packer.List();
    std::vector<TArcFileInfoRec> listed;
    ASSERT_TRUE(TPacker::ListFile((dir / "names.zip").string(), listed));
    ASSERT_EQ(listed.size(), opened.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].Path, opened[i].Path);
        EXPECT_EQ(listed[i].Size, opened[i].Size);
        EXPECT_EQ(listed[i].Crc, opened[i].Crc);
        EXPECT_EQ(listed[i].Attributes, opened[i].Attributes);
    }
    WriteBytes(dir / "damaged.zip", Bytes("PK\x05\x06 not an archive"));
    EXPECT_FALSE(TPacker::ListFile((dir / "damaged.zip").string(), listed));
    EXPECT_FALSE(TPacker::ListFile((dir / "missing.zip").string(), listed));
}

TEST(PackerTest, NestedArchivesAreReadAndWrittenBackInnerFirst) {
    TempDir dir;
    WriteZip(dir / "inner.zip", {{"book.fb2", "inner book", ZIP_FL_ENC_UTF_8}});
    std::ifstream in(dir / "inner.zip", std::ios::binary);
    const std::string innerBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WriteZip(dir / "outer.zip", {{"inner.zip", innerBytes, ZIP_FL_ENC_UTF_8}});
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open((dir / "outer.zip").string(), false));
        EXPECT_EQ(packer.Extract("inner.zip/book.fb2"), V("inner book"));
        EXPECT_TRUE(packer.EntryExists("inner.zip/book.fb2", true));
        EXPECT_FALSE(packer.EntryExists("inner.zip/book.fb2", false));
        ASSERT_TRUE(packer.AddFromBytes("inner.zip/new.fb2", V("added"), 0, 0x20, false));
        packer.Close();
    }
    TPacker again;
    ASSERT_TRUE(again.Open((dir / "outer.zip").string(), false));
    EXPECT_EQ(again.Extract("inner.zip/new.fb2"), V("added"));
    EXPECT_EQ(again.Extract("inner.zip/book.fb2"), V("inner book"));
}

TEST(PackerTest, AnUnchangedArchiveIsNotRewritten) {
    TempDir dir;
    WriteZip(dir / "a.zip", {{"book.fb2", "x", ZIP_FL_ENC_UTF_8}});
    struct stat before {};
    ::stat((dir / "a.zip").c_str(), &before);
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open((dir / "a.zip").string(), false));
        packer.List();
        packer.Extract("book.fb2");
    }
    struct stat after {};
    ::stat((dir / "a.zip").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

TEST(PackerTest, AddingKeepsOrReplacesAndCreatesArchives) {
    TempDir dir;
    const std::string path = (dir / "new.zip").string();
    {
        TPacker packer;
        ASSERT_TRUE(packer.Open(path, true));
        ASSERT_TRUE(packer.AddFromBytes("a.fb2", V("first"), 0, 0x20, false));
        EXPECT_FALSE(packer.AddFromBytes("a.fb2", V("second"), 0, 0x20, false));  // kept
        packer.Close();
    }
    TPacker packer;
    ASSERT_TRUE(packer.Open(path, false));
    EXPECT_EQ(packer.Extract("a.fb2"), V("first"));
    ASSERT_TRUE(packer.AddFromBytes("a.fb2", V("second"), 0, 0x20, true));
    EXPECT_EQ(packer.Extract("a.fb2"), V("second"));
    // An existing empty file opens as a new archive.
    WriteBytes(dir / "empty.zip", {});
    TPacker empty;
    EXPECT_TRUE(empty.Open((dir / "empty.zip").string(), true));
    EXPECT_TRUE(empty.List().empty());
}

TEST(PackerTest, BombsOfOverlappingOrManyMembersAreStopped) {
    TempDir dir;
    // Three members whose central records all point at the first one's data: overlapping.
    const std::string zeros(1 << 20, '\0');
    WriteZip(
        dir / "overlap.zip",
        {{"a.fb2", zeros, ZIP_FL_ENC_UTF_8}, {"b.fb2", zeros, ZIP_FL_ENC_UTF_8}, {"c.fb2", zeros, ZIP_FL_ENC_UTF_8}});
    std::vector<uint8_t> bytes = ReadBytes(dir / "overlap.zip");
    for (size_t i = 0; i + 46 < bytes.size(); ++i)
        if (bytes[i] == 'P' && bytes[i + 1] == 'K' && bytes[i + 2] == 1 && bytes[i + 3] == 2)
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(i) + 42,
                      bytes.begin() + static_cast<std::ptrdiff_t>(i) + 46, 0);  // local header at 0
    WriteBytes(dir / "overlap.zip", bytes);
    TPacker overlap;
    EXPECT_FALSE(overlap.Open((dir / "overlap.zip").string(), false));

    // Members of honest headers that together unpack to far more than the archive can hold.
    const std::string big(24 << 20, '\0');
    WriteZip(dir / "many.zip", {{"1.txt", big, 0}, {"2.txt", big, 0}, {"3.txt", big, 0}, {"4.txt", big, 0}});
    TPacker many;
    ASSERT_TRUE(many.Open((dir / "many.zip").string(), false));
    EXPECT_LT(many.InflateBudget(), int64_t{4} * (24 << 20));
    EXPECT_NO_THROW(many.Extract("1.txt"));
    EXPECT_THROW(
        {
            for (const char* name : {"2.txt", "3.txt", "4.txt"})
                many.Extract(name);
        },
        EShelvaraError);

    // A head is read without inflating the rest.
    TPacker head;
    ASSERT_TRUE(head.Open((dir / "many.zip").string(), false));
    size_t calls = 0;
    const std::vector<uint8_t> start = head.Extract("1.txt", [&](const std::vector<uint8_t>& b) {
        ++calls;
        return b.size() >= 100000;
    });
    EXPECT_GE(start.size(), 100000u);
    EXPECT_LT(start.size(), 1u << 20);
    EXPECT_GE(calls, 1u);
}

// An archive made in memory by libzip: (name, content, stored rather than deflated).
std::vector<uint8_t> ZipInMemory(const std::vector<std::tuple<std::string, const std::string*, bool>>& members) {
    TempDir dir;
    int error = 0;
    zip_t* z = zip_open((dir / "z.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(z, nullptr);
    for (const auto& [name, content, stored] : members) {
        const zip_int64_t at =
            zip_file_add(z, name.c_str(), zip_source_buffer(z, content->data(), content->size(), 0), 0);
        EXPECT_GE(at, 0);
        zip_set_file_compression(z, static_cast<zip_uint64_t>(at), stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
    }
    EXPECT_EQ(zip_close(z), 0);
    return ReadBytes(dir / "z.zip");
}

TEST(PackerTest, ANestedBombIsStoppedByTheOuterArchivesBudget) {
    // The inner archive is padded (stored zeros) until its own budget would let its member out;
    // the outer one packs that padding to nothing.
    const std::string zeros(80 << 20, '\0');
    const std::string padding(16 << 20, '\0');
    const std::vector<uint8_t> innerBytes = ZipInMemory({{"book.fb2", &zeros, false}, {"pad.bin", &padding, true}});
    const std::string inner(innerBytes.begin(), innerBytes.end());
    TPacker alone;
    ASSERT_TRUE(alone.OpenBytes(innerBytes, "inner.zip"));
    ASSERT_GT(alone.InflateBudget(), static_cast<int64_t>(zeros.size()) + static_cast<int64_t>(padding.size()));
    TempDir dir;
    WriteBytes(dir / "outer.zip", ZipInMemory({{"inner.zip", &inner, false}}));
    ASSERT_LT(std::filesystem::file_size(dir / "outer.zip"), 1u << 20);

    const CallCost cost = CostOf([&] {
        TPacker outer;
        ASSERT_TRUE(outer.Open((dir / "outer.zip").string(), false));
        EXPECT_THROW(outer.Extract("inner.zip/book.fb2"), EShelvaraError);
    });
    EXPECT_LT(cost.Seconds, 5);
    EXPECT_LT(cost.PeakGrowthMiB, 256 * kShadowFactor);
}

TEST(PackerTest, AnEmptyMemberIsAddedAndReadBack) {
    TPacker packer;
    ASSERT_TRUE(packer.OpenBytes({}, "new.zip"));
    ASSERT_TRUE(packer.AddFromBytes("empty.fb2", {}, 0, 0x20, true));
    const std::vector<uint8_t> bytes = packer.CloseToBytes();
    TPacker back;
    ASSERT_TRUE(back.OpenBytes(bytes, "new.zip"));
    EXPECT_TRUE(back.Extract("empty.fb2").empty());
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A stored-member ZIP whose second member is `padding` zero bytes, written as a hole of a sparse
// file: an archive of over 2 GiB that costs no disk.
void WriteSparseZip(const std::filesystem::path& path, const std::string& book, uint32_t padding) {
    uLong zeroCrc = crc32(0, nullptr, 0);
    {
        const std::vector<uint8_t> mebibyte(1 << 20, 0);
        const uLong block = crc32(0, mebibyte.data(), static_cast<uInt>(mebibyte.size()));
        uint32_t left = padding;
        for (; left >= mebibyte.size(); left -= static_cast<uint32_t>(mebibyte.size()))
            zeroCrc = crc32_combine(zeroCrc, block, static_cast<z_off_t>(mebibyte.size()));
        zeroCrc = crc32_combine(zeroCrc, crc32(0, mebibyte.data(), left), left);
    }
    struct Member {
        std::string name;
        uint32_t size, crc, offset;
    };
    std::vector<Member> members{
        {"book.fb2", static_cast<uint32_t>(book.size()),
         static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(book.data()), static_cast<uInt>(book.size()))),
         0},
        {"pad.bin", padding, static_cast<uint32_t>(zeroCrc), 0}};
    std::vector<uint8_t> head;
    auto local = [&](Member& m) {
        m.offset = static_cast<uint32_t>(head.size());
        for (uint32_t v : {0x04034B50u})
            Put32(head, v);
        Put16(head, 20), Put16(head, 0), Put16(head, 0), Put16(head, 0), Put16(head, 0x21);
        Put32(head, m.crc), Put32(head, m.size), Put32(head, m.size);
        Put16(head, static_cast<uint32_t>(m.name.size())), Put16(head, 0);
        head.insert(head.end(), m.name.begin(), m.name.end());
    };
    local(members[0]);
    head.insert(head.end(), book.begin(), book.end());
    local(members[1]);
    const uint64_t centralAt = head.size() + uint64_t{padding};
    std::vector<uint8_t> tail;
    for (const Member& m : members) {
        Put32(tail, 0x02014B50), Put16(tail, 20), Put16(tail, 20), Put16(tail, 0), Put16(tail, 0), Put16(tail, 0);
        Put16(tail, 0x21), Put32(tail, m.crc), Put32(tail, m.size), Put32(tail, m.size);
        Put16(tail, static_cast<uint32_t>(m.name.size())), Put16(tail, 0), Put16(tail, 0), Put16(tail, 0);
        Put16(tail, 0), Put32(tail, 0), Put32(tail, m.offset);
        tail.insert(tail.end(), m.name.begin(), m.name.end());
    }
    const auto centralSize = static_cast<uint32_t>(tail.size());
    Put32(tail, 0x06054B50), Put16(tail, 0), Put16(tail, 0), Put16(tail, 2), Put16(tail, 2);
    Put32(tail, centralSize), Put32(tail, static_cast<uint32_t>(centralAt)), Put16(tail, 0);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    out.seekp(static_cast<std::streamoff>(centralAt));
    out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
}

TEST(PackerTest, AMemberOfAnArchiveOverTwoGibibytesIsReadFromTheFile) {
    TempDir dir;
    const std::string book = "<FictionBook>a small book</FictionBook>";
    WriteSparseZip(dir / "huge.zip", book, 2200u << 20);
    ASSERT_GT(std::filesystem::file_size(dir / "huge.zip"), uintmax_t{1} << 31);
    std::vector<TArcFileInfoRec> members;
    ASSERT_TRUE(TPacker::ListFile((dir / "huge.zip").string(), members));
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].Path, "book.fb2");
    const CallCost cost = CostOf([&] {
        for (bool fromFile : {false, true}) {
            TPackerArchiveAccess access(fromFile);
            EXPECT_TRUE(access.Contains((dir / "huge.zip").string(), "book.fb2"));
            EXPECT_EQ(access.ReadMember((dir / "huge.zip").string(), "book.fb2"), V(book));
        }
    });
    EXPECT_LT(cost.PeakGrowthMiB, 64 * kShadowFactor);
    // A small archive is read from the file alone too when asked, as the server does.
    WriteZip(dir / "small.zip", {{"a.fb2", "aaa", ZIP_FL_ENC_UTF_8}, {"in.zip", "not really", ZIP_FL_ENC_UTF_8}});
    TPackerArchiveAccess access(true);
    EXPECT_EQ(access.ReadMember((dir / "small.zip").string(), "a.fb2"), V("aaa"));
    EXPECT_FALSE(access.Contains((dir / "small.zip").string(), "b.fb2"));
}

TEST(PackerTest, MaliciousArchives) {
    TempDir dir;
    // A member whose path would leave its folder is only ever read into memory.
    WriteZip(dir / "evil.zip", {{"../../evil.fb2", "payload", ZIP_FL_ENC_UTF_8}});
    TPacker packer;
    ASSERT_TRUE(packer.Open((dir / "evil.zip").string(), false));
    EXPECT_EQ(packer.Extract("../../evil.fb2"), V("payload"));
    packer.Close();
    EXPECT_FALSE(std::filesystem::exists(dir.Path().parent_path().parent_path() / "evil.fb2"));

    // A bomb: the sizes in the headers claim 4 GB for a tiny member.
    WriteZip(dir / "bomb.zip", {{"bomb.fb2", std::string(1000, 'a'), ZIP_FL_ENC_UTF_8}});
    std::vector<uint8_t> bytes = ReadBytes(dir / "bomb.zip");
    for (size_t i = 0; i + 4 < bytes.size(); ++i) {
        const bool local = bytes[i] == 'P' && bytes[i + 1] == 'K' && bytes[i + 2] == 3 && bytes[i + 3] == 4;
        const bool central = bytes[i] == 'P' && bytes[i + 1] == 'K' && bytes[i + 2] == 1 && bytes[i + 3] == 2;
        const size_t at = local ? i + 22 : central ? i + 24 : 0;
        if (at) bytes[at + 3] = 0xF0;  // uncompressed size >= 4 026 531 840
    }
    WriteBytes(dir / "bomb.zip", bytes);
    TPacker bomb;
    if (bomb.Open((dir / "bomb.zip").string(), false)) {
        EXPECT_THROW(bomb.Extract("bomb.fb2"), EShelvaraError);
    }

    // An encrypted member is listed, marked, and not read.
    const zip_uint16_t method = zip_encryption_method_supported(ZIP_EM_AES_256, 1)       ? ZIP_EM_AES_256
                                : zip_encryption_method_supported(ZIP_EM_TRAD_PKWARE, 1) ? ZIP_EM_TRAD_PKWARE
                                                                                         : ZIP_EM_NONE;
    if (method != ZIP_EM_NONE) {
        const std::string secret(300, 's');
        int error = 0;
        zip_t* z = zip_open((dir / "locked.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(z, nullptr);
        const zip_int64_t at = zip_file_add(z, "locked.fb2", zip_source_buffer(z, secret.data(), secret.size(), 0), 0);
        ASSERT_GE(at, 0);
        ASSERT_EQ(zip_file_set_encryption(z, static_cast<zip_uint64_t>(at), method, "password"), 0);
        ASSERT_EQ(zip_close(z), 0);
        TPacker locked;
        ASSERT_TRUE(locked.Open((dir / "locked.zip").string(), false));
        const std::vector<TArcFileInfoRec> members = locked.List();
        ASSERT_EQ(members.size(), 1u);
        EXPECT_TRUE(members[0].Encrypted);
        EXPECT_THROW(locked.Extract("locked.fb2"), EShelvaraError);
    } else {
        ADD_FAILURE() << "this libzip writes no encrypted members";
    }

    // A truncated archive does not open.
    WriteZip(dir / "whole.zip", {{"book.fb2", std::string(5000, 'b'), ZIP_FL_ENC_UTF_8}});
    std::vector<uint8_t> whole = ReadBytes(dir / "whole.zip");
    whole.resize(whole.size() / 2);
    WriteBytes(dir / "cut.zip", whole);
    TPacker cut;
    EXPECT_FALSE(cut.Open((dir / "cut.zip").string(), false));

    // An archive holding itself is entered only so deep.
    std::vector<uint8_t> self = ReadBytes(dir / "whole.zip");
    for (int level = 0; level < 12; ++level) {
        WriteZip(dir / "self.zip", {{"self.zip", std::string(self.begin(), self.end()), ZIP_FL_ENC_UTF_8}});
        self = ReadBytes(dir / "self.zip");
    }
    TPacker deep;
    ASSERT_TRUE(deep.Open((dir / "self.zip").string(), false));
    std::string path;
    for (int level = 0; level < 12; ++level)
        path += "self.zip/";
    EXPECT_FALSE(deep.EntryExists(path + "book.fb2", true));
}

TEST(PackerTest, CatalogueRemovesOnlyThePackedBooksMember) {
    TempDir dir;
    WriteZip(dir / "two.zip", {{"a.fb2", "A", ZIP_FL_ENC_UTF_8}, {"b.fb2", "B", ZIP_FL_ENC_UTF_8}});
    TSVD svd;
    svd.Packer = std::make_unique<TPackerArchiveAccess>();
    TMountPoint* mp = svd.AddMountPoint(dir.Path().string());
    TBookInfo* a = mp->AddBook();
    a->FileName = "two.zip";
    a->EntryName = "a.fb2";
    a->Packed = true;
    EXPECT_TRUE(a->CheckExists());
    ASSERT_TRUE(a->UpdateFileInfo(1));
    EXPECT_EQ(a->Size, 1);
    EXPECT_EQ(a->Crc, Crc32Update(0, "A", 1));  // the member's content, not the archive's
    EXPECT_TRUE(a->DeleteFile());
    svd.Packer->Reset();
    TPacker check;
    ASSERT_TRUE(check.Open((dir / "two.zip").string(), false));
    const std::vector<TArcFileInfoRec> left = check.List();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].Path, "b.fb2");
}

}  // namespace
