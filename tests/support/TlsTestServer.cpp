#include "support/TlsTestServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lb::test {

namespace {

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

// Waits (bounded) until the client has closed, so nothing sent is lost to a reset.
void drain(int fd, int rounds = 50) {
    ::shutdown(fd, SHUT_WR);
    for (int i = 0; i < rounds && readable(fd, 100); ++i) {
        char buf[4096];
        if (::recv(fd, buf, sizeof buf, 0) <= 0)
            break;
    }
}

int listenLoopback(bool ipv6, quint16* port) {
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage a{};
    socklen_t len;
    if (ipv6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
        a6->sin6_family = AF_INET6;
        a6->sin6_addr = in6addr_loopback;
        len = sizeof(sockaddr_in6);
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
        a4->sin_family = AF_INET;
        a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof(sockaddr_in);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return -1;
    }
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                       : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    return fd;
}

int acceptOne(int listenFd, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{listenFd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
    }
    return -1;
}

} // namespace

// ---- TlsTestServer --------------------------------------------------------

TlsTestServer::TlsTestServer(const QString& certFile, const QString& keyFile, bool ipv6) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    ctx_ = ctx;
    if (SSL_CTX_use_certificate_chain_file(ctx, certFile.toLocal8Bit().constData()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, keyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM) != 1)
        return;
    listenFd_ = listenLoopback(ipv6, &port_);
    if (listenFd_ < 0) {
        port_ = 0;
        return;
    }
    thread_ = std::thread([this] { run(); });
}

TlsTestServer::~TlsTestServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

void TlsTestServer::add(const Behaviour& b) {
    std::lock_guard<std::mutex> lock(mutex_);
    behaviours_.push_back(b);
}

QByteArray TlsTestServer::request(int i, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return int(requests_.size()) > i; });
    return int(requests_.size()) > i ? requests_[size_t(i)] : QByteArray();
}

QString TlsTestServer::serverName(int i, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return int(names_.size()) > i; });
    return int(names_.size()) > i ? names_[size_t(i)] : QString();
}

void TlsTestServer::run() {
    while (!stop_) {
        const int fd = acceptOne(listenFd_, stop_);
        if (fd < 0)
            continue;
        ++accepted_;
        serve(fd);
        ::close(fd);
    }
}

void TlsTestServer::serve(int fd) {
    Behaviour b;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!behaviours_.empty()) {
            b = behaviours_.front();
            behaviours_.pop_front();
        }
    }
    QByteArray request;
    QString name;
    auto record = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            names_.push_back(name);
        }
        changed_.notify_all();
    };
    char buf[16384];

    if (b.kind == Behaviour::StallHandshake) {
        record();
        for (int i = 0; i < 100 && !stop_; ++i)
            if (readable(fd, 100) && ::recv(fd, buf, sizeof buf, 0) <= 0)
                break;
        return;
    }
    if (b.kind == Behaviour::CloseInHandshake || b.kind == Behaviour::PlainText) {
        if (readable(fd, 5000))
            ::recv(fd, buf, sizeof buf, 0);
        record();
        if (b.kind == Behaviour::PlainText) {
            sendAll(fd, b.answer.constData(), size_t(b.answer.size()));
            drain(fd);
        }
        return;
    }

    // TLS over memory buffers: every raw byte passes through here, so the
    // answer can be cut into pieces as small as wanted.
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(ctx_));
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl, in, out);
    SSL_set_accept_state(ssl);
    auto flush = [&](int piece) {
        int n;
        while ((n = BIO_read(out, buf, sizeof buf)) > 0) {
            if (piece <= 0) {
                if (!sendAll(fd, buf, size_t(n)))
                    return false;
                continue;
            }
            for (int off = 0; off < n; off += piece) {
                if (!sendAll(fd, buf + off, size_t(std::min(piece, n - off))))
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return true;
    };
    auto feed = [&] {
        if (stop_ || !readable(fd, 5000))
            return false;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        BIO_write(in, buf, int(n));
        return true;
    };

    bool ok = false;
    for (int i = 0; i < 100; ++i) {
        const int r = SSL_do_handshake(ssl);
        flush(0);
        if (r == 1) {
            ok = true;
            break;
        }
        if (SSL_get_error(ssl, r) != SSL_ERROR_WANT_READ || !feed())
            break;
    }
    if (ok) {
        if (const char* n = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name))
            name = QString::fromLatin1(n);
        // The header, then as many body bytes as Content-Length announces.
        for (int i = 0; i < 100000; ++i) {
            const qsizetype end = request.indexOf("\r\n\r\n");
            if (end >= 0) {
                const qsizetype cl = request.toLower().indexOf("\r\ncontent-length:");
                qsizetype need = 0;
                if (cl >= 0 && cl < end)
                    need = request.mid(cl + 17, request.indexOf('\r', cl + 2) - cl - 17)
                               .trimmed()
                               .toLongLong();
                if (request.size() >= end + 4 + need)
                    break;
            }
            const int r = SSL_read(ssl, buf, sizeof buf);
            flush(0);
            if (r > 0)
                request.append(buf, r);
            else if (SSL_get_error(ssl, r) != SSL_ERROR_WANT_READ || !feed())
                break;
        }
    }
    record();
    if (ok) {
        SSL_write(ssl, b.answer.constData(), int(b.answer.size()));
        flush(b.pieceSize);
        if (b.closeNotify) {
            SSL_shutdown(ssl);
            flush(0);
        }
        drain(fd);
    }
    SSL_free(ssl);
    ERR_clear_error();
}

// ---- ConnectProxy ---------------------------------------------------------

ConnectProxy::ConnectProxy(Kind kind, QByteArray refusal, bool ipv6)
    : kind_(kind), refusal_(std::move(refusal)) {
    listenFd_ = listenLoopback(ipv6, &port_);
    if (listenFd_ >= 0)
        thread_ = std::thread([this] { run(); });
}

ConnectProxy::~ConnectProxy() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

QByteArray ConnectProxy::header(int i, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return int(headers_.size()) > i; });
    return int(headers_.size()) > i ? headers_[size_t(i)] : QByteArray();
}

QByteArray ConnectProxy::after(int i) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(after_.size()) > i ? after_[size_t(i)] : QByteArray();
}

void ConnectProxy::run() {
    while (!stop_) {
        const int fd = acceptOne(listenFd_, stop_);
        if (fd < 0)
            continue;
        ++accepted_;
        serve(fd);
        ::close(fd);
    }
}

void ConnectProxy::serve(int fd) {
    QByteArray header;
    char buf[16384];
    while (!header.contains("\r\n\r\n") && header.size() < 65536 && readable(fd, 5000)) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        header.append(buf, n);
    }
    QByteArray rest;
    const qsizetype end = header.indexOf("\r\n\r\n");
    if (end >= 0) {
        rest = header.mid(end + 4);
        header.truncate(end + 4);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        headers_.push_back(header);
    }
    changed_.notify_all();
    auto keepAfter = [&](const QByteArray& bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        after_.resize(headers_.size());
        after_.back() = bytes;
    };

    switch (kind_) {
    case CloseAtOnce:
        keepAfter(rest);
        return;
    case Stall:
        for (int i = 0; i < 100 && !stop_; ++i)
            if (readable(fd, 100) && ::recv(fd, buf, sizeof buf, 0) <= 0)
                break;
        keepAfter(rest);
        return;
    case Refuse: {
        sendAll(fd, refusal_.constData(), size_t(refusal_.size()));
        // Whatever the client still sends after the refusal is kept for the test.
        while (readable(fd, 300)) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            rest.append(buf, n);
        }
        keepAfter(rest);
        drain(fd, 5);
        return;
    }
    case Tunnel:
        break;
    }

    // "CONNECT host:port HTTP/1.0": the tunnel only ever leads to loopback.
    const QByteArray line = header.left(header.indexOf("\r\n"));
    const QByteArray target = line.split(' ').value(1);
    const quint16 port = quint16(target.mid(target.lastIndexOf(':') + 1).toUInt());
    const bool v6 = target.startsWith('[');
    const int up = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage a{};
    socklen_t len;
    if (v6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
        a6->sin6_family = AF_INET6;
        a6->sin6_port = htons(port);
        a6->sin6_addr = in6addr_loopback;
        len = sizeof(sockaddr_in6);
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
        a4->sin_family = AF_INET;
        a4->sin_port = htons(port);
        a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof(sockaddr_in);
    }
    if (::connect(up, reinterpret_cast<sockaddr*>(&a), len) != 0) {
        static const char bad[] = "HTTP/1.0 502 Bad Gateway\r\n\r\n";
        sendAll(fd, bad, sizeof bad - 1);
        ::close(up);
        keepAfter(rest);
        drain(fd, 5);
        return;
    }
    static const char ok[] = "HTTP/1.0 200 Connection established\r\n\r\n";
    sendAll(fd, ok, sizeof ok - 1);
    if (!rest.isEmpty())
        sendAll(up, rest.constData(), size_t(rest.size()));
    keepAfter(rest);
    // Relay both ways until both sides have finished (bounded).
    bool clientOpen = true, upOpen = true;
    for (int i = 0; i < 100000 && (clientOpen || upOpen) && !stop_; ++i) {
        pollfd p[2] = {{fd, short(clientOpen ? POLLIN : 0), 0},
                       {up, short(upOpen ? POLLIN : 0), 0}};
        if (::poll(p, 2, 10000) <= 0)
            break;
        if (clientOpen && (p[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                clientOpen = false;
                ::shutdown(up, SHUT_WR);
            } else {
                sendAll(up, buf, size_t(n));
            }
        }
        if (upOpen && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(up, buf, sizeof buf, 0);
            if (n <= 0) {
                upOpen = false;
                ::shutdown(fd, SHUT_WR);
            } else {
                sendAll(fd, buf, size_t(n));
            }
        }
    }
    ::close(up);
}

} // namespace lb::test
