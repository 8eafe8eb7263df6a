#include "Tls.h"
#include "Certificate.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <ctime>

namespace tsim {

namespace {

std::string lastError() {
    const unsigned long e = ERR_get_error();
    char buf[256] = "unknown error";
    if (e)
        ERR_error_string_n(e, buf, sizeof buf);
    ERR_clear_error();
    return buf;
}

} // namespace

TlsServer::~TlsServer() {
    if (ctx_)
        SSL_CTX_free(ctx_);
}

bool TlsServer::init(const std::string& certFile, const std::string& keyFile,
                     const std::string& certOut, std::string* error) {
    ctx_ = SSL_CTX_new(TLS_server_method());
    if (!ctx_) {
        *error = lastError();
        return false;
    }
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (!certFile.empty() || !keyFile.empty()) {
        if (SSL_CTX_use_certificate_chain_file(ctx_, certFile.c_str()) != 1) {
            *error = "cannot use certificate " + certFile + ": " + lastError();
            return false;
        }
        if (SSL_CTX_use_PrivateKey_file(ctx_, (keyFile.empty() ? certFile : keyFile).c_str(),
                                        SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(ctx_) != 1) {
            *error = "cannot use key " + keyFile + ": " + lastError();
            return false;
        }
        return true;
    }

    // A self-signed certificate for the loopback names, valid for a year.
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = makeCertificate(key, "target-sim", nullptr, nullptr, long(time(nullptr)),
                                 "DNS:localhost,IP:127.0.0.1,IP:::1", 365);
    bool ok = cert != nullptr;
    if (!ok) {
        *error = lastError();
    } else {
        SSL_CTX_use_certificate(ctx_, cert);
        SSL_CTX_use_PrivateKey(ctx_, key);
        if (!certOut.empty() && !writePem(certOut, cert)) {
            *error = "cannot write " + certOut;
            ok = false;
        }
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok;
}

SSL* TlsServer::newSession(int fd) const {
    SSL* ssl = SSL_new(ctx_);
    if (ssl) {
        SSL_set_fd(ssl, fd);
        SSL_set_accept_state(ssl);
    }
    return ssl;
}

TlsStep tlsHandshake(SSL* ssl) {
    ERR_clear_error();
    const int r = SSL_do_handshake(ssl);
    if (r == 1)
        return TlsStep::Done;
    switch (SSL_get_error(ssl, r)) {
    case SSL_ERROR_WANT_READ:
        return TlsStep::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return TlsStep::WantWrite;
    default:
        ERR_clear_error();
        return TlsStep::Failed;
    }
}

long tlsRecv(SSL* ssl, char* buffer, size_t len, bool* wantWrite) {
    *wantWrite = false;
    ERR_clear_error();
    const int r = SSL_read(ssl, buffer, int(len > 1u << 30 ? 1u << 30 : len));
    if (r > 0)
        return r;
    switch (SSL_get_error(ssl, r)) {
    case SSL_ERROR_WANT_READ:
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_WANT_WRITE:
        *wantWrite = true;
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    default:
        ERR_clear_error();
        errno = ECONNRESET;
        return -1;
    }
}

long tlsSend(SSL* ssl, const char* data, size_t len, bool* wantRead) {
    *wantRead = false;
    ERR_clear_error();
    const int r = SSL_write(ssl, data, int(len > 1u << 30 ? 1u << 30 : len));
    if (r > 0)
        return r;
    switch (SSL_get_error(ssl, r)) {
    case SSL_ERROR_WANT_WRITE:
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_WANT_READ:
        *wantRead = true;
        errno = EAGAIN;
        return -1;
    default:
        ERR_clear_error();
        errno = ECONNRESET;
        return -1;
    }
}

void tlsClose(SSL* ssl) {
    ERR_clear_error();
    if (SSL_is_init_finished(ssl))
        SSL_shutdown(ssl);
    ERR_clear_error();
}

void tlsFree(SSL* ssl) {
    SSL_free(ssl);
}

std::string tlsServerName(SSL* ssl) {
    const char* n = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
    return n ? n : "";
}

} // namespace tsim
