#include "fb2/Base64.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

TEST(Base64Test, KnownEncodings) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string_view("\xff\xfe\x00", 3), "//4A"},
    };
    for (const auto& [plain, encoded] : cases) {
        SCOPED_TRACE(encoded);
        EXPECT_EQ(Base64Encode(Bytes(plain)), encoded);
        std::vector<uint8_t> decoded;
        EXPECT_EQ(Base64Decode(encoded, decoded), !encoded.empty());
        EXPECT_EQ(decoded, Bytes(plain));
    }
}

TEST(Base64Test, DecodingSkipsLineBreaksAndBlanks) {
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(Base64Decode("Zm9v\r\n YmFy\tYg==\n", decoded));
    EXPECT_EQ(decoded, Bytes("foobarb"));
    EXPECT_FALSE(Base64Decode(" \n\t", decoded));
    EXPECT_TRUE(decoded.empty());
}

TEST(Base64Test, RoundTripOfEveryByteValue) {
    std::vector<uint8_t> all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<uint8_t>(i));
    for (size_t cut = 253; cut <= 256; ++cut) {
        const std::vector<uint8_t> input(all.begin(), all.begin() + cut);
        std::vector<uint8_t> decoded;
        ASSERT_TRUE(Base64Decode(Base64Encode(input), decoded));
        EXPECT_EQ(decoded, input);
    }
}

TEST(Base64Test, TruncatedInputNeverOverruns) {
    // A cut-off image must decode to at most what its whole groups hold.
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(Base64Decode("Zm9vYm", decoded));
    EXPECT_LE(decoded.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(decoded.begin(), decoded.begin() + 3), Bytes("foo"));
}

}  // namespace
