#include "scan/Resync.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "scan/Packer.h"
#include "scan/PackerArchiveAccess.h"
#include "scan/Packing.h"

namespace {

namespace fs = std::filesystem;

std::string Fb2(const std::string& title) {
    return "<?xml version=\"1.0\"?><FictionBook><description><title-info><book-title>" + title +
           "</book-title></title-info></description><body><p>x</p></body></FictionBook>";
}

// Holds a background refresh at its start until released.
struct Gate final : IResyncObserver {
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false, open = false;
    void ResyncStarted() override {
        std::unique_lock lock(mutex);
        started = true;
        cv.notify_all();
        cv.wait(lock, [this] { return open; });
    }
    void ResyncProgress(int, int, const std::string&) override {}
    void WaitStarted() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return started; });
    }
    void Open() {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }
};

TEST(ResyncTest, OneResynchronisationAtATime) {
    TempDir dir;
    WriteBytes(dir / "a.fb2", Bytes(Fb2("A")));
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    ASSERT_EQ(mount->BookCount(), 1u);

    Gate gate;
    auto worker = TResyncThread::StartBooks(svd, {mount->Book(0)}, TResyncMode::Full, &gate);
    gate.WaitStarted();
    EXPECT_TRUE(TResyncThread::IsRunning());
    EXPECT_EQ(ErrorOf([&] { TResyncThread::ResyncFolder(*mount, TResyncMode::Update); }), rsErrThreadWorking);
    EXPECT_EQ(ErrorOf([&] { svd.Sweep(false, kSweepAll); }), rsErrThreadWorking);
    EXPECT_EQ(ErrorOf([&] { mount->DeleteFromCatalogue(); }), rsErrThreadWorking);
    WriteBytes(dir / "a.fb2", Bytes(Fb2("Changed")));
    gate.Open();
    worker->Wait();
    EXPECT_TRUE(worker->Finished());
    EXPECT_EQ(worker->Stats().Refreshed, 1);
    EXPECT_EQ(mount->Book(0)->TitleText(), "Changed");
    EXPECT_FALSE(TResyncThread::IsRunning());
    EXPECT_NO_THROW(svd.Sweep(false, kSweepAll));
}

// A record the background walk removes stays readable (emptied) until the window has seen the
// removal; a walk in the caller's own thread frees at once.
TEST(ResyncTest, RecordsRemovedInTheBackgroundStayReadableUntilReleased) {
    TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    WriteBytes(dir / "a.fb2", Bytes(Fb2("A")));
    WriteBytes(dir / "sub" / "b.fb2", Bytes(Fb2("B")));
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    ASSERT_EQ(mount->BookCount(), 1u);
    ASSERT_EQ(mount->FolderCount(), 1u);
    TBookInfo* a = mount->Book(0);
    TBookFolder* sub = mount->Folder(0);
    TBookInfo* b = sub->Book(0);
    std::filesystem::remove(dir / "a.fb2");
    std::filesystem::remove_all(dir / "sub");
    std::filesystem::create_directory(dir / "kept");  // an empty mount folder is taken as unmounted

    auto worker = TResyncThread::StartFolder(*mount, TResyncMode::Full, nullptr);
    worker->Wait();
    EXPECT_EQ(worker->Stats().Lost, 2);
    EXPECT_EQ(mount->BookCount(), 0u);
    ASSERT_EQ(svd.RetiredCount(), 3u);
    // What a row would read while the notice is on its way.
    EXPECT_EQ(a->FileName, "");
    EXPECT_EQ(a->TitleInfo, nullptr);
    EXPECT_EQ(b->Folder, nullptr);
    EXPECT_EQ(sub->BookCount(), 0u);
    EXPECT_EQ(svd.LostBooks.size(), 2u);
    svd.FreeRetired();
    EXPECT_EQ(svd.RetiredCount(), 0u);

    // The files come back: the lost books are recovered, in this thread, and freed at once.
    WriteBytes(dir / "a.fb2", Bytes(Fb2("A")));
    TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    EXPECT_EQ(svd.LostBooks.size(), 1u);
    EXPECT_EQ(svd.RetiredCount(), 0u);
}

TEST(ResyncTest, FolderWalkInTheBackground) {
    TempDir dir;
    for (int i = 0; i < 5; ++i)
        WriteBytes(dir / ("b" + std::to_string(i) + ".fb2"), Bytes(Fb2("B" + std::to_string(i))));
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    struct Progress final : IResyncObserver {
        std::vector<int> positions;
        int maximum = 0;
        bool finished = false;
        void ResyncProgress(int position, int max, const std::string&) override {
            positions.push_back(position);
            maximum = std::max(maximum, max);
        }
        void ResyncFinished(const TSyncStats&) override { finished = true; }
    } progress;
    auto worker = TResyncThread::StartFolder(*mount, TResyncMode::Full, &progress);
    worker->Wait();
    EXPECT_TRUE(progress.finished);
    EXPECT_EQ(progress.maximum, 5);
    EXPECT_EQ(progress.positions.back(), 5);
    EXPECT_EQ(worker->Stats().Added, 5);
    EXPECT_EQ(mount->BookCount(), 5u);
    EXPECT_FALSE(TResyncThread::IsRunning());
    // A second full walk of unchanged files keeps every description.
    worker = TResyncThread::StartFolder(*mount, TResyncMode::Full, nullptr);
    worker->Wait();
    for (size_t i = 0; i < mount->BookCount(); ++i)
        EXPECT_EQ(mount->Book(i)->TitleText().substr(0, 1), "B") << i;
}

// Reads the catalogue under its lock, as the window paints, while a worker changes it; keeps
// the longest wait for the lock.
class Reader final {
public:
    explicit Reader(TSVD& svd) : svd_(svd), thread_([this] { Run(); }) {}
    ~Reader() { Stop(); }
    std::chrono::steady_clock::duration Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return longest_;
    }
    size_t rounds = 0;

private:
    void Run() {
        while (!stop_) {
            {
                const auto asked = std::chrono::steady_clock::now();
                TCatalogueGuard guard;
                longest_ = std::max(longest_, std::chrono::steady_clock::now() - asked);
                for (const auto& mount : svd_.MountPoints) {
                    TBookCollection books;
                    mount->CollectBooks(books, true);
                    for (const TBookInfo* book : books.Books())
                        sink_ += book->TitleText().size() + book->Size + (book->IsLost() ? 1 : 0) + book->Folder->Flags;
                }
                sink_ += svd_.LostBooks.size();
                ++rounds;
            }
            // Like a window between two paints; taking the lock back at once would starve the
            // worker on an unfair mutex.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    TSVD& svd_;
    std::atomic<bool> stop_ = false;
    std::chrono::steady_clock::duration longest_{};
    size_t sink_ = 0;
    std::thread thread_;
};

TEST(ResyncTest, ReadersKeepGettingTheLockDuringAWalkAndACancelEndsIt) {
    TempDir dir;
    for (int f = 0; f < 10; ++f) {
        fs::create_directory(dir / ("f" + std::to_string(f)));
        for (int i = 0; i < 30; ++i)
            WriteBytes(dir / ("f" + std::to_string(f)) / ("b" + std::to_string(i) + ".fb2"),
                       Bytes(Fb2("B" + std::to_string(i))));
    }
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    {
        Reader reader(svd);
        auto worker = TResyncThread::StartFolder(*mount, TResyncMode::Full, nullptr);
        worker->Wait();
        EXPECT_EQ(worker->Stats().Added, 300);
        EXPECT_TRUE(worker->Stats().Fatal.empty());
        // Changes while reading: a folder goes, books of another change.
        fs::remove_all(dir / "f3");
        WriteBytes(dir / "f5" / "b1.fb2", Bytes(Fb2("Changed")));
        worker = TResyncThread::StartFolder(*mount, TResyncMode::Full, nullptr);
        worker->Wait();
        EXPECT_EQ(worker->Stats().Lost, 30);
        const auto longest = reader.Stop();
        EXPECT_GT(reader.rounds, 0u);
        EXPECT_LT(longest, std::chrono::milliseconds(50));
    }
    // A cancel stops the walk at the next file.
    struct Stopper final : IResyncObserver {
        TResyncThread* worker = nullptr;
        std::atomic<int> seen = 0;
        void ResyncProgress(int, int, const std::string&) override {
            if (++seen == 3 && worker) worker->Terminate();
        }
    } stopper;
    TSVD fresh;
    TMountPoint* again = fresh.AddMountPoint(dir.Path().string());
    std::unique_ptr<TResyncThread> worker;
    {
        // The worker waits on the catalogue lock until it is known to the stopper.
        TCatalogueGuard hold;
        worker = TResyncThread::StartFolder(*again, TResyncMode::Full, &stopper);
        stopper.worker = worker.get();
    }
    worker->Wait();
    EXPECT_TRUE(worker->Stats().Cancelled);
    EXPECT_LT(worker->Stats().Added, 270);
}

TEST(ResyncTest, RemoveLostModeReadsNothingNew) {
    TempDir dir;
    WriteBytes(dir / "a.fb2", Bytes(Fb2("A")));
    TSVD svd;
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    WriteBytes(dir / "b.fb2", Bytes(Fb2("B")));
    fs::remove(dir / "a.fb2");
    const TSyncStats stats = TResyncThread::ResyncFolder(*mount, TResyncMode::RemoveLost);
    EXPECT_EQ(stats.Lost, 1);
    EXPECT_EQ(stats.Added, 0);
    EXPECT_EQ(mount->BookCount(), 0u);
}

TEST(ResyncTest, PackingKeepsTheSourceUntilTheArchiveIsWritten) {
    TempDir dir;
    WriteBytes(dir / "a.fb2", Bytes(Fb2("A")));
    WriteBytes(dir / "b.fb2", Bytes(Fb2("B")));
    WriteBytes(dir / "c.fb2", Bytes(Fb2("C")));
    {
        TPacker taken;  // b.zip already holds a b.fb2
        ASSERT_TRUE(taken.Open((dir / "b.zip").string(), true));
        ASSERT_TRUE(taken.AddFromBytes("b.fb2", Bytes("other"), 0, 0x20, false));
    }
    TSVD svd;
    svd.Packer = std::make_unique<TPackerArchiveAccess>();
    TMountPoint* mount = svd.AddMountPoint(dir.Path().string());
    TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    TBookInfo* a = svd.FindBook((dir / "a.fb2").string());
    TBookInfo* b = svd.FindBook((dir / "b.fb2").string());
    TBookInfo* c = svd.FindBook((dir / "c.fb2").string());
    ASSERT_TRUE(a && b && c);
    c->Flags |= TBookInfo::kReadOnly;
    std::vector<std::string> warnings;
    const std::vector<TBookInfo*> packed = PackBooks({a, b, c}, warnings);
    EXPECT_EQ(packed, std::vector<TBookInfo*>{a});
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_FALSE(fs::exists(dir / "a.fb2"));
    EXPECT_TRUE(fs::exists(dir / "b.fb2"));  // its archive had a member of that name
    EXPECT_TRUE(fs::exists(dir / "c.fb2"));  // read-only
    EXPECT_TRUE(a->Packed);
    EXPECT_EQ(a->FileName, "a.zip");
    EXPECT_EQ(a->EntryName, "a.fb2");
    EXPECT_TRUE(a->CheckExists());
    EXPECT_TRUE(a->UpdateFromDisk(7, true));
    EXPECT_EQ(a->TitleText(), "A");
}

}  // namespace
