#pragma once
// TlsSession: the client side of one TLS connection (OpenSSL, TLS 1.2 or
// later) over a connected non-blocking socket. It never waits: every call
// says whether it needs the socket readable or writable before it can go on,
// and the socket component maps that onto its readiness notifications.
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace lb::net {

// How a client checks the server. Each CA file adds PEM certificates to the
// system's trusted roots; none replaces them.
struct TlsOptions {
    bool verify = true;
    QStringList caFiles;
};

class TlsSession {
public:
    enum Result { Ok, WantRead, WantWrite, Closed, Failed };

    TlsSession();
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Prepares the handshake for host (SNI for a name, none for an IP
    // literal; the certificate is matched against it when verifying).
    // False, with error() set, when the options cannot be used.
    bool start(int fd, const TlsOptions& options, const QString& host);

    Result handshake();
    // Bytes read (> 0), or 0 with *result saying why nothing came.
    int read(char* buffer, int len, Result* result);
    // Bytes taken (> 0), or 0 with *result saying why. After WantRead or
    // WantWrite the same bytes must be offered again.
    int write(const char* buffer, int len, Result* result);
    // Decrypted bytes already held, deliverable without more network input.
    bool hasPending() const;
    // Sends close_notify once, without waiting for the peer's answer.
    void sendCloseNotify();

    // After Failed: the reason phrase ("TLS: ...") and the socket error number
    // it maps onto.
    const QString& error() const { return error_; }
    int errorNumber() const { return errorNumber_; }
    // Raw bytes moved over the socket (both directions), for the owner's counts.
    qint64 bytesReceived() const;

    struct Transport; // the socket under the session, seen by our BIO

private:
    Result fail(int sslResult, bool inHandshake);
    // Offers the session last received from the same server, if any.
    void resumeSession(SSL_CTX* ctx, int fd, const QByteArray& host);

    SSL* ssl_ = nullptr;
    std::unique_ptr<Transport> transport_;
    std::string sessionKey_; // context, host and port of the server
    bool closeNotifySent_ = false;
    QString error_;
    int errorNumber_ = 0;
};

// Number of PEM certificates in a file; -1 when it cannot be read.
int countPemCertificates(const QString& path);

} // namespace lb::net
