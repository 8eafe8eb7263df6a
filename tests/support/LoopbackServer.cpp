#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

namespace lb::test {

bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

bool sendAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0)
            return false;
        p += k;
        n -= size_t(k);
    }
    return true;
}

void drain(int fd, int rounds) {
    ::shutdown(fd, SHUT_WR);
    for (int i = 0; i < rounds && readable(fd, 100); ++i) {
        char buf[4096];
        if (::recv(fd, buf, sizeof buf, 0) <= 0)
            break;
    }
}

bool requestComplete(const QByteArray& bytes) {
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    const qsizetype cl = bytes.toLower().indexOf("\r\ncontent-length:");
    qsizetype need = 0;
    if (cl >= 0 && cl < end)
        need = bytes.mid(cl + 17, bytes.indexOf('\r', cl + 2) - cl - 17).trimmed().toLongLong();
    return bytes.size() >= end + 4 + need;
}

socklen_t loopbackAddress(bool ipv6, quint16 port, sockaddr_storage* a) {
    *a = {};
    if (ipv6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(a);
        a6->sin6_family = AF_INET6;
        a6->sin6_port = htons(port);
        a6->sin6_addr = in6addr_loopback;
        return sizeof(sockaddr_in6);
    }
    auto* a4 = reinterpret_cast<sockaddr_in*>(a);
    a4->sin_family = AF_INET;
    a4->sin_port = htons(port);
    a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sizeof(sockaddr_in);
}

namespace {

// A socket bound to a free loopback port (listening if asked); -1 on failure.
int bindLoopback(bool ipv6, bool listening, quint16* port) {
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage a;
    socklen_t len = loopbackAddress(ipv6, 0, &a);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        (listening && ::listen(fd, 128) != 0)) {
        ::close(fd);
        return -1;
    }
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                       : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    return fd;
}

} // namespace

LoopbackServer::~LoopbackServer() {
    stop();
}

bool LoopbackServer::start(bool ipv6) {
    listenFd_ = bindLoopback(ipv6, true, &port_);
    if (listenFd_ < 0)
        port_ = 0;
    else
        thread_ = std::thread([this] { run(); });
    return port_ != 0;
}

void LoopbackServer::stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
}

void LoopbackServer::run() {
    while (!stop_) {
        if (!readable(listenFd_, 100))
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // Each send leaves at once, so paused pieces reach the client as separate reads.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ++accepted_;
        serve(fd);
        ::close(fd);
    }
}

LoopbackPort::LoopbackPort(bool listening) {
    fd = bindLoopback(false, listening, &port);
}

LoopbackPort::~LoopbackPort() {
    if (fd >= 0)
        ::close(fd);
}

int LoopbackPort::accept(int timeoutMs) const {
    return readable(fd, timeoutMs) ? ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
}

BlackHolePort::BlackHolePort() {
    fd = bindLoopback(false, false, &port);
    // A backlog of 0 holds one connection; once it is there, the kernel drops
    // every further SYN instead of answering it.
    if (fd < 0 || ::listen(fd, 0) != 0)
        return;
    filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage a;
    const socklen_t len = loopbackAddress(false, port, &a);
    if (::connect(filler, reinterpret_cast<sockaddr*>(&a), len) != 0)
        port = 0;
}

BlackHolePort::~BlackHolePort() {
    if (filler >= 0)
        ::close(filler);
    if (fd >= 0)
        ::close(fd);
}

} // namespace lb::test
