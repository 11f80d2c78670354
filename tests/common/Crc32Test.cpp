#include "common/Crc32.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The bit-by-bit definition: reflected polynomial, no inversions.
uint32_t ReferenceCrc(uint32_t crc, const std::vector<uint8_t>& data) {
    for (uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

TEST(Crc32Test, AbcFromZeroWithoutInversion) {
    EXPECT_EQ(Crc32Update(0, "abc", 3), 0xCA6598D0u);
}

TEST(Crc32Test, NullOrEmptyBufferLeavesValue) {
    EXPECT_EQ(Crc32Update(0x12345678u, nullptr, 10), 0x12345678u);
    EXPECT_EQ(Crc32Update(0x12345678u, "abc", 0), 0x12345678u);
}

TEST(Crc32Test, MatchesBitwiseDefinitionAndChains) {
    std::mt19937 random(7);
    for (size_t size : {1u, 2u, 15u, 64u, 1000u, 65537u}) {
        std::vector<uint8_t> data(size);
        for (auto& b : data)
            b = static_cast<uint8_t>(random());
        const uint32_t start = random();
        const uint32_t whole = Crc32Update(start, data.data(), data.size());
        EXPECT_EQ(whole, ReferenceCrc(start, data)) << size;
        const size_t half = size / 2;
        const uint32_t first = Crc32Update(start, data.data(), half);
        EXPECT_EQ(Crc32Update(first, data.data() + half, size - half), whole) << size;
    }
}

TEST(Crc32Test, FollowsFromTheStandardCrc) {
    std::mt19937 random(9);
    for (size_t size : {0u, 1u, 3u, 4096u, 100000u}) {
        std::vector<uint8_t> data(size);
        for (auto& b : data)
            b = static_cast<uint8_t>(random());
        const uint32_t standard = ~ReferenceCrc(0xFFFFFFFFu, data);
        EXPECT_EQ(Crc32FromStandard(standard, size), ReferenceCrc(0, data)) << size;
    }
}

}  // namespace
