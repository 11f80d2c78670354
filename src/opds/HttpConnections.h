#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

// How long and how many: what one client may hold of the server.
struct TConnectionLimits {
    int Workers = 48;        // connections served at once; more wait in the queue
    int PerAddress = 16;     // connections one address may hold open; more are answered 503
    int HeaderSeconds = 10;  // a request must arrive whole within this, however slowly it trickles
    int IdleSeconds = 5;     // a kept-alive connection may wait this long for its next request
    int ReadSeconds = 5;     // the longest wait for any one piece of a request
    int WriteSeconds = 10;   // the longest wait for the client to take any one piece of a response
    int MaxRequestsPerConnection = 100;
};

// An HTTP server whose connections cannot be held by slow or idle clients: a request must
// arrive whole within a deadline, an address holds a bounded number of connections, and a
// kept-alive connection is closed at once when the workers are nearly all taken, so there is
// always room for a new client.
class TGuardedHttpServer final : public httplib::Server {
public:
    explicit TGuardedHttpServer(TConnectionLimits limits);

    const TConnectionLimits& Limits() const { return limits_; }
    // After binding: a queue of waiting connections as long as the system allows, not the
    // library's five, so a burst of clients is not made to retry a second later.
    void WidenBacklog();
    // Connections answered 503 because their address held too many.
    int64_t Refused() const { return refused_; }
    // Connections open now.
    int Open() const { return open_; }

private:
    bool process_and_close_socket(socket_t sock) override;
    bool TakeSlot(const std::string& address);
    void FreeSlot(const std::string& address);

    TConnectionLimits limits_;
    std::mutex mutex_;
    std::unordered_map<std::string, int> perAddress_;
    std::atomic<int> open_ = 0;
    std::atomic<int64_t> refused_ = 0;
};
