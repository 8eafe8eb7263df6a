#pragma once
// An Ed25519 key pair made for one test, to sign archives as a publisher
// does (tools/update-archive --sign) and to write the program's key file.
#include <QByteArray>

#include <openssl/evp.h>

namespace lb::test {

class SigningKey {
public:
    SigningKey() : m_key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {}
    ~SigningKey() { EVP_PKEY_free(m_key); }
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    // The line of data/update.pub: the raw public key in base64.
    QByteArray publicLine() const {
        unsigned char raw[32];
        size_t len = sizeof raw;
        EVP_PKEY_get_raw_public_key(m_key, raw, &len);
        return QByteArray(reinterpret_cast<char*>(raw), qsizetype(len)).toBase64();
    }
    QByteArray sign(const QByteArray& message) const {
        unsigned char sig[64];
        size_t len = sizeof sig;
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, m_key);
        EVP_DigestSign(ctx, sig, &len, reinterpret_cast<const unsigned char*>(message.constData()),
                       size_t(message.size()));
        EVP_MD_CTX_free(ctx);
        return QByteArray(reinterpret_cast<char*>(sig), qsizetype(len));
    }

private:
    EVP_PKEY* m_key;
};

} // namespace lb::test
