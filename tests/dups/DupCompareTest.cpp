#include "dups/DupCompare.h"

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "dups/DupReference.h"

namespace {

TEST(DupCompareTest, WordHashesFollowTheSkeletonAndTheMinimumLength) {
    TDupParams params;
    std::vector<uint32_t> a, b;
    int32_t size = 0;
    ASSERT_TRUE(ExtractWordHashes("Hello, wonderful world; wonderful!", params, a, size));
    EXPECT_EQ(size, 34);
    ASSERT_EQ(a.size(), 2u);  // "Hello" and "world" are too short
    EXPECT_EQ(a[0], a[1]);
    ASSERT_TRUE(ExtractWordHashes("WONDERFUL\n\twonderful", params, b, size));
    EXPECT_EQ(b, a);  // letter case does not matter

    params.ConsiderSize = false;
    ASSERT_TRUE(ExtractWordHashes(std::string_view("abcdef\0ghijkl", 13), params, b, size));
    EXPECT_EQ(size, 100);
    EXPECT_EQ(b.size(), 2u);
    std::vector<uint32_t> kept = {7};
    EXPECT_FALSE(ExtractWordHashes("short words only", params, kept, size));
    EXPECT_EQ(kept, std::vector<uint32_t>{7});
}

TEST(DupCompareTest, SignatureBlocksSitInTheMiddleOfTheirShares) {
    TDupParams params;  // 5 blocks of 8
    std::vector<uint32_t> hashes(8);
    TDupSignature s;
    EXPECT_FALSE(BuildSignature(hashes, 1, params, s));  // w + 1 words are needed
    hashes.resize(100);
    for (uint32_t i = 0; i < 100; ++i)
        hashes[i] = i;
    ASSERT_TRUE(BuildSignature(hashes, 1, params, s));
    ASSERT_EQ(s.Blocks, 5);
    for (int32_t k = 0; k < 5; ++k)
        EXPECT_EQ(s.Block(k)[0], static_cast<uint32_t>(6 + 20 * k));  // (20 - 8) / 2 + 20k
    hashes.resize(17);
    ASSERT_TRUE(BuildSignature(hashes, 1, params, s));
    EXPECT_EQ(s.Blocks, 2);
    EXPECT_EQ(s.Block(1)[0], 8u);  // (8 - 8) / 2 + 8
    params.WordsPerBlock = 0;
    EXPECT_FALSE(BuildSignature(hashes, 1, params, s));
}

TEST(DupCompareTest, CountMatchesWithAndWithoutWindow) {
    const uint32_t x[] = {1, 2, 3, 4};
    const uint32_t y[] = {1, 3, 2, 9, 9, 4};
    EXPECT_EQ(CountMatches(x, 4, y, 6, 0), 1);
    EXPECT_EQ(CountMatches(x, 4, y, 6, 1), 3);  // 4 stands two places off
    EXPECT_EQ(CountMatches(x, 4, y, 6, 2), 4);
    EXPECT_EQ(CountMatches(x, 4, y, 2, 0), 1);  // only the overlap counts
    // A count that cannot reach what is needed stops early, below it; one that can is exact.
    EXPECT_LT(CountMatches(x, 4, y, 6, 0, 3), 3);
    EXPECT_LT(CountMatches(x, 4, y, 6, 1, 4), 4);
    EXPECT_EQ(CountMatches(x, 4, y, 6, 2, 4), 4);
    const uint32_t same[] = {5, 5, 5};
    EXPECT_EQ(CountMatches(same, 3, same, 1, 3), 3);  // each of x counts once, y may serve many
}

TEST(DupCompareTest, WorkedExamples) {
    TDupParams params;
    params.SearchMode = 0;
    params.ConsiderSize = false;
    std::vector<uint32_t> text(200);
    for (uint32_t i = 0; i < text.size(); ++i)
        text[i] = 1000 + i;
    TDupSignature s;
    ASSERT_TRUE(BuildSignature(text, 100, params, s));
    const TWordIndex index(text);
    EXPECT_EQ(SignatureSimilarity(s, index, 100, params), 100000);

    // Six of a block's eight hashes at their offsets, two others changed.
    const std::vector<uint32_t> block = {1050, 1051, 1052, 1053, 1054, 1055, 7, 8};
    EXPECT_EQ(BlockSimilarity(block.data(), 8, 100, index, 100, params), 56250);

    // Sizes 1000 and 1500: two thirds of the full score.
    params.ConsiderSize = true;
    EXPECT_EQ(BlockSimilarity(s.Block(0), 8, 1000, index, 1500, params), 66667);
    EXPECT_EQ(MatchScore(8, 8, 1000, 1250, true), 100000);  // 0.8 is not below 0.8

    // The last two hashes of a text are never anchors, and a text of two hashes never matches.
    const std::vector<uint32_t> tail = {1198, 1199, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(BlockSimilarity(tail.data(), 8, 100, index, 100, params), 0);
    const std::vector<uint32_t> two = {1000, 1001};
    EXPECT_EQ(BlockSimilarity(block.data(), 8, 100, TWordIndex(two), 100, params), 0);
}

// Texts like a library holds: copies, copies with words changed, dropped or inserted, and
// unrelated texts over a small vocabulary, so that anchors repeat.
std::vector<uint32_t> Variant(const std::vector<uint32_t>& base, std::mt19937& rng, int edits) {
    std::vector<uint32_t> out = base;
    std::uniform_int_distribution<int> kind(0, 2);
    for (int e = 0; e < edits && !out.empty(); ++e) {
        const size_t at = std::uniform_int_distribution<size_t>(0, out.size() - 1)(rng);
        switch (kind(rng)) {
            case 0:
                out[at] = static_cast<uint32_t>(rng() % 60);
                break;
            case 1:
                out.erase(out.begin() + static_cast<long>(at));
                break;
            default:
                out.insert(out.begin() + static_cast<long>(at), static_cast<uint32_t>(rng() % 60));
        }
    }
    return out;
}

TEST(DupCompareTest, IndexedSearchAgreesWithTheReference) {
    std::mt19937 rng(20261210);
    std::vector<std::vector<uint32_t>> texts;
    for (int t = 0; t < 8; ++t) {
        std::vector<uint32_t> base(std::uniform_int_distribution<size_t>(2, 300)(rng));
        for (auto& h : base)
            h = static_cast<uint32_t>(rng() % 60);
        texts.push_back(base);
        for (int edits : {0, 3, 30, 150})
            texts.push_back(Variant(base, rng, edits));
    }
    int compared = 0, high = 0;
    for (uint8_t mode = 0; mode <= 3; ++mode) {
        for (bool considerSize : {false, true}) {
            TDupParams params;
            params.SearchMode = mode;
            params.ConsiderSize = considerSize;
            params.Threshold = considerSize ? 50000 : 0;  // with 0 every score of the table is exact
            std::vector<TDupSignature> signatures;
            for (const auto& a : texts) {
                TDupSignature s;
                if (BuildSignature(a, static_cast<int32_t>(a.size()), params, s)) signatures.push_back(std::move(s));
            }
            std::vector<const TDupSignature*> all;
            for (const TDupSignature& s : signatures)
                all.push_back(&s);
            const TSignatureTable table(all);
            std::vector<int32_t> together;
            for (const auto& b : texts) {
                const TWordIndex index(b);
                const auto s2 = static_cast<int32_t>(b.size());
                table.Compare(index, s2, params, together);
                ASSERT_EQ(together.size(), signatures.size());
                for (size_t k = 0; k < signatures.size(); ++k) {
                    const int32_t reference = ReferenceSimilarity(signatures[k], b, s2, params);
                    ASSERT_EQ(SignatureSimilarity(signatures[k], index, s2, params), reference) << "mode " << int(mode);
                    if (reference >= params.Threshold)
                        ASSERT_EQ(together[k], reference) << "mode " << int(mode);
                    else
                        ASSERT_LT(together[k], params.Threshold) << "mode " << int(mode);
                    ++compared;
                    high += reference >= 50000;
                }
            }
        }
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(high, 100);  // the cases include real matches, not only misses
}

}  // namespace
