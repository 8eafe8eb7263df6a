#pragma once
// Scripted servers for TLS tests, each on its own thread with blocking
// sockets (the code under test keeps the main thread's event loop):
// - TlsTestServer speaks TLS on 127.0.0.1 or ::1, and can dribble its
//   records a few bytes at a time (a server that misbehaves before TLS is a
//   RawServer);
// - ConnectProxy answers CONNECT the way a proxy does and relays the tunnel
//   to a port on 127.0.0.1.
#include "support/LoopbackServer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <deque>

namespace lb::test {

class TlsTestServer : public LoopbackServer {
public:
    // Handshake, read the request, send the answer, close.
    struct Behaviour {
        QByteArray answer = "HTTP/1.0 200 OK\r\n\r\n";
        int pieceSize = 0; // > 0: raw bytes of the answer go out this many at a time
    };

    TlsTestServer(const QString& certFile, const QString& keyFile, bool ipv6 = false);
    ~TlsTestServer() override;

    bool ok() const { return port() != 0; }
    // Answers of the next connections in order; afterwards 200 without body.
    void add(const QByteArray& answer, int pieceSize = 0);
    // Request bytes (decrypted) and the server name asked for on connection i,
    // waiting up to timeoutMs.
    QByteArray request(int i, int timeoutMs = 30000) { return waitFor(requests_, i, timeoutMs); }
    QString serverName(int i, int timeoutMs = 30000) { return waitFor(names_, i, timeoutMs); }

private:
    void serve(int fd) override;

    void* ctx_ = nullptr;
    std::deque<Behaviour> behaviours_;
    std::vector<QByteArray> requests_;
    std::vector<QString> names_;
};

class ConnectProxy : public LoopbackServer {
public:
    enum Kind { Tunnel, Refuse };
    // Refuse answers 407 and closes.
    explicit ConnectProxy(Kind kind = Tunnel) : kind_(kind) { start(); }
    ~ConnectProxy() override { stop(); }

    // The header the client sent on connection i (through its empty line),
    // and what followed it once the proxy answered 200 or refused.
    QByteArray header(int i, int timeoutMs = 30000) { return waitFor(headers_, i, timeoutMs); }
    QByteArray after(int i) const;

private:
    void serve(int fd) override;

    Kind kind_;
    std::vector<QByteArray> headers_;
    std::vector<QByteArray> after_;
};

} // namespace lb::test
