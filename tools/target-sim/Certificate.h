#pragma once
// Certificates made on the spot: target-sim's self-signed one for its https
// port, and the tests' private CA with the server certificates it signs.
#include <string>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace tsim {

// A certificate for key named cn, valid from an hour ago for days. Without an
// issuer it is self-signed and may sign others (a CA); it then serves
// altNames itself when given. With an issuer it is signed by issuerKey for
// altNames ("DNS:localhost,IP:127.0.0.1"). Null when OpenSSL fails.
X509* makeCertificate(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, long serial,
                      const char* altNames, long days);
// Writes the certificate, or else the key, as one PEM file; false when it could not.
bool writePem(const std::string& path, X509* cert, EVP_PKEY* key = nullptr);

} // namespace tsim
