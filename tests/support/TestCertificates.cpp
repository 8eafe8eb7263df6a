#include "support/TestCertificates.h"

#include "Certificate.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace lb::test {

using tsim::makeCertificate;
using tsim::writePem;

TestCertificates::TestCertificates() {
    EVP_PKEY* keyCa = EVP_EC_gen("P-256");
    EVP_PKEY* keyServer = EVP_EC_gen("P-256");
    EVP_PKEY* keyOther = EVP_EC_gen("P-256");
    X509* ca = makeCertificate(keyCa, "Linkbeacon Test CA", nullptr, nullptr, 1, nullptr, 7);
    X509* server = makeCertificate(keyServer, "localhost", ca, keyCa, 2,
                                   "DNS:localhost,IP:127.0.0.1,IP:::1", 7);
    X509* other = makeCertificate(keyOther, "other.invalid", ca, keyCa, 3, "DNS:other.invalid", 7);
    const auto pem = [](const QString& path, X509* cert, EVP_PKEY* key = nullptr) {
        return writePem(path.toStdString(), cert, key);
    };
    ok_ = dir_.isValid() && ca && server && other && pem(caFile(), ca) &&
          pem(serverCert(), server) && pem(serverKey(), nullptr, keyServer) &&
          pem(otherCert(), other) && pem(otherKey(), nullptr, keyOther);
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
