#include "opds/HttpConnections.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using TClock = std::chrono::steady_clock;

// Waits until the socket can be read (or written); false on timeout or error.
bool WaitFor(int sock, short events, TClock::duration wait) {
    const int ms =
        static_cast<int>(std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()));
    pollfd p{sock, events, 0};
    int r = 0;
    do
        r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}

std::string AddressText(const sockaddr_storage& address, int* port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        if (port) *port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        if (port) *port = ntohs(v6->sin6_port);
    }
    return text;
}

// The address at either end of a connection, without its port.
std::string EndAddress(int sock, bool peer, int* port = nullptr) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (port) *port = 0;
    const int r = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&address), &length)
                       : ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    return r == 0 ? AddressText(address, port) : std::string();
}

// A connection's byte stream with a deadline on reading: however slowly a client sends, its
// request is read by the deadline or the connection ends.
class TDeadlineStream final : public httplib::Stream {
public:
    TDeadlineStream(int sock, const TConnectionLimits& limits) : sock_(sock), limits_(limits) {}

    void ReadBy(TClock::time_point deadline) { deadline_ = deadline; }
    bool HasBuffered() const { return begin_ < end_; }
    // A read ran out of time: the connection is not used again.
    bool Failed() const { return failed_; }

    bool is_readable() const override { return HasBuffered() || WaitFor(sock_, POLLIN, ReadWait()); }
    bool is_writable() const override { return WaitFor(sock_, POLLOUT, std::chrono::seconds(limits_.WriteSeconds)); }
    ssize_t read(char* ptr, size_t size) override {
        if (!HasBuffered()) {
            if (TClock::now() >= deadline_ || !WaitFor(sock_, POLLIN, ReadWait())) {
                failed_ = true;
                return -1;
            }
            ssize_t n = 0;
            do
                n = ::recv(sock_, buffer_, sizeof buffer_, 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0) return n;
            begin_ = 0;
            end_ = static_cast<size_t>(n);
        }
        const size_t taken = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_ + begin_, taken);
        begin_ += taken;
        return static_cast<ssize_t>(taken);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) return -1;
        ssize_t n = 0;
        do
            n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { ip = EndAddress(sock_, true, &port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { ip = EndAddress(sock_, false, &port); }
    socket_t socket() const override { return sock_; }

private:
    TClock::duration ReadWait() const {
        return std::min<TClock::duration>(std::chrono::seconds(limits_.ReadSeconds), deadline_ - TClock::now());
    }

    int sock_;
    const TConnectionLimits& limits_;
    TClock::time_point deadline_ = TClock::now();
    char buffer_[4096];
    size_t begin_ = 0, end_ = 0;
    bool failed_ = false;
};

}  // namespace

TGuardedHttpServer::TGuardedHttpServer(TConnectionLimits limits) : limits_(limits) {
    new_task_queue = [workers = limits_.Workers] { return new httplib::ThreadPool(static_cast<size_t>(workers)); };
    // What the Keep-Alive header tells clients.
    set_keep_alive_timeout(limits_.IdleSeconds);
    set_keep_alive_max_count(static_cast<size_t>(limits_.MaxRequestsPerConnection));
}

void TGuardedHttpServer::WidenBacklog() {
    if (svr_sock_ != INVALID_SOCKET) ::listen(svr_sock_, SOMAXCONN);  // a second listen() only resizes
}

bool TGuardedHttpServer::TakeSlot(const std::string& address) {
    std::lock_guard lock(mutex_);
    int& held = perAddress_[address];
    if (held >= limits_.PerAddress) {
        if (held == 0) perAddress_.erase(address);
        return false;
    }
    ++held;
    return true;
}

void TGuardedHttpServer::FreeSlot(const std::string& address) {
    std::lock_guard lock(mutex_);
    const auto it = perAddress_.find(address);
    if (it != perAddress_.end() && --it->second <= 0) perAddress_.erase(it);
}

bool TGuardedHttpServer::process_and_close_socket(socket_t sock) {
    bool result = false;
    const std::string address = EndAddress(sock, true);
    if (!TakeSlot(address)) {
        ++refused_;
        static constexpr char kBusy[] =
            "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 2\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        (void)!::send(sock, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL);
    } else {
        ++open_;
        try {
            TDeadlineStream stream(sock, limits_);
            const int crowded = std::max(1, limits_.Workers * 3 / 4);
            for (int served = 0; served < limits_.MaxRequestsPerConnection; ++served) {
                // Waiting for the next request in slices, so a stopping server is noticed.
                if (!stream.HasBuffered()) {
                    const auto idleUntil = TClock::now() + std::chrono::seconds(limits_.IdleSeconds);
                    bool ready = false;
                    while (!ready && svr_sock_ != INVALID_SOCKET && TClock::now() < idleUntil)
                        ready = WaitFor(
                            sock, POLLIN,
                            std::min<TClock::duration>(std::chrono::milliseconds(100), idleUntil - TClock::now()));
                    if (!ready || svr_sock_ == INVALID_SOCKET) break;
                }
                stream.ReadBy(TClock::now() + std::chrono::seconds(limits_.HeaderSeconds));
                // A connection that may wait idle next is closed instead when workers run short.
                const bool last = served + 1 == limits_.MaxRequestsPerConnection || open_ >= crowded;
                bool closed = false;
                result = process_request(stream, last, closed, nullptr);
                if (!result || closed || last || stream.Failed()) break;
            }
        } catch (...) {
            result = false;  // nothing may leave a worker
        }
        --open_;
        FreeSlot(address);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return result;
}
