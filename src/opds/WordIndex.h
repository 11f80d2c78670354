#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which documents hold which words: built once from one text per document and read by any
// number of threads. Words are runs of letters and digits of filter keys (lower case, ё as
// е); a query finds the documents that hold every word of it, each as a word or the start of one.
class TWordIndex final {
public:
    TWordIndex() = default;
    // texts[i] is the engine text of document i.
    explicit TWordIndex(const std::vector<std::string>& texts);

    // Documents holding every word of the query (engine text), in ascending order; none for a
    // query without words.
    std::vector<int32_t> Find(std::string_view query) const;
    size_t WordCount() const { return wordStart_.empty() ? 0 : wordStart_.size() - 1; }

    // The words of a text's filter key, in order, repeats kept.
    static std::vector<std::string> Words(std::string_view text);

private:
    std::string_view Word(size_t i) const {
        return std::string_view(words_).substr(wordStart_[i], wordStart_[i + 1] - wordStart_[i]);
    }
    // Documents of the words that start with the prefix, ascending, each once.
    std::vector<int32_t> WithPrefix(std::string_view prefix) const;

    std::string words_;                   // every distinct word, in byte order, back to back
    std::vector<uint32_t> wordStart_;     // word i is words_[wordStart_[i], wordStart_[i + 1])
    std::vector<uint32_t> postingStart_;  // word i's documents are postings_[postingStart_[i], ...[i + 1])
    std::vector<int32_t> postings_;
};
