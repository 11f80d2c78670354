#include "dups/DupCompare.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/Crc32.h"
#include "fb2/Recoder.h"

bool ExtractWordHashes(std::string_view text, const TDupParams& params, std::vector<uint32_t>& hashes, int32_t& size) {
    size = params.ConsiderSize ? static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX)) : 100;
    std::string skeleton(text);
    // A NUL separates words like any other non-letter; the skeleton map stops at the first one.
    std::replace(skeleton.begin(), skeleton.end(), '\0', ' ');
    MatchSkeleton(skeleton.data());
    std::vector<uint32_t> found;
    const size_t minLength = static_cast<size_t>(std::max<int16_t>(params.MinWordLength, 0));
    size_t i = 0;
    while (i < skeleton.size()) {
        while (i < skeleton.size() && skeleton[i] == ' ')
            ++i;
        const size_t start = i;
        while (i < skeleton.size() && skeleton[i] != ' ')
            ++i;
        if (i > start && i - start >= minLength) found.push_back(Crc32Update(0, skeleton.data() + start, i - start));
    }
    if (found.empty()) return false;
    hashes = std::move(found);
    return true;
}

bool BuildSignature(const std::vector<uint32_t>& hashes, int32_t size, const TDupParams& params, TDupSignature& out) {
    const auto n = static_cast<int64_t>(hashes.size());
    const int64_t w = params.WordsPerBlock;
    if (w <= 0 || params.BlocksPerBook <= 0 || n <= w) return false;
    const int64_t nb = std::min<int64_t>(n / w, params.BlocksPerBook);
    const int64_t step = n / nb;
    out.Size = size;
    out.Blocks = static_cast<int32_t>(nb);
    out.Words = static_cast<int32_t>(w);
    out.Hashes.clear();
    out.Hashes.reserve(static_cast<size_t>(nb * w));
    for (int64_t k = 0; k < nb; ++k) {
        const int64_t start = (step - w) / 2 + step * k;
        out.Hashes.insert(out.Hashes.end(), hashes.begin() + start, hashes.begin() + start + w);
    }
    return true;
}

int32_t CountMatches(const uint32_t* x, size_t k, const uint32_t* y, size_t l, int32_t window, int32_t need) {
    int32_t count = 0;
    if (window <= 0) {
        const size_t overlap = std::min(k, l);
        for (size_t j = 0; j < overlap; ++j) {
            if (count + static_cast<int64_t>(overlap - j) < need) return count;
            count += x[j] == y[j];
        }
        return count;
    }
    if (l == 0) return 0;
    const auto e = static_cast<size_t>(window);
    for (size_t i = 0; i < k; ++i) {
        if (count + static_cast<int64_t>(k - i) < need) return count;
        const size_t from = i > e ? i - e : 0;
        const size_t to = std::min(l - 1, i + e);
        for (size_t j = from; j <= to; ++j) {
            if (y[j] == x[i]) {
                ++count;
                break;
            }
        }
    }
    return count;
}

TWordIndex::TWordIndex(const std::vector<uint32_t>& hashes) : hashes_(hashes) {
    entries_.reserve(hashes.size());
    for (size_t p = 0; p < hashes.size(); ++p)
        entries_.push_back(static_cast<uint64_t>(hashes[p]) << 32 | p);
    std::sort(entries_.begin(), entries_.end());
    positions_.reserve(entries_.size());
    for (uint64_t e : entries_) {
        positions_.push_back(static_cast<uint32_t>(e));
        const auto hash = static_cast<uint32_t>(e >> 32);
        if (distinct_.empty() || distinct_.back() != hash) distinct_.push_back(hash);
    }
}

std::pair<const uint32_t*, const uint32_t*> TWordIndex::Positions(uint32_t hash) const {
    const uint64_t low = static_cast<uint64_t>(hash) << 32;
    const auto first = std::lower_bound(entries_.begin(), entries_.end(), low);
    const auto last = std::lower_bound(first, entries_.end(), low | 0xFFFFFFFFu);
    const uint32_t* base = positions_.data();
    // An entry equal to low | 0xFFFFFFFF would be position 2^32 - 1, which no text reaches.
    return {base + (first - entries_.begin()), base + (last - entries_.begin())};
}

TDupModeLimits ModeLimits(uint8_t mode) {
    switch (mode) {
        case 0:
            return {0, 50000};
        case 1:
            return {3, 60000};
        case 2:
            return {5, 85000};
        default:
            return {8, 99000};
    }
}

int32_t MatchScore(int32_t matched, int32_t words, int32_t s1, int32_t s2, bool considerSize) {
    double r = static_cast<double>(matched) / words;
    r = std::min(r * r, 1.0);
    if (considerSize) {
        const double small = std::min(s1, s2), large = std::max(s1, s2);
        if (large > 0 && small / large < 0.8) r *= small / large;
    }
    return static_cast<int32_t>(std::nearbyint(r * 100000.0));  // halves to even
}

int32_t BlockSimilarity(const uint32_t* block, int32_t words, int32_t s1, const TWordIndex& text, int32_t s2,
                        const TDupParams& params) {
    const TDupModeLimits limits = ModeLimits(params.SearchMode);
    const std::vector<uint32_t>& h = text.Hashes();
    const size_t n = h.size();
    if (n < 3 || words <= 0) return 0;
    int32_t best = 0, bestMatches = 0;
    const int32_t half = words / 2;
    for (int32_t i = 0; i < half; ++i) {
        const auto [first, last] = text.Positions(block[i]);
        for (const uint32_t* at = first; at != last && *at <= n - 3; ++at) {
            const size_t p = *at;
            // The score grows with the matches: fewer than the best so far cannot change anything.
            const int32_t need = std::max(std::min(2, half), bestMatches + 1);
            const int32_t m =
                CountMatches(block + i, static_cast<size_t>(words - i), h.data() + p, n - p, limits.Window, need);
            if (m < need) continue;
            bestMatches = m;
            best = std::max(best, MatchScore(m, words, s1, s2, params.ConsiderSize));
            if (best >= limits.EarlyLimit) return best;
        }
    }
    return best;
}

int32_t SignatureSimilarity(const TDupSignature& signature, const TWordIndex& text, int32_t s2,
                            const TDupParams& params) {
    if (signature.Blocks <= 0) return 0;
    int64_t total = 0;
    for (int32_t k = 0; k < signature.Blocks; ++k)
        total += BlockSimilarity(signature.Block(k), signature.Words, signature.Size, text, s2, params);
    return static_cast<int32_t>(total / signature.Blocks);
}

TSignatureTable::TSignatureTable(std::vector<const TDupSignature*> signatures) : signatures_(std::move(signatures)) {
    std::vector<std::pair<uint32_t, uint32_t>> words;  // hash, global block number
    size_t block = 0;
    for (const TDupSignature* sig : signatures_) {
        firstBlock_.push_back(block);
        for (int32_t k = 0; k < sig->Blocks; ++k, ++block)
            for (int32_t i = 0; i < sig->Words; ++i)
                words.emplace_back(sig->Block(k)[i], static_cast<uint32_t>(block));
    }
    firstBlock_.push_back(block);
    std::sort(words.begin(), words.end());
    size_t capacity = 16;
    while (capacity < words.size() * 2)
        capacity *= 2;
    slots_.resize(capacity);
    blocks_.reserve(words.size());
    for (size_t a = 0; a < words.size();) {
        size_t b = a;
        while (b < words.size() && words[b].first == words[a].first)
            blocks_.push_back(words[b++].second);
        size_t at = words[a].first & (capacity - 1);
        while (slots_[at].Count)
            at = (at + 1) & (capacity - 1);
        slots_[at] = {words[a].first, static_cast<uint32_t>(a), static_cast<uint32_t>(b - a)};
        a = b;
    }
}

const TSignatureTable::Slot* TSignatureTable::Find(uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (!slot.Count) return nullptr;
        if (slot.Hash == hash) return &slot;
    }
}

void TSignatureTable::Compare(const TWordIndex& text, int32_t s2, const TDupParams& params,
                              std::vector<int32_t>& scores) const {
    scores.assign(signatures_.size(), 0);
    // How many word places of each block the text holds somewhere.
    std::vector<uint32_t> present(firstBlock_.back(), 0);
    for (uint32_t hash : text.Distinct())
        if (const Slot* slot = Find(hash))
            for (uint32_t e = slot->First; e < slot->First + slot->Count; ++e)
                ++present[blocks_[e]];
    std::vector<int32_t> bounds;
    for (size_t s = 0; s < signatures_.size(); ++s) {
        const TDupSignature& sig = *signatures_[s];
        if (sig.Blocks <= 0) continue;
        // A block matches at most the words the text holds; the score grows with the matches.
        bounds.assign(static_cast<size_t>(sig.Blocks), 0);
        int64_t bound = 0;
        for (int32_t k = 0; k < sig.Blocks; ++k) {
            const int32_t held = static_cast<int32_t>(present[firstBlock_[s] + static_cast<size_t>(k)]);
            if (held >= 2 || held >= sig.Words / 2)
                bound += bounds[static_cast<size_t>(k)] =
                    MatchScore(held, sig.Words, sig.Size, s2, params.ConsiderSize);
        }
        // Blocks are compared while the threshold is still within reach.
        const int64_t needed = static_cast<int64_t>(params.Threshold) * sig.Blocks;
        int64_t total = 0;
        for (int32_t k = 0; k < sig.Blocks && total + bound >= needed; ++k) {
            bound -= bounds[static_cast<size_t>(k)];
            if (bounds[static_cast<size_t>(k)] > 0)
                total += BlockSimilarity(sig.Block(k), sig.Words, sig.Size, text, s2, params);
        }
        // Exact when every block was compared; otherwise a bound below the threshold.
        scores[s] = static_cast<int32_t>((total + bound) / sig.Blocks);
    }
}
