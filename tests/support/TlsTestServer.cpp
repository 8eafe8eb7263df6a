#include "support/TlsTestServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lb::test {

// ---- TlsTestServer --------------------------------------------------------

TlsTestServer::TlsTestServer(const QString& certFile, const QString& keyFile, bool ipv6) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    ctx_ = ctx;
    if (SSL_CTX_use_certificate_chain_file(ctx, certFile.toLocal8Bit().constData()) == 1 &&
        SSL_CTX_use_PrivateKey_file(ctx, keyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM) == 1)
        start(ipv6);
}

TlsTestServer::~TlsTestServer() {
    stop();
    SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

void TlsTestServer::add(const QByteArray& answer, int pieceSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    behaviours_.push_back({answer, pieceSize});
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
        keep(names_, name);
        keep(requests_, request);
    };
    char buf[16384];

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
        for (int i = 0; i < 100000 && !requestComplete(request); ++i) {
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
        SSL_shutdown(ssl);
        flush(0);
        drain(fd);
    }
    SSL_free(ssl);
    ERR_clear_error();
}

// ---- ConnectProxy ---------------------------------------------------------

QByteArray ConnectProxy::after(int i) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(after_.size()) > i ? after_[size_t(i)] : QByteArray();
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
    keep(headers_, header);
    auto keepAfter = [&](const QByteArray& bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        after_.resize(headers_.size());
        after_.back() = bytes;
    };

    if (kind_ == Refuse) {
        sendAll(fd, "HTTP/1.0 407 Proxy Authentication Required\r\n"
                    "Proxy-Authenticate: Basic realm=\"p\"\r\n\r\n");
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

    // "CONNECT host:port HTTP/1.0": the tunnel only ever leads to loopback.
    const QByteArray line = header.left(header.indexOf("\r\n"));
    const QByteArray target = line.split(' ').value(1);
    const bool v6 = target.startsWith('[');
    const int up = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage a;
    const socklen_t len =
        loopbackAddress(v6, quint16(target.mid(target.lastIndexOf(':') + 1).toUInt()), &a);
    if (::connect(up, reinterpret_cast<sockaddr*>(&a), len) != 0) {
        sendAll(fd, "HTTP/1.0 502 Bad Gateway\r\n\r\n");
        ::close(up);
        keepAfter(rest);
        drain(fd, 5);
        return;
    }
    sendAll(fd, "HTTP/1.0 200 Connection established\r\n\r\n");
    if (!rest.isEmpty())
        sendAll(up, rest);
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
