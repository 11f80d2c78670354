#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// SIGTERM and SIGINT (a session's logout, kill, Ctrl+C in a terminal) end the program the way
// closing it does, from the event loop: the handler only writes a byte that wakes it. The
// previous handlers come back when this goes.
class TEndSignals final : public QObject {
public:
    explicit TEndSignals(std::function<void()> end, QObject* parent = nullptr);
    ~TEndSignals() override;
    TEndSignals(const TEndSignals&) = delete;
    TEndSignals& operator=(const TEndSignals&) = delete;

private:
    std::function<void()> end_;
    QSocketNotifier* notifier_ = nullptr;
};
