#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// The text comparison behind the duplicate search: a book's text becomes a list of word hashes;
// a few blocks of them form the signature of a book from the first folder, and the whole list
// of a book from the second folder is searched for those blocks.

struct TDupParams {
    int32_t BlocksPerBook = 5;
    int32_t WordsPerBlock = 8;
    int16_t MinWordLength = 6;
    int32_t Threshold = 50000;  // 0..100000
    uint8_t SearchMode = 1;     // 0 fast, 1 normal, 2 careful, 3 full
    bool ConsiderSize = true;
};

// Hashes of the words of a text (engine bytes), in text order: letters are compared by their
// skeleton, every other byte separates words, and only words of MinWordLength bytes or more
// count. size is the text's length, or 100 when sizes are not considered. False when no word
// counts (hashes is then left as it was).
bool ExtractWordHashes(std::string_view text, const TDupParams& params, std::vector<uint32_t>& hashes, int32_t& size);

struct TDupSignature {
    const void* Book = nullptr;
    int32_t Size = 0;
    int32_t Blocks = 0;
    int32_t Words = 0;             // per block
    std::vector<uint32_t> Hashes;  // Blocks * Words, block after block

    const uint32_t* Block(int32_t k) const { return Hashes.data() + static_cast<size_t>(k) * Words; }
};

// The signature of a text: up to BlocksPerBook blocks of WordsPerBlock hashes, each in the
// middle of its share of the text. False for texts of WordsPerBlock words or fewer.
bool BuildSignature(const std::vector<uint32_t>& hashes, int32_t size, const TDupParams& params, TDupSignature& out);

// How many of x's hashes stand in y at the same offset, or with window > 0 within that many
// places of it (each of x's hashes counts once). Counting stops as soon as the count can no
// longer reach need; the result is then below need.
int32_t CountMatches(const uint32_t* x, size_t k, const uint32_t* y, size_t l, int32_t window, int32_t need = 0);

// The positions of every hash of one text, so that a block's anchors are found without
// reading the whole text again for each of them.
class TWordIndex {
public:
    explicit TWordIndex(const std::vector<uint32_t>& hashes);
    const std::vector<uint32_t>& Hashes() const { return hashes_; }
    // The positions of hash, in increasing order.
    std::pair<const uint32_t*, const uint32_t*> Positions(uint32_t hash) const;
    // Every hash of the text once, in increasing order.
    const std::vector<uint32_t>& Distinct() const { return distinct_; }

private:
    const std::vector<uint32_t>& hashes_;
    std::vector<uint64_t> entries_;  // hash << 32 | position, sorted
    std::vector<uint32_t> positions_;
    std::vector<uint32_t> distinct_;
};

// The best score (0..100000) of one signature block found in the indexed text; s1 and s2 are
// the two texts' sizes.
int32_t BlockSimilarity(const uint32_t* block, int32_t words, int32_t s1, const TWordIndex& text, int32_t s2,
                        const TDupParams& params);

// A signature's similarity with the indexed text: the mean of its blocks' scores.
int32_t SignatureSimilarity(const TDupSignature& signature, const TWordIndex& text, int32_t s2,
                            const TDupParams& params);

// Many signatures against one text at a time. A signature can only match where the text holds
// its words: a table of every signature word finds, with one pass over the text's distinct
// words, how many of each block's words the text has, which bounds the block's score. Only
// signatures whose bound reaches the threshold are compared in full.
class TSignatureTable {
public:
    explicit TSignatureTable(std::vector<const TDupSignature*> signatures);
    size_t Size() const { return signatures_.size(); }
    const TDupSignature& Signature(size_t i) const { return *signatures_[i]; }
    // The similarity of every signature with the text, in the table's order: exact wherever it
    // reaches params.Threshold, some lower value wherever it does not.
    void Compare(const TWordIndex& text, int32_t s2, const TDupParams& params, std::vector<int32_t>& scores) const;

private:
    struct Slot {
        uint32_t Hash = 0;
        uint32_t First = 0;  // into blocks_
        uint32_t Count = 0;  // 0: empty
    };
    const Slot* Find(uint32_t hash) const;

    std::vector<const TDupSignature*> signatures_;
    std::vector<size_t> firstBlock_;  // per signature, into the per-block counters
    std::vector<uint32_t> blocks_;    // per word slot: the global block numbers holding that word
    std::vector<Slot> slots_;         // open addressing over the words
};

// The search mode's tolerance (places a hash may stand off) and early limit (a score that is
// good enough to stop looking).
struct TDupModeLimits {
    int32_t Window;
    int32_t EarlyLimit;
};
TDupModeLimits ModeLimits(uint8_t mode);

// (m / w)^2, scaled down by the size ratio when that is under 0.8, as 0..100000.
int32_t MatchScore(int32_t matched, int32_t words, int32_t s1, int32_t s2, bool considerSize);
