#pragma once
// What the scripted servers share: a listening socket on 127.0.0.1 or ::1,
// one thread that serves the connections one after the other with blocking
// sockets (the code under test keeps the main thread's event loop), and the
// small socket helpers their scripts use. Also a bare port for tests that
// drive the other end themselves.
#include <QByteArray>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/socket.h>

namespace lb::test {

// Waits (bounded) for bytes on fd; false on timeout.
bool readable(int fd, int ms);
bool sendAll(int fd, const char* p, size_t n);
inline bool sendAll(int fd, const QByteArray& b) {
    return sendAll(fd, b.constData(), size_t(b.size()));
}
// Ends the sending side and reads (bounded) until the client has closed, so
// nothing sent is lost to a reset.
void drain(int fd, int rounds = 50);
// True once bytes hold the header and as many body bytes as Content-Length announces.
bool requestComplete(const QByteArray& bytes);
// The loopback address of that family with port; returns its length.
socklen_t loopbackAddress(bool ipv6, quint16 port, sockaddr_storage* a);

class LoopbackServer {
public:
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    quint16 port() const { return port_; }
    int connections() const { return accepted_.load(); }

protected:
    LoopbackServer() = default;
    virtual ~LoopbackServer();
    // Listens and starts the thread; false when no port could be had.
    bool start(bool ipv6 = false);
    // Ends the thread; the destructor of a derived class calls it first, so
    // serve() never runs on a half-destroyed object.
    void stop();
    virtual void serve(int fd) = 0;

    // Keeps v for the test and wakes whoever waits for it.
    template <typename T> void keep(std::vector<T>& list, T v) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            list.push_back(std::move(v));
        }
        changed_.notify_all();
    }
    // Entry i of list, waiting up to timeoutMs for it; T() when it did not come.
    template <typename T> T waitFor(const std::vector<T>& list, int i, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return int(list.size()) > i; });
        return int(list.size()) > i ? list[size_t(i)] : T();
    }

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;

private:
    void run();

    std::condition_variable changed_;
    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// A port on 127.0.0.1 that the test drives itself: listening, or only bound,
// so that connecting to it is refused.
struct LoopbackPort {
    int fd = -1;
    quint16 port = 0;
    explicit LoopbackPort(bool listening);
    ~LoopbackPort();
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;
    // The next connection, or -1 when none came within timeoutMs.
    int accept(int timeoutMs = 10000) const;
};

// A black hole on 127.0.0.1: a listener whose accept queue is full and that
// never accepts, so a further connect is neither accepted nor refused: its
// packets are dropped, as by a dead host behind a firewall.
struct BlackHolePort {
    int fd = -1;
    int filler = -1; // the connection that fills the queue
    quint16 port = 0;
    BlackHolePort();
    ~BlackHolePort();
    BlackHolePort(const BlackHolePort&) = delete;
    BlackHolePort& operator=(const BlackHolePort&) = delete;
};

} // namespace lb::test
