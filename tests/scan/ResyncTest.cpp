#include "scan/Resync.h"

#include <condition_variable>
#include <fstream>
#include <mutex>

#include <gtest/gtest.h>

#include "TestUtils.h"
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

int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EShelvaraError& e) {
        return e.MessageId();
    }
    return 0;
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
