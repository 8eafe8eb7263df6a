#pragma once
// The https side of target-sim: a server context from a certificate and key
// in PEM files, or from a self-signed certificate made at start-up for
// localhost, 127.0.0.1 and ::1; and non-blocking reads and writes that look
// like recv()/send() to the connection code.
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace tsim {

class TlsServer {
public:
    ~TlsServer();
    // With certFile and keyFile empty a certificate is generated; certOut,
    // when not empty, receives it (so clients can trust it). False with a
    // message when something cannot be read or written.
    bool init(const std::string& certFile, const std::string& keyFile, const std::string& certOut,
              std::string* error);
    SSL* newSession(int fd) const;

private:
    SSL_CTX* ctx_ = nullptr;
};

enum class TlsStep { Done, WantRead, WantWrite, Failed };
TlsStep tlsHandshake(SSL* ssl);
// Like recv()/send(): > 0 bytes; 0 for the peer's end (read); -1 with errno
// EAGAIN (retry when the socket allows; *wantWrite says which way) or
// ECONNRESET.
long tlsRecv(SSL* ssl, char* buffer, size_t len, bool* wantWrite);
long tlsSend(SSL* ssl, const char* data, size_t len, bool* wantRead);
// close_notify, unless the connection is to end without one.
void tlsClose(SSL* ssl);
void tlsFree(SSL* ssl);
// The server name the client asked for (SNI), empty when none.
std::string tlsServerName(SSL* ssl);

} // namespace tsim
