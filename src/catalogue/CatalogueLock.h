#pragma once

#include <functional>
#include <mutex>

// The process-wide catalogue lock: held by a save for its whole duration and by every book
// or folder update of a resynchronisation, so that a save never sees a half-updated entity.
//
// The lock may be taken again by the thread that holds it. Work that must not run under the
// lock (notifications to the GUI thread, questions to the user) is handed to Defer and runs
// on the same thread as soon as the outermost guard releases the lock, so a worker never
// waits on the GUI thread while holding it.
class TCatalogueLock final {
public:
    static TCatalogueLock& Instance();

    void Acquire();
    void Release();
    // True when the calling thread holds the lock.
    bool HeldByThisThread() const;

    // Runs action now when the calling thread does not hold the lock, otherwise after the
    // thread's outermost Release.
    void Defer(std::function<void()> action);

private:
    TCatalogueLock() = default;

    std::recursive_mutex mutex_;
};

// Takes the catalogue lock for the lifetime of the guard.
class TCatalogueGuard final {
public:
    TCatalogueGuard() { TCatalogueLock::Instance().Acquire(); }
    ~TCatalogueGuard() { TCatalogueLock::Instance().Release(); }
    TCatalogueGuard(const TCatalogueGuard&) = delete;
    TCatalogueGuard& operator=(const TCatalogueGuard&) = delete;
};
