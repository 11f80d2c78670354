#include "dups/DupSearch.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"

namespace {

std::string Words(unsigned seed, size_t count) {
    std::mt19937 rng(seed);
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        std::string word(6 + rng() % 4, 'a');
        for (char& c : word)
            c = static_cast<char>('a' + rng() % 26);
        text += word + (i % 10 == 9 ? ".\n" : " ");
    }
    return text;
}

std::string Fb2(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"windows-1251\"?><FictionBook><description><title-info>"
           "<book-title>t</book-title></title-info></description><body><p>" +
           body + "</p></body></FictionBook>";
}

struct Collector final : IDupObserver {
    std::mutex mutex;
    std::set<std::pair<std::string, std::string>> pairs;
    bool finished = false, stopped = false, selfPair = false;
    std::function<void(int phase)> onProgress;
    std::function<void()> onStart;

    void DupStarted() override {
        if (onStart) onStart();
    }
    void DupProgress(int phase, int, int, const std::string&) override {
        if (onProgress) onProgress(phase);
    }
    void DupPairFound(const TDupBookRef& a, const TDupBookRef& b, int32_t similarity) override {
        std::lock_guard lock(mutex);
        selfPair |= a.Book == b.Book;
        EXPECT_GE(similarity, 50000);
        pairs.insert({std::filesystem::path(a.FullPath).filename().string(),
                      std::filesystem::path(b.FullPath).filename().string()});
    }
    void DupFinished(bool wasStopped) override {
        std::lock_guard lock(mutex);
        finished = true;
        stopped = wasStopped;
    }
};

struct Library {
    TempDir dir;
    TSVD svd;
    TMountPoint* mount;
    TBookInfo* a;

    Library() {
        const std::string text = Words(1, 400);
        std::string edited = text;
        edited.replace(100, 40, Words(2, 5));  // another edition: a few words changed
        WriteBytes(dir / "a.fb2", Bytes(Fb2(text)));
        WriteBytes(dir / "b.fb2", Bytes(Fb2(edited)));
        WriteBytes(dir / "c.txt", Bytes(text));
        WriteBytes(dir / "d.fb2", Bytes(Fb2(Words(3, 400))));  // unrelated
        WriteBytes(dir / "e.fb2", Bytes("not a book"));
        mount = svd.AddMountPoint(dir.Path().string());
        for (const char* name : {"a.fb2", "b.fb2", "c.txt", "d.fb2", "e.fb2", "gone.fb2"})
            mount->AddBook()->FileName = name;
        a = mount->Book(0);
    }
};

using Pairs = std::set<std::pair<std::string, std::string>>;

TEST(DupSearchTest, CopiesInBothOrdersNeverABookWithItself) {
    Library lib;
    Collector seen;
    TDupSearcher searcher;
    ASSERT_TRUE(searcher.Start(lib.mount, lib.mount, &seen));
    searcher.Wait();
    EXPECT_TRUE(seen.finished);
    EXPECT_FALSE(seen.stopped);
    EXPECT_FALSE(seen.selfPair);
    EXPECT_EQ(seen.pairs, (Pairs{{"a.fb2", "b.fb2"},
                                 {"a.fb2", "c.txt"},
                                 {"b.fb2", "a.fb2"},
                                 {"b.fb2", "c.txt"},
                                 {"c.txt", "a.fb2"},
                                 {"c.txt", "b.fb2"}}));
    EXPECT_FALSE(searcher.IsRunning());
    EXPECT_FALSE(searcher.Start(nullptr, lib.mount, &seen));
}

TEST(DupSearchTest, EveryThreadCountFindsTheSamePairsInTheSameOrder) {
    // Texts in memory: 60 books, each of the first 20 copied twice with a few words changed.
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint("/nowhere");
    std::map<std::string, std::string> texts;
    for (int i = 0; i < 60; ++i) {
        const std::string name = "b" + std::to_string(i) + ".txt";
        std::string text = Words(static_cast<unsigned>(i % 20 + 100), 300);
        if (i >= 20) text.replace(static_cast<size_t>(50 + i), 20, Words(static_cast<unsigned>(i), 3));
        texts[(std::filesystem::path("/nowhere") / name).string()] = text;
        mount->AddBook()->FileName = name;
    }
    struct Ordered final : IDupObserver {
        std::mutex mutex;
        std::vector<std::tuple<std::string, std::string, int32_t>> pairs;
        void DupPairFound(const TDupBookRef& a, const TDupBookRef& b, int32_t similarity) override {
            std::lock_guard lock(mutex);
            pairs.emplace_back(a.FullPath, b.FullPath, similarity);
        }
    };
    std::vector<std::tuple<std::string, std::string, int32_t>> reference;
    for (unsigned threads : {1u, 2u, 3u}) {
        Ordered seen;
        TDupSearcher searcher;
        searcher.Threads = threads;
        searcher.TextSource = [&](const TDupBookRef& book) { return texts.at(book.FullPath); };
        ASSERT_TRUE(searcher.Start(mount, mount, &seen));
        searcher.Wait();
        if (threads == 1) {
            reference = seen.pairs;
            EXPECT_EQ(reference.size(), 120u);  // each of three copies with the two others
        } else {
            EXPECT_EQ(seen.pairs, reference) << threads << " threads";
        }
    }
}

TEST(DupSearchTest, RemovedBooksAreNeverReported) {
    for (int phase : {0, 2}) {
        SCOPED_TRACE(phase);
        Library lib;
        Collector seen;
        TDupSearcher searcher;
        bool removed = false;
        // Before its signature is made, and after it was made but before any comparison.
        const auto remove = [&] {
            if (!removed) searcher.RemoveBook(lib.a);
            removed = true;
        };
        if (phase == 0) seen.onStart = remove;
        seen.onProgress = [&](int p) {
            if (p == phase) remove();
        };
        ASSERT_TRUE(searcher.Start(lib.mount, lib.mount, &seen));
        searcher.Wait();
        EXPECT_TRUE(removed);
        EXPECT_EQ(seen.pairs, (Pairs{{"b.fb2", "c.txt"}, {"c.txt", "b.fb2"}}));
    }
}

TEST(DupSearchTest, StopDuringAPauseEndsTheSearch) {
    Library lib;
    Collector seen;
    TDupSearcher searcher;
    std::mutex mutex;
    std::condition_variable cv;
    bool reading = false, release = false;
    searcher.TextSource = [&](const TDupBookRef& book) {
        {
            std::unique_lock lock(mutex);
            reading = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
        }
        return ReadBookText(nullptr, book);
    };
    ASSERT_TRUE(searcher.Start(lib.mount, lib.mount, &seen));
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return reading; });
    }
    EXPECT_TRUE(searcher.IsRunning());
    EXPECT_TRUE(searcher.Pause());
    EXPECT_FALSE(searcher.Pause());
    {
        std::lock_guard lock(mutex);
        release = true;
        cv.notify_all();
    }
    searcher.Stop();
    searcher.Wait();
    EXPECT_TRUE(seen.finished);
    EXPECT_TRUE(seen.stopped);
    EXPECT_TRUE(seen.pairs.empty());
    EXPECT_FALSE(searcher.IsRunning());
    EXPECT_FALSE(searcher.Resume());
}

TEST(DupSearchTest, BookTexts) {
    Library lib;
    TDupBookRef ref{nullptr, (lib.dir / "a.fb2").string(), "", false, kFileFb2};
    EXPECT_EQ(ReadBookText(nullptr, ref).substr(0, 20), Words(1, 400).substr(0, 20));
    ref.FileType = 0;
    EXPECT_EQ(ReadBookText(nullptr, ref), "");
    ref = {nullptr, (lib.dir / "gone.fb2").string(), "", false, kFileFb2};
    EXPECT_THROW(ReadBookText(nullptr, ref), std::exception);
    ref.Packed = true;
    EXPECT_THROW(ReadBookText(nullptr, ref), std::exception);  // no archive reader
}

}  // namespace
