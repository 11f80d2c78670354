#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// How a long job reports its progress and learns that it should stop. Called on the thread
// that runs the job; a job checks Cancelled at least once per file and stops soon after,
// leaving what it did consistent.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    // done of total items (total 0 while unknown); text is the item at hand (engine text).
    virtual void Progress(int64_t /*done*/, int64_t /*total*/, const std::string& /*text*/) {}
    virtual bool Cancelled() const { return false; }
};

// A sink that reports nothing and stops once its flag is set (also from a signal handler).
class TCancelFlag final : public IProgressSink {
public:
    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const override { return cancelled_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> cancelled_{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
};
