#pragma once

#include <utility>

// Runs a function when the scope ends, however it ends. The function must not throw.
template <typename F>
class ScopeExit final {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() {
        if (active_) f_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    // The function will not run.
    void Dismiss() { active_ = false; }

private:
    F f_;
    bool active_ = true;
};
