#include "catalogue/CatalogueLock.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"

namespace {

struct RecordingObserver final : ICatalogueObserver {
    std::vector<std::pair<TObjectType, int>> changes;
    std::vector<bool> lockHeldDuringCall;
    int loads = 0;

    void CatalogueChanged(TObjectType type, int kind, const void*) override {
        changes.emplace_back(type, kind);
        lockHeldDuringCall.push_back(TCatalogueLock::Instance().HeldByThisThread());
    }
    void LibraryLoaded() override { ++loads; }
};

TEST(CatalogueLockTest, SameThreadMayTakeItAgain) {
    TCatalogueGuard outer;
    {
        TCatalogueGuard inner;
        EXPECT_TRUE(TCatalogueLock::Instance().HeldByThisThread());
    }
    EXPECT_TRUE(TCatalogueLock::Instance().HeldByThisThread());
}

TEST(CatalogueLockTest, NotificationsUnderTheLockWaitForItsRelease) {
    TSVD svd;
    RecordingObserver observer;
    svd.AddObserver(&observer);
    {
        TCatalogueGuard outer;
        {
            TCatalogueGuard inner;
            svd.Notify(TObjectType::Folder, nullptr, TBookFolder::kAdded);
        }
        svd.Notify(TObjectType::Book, nullptr, TBookInfo::kAdded);
        EXPECT_TRUE(observer.changes.empty());
    }
    ASSERT_EQ(observer.changes.size(), 2u);
    EXPECT_EQ(observer.changes[0], std::make_pair(TObjectType::Folder, 2));
    EXPECT_EQ(observer.changes[1], std::make_pair(TObjectType::Book, 1));
    EXPECT_EQ(observer.lockHeldDuringCall, (std::vector<bool>{false, false}));
    svd.Notify(TObjectType::Genre, nullptr, TBookGenre::kChanged);
    EXPECT_EQ(observer.changes.size(), 3u);
    svd.RemoveObserver(&observer);
}

// A worker that notifies while holding the lock must not deadlock with a GUI thread that
// waits for the lock before it can handle the notification.
TEST(CatalogueLockTest, WorkerNotificationDoesNotDeadlockWaitingThread) {
    TSVD svd;
    struct HandOff final : ICatalogueObserver {
        std::promise<void> delivered;
        void CatalogueChanged(TObjectType, int, const void*) override { delivered.set_value(); }
        void LibraryLoaded() override {}
    } observer;
    svd.AddObserver(&observer);
    std::atomic<bool> workerHoldsLock = false;
    std::thread worker([&] {
        TCatalogueGuard guard;
        workerHoldsLock = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        svd.Notify(TObjectType::Book, nullptr, TBookInfo::kRemoved);
    });
    while (!workerHoldsLock)
        std::this_thread::yield();
    {
        TCatalogueGuard guard;  // blocks until the worker releases
    }
    EXPECT_EQ(observer.delivered.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    worker.join();
    svd.RemoveObserver(&observer);
}

}  // namespace

namespace {

TEST(CatalogueLockTest, AThrowingDeferredActionNeitherEndsTheProgramNorStopsTheOthers) {
    int ran = 0;
    {
        TCatalogueGuard guard;
        TCatalogueLock::Instance().Defer([] { throw std::runtime_error("an observer failed"); });
        TCatalogueLock::Instance().Defer([&] { ++ran; });
    }
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(TCatalogueLock::Instance().HeldByThisThread());
}

}  // namespace
