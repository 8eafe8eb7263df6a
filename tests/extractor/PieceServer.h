#pragma once
// A page server on 127.0.0.1 that sends its answer in pieces and, between
// pieces, watches whether the client has hung up: so a test sees from the
// server's side how much of a page a client took. Every wait is bounded.
#include "support/LoopbackServer.h"

#include <QList>
#include <QMap>
#include <QString>

namespace lb::test {

class PieceServer : public LoopbackServer {
public:
    // The header is sent with the first piece; after each piece the server
    // waits up to waitMs for the client to close before sending the next.
    // With hold, the connection stays open (bounded) after the last piece.
    PieceServer(QList<QByteArray> pieces, int waitMs, bool hold = false)
        : m_pieces(std::move(pieces)), m_waitMs(waitMs), m_hold(hold) {
        start();
    }
    ~PieceServer() override { stop(); }

    // A wait of its own after one piece (index from 0).
    void setWaitAfter(int piece, int ms) {
        std::lock_guard<std::mutex> lock(mutex_);
        m_waitAfter[piece] = ms;
    }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }
    // Waits (bounded) until the server is done with its connections so far:
    // it may notice a hang-up only after the client has moved on.
    bool waitUntilServed(int ms = 30000) const {
        for (int waited = 0; m_served < connections() && waited < ms; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_served == connections();
    }
    // Pieces sent on the last connection, and whether the client closed before the end.
    int piecesSent() const { return m_sent; }
    bool closedEarly() const { return m_closedEarly; }
    QByteArray request() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return m_request;
    }

private:
    static bool peerClosed(int fd, int ms) {
        char c;
        return readable(fd, ms) && ::recv(fd, &c, 1, MSG_PEEK) <= 0;
    }
    void serve(int fd) override {
        m_closedEarly = !sendPieces(fd);
        ++m_served;
    }
    // False when the client hung up before the last piece.
    bool sendPieces(int fd) {
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
        std::unique_lock<std::mutex> lock(mutex_);
        m_request = request;
        const QMap<int, int> waitAfter = m_waitAfter;
        lock.unlock();
        m_sent = 0;
        const QByteArray header = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
        for (int i = 0; i < m_pieces.size(); ++i) {
            if (i > 0 && peerClosed(fd, waitAfter.value(i - 1, m_waitMs)))
                return false;
            if (!sendAll(fd, (i == 0 ? header : QByteArray()) + m_pieces.at(i)))
                return false; // hung up in the middle of a piece
            m_sent = i + 1;
        }
        for (int i = 0; m_hold && i < 100 && !stop_; ++i)
            if (peerClosed(fd, 100))
                break;
        return true;
    }

    QList<QByteArray> m_pieces;
    int m_waitMs;
    bool m_hold;
    std::atomic<int> m_served{0}, m_sent{0};
    std::atomic<bool> m_closedEarly{false};
    QByteArray m_request;
    QMap<int, int> m_waitAfter;
};

} // namespace lb::test
