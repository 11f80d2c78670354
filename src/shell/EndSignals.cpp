#include "shell/EndSignals.h"

#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace {

int wakeFds[2] = {-1, -1};
struct sigaction previousTerm {
}, previousInt{};

extern "C" void WakeOnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (::write(wakeFds[1], &byte, 1) < 0) {
        // the pipe is full: a wake-up is already on its way
    }
    errno = saved;
}

}  // namespace

TEndSignals::TEndSignals(std::function<void()> end, QObject* parent) : QObject(parent), end_(std::move(end)) {
    if (wakeFds[0] >= 0 || ::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(wakeFds[0], bytes, sizeof bytes) > 0) {
        }
        if (end_) end_();
    });
    struct sigaction action {};
    action.sa_handler = WakeOnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previousTerm);
    ::sigaction(SIGINT, &action, &previousInt);
}

TEndSignals::~TEndSignals() {
    if (!notifier_) return;
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGINT, &previousInt, nullptr);
    delete notifier_;
    notifier_ = nullptr;
    ::close(wakeFds[0]);
    ::close(wakeFds[1]);
    wakeFds[0] = wakeFds[1] = -1;
}
