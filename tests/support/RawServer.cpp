#include "support/RawServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lb::test {

RawServer::RawServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listenFd_, 64);
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

RawServer::~RawServer() {
    stop_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    thread_.join();
    ::close(listenFd_);
}

void RawServer::addScript(Script script, bool readRequest) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_.emplace_back(std::move(script), readRequest);
}

QByteArray RawServer::request(int i, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return int(requests_.size()) > i; });
    return int(requests_.size()) > i ? requests_[size_t(i)] : QByteArray();
}

void RawServer::run() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++accepted_;
        serve(fd);
        ::close(fd);
    }
}

// Waits (bounded) for bytes on fd; false on timeout.
static bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

void RawServer::serve(int fd) {
    // Each Send step leaves at once, so paused steps reach the client as separate reads.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::pair<Script, bool> job{{{Step::Send, "HTTP/1.0 200 OK\r\n\r\n", 0}}, true};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!scripts_.empty()) {
            job = std::move(scripts_.front());
            scripts_.pop_front();
        }
    }
    QByteArray received;
    if (job.second) {
        // The header, then as many body bytes as Content-Length announces.
        qsizetype bodyStart = -1;
        qsizetype need = 0;
        while (!stop_ && readable(fd, 5000)) {
            char buf[65536];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            received.append(buf, n);
            if (bodyStart < 0) {
                const qsizetype end = received.indexOf("\r\n\r\n");
                if (end < 0)
                    continue;
                bodyStart = end + 4;
                const qsizetype cl = received.toLower().indexOf("\r\ncontent-length:");
                if (cl >= 0 && cl < end)
                    need = received.mid(cl + 17, received.indexOf('\r', cl + 2) - cl - 17)
                               .trimmed()
                               .toLongLong();
            }
            if (received.size() >= bodyStart + need)
                break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(received);
    }
    changed_.notify_all();
    for (const Step& s : job.first) {
        if (s.kind == Step::Send) {
            qsizetype done = 0;
            while (done < s.data.size()) {
                const ssize_t n = ::send(fd, s.data.constData() + done,
                                         size_t(s.data.size() - done), MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                done += n;
            }
        } else if (s.kind == Step::Pause) {
            std::this_thread::sleep_for(std::chrono::milliseconds(s.ms));
        } else if (s.kind == Step::Reset) {
            linger l{1, 0}; // closing now sends a reset
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            return;
        } else if (s.kind == Step::Drain) {
            while (!stop_ && readable(fd, 5000)) {
                char buf[65536];
                if (::recv(fd, buf, sizeof buf, 0) <= 0)
                    break;
            }
        } else {
            // Keep the connection until the client closes it (bounded).
            for (int i = 0; i < 100 && !stop_; ++i) {
                if (readable(fd, 100)) {
                    char buf[4096];
                    if (::recv(fd, buf, sizeof buf, 0) <= 0)
                        break;
                }
            }
        }
    }
    ::shutdown(fd, SHUT_WR);
    // Let the client read everything before the descriptor goes away.
    for (int i = 0; i < 50 && readable(fd, 100); ++i) {
        char buf[4096];
        if (::recv(fd, buf, sizeof buf, 0) <= 0)
            break;
    }
}

bool runUntil(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // wakes the wait below so the deadline is checked
    tick.start(10);
    while (!cond() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return cond();
}

} // namespace lb::test
