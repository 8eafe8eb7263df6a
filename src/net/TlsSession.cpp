#include "net/TlsSession.h"

#include "net/SocketErrors.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <map>
#include <mutex>
#include <string>
#include <sys/socket.h>

namespace lb::net {

struct TlsSession::Transport {
    int fd = -1;
    int lastErrno = 0;
    bool eof = false;
    qint64 received = 0;
};

namespace {

using Transport = TlsSession::Transport;

// Keeps a session a server sent for the next connection to it.
int sessionReceived(SSL* ssl, SSL_SESSION* session);

// Our own socket BIO: send() with MSG_NOSIGNAL (a peer that went away must
// not kill the program with SIGPIPE), and the errno kept for the report.
int bioWrite(BIO* b, const char* data, int len) {
    auto* t = static_cast<Transport*>(BIO_get_data(b));
    BIO_clear_retry_flags(b);
    for (;;) {
        const ssize_t n = ::send(t->fd, data, size_t(len), MSG_NOSIGNAL);
        if (n >= 0)
            return int(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            BIO_set_retry_write(b);
            return -1;
        }
        t->lastErrno = errno;
        return -1;
    }
}

int bioRead(BIO* b, char* data, int len) {
    auto* t = static_cast<Transport*>(BIO_get_data(b));
    BIO_clear_retry_flags(b);
    for (;;) {
        const ssize_t n = ::recv(t->fd, data, size_t(len), 0);
        if (n > 0) {
            t->received += n;
            return int(n);
        }
        if (n == 0) {
            t->eof = true;
            return 0;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            BIO_set_retry_read(b);
            return -1;
        }
        t->lastErrno = errno;
        return -1;
    }
}

long bioCtrl(BIO*, int cmd, long, void*) {
    return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* b) {
    BIO_set_init(b, 1);
    return 1;
}

BIO_METHOD* transportMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "linkbeacon socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

QString reasonText(unsigned long code) {
    const char* r = code ? ERR_reason_error_string(code) : nullptr;
    return r ? QString::fromLatin1(r) : QStringLiteral("unknown error");
}

bool isIpLiteral(const QString& host) {
    const QByteArray h = host.toLatin1();
    unsigned char buf[16];
    return ::inet_pton(AF_INET, h.constData(), buf) == 1 ||
           ::inet_pton(AF_INET6, h.constData(), buf) == 1;
}

// Contexts are costly (the system roots are loaded into each), so one is
// kept per set of options for the life of the program. A CA file is known
// by its path, size and time so that a changed file is read again.
class ContextCache {
public:
    ~ContextCache() {
        for (auto& [key, ctx] : contexts_)
            SSL_CTX_free(ctx);
    }

    SSL_CTX* get(const TlsOptions& options, QString* error) {
        QString key = options.verify ? QStringLiteral("v") : QStringLiteral("n");
        for (const QString& f : options.caFiles) {
            const QFileInfo info(f);
            key += QLatin1Char('\n') + f + QLatin1Char('|') + QString::number(info.size()) +
                   QLatin1Char('|') + QString::number(info.lastModified().toMSecsSinceEpoch());
        }
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = contexts_.find(key);
        if (it != contexts_.end())
            return it->second;
        SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
        if (!ctx) {
            *error = QStringLiteral("TLS: handshake failed: ") + reasonText(ERR_get_error());
            return nullptr;
        }
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        // A server that closes without close_notify ends the document like a
        // plain close does.
        SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
        SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        SSL_CTX_set_verify(ctx, options.verify ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
        SSL_CTX_set_default_verify_paths(ctx);
        SSL_CTX_set_session_cache_mode(ctx,
                                       SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(ctx, sessionReceived);
        for (const QString& f : options.caFiles) {
            ERR_clear_error();
            if (SSL_CTX_load_verify_locations(ctx, QFile::encodeName(f).constData(), nullptr) !=
                1) {
                ERR_clear_error();
                SSL_CTX_free(ctx);
                *error = QStringLiteral("TLS: cannot read CA file ") + f;
                return nullptr;
            }
        }
        contexts_.emplace(key, ctx);
        return ctx;
    }

private:
    std::mutex mutex_;
    std::map<QString, SSL_CTX*> contexts_;
};

ContextCache& contextCache() {
    static ContextCache cache;
    return cache;
}

// The last session each server handed out, by context, host and port: HTTP/1.0
// opens a connection per request, and a resumed handshake skips the
// certificate exchange and its checks.
class SessionCache {
public:
    static constexpr size_t kMaxSessions = 1024;
    // A new reference, or null.
    SSL_SESSION* find(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = sessions_.find(key);
        if (it == sessions_.end() || !SSL_SESSION_is_resumable(it->second))
            return nullptr;
        SSL_SESSION_up_ref(it->second);
        return it->second;
    }
    // Takes over the reference.
    void put(const std::string& key, SSL_SESSION* session) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sessions_.find(key);
        if (it != sessions_.end()) {
            SSL_SESSION_free(it->second);
            it->second = session;
            return;
        }
        if (sessions_.size() >= kMaxSessions) {
            for (auto& entry : sessions_)
                SSL_SESSION_free(entry.second);
            sessions_.clear();
        }
        sessions_.emplace(key, session);
    }

private:
    std::mutex mutex_;
    std::map<std::string, SSL_SESSION*> sessions_;
};

SessionCache& sessionCache() {
    // Never destroyed: connections may still end while the program exits.
    static SessionCache* cache = new SessionCache;
    return *cache;
}

int sessionKeyIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int sessionReceived(SSL* ssl, SSL_SESSION* session) {
    const auto* key = static_cast<const std::string*>(SSL_get_ex_data(ssl, sessionKeyIndex()));
    if (!key || key->empty())
        return 0;
    sessionCache().put(*key, session);
    return 1; // the reference is ours now
}

} // namespace

TlsSession::TlsSession() : transport_(std::make_unique<Transport>()) {}

TlsSession::~TlsSession() {
    if (ssl_)
        SSL_free(ssl_);
}

qint64 TlsSession::bytesReceived() const {
    return transport_->received;
}

bool TlsSession::start(int fd, const TlsOptions& options, const QString& host) {
    error_.clear();
    errorNumber_ = 0;
    SSL_CTX* ctx = contextCache().get(options, &error_);
    if (!ctx) {
        errorNumber_ = wsaECONNABORTED;
        return false;
    }
    ssl_ = SSL_new(ctx);
    BIO* bio = ssl_ ? BIO_new(transportMethod()) : nullptr;
    if (!bio) {
        error_ = QStringLiteral("TLS: handshake failed: ") + reasonText(ERR_get_error());
        errorNumber_ = wsaECONNABORTED;
        return false;
    }
    transport_->fd = fd;
    BIO_set_data(bio, transport_.get());
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_connect_state(ssl_);
    const QByteArray h = host.toUtf8();
    resumeSession(ctx, fd, h);
    if (isIpLiteral(host)) {
        if (options.verify)
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), h.constData());
    } else {
        SSL_set_tlsext_host_name(ssl_, h.constData());
        if (options.verify)
            SSL_set1_host(ssl_, h.constData());
    }
    return true;
}

void TlsSession::resumeSession(SSL_CTX* ctx, int fd, const QByteArray& host) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    int port = 0;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
        port = peer.ss_family == AF_INET6
                   ? ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port)
                   : ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port);
    sessionKey_ = std::to_string(reinterpret_cast<quintptr>(ctx)) + ' ' + host.toStdString() + ':' +
                  std::to_string(port);
    SSL_set_ex_data(ssl_, sessionKeyIndex(), &sessionKey_);
    if (SSL_SESSION* session = sessionCache().find(sessionKey_)) {
        SSL_set_session(ssl_, session);
        SSL_SESSION_free(session);
    }
}

TlsSession::Result TlsSession::fail(int sslResult, bool inHandshake) {
    const int e = SSL_get_error(ssl_, sslResult);
    if (e == SSL_ERROR_WANT_READ)
        return WantRead;
    if (e == SSL_ERROR_WANT_WRITE)
        return WantWrite;
    const unsigned long code = ERR_peek_last_error();
    const bool eof = e == SSL_ERROR_ZERO_RETURN || transport_->eof ||
                     (e == SSL_ERROR_SYSCALL && code == 0 && transport_->lastErrno == 0) ||
                     ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
    ERR_clear_error();
    errorNumber_ = wsaECONNABORTED;
    if (!inHandshake) {
        if (transport_->lastErrno) {
            // A plain socket failure: reported as it would be without TLS.
            errorNumber_ = errnoToSocketError(transport_->lastErrno);
            error_.clear();
            return Failed;
        }
        if (eof)
            return Closed;
        error_ = QStringLiteral("TLS: ") + reasonText(code);
        return Failed;
    }
    const long verify = SSL_get_verify_result(ssl_);
    if (ERR_GET_REASON(code) == SSL_R_CERTIFICATE_VERIFY_FAILED && verify != X509_V_OK) {
        error_ = QStringLiteral("TLS: certificate verify failed: ") +
                 QString::fromLatin1(X509_verify_cert_error_string(verify));
    } else if (transport_->lastErrno) {
        errorNumber_ = errnoToSocketError(transport_->lastErrno);
        error_ = QStringLiteral("TLS: handshake failed: ") + socketErrorDesc(errorNumber_);
    } else if (eof) {
        error_ = QStringLiteral("TLS: handshake failed: connection closed");
    } else {
        error_ = QStringLiteral("TLS: handshake failed: ") + reasonText(code);
    }
    return Failed;
}

TlsSession::Result TlsSession::handshake() {
    if (!ssl_)
        return Failed;
    ERR_clear_error();
    const int r = SSL_do_handshake(ssl_);
    return r == 1 ? Ok : fail(r, true);
}

int TlsSession::read(char* buffer, int len, Result* result) {
    *result = Failed;
    if (!ssl_)
        return 0;
    ERR_clear_error();
    const int r = SSL_read(ssl_, buffer, len);
    if (r > 0) {
        *result = Ok;
        return r;
    }
    *result = fail(r, false);
    return 0;
}

int TlsSession::write(const char* buffer, int len, Result* result) {
    *result = Failed;
    if (!ssl_)
        return 0;
    ERR_clear_error();
    const int r = SSL_write(ssl_, buffer, len);
    if (r > 0) {
        *result = Ok;
        return r;
    }
    *result = fail(r, false);
    if (*result == Closed) {
        // Nothing can be written to a peer that has finished.
        *result = Failed;
        errorNumber_ = wsaECONNRESET;
        error_.clear();
    }
    return 0;
}

bool TlsSession::hasPending() const {
    return ssl_ && SSL_pending(ssl_) > 0;
}

void TlsSession::sendCloseNotify() {
    if (!ssl_ || closeNotifySent_ || !SSL_is_init_finished(ssl_))
        return;
    closeNotifySent_ = true;
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

int countPemCertificates(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = f.readAll();
    BIO* bio = BIO_new_mem_buf(data.constData(), int(data.size()));
    if (!bio)
        return -1;
    int count = 0;
    while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        X509_free(cert);
        ++count;
    }
    BIO_free(bio);
    ERR_clear_error();
    return count;
}

} // namespace lb::net
