#include "catalogue/CatalogueLock.h"

#include <vector>

namespace {

// Per thread: how deep the lock is held, and the actions waiting for its release.
thread_local int tDepth = 0;
thread_local std::vector<std::function<void()>> tDeferred;

}  // namespace

TCatalogueLock& TCatalogueLock::Instance() {
    static TCatalogueLock lock;
    return lock;
}

void TCatalogueLock::Acquire() {
    mutex_.lock();
    ++tDepth;
}

void TCatalogueLock::Release() {
    if (--tDepth > 0) {
        mutex_.unlock();
        return;
    }
    std::vector<std::function<void()>> actions;
    actions.swap(tDeferred);
    mutex_.unlock();
    // An action may take the lock again and defer more; those run at its own release. This
    // runs in a guard's destructor: an action's failure must not end the program.
    for (auto& action : actions) {
        try {
            action();
        } catch (...) {
            // A notification or question that failed is dropped; the lock is released.
        }
    }
}

bool TCatalogueLock::HeldByThisThread() const {
    return tDepth > 0;
}

void TCatalogueLock::Defer(std::function<void()> action) {
    if (tDepth > 0)
        tDeferred.push_back(std::move(action));
    else
        action();
}
