#include "support/TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace lb::test {

namespace {

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value)) {
        X509_add_ext(cert, ext, -1);
        X509_EXTENSION_free(ext);
    }
}

X509* makeCert(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, long serial,
               const char* altNames) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7L * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn),
                               -1, -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    if (!issuer) {
        addExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, issuer, NID_basic_constraints, "CA:FALSE");
        addExtension(cert, issuer, NID_subject_alt_name, altNames);
    }
    X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256());
    return cert;
}

// Writes a certificate, or else a key, as one PEM file; false when it could not.
bool writePem(const QString& path, X509* cert, EVP_PKEY* key = nullptr) {
    FILE* f = std::fopen(path.toLocal8Bit().constData(), "w");
    if (!f)
        return false;
    const bool ok = cert ? PEM_write_X509(f, cert) == 1
                         : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(f);
    return ok;
}

} // namespace

TestCertificates::TestCertificates() {
    EVP_PKEY* keyCa = EVP_EC_gen("P-256");
    EVP_PKEY* keyServer = EVP_EC_gen("P-256");
    EVP_PKEY* keyOther = EVP_EC_gen("P-256");
    X509* ca = makeCert(keyCa, "Linkbeacon Test CA", nullptr, nullptr, 1, nullptr);
    X509* server =
        makeCert(keyServer, "localhost", ca, keyCa, 2, "DNS:localhost,IP:127.0.0.1,IP:::1");
    X509* other = makeCert(keyOther, "other.invalid", ca, keyCa, 3, "DNS:other.invalid");
    ok_ = dir_.isValid() && writePem(caFile(), ca) && writePem(serverCert(), server) &&
          writePem(serverKey(), nullptr, keyServer) && writePem(otherCert(), other) &&
          writePem(otherKey(), nullptr, keyOther);
    X509_free(ca);
    X509_free(server);
    X509_free(other);
    EVP_PKEY_free(keyCa);
    EVP_PKEY_free(keyServer);
    EVP_PKEY_free(keyOther);
}

const TestCertificates& sharedCertificates() {
    static TestCertificates c;
    return c;
}

QStringList simTlsArgs() {
    const TestCertificates& c = sharedCertificates();
    return {QStringLiteral("--tls-port"), QStringLiteral("0"),
            QStringLiteral("--cert"),     c.serverCert(),
            QStringLiteral("--key"),      c.serverKey()};
}

} // namespace lb::test
