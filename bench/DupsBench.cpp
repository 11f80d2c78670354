// Duplicate search over a generated folder compared with itself, mode 1: the product's time
// against the plain reference on the same data. The reference is too slow to run on every
// text, so it runs on a sample of the second folder and its time is scaled up.
//
// Usage: bench_dups [BOOKS] [SAMPLE]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "dups/DupCompare.h"
#include "dups/DupReference.h"
#include "dups/DupSearch.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Windows-1251 lower-case words, like a Russian text's.
std::vector<std::string> Vocabulary(std::mt19937& rng, size_t count) {
    std::vector<std::string> words;
    for (size_t i = 0; i < count; ++i) {
        std::string w(std::uniform_int_distribution<size_t>(2, 12)(rng), ' ');
        for (char& c : w)
            c = static_cast<char>(0xE0 + rng() % 32);
        words.push_back(w);
    }
    return words;
}

std::string Book(std::mt19937& rng, const std::vector<std::string>& vocabulary, size_t words) {
    // Word frequencies fall with their rank (Zipf's law), as in prose.
    static std::discrete_distribution<size_t> pick = [&] {
        std::vector<double> weights(vocabulary.size());
        for (size_t k = 0; k < weights.size(); ++k)
            weights[k] = 1.0 / static_cast<double>(k + 1);
        return std::discrete_distribution<size_t>(weights.begin(), weights.end());
    }();
    std::string text;
    for (size_t i = 0; i < words; ++i) {
        text += vocabulary[pick(rng)];
        text += i % 12 == 11 ? ".\n" : " ";
    }
    return text;
}

// A near-copy: another edition with a share of its lines changed, dropped or reflowed.
std::string Edition(std::mt19937& rng, const std::string& text, const std::vector<std::string>& vocabulary) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const unsigned roll = rng() % 100;
        if (roll < 5) {
            // dropped
        } else if (roll < 15) {
            out += vocabulary[rng() % vocabulary.size()] + " " + text.substr(start, end - start);
        } else {
            std::string line = text.substr(start, end - start);
            if (roll < 25 && !line.empty()) line.back() = ' ';  // reflowed
            out += line;
        }
        start = end;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t books = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000;
    const size_t sample = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10;
    std::mt19937 rng(1251);
    const std::vector<std::string> vocabulary = Vocabulary(rng, 200000);
    std::vector<std::string> texts;
    size_t bytes = 0;
    for (size_t i = 0; i < books; ++i) {
        if (i % 10 == 9)
            texts.push_back(Edition(rng, texts[i - 1 - rng() % 5], vocabulary));
        else
            texts.push_back(Book(rng, vocabulary, std::uniform_int_distribution<size_t>(2000, 20000)(rng)));
        bytes += texts.back().size();
    }
    std::printf("%zu books, %.1f MB of text, every tenth a near-copy of one of the five before it\n", books,
                bytes / 1e6);

    TDupParams params;  // mode 1, the defaults
    auto start = std::chrono::steady_clock::now();
    std::vector<TDupSignature> signatures;
    std::vector<uint32_t> hashes;
    for (size_t i = 0; i < texts.size(); ++i) {
        int32_t size = 0;
        TDupSignature s;
        if (ExtractWordHashes(texts[i], params, hashes, size) && BuildSignature(hashes, size, params, s)) {
            s.Book = &texts[i];
            signatures.push_back(std::move(s));
        }
    }
    const double signing = Seconds(start);

    // What every search pays before comparing anything: each text hashed and indexed once.
    start = std::chrono::steady_clock::now();
    size_t indexed = 0;
    for (const std::string& text : texts) {
        int32_t size = 0;
        if (ExtractWordHashes(text, params, hashes, size)) indexed += TWordIndex(hashes).Hashes().size();
    }
    const double hashing = Seconds(start);

    start = std::chrono::steady_clock::now();
    size_t pairs = 0;
    std::vector<std::vector<int32_t>> scores(sample);
    std::vector<const TDupSignature*> all;
    for (const TDupSignature& s : signatures)
        all.push_back(&s);
    const TSignatureTable table(all);
    std::vector<int32_t> together;
    for (size_t b = 0; b < texts.size(); ++b) {
        int32_t size = 0;
        if (!ExtractWordHashes(texts[b], params, hashes, size)) continue;
        table.Compare(TWordIndex(hashes), size, params, together);
        for (size_t k = 0; k < signatures.size(); ++k) {
            if (signatures[k].Book == &texts[b]) continue;
            if (b < sample) scores[b].push_back(together[k]);
            pairs += together[k] >= params.Threshold;
        }
    }
    const double product = Seconds(start);

    start = std::chrono::steady_clock::now();
    size_t mismatches = 0, sampled = 0;
    for (size_t b = 0; b < sample && b < texts.size(); ++b) {
        int32_t size = 0;
        if (!ExtractWordHashes(texts[b], params, hashes, size)) continue;
        size_t k = 0;
        for (const TDupSignature& s : signatures) {
            if (s.Book == &texts[b]) continue;
            // The product's scores are exact where they reach the threshold, lower elsewhere.
            const int32_t expected = ReferenceSimilarity(s, hashes, size, params);
            const int32_t got = scores[b][k++];
            mismatches += expected >= params.Threshold ? got != expected : got >= params.Threshold;
        }
        ++sampled;
    }
    const double reference = sampled ? Seconds(start) / sampled * static_cast<double>(texts.size()) : 0;

    std::printf("signatures: %zu in %.2f s\n", signatures.size(), signing);
    std::printf("hashing and indexing every text: %.2f s (%zu words)\n", hashing, indexed);
    std::printf("product:    %.2f s comparing, %zu pairs at or above %.1f%%\n", product, pairs,
                params.Threshold / 1000.0);
    std::printf("reference:  %.1f s (timed on %zu texts, scaled to %zu), %zu scores differ from the product\n",
                reference, sampled, texts.size(), mismatches);
    std::printf("ratio:      %.1f times faster\n", product > 0 ? reference / product : 0.0);

    // The whole search as the program runs it, texts served from memory: one core, then all.
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint("/bench");
    std::unordered_map<std::string, const std::string*> byPath;
    for (size_t i = 0; i < texts.size(); ++i) {
        TBookInfo* book = mount->AddBook();
        book->FileName = "b" + std::to_string(i) + ".txt";
        byPath[book->FullPath()] = &texts[i];
    }
    struct Counter final : IDupObserver {
        std::atomic<size_t> pairs{0};
        void DupPairFound(const TDupBookRef&, const TDupBookRef&, int32_t) override { ++pairs; }
    };
    double one = 0;
    const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned threads : {1u, cores}) {
        Counter counter;
        TDupSearcher searcher;
        searcher.Threads = threads;
        searcher.TextSource = [&](const TDupBookRef& book) { return *byPath.at(book.FullPath); };
        start = std::chrono::steady_clock::now();
        searcher.Start(mount, mount, &counter);
        searcher.Wait();
        const double seconds = Seconds(start);
        if (threads == 1) one = seconds;
        std::printf(
            "search:     %.2f s on %u thread(s), %zu pairs%s\n", seconds, threads, counter.pairs.load(),
            threads == 1 ? "" : (" (" + std::to_string(one / seconds).substr(0, 4) + " times one thread)").c_str());
    }
    return mismatches == 0 ? 0 : 1;
}
