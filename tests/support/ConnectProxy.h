#pragma once
// A proxy on 127.0.0.1 that answers CONNECT the way a proxy does and relays
// the tunnel to the port on 127.0.0.1 it names, on its own thread with
// blocking sockets (see LoopbackServer). Proxies that refuse, close or stall
// are RawServer scripts.
#include "support/LoopbackServer.h"

#include <QByteArray>
#include <QList>

namespace lb::test {

class ConnectProxy : public LoopbackServer {
public:
    ConnectProxy() { start(); }
    ~ConnectProxy() override { stop(); }

    // The header the client sent on connection i, through its empty line.
    QByteArray header(int i, int timeoutMs = 30000) { return waitFor(headers_, i, timeoutMs); }

private:
    void serve(int fd) override;

    std::vector<QByteArray> headers_;
};

} // namespace lb::test
