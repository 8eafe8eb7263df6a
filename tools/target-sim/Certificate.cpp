#include "Certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace tsim {

namespace {

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

} // namespace

X509* makeCertificate(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, long serial,
                      const char* altNames, long days) {
    X509* cert = key ? X509_new() : nullptr;
    if (!cert)
        return nullptr;
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), days * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn),
                               -1, -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : cert;
    bool ok =
        addExtension(cert, signer, NID_basic_constraints, issuer ? "CA:FALSE" : "critical,CA:TRUE");
    if (altNames)
        ok = ok && addExtension(cert, signer, NID_subject_alt_name, altNames);
    else if (!issuer) // a CA that serves nothing itself only signs
        ok = ok && addExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    if (!ok || !X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256())) {
        X509_free(cert);
        return nullptr;
    }
    return cert;
}

bool writePem(const std::string& path, X509* cert, EVP_PKEY* key) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    bool ok = cert ? PEM_write_X509(f, cert) == 1
                   : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace tsim
