#pragma once
// A scripted HTTP server on 127.0.0.1 for exact-bytes tests: it runs on its
// own thread with blocking sockets, so the code under test keeps the main
// thread's event loop to itself.
#include <QByteArray>
#include <QList>

#include <functional>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace lb::test {

class RawServer {
public:
    struct Step {
        // Reset ends the connection with a TCP reset instead of a close;
        // Drain reads everything until the client closes (bounded).
        enum Kind { Send, Pause, HoldUntilClosed, Reset, Drain } kind;
        QByteArray data;
        int ms = 0;
    };
    using Script = std::vector<Step>;

    RawServer();
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    quint16 port() const { return port_; }

    // Scripts for the next connections, in order. Without a script a
    // connection gets "HTTP/1.0 200 OK" and an empty body. With readRequest
    // false the script starts as soon as the connection is accepted.
    void addScript(Script script, bool readRequest = true);
    void addAnswer(const QByteArray& response) { addScript({{Step::Send, response, 0}}); }

    // Request bytes received on connection i, waiting up to timeoutMs for them.
    QByteArray request(int i, int timeoutMs = 30000);
    int connections() const { return accepted_.load(); }

private:
    void run();
    void serve(int fd);

    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<Script, bool>> scripts_;
    std::vector<QByteArray> requests_;
};

// Runs the event loop until cond() holds or timeoutMs pass; returns cond().
bool runUntil(const std::function<bool()>& cond, int timeoutMs = 30000);

} // namespace lb::test
