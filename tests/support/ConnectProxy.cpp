#include "support/ConnectProxy.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lb::test {

void ConnectProxy::serve(int fd) {
    QByteArray header;
    char buf[16384];
    while (!header.contains("\r\n\r\n") && header.size() < 65536 && readable(fd, 5000)) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        header.append(buf, n);
    }
    const qsizetype end = header.indexOf("\r\n\r\n") + 4;
    const QByteArray rest = end < 4 ? QByteArray() : header.mid(end);
    keep(headers_, end < 4 ? header : header.left(end));

    // "CONNECT host:port HTTP/1.0": the tunnel only ever leads to 127.0.0.1.
    const QByteArray target = header.left(header.indexOf("\r\n")).split(' ').value(1);
    const int up = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage a;
    const socklen_t len =
        loopbackAddress(false, quint16(target.mid(target.lastIndexOf(':') + 1).toUInt()), &a);
    if (::connect(up, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
        sendAll(fd, "HTTP/1.0 200 Connection established\r\n\r\n") && sendAll(up, rest)) {
        // Relay both ways until both sides have finished (bounded).
        const int ends[2] = {fd, up};
        bool open[2] = {true, true};
        for (int i = 0; i < 100000 && (open[0] || open[1]) && !stop_; ++i) {
            pollfd p[2] = {{fd, short(open[0] ? POLLIN : 0), 0},
                           {up, short(open[1] ? POLLIN : 0), 0}};
            if (::poll(p, 2, 10000) <= 0)
                break;
            for (int k = 0; k < 2; ++k) {
                if (!open[k] || !(p[k].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = ::recv(ends[k], buf, sizeof buf, 0);
                if (n > 0) {
                    sendAll(ends[1 - k], buf, size_t(n));
                } else {
                    open[k] = false;
                    ::shutdown(ends[1 - k], SHUT_WR);
                }
            }
        }
    }
    ::close(up);
}

} // namespace lb::test
