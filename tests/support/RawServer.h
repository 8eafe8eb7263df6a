#pragma once
// A scripted HTTP server on 127.0.0.1 for exact-bytes tests, on its own
// thread (see LoopbackServer).
#include "support/LoopbackServer.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>

namespace lb::test {

class RawServer : public LoopbackServer {
public:
    struct Step {
        // Reset ends the connection with a TCP reset instead of a close.
        enum Kind { Send, Pause, HoldUntilClosed, Reset } kind;
        QByteArray data;
        int ms = 0;
    };
    using Script = std::vector<Step>;

    explicit RawServer(bool ipv6 = false) : ipv6_(ipv6) { start(ipv6); }
    ~RawServer() override { stop(); }

    // "http://127.0.0.1:PORT" (or "http://[::1]:PORT") + path
    QString url(const QString& path = QStringLiteral("/")) const {
        return QStringLiteral("http://%1:%2%3")
            .arg(ipv6_ ? QStringLiteral("[::1]") : QStringLiteral("127.0.0.1"))
            .arg(port())
            .arg(path);
    }

    // Scripts for the next connections, in order. Without a script a
    // connection gets "HTTP/1.0 200 OK" and an empty body. With readRequest
    // false the script starts as soon as the connection is accepted.
    void addScript(Script script, bool readRequest = true);
    void addAnswer(const QByteArray& response) { addScript({{Step::Send, response, 0}}); }

    // Request bytes received on connection i, waiting up to timeoutMs for them.
    QByteArray request(int i, int timeoutMs = 30000) { return waitFor(requests_, i, timeoutMs); }

private:
    void serve(int fd) override;

    bool ipv6_;
    std::deque<std::pair<Script, bool>> scripts_;
    std::vector<QByteArray> requests_;
};

// Runs the event loop until cond() holds or timeoutMs pass; returns cond().
bool runUntil(const std::function<bool()>& cond, int timeoutMs = 30000);

} // namespace lb::test
