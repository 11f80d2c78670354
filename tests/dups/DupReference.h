#pragma once

// The duplicate comparison exactly as first described, without indexes: every anchor of every
// block reads the whole text. Slow on purpose; the product must give the same scores.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dups/DupCompare.h"

// The block comparison as plainly as it can be said: every anchor looks through the whole text.
inline int32_t ReferenceBlockSimilarity(const uint32_t* block, int32_t w, int32_t s1, const std::vector<uint32_t>& h,
                                        int32_t s2, const TDupParams& params) {
    const TDupModeLimits limits = ModeLimits(params.SearchMode);
    int32_t best = 0;
    const int32_t half = w / 2;
    const auto n = static_cast<int64_t>(h.size());
    for (int32_t i = 0; i < half; ++i) {
        for (int64_t p = 0; p < n; ++p) {
            if (h[static_cast<size_t>(p)] != block[i] || p > n - 3) continue;
            int32_t m = 0;
            const int64_t k = w - i, l = n - p;
            for (int64_t a = 0; a < k; ++a) {
                const int64_t from = limits.Window ? std::max<int64_t>(0, a - limits.Window) : a;
                const int64_t to = limits.Window ? std::min(l - 1, a + limits.Window) : std::min(a, l - 1);
                for (int64_t j = from; j <= to; ++j)
                    if (h[static_cast<size_t>(p + j)] == block[i + a]) {
                        ++m;
                        break;
                    }
            }
            if (m >= 2 || m >= half) {
                best = std::max(best, MatchScore(m, w, s1, s2, params.ConsiderSize));
                if (best >= limits.EarlyLimit) return best;
            }
        }
    }
    return best;
}

inline int32_t ReferenceSimilarity(const TDupSignature& s, const std::vector<uint32_t>& h, int32_t s2,
                                   const TDupParams& params) {
    int64_t total = 0;
    for (int32_t k = 0; k < s.Blocks; ++k)
        total += ReferenceBlockSimilarity(s.Block(k), s.Words, s.Size, h, s2, params);
    return static_cast<int32_t>(total / s.Blocks);
}
