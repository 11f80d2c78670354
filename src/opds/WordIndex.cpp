#include "opds/WordIndex.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <unordered_map>

#include "common/TextUtils.h"

namespace {

// Letters and digits of Windows-1251: ASCII ones and every upper-half code but punctuation,
// signs and the unassigned one.
const std::array<bool, 256>& WordBytes() {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        for (int c = '0'; c <= '9'; ++c)
            t[static_cast<size_t>(c)] = true;
        for (int c = 'a'; c <= 'z'; ++c)
            t[static_cast<size_t>(c)] = t[static_cast<size_t>(c - 32)] = true;
        for (int c = 0x80; c <= 0xFF; ++c)
            t[static_cast<size_t>(c)] = true;
        for (const int c :
             {0x82, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8B, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
              0x9B, 0xA0, 0xA4, 0xA6, 0xA7, 0xA9, 0xAB, 0xAC, 0xAD, 0xAE, 0xB0, 0xB1, 0xB5, 0xB6, 0xB7, 0xB9, 0xBB})
            t[static_cast<size_t>(c)] = false;
        return t;
    }();
    return table;
}

template <typename Visit>
void ForEachWord(std::string_view key, Visit&& visit) {
    const auto& isWord = WordBytes();
    for (size_t i = 0; i < key.size();) {
        while (i < key.size() && !isWord[static_cast<uint8_t>(key[i])])
            ++i;
        const size_t start = i;
        while (i < key.size() && isWord[static_cast<uint8_t>(key[i])])
            ++i;
        if (i > start) visit(key.substr(start, i - start));
    }
}

}  // namespace

std::vector<std::string> TWordIndex::Words(std::string_view text) {
    std::vector<std::string> words;
    const std::string key = FilterKey(text);
    ForEachWord(key, [&](std::string_view word) { words.emplace_back(word); });
    return words;
}

TWordIndex::TWordIndex(const std::vector<std::string>& texts) {
    // Words are numbered as first met, and each document's distinct word numbers kept; the
    // numbers are put in byte order of their words at the end.
    std::vector<std::string> keys(texts.size());
    std::unordered_map<std::string_view, uint32_t> numbers;
    std::vector<std::string_view> met;
    std::vector<uint32_t> docWords, docStart{0}, counts;
    std::vector<uint32_t> mine;
    for (size_t d = 0; d < texts.size(); ++d) {
        keys[d] = FilterKey(texts[d]);
        mine.clear();
        ForEachWord(keys[d], [&](std::string_view word) {
            const auto [it, added] = numbers.emplace(word, static_cast<uint32_t>(met.size()));
            if (added) {
                met.push_back(word);
                counts.push_back(0);
            }
            mine.push_back(it->second);
        });
        std::sort(mine.begin(), mine.end());
        mine.erase(std::unique(mine.begin(), mine.end()), mine.end());
        for (const uint32_t w : mine)
            ++counts[w];
        docWords.insert(docWords.end(), mine.begin(), mine.end());
        docStart.push_back(static_cast<uint32_t>(docWords.size()));
    }
    std::vector<uint32_t> order(met.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return met[a] < met[b]; });
    std::vector<uint32_t> rank(met.size());
    wordStart_.reserve(met.size() + 1);
    postingStart_.reserve(met.size() + 1);
    size_t bytes = 0;
    for (const std::string_view w : met)
        bytes += w.size();
    words_.reserve(bytes);
    uint32_t postings = 0;
    for (size_t r = 0; r < order.size(); ++r) {
        rank[order[r]] = static_cast<uint32_t>(r);
        wordStart_.push_back(static_cast<uint32_t>(words_.size()));
        words_ += met[order[r]];
        postingStart_.push_back(postings);
        postings += counts[order[r]];
    }
    wordStart_.push_back(static_cast<uint32_t>(words_.size()));
    postingStart_.push_back(postings);
    // Documents go in ascending, so every word's list comes out sorted.
    postings_.resize(postings);
    std::vector<uint32_t> fill(postingStart_.begin(), postingStart_.end() - 1);
    for (size_t d = 0; d + 1 < docStart.size(); ++d)
        for (uint32_t i = docStart[d]; i < docStart[d + 1]; ++i)
            postings_[fill[rank[docWords[i]]]++] = static_cast<int32_t>(d);
}

std::vector<int32_t> TWordIndex::WithPrefix(std::string_view prefix) const {
    const size_t count = WordCount();
    size_t lo = 0, hi = count;
    while (lo < hi) {  // the first word not below the prefix
        const size_t mid = (lo + hi) / 2;
        if (Word(mid) < prefix)
            lo = mid + 1;
        else
            hi = mid;
    }
    size_t end = lo;
    while (end < count && Word(end).substr(0, prefix.size()) == prefix)
        ++end;
    if (lo == end) return {};
    std::vector<int32_t> docs(postings_.begin() + postingStart_[lo], postings_.begin() + postingStart_[end]);
    if (end - lo > 1) {
        std::sort(docs.begin(), docs.end());
        docs.erase(std::unique(docs.begin(), docs.end()), docs.end());
    }
    return docs;
}

std::vector<int32_t> TWordIndex::Find(std::string_view query) const {
    std::vector<std::string> words = Words(query);
    if (words.empty()) return {};
    // A repeated word counts once.
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    std::vector<int32_t> result;
    for (size_t i = 0; i < words.size(); ++i) {
        std::vector<int32_t> docs = WithPrefix(words[i]);
        if (i == 0) {
            result = std::move(docs);
        } else {
            std::vector<int32_t> both;
            both.reserve(std::min(result.size(), docs.size()));
            std::set_intersection(result.begin(), result.end(), docs.begin(), docs.end(), std::back_inserter(both));
            result = std::move(both);
        }
        if (result.empty()) break;
    }
    return result;
}
