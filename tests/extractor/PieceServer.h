#pragma once
// A page server on 127.0.0.1 that sends its answer in pieces and, between
// pieces, watches whether the client has hung up: so a test sees from the
// server's side how much of a page a client took. Runs on its own thread
// with blocking sockets; every wait is bounded.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace lb::test {

class PieceServer {
public:
    // The header is sent with the first piece; after each piece the server
    // waits up to waitMs for the client to close before sending the next.
    // With hold, the connection stays open (bounded) after the last piece.
    PieceServer(QList<QByteArray> pieces, int waitMs, bool hold = false)
        : m_pieces(std::move(pieces)), m_waitMs(waitMs), m_hold(hold) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(m_listen, 16);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~PieceServer() {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
    }
    PieceServer(const PieceServer&) = delete;
    PieceServer& operator=(const PieceServer&) = delete;

    // A wait of its own after one piece (index from 0).
    void setWaitAfter(int piece, int ms) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waitAfter[piece] = ms;
    }

    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
    }
    int connections() const { return m_connections; }
    // Waits (bounded) until the server is done with its connections so far:
    // it may notice a hang-up only after the client has moved on.
    bool waitUntilServed(int ms = 30000) const {
        for (int waited = 0; m_served < m_connections && waited < ms; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_served == m_connections;
    }
    // Pieces sent on the last connection, and whether the client closed before the end.
    int piecesSent() const { return m_sent; }
    bool closedEarly() const { return m_closedEarly; }
    QByteArray request() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_request;
    }

private:
    static bool readable(int fd, int ms) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }
    static bool peerClosed(int fd, int ms) {
        char c;
        return readable(fd, ms) && ::recv(fd, &c, 1, MSG_PEEK) <= 0;
    }

    void run() {
        while (!m_stop) {
            const int fd =
                readable(m_listen, 100) ? ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC) : -1;
            if (fd < 0)
                continue;
            ++m_connections;
            m_closedEarly = !serve(fd);
            ::close(fd);
            ++m_served;
        }
    }

    // False when the client hung up before the last piece.
    bool serve(int fd) {
        QByteArray request;
        char buf[4096];
        for (int i = 0; i < 50 && !request.contains("\r\n\r\n"); ++i) {
            if (!readable(fd, 100))
                continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, n);
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_request = request;
        const QMap<int, int> waitAfter = m_waitAfter;
        lock.unlock();
        m_sent = 0;
        QByteArray next = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
        for (int i = 0; i < m_pieces.size(); ++i) {
            if (i > 0 && peerClosed(fd, waitAfter.value(i - 1, m_waitMs)))
                return false;
            next += m_pieces.at(i);
            for (qsizetype done = 0; done < next.size();) { // a hang-up mid-piece ends it too
                const ssize_t n =
                    ::send(fd, next.constData() + done, size_t(next.size() - done), MSG_NOSIGNAL);
                if (n <= 0)
                    return false;
                done += n;
            }
            next.clear();
            m_sent = i + 1;
        }
        for (int i = 0; m_hold && i < 100 && !m_stop; ++i)
            if (peerClosed(fd, 100))
                break;
        return true;
    }

    QList<QByteArray> m_pieces;
    int m_waitMs;
    bool m_hold;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0}, m_served{0}, m_sent{0};
    std::atomic<bool> m_closedEarly{false};
    mutable std::mutex m_mutex;
    QByteArray m_request;
    QMap<int, int> m_waitAfter;
    std::thread m_thread;
};

} // namespace lb::test
